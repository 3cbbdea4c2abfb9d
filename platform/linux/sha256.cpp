#include "platform/sha256.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include "support/error.h"

namespace tovren {

namespace {

// These fail when memory runs out, or when the library's configuration leaves it
// without SHA-256; OpenSSL says which.
void check(int succeeded) {
  if (succeeded) return;
  char reason[256] = "no reason given";
  if (unsigned long code = ERR_get_error()) ERR_error_string_n(code, reason, sizeof reason);
  throw PlatformError("Could not compute a SHA-256 digest", "", reason);
}

}  // namespace

struct Sha256::State {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context{EVP_MD_CTX_new(),
                                                                  &EVP_MD_CTX_free};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  check(state_->context != nullptr);
  check(EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr));
}

Sha256::~Sha256() = default;

void Sha256::update(std::span<const std::uint8_t> bytes) {
  check(EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()));
}

std::array<std::uint8_t, 32> Sha256::finish() {
  std::array<std::uint8_t, 32> value{};
  unsigned length = 0;
  check(EVP_DigestFinal_ex(state_->context.get(), value.data(), &length));
  return value;
}

}  // namespace tovren
