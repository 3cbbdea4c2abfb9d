#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "support/bytes.h"

namespace tovren {

// Decodes standard Base64 strictly: the length a multiple of 4, only the alphabet
// A-Z a-z 0-9 + /, and "=" only as one or two final pad characters. Anything else,
// whitespace and line breaks included, yields none; so do pad bits that are not zero.
std::optional<Bytes> decodeBase64(std::string_view text);

// The length of the Base64 text that begins `text`: its alphabet, then any "=".
std::size_t base64Length(std::string_view text);

// The standard Base64 form of `bytes`, padded, on one line.
std::string encodeBase64(const Bytes& bytes);

}  // namespace tovren
