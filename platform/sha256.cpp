#include "platform/sha256.h"

#include <openssl/evp.h>

#include <memory>
#include <new>

namespace tovren {

std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> bytes) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  std::array<std::uint8_t, 32> value{};
  unsigned length = 0;
  // These calls fail only when memory runs out.
  if (!context || !EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) ||
      !EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) ||
      !EVP_DigestFinal_ex(context.get(), value.data(), &length))
    throw std::bad_alloc();
  return value;
}

}  // namespace tovren
