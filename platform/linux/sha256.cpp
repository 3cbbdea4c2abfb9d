#include "platform/portable/sha256.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <memory>

#include "platform/portable/error.h"

namespace tovren {

std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> bytes) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  &EVP_MD_CTX_free);
  std::array<std::uint8_t, 32> value{};
  unsigned length = 0;
  // These fail when memory runs out, or when the library's configuration leaves
  // it without SHA-256; OpenSSL says which.
  if (!context || !EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) ||
      !EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) ||
      !EVP_DigestFinal_ex(context.get(), value.data(), &length)) {
    char reason[256] = "no reason given";
    if (unsigned long code = ERR_get_error()) ERR_error_string_n(code, reason, sizeof reason);
    throw PlatformError("Could not compute a SHA-256 digest", "", reason);
  }
  return value;
}

}  // namespace tovren
