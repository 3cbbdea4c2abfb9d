#pragma once
// SHA-256 by the system's library, defined in the system's folder; the value as
// text is defined in sha256.cpp beside this header.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace tovren {

// A SHA-256 (FIPS 180-4) value, computed from bytes given in one or more pieces.
// Raises a PlatformError with the library's reason when it cannot hash.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  // Adds the next bytes.
  void update(std::span<const std::uint8_t> bytes);
  // The value of all the bytes added; nothing can be added afterwards.
  std::array<std::uint8_t, 32> finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The SHA-256 of `bytes` as 64 lower-case hexadecimal characters. Raises as
// Sha256 does.
std::string sha256Text(std::span<const std::uint8_t> bytes);

}  // namespace tovren
