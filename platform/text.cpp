#include "platform/text.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <climits>
#include <cstdint>
#include <memory>

namespace tovren {

bool validUtf8(std::string_view bytes) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(bytes.data());
  std::int64_t i = 0;
  const std::int64_t length = static_cast<std::int64_t>(bytes.size());
  while (i < length) {
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

namespace {

// The break iterator counts in 32-bit offsets. A longer text is cut to its last
// part, starting at a character boundary; a single user-perceived character never
// spans that much, so the result is the same.
std::string_view within32BitOffsets(std::string_view text) {
  constexpr std::size_t limit = INT32_MAX / 2;
  if (text.size() <= limit) return text;
  std::size_t start = text.size() - limit;
  while (start < text.size() && U8_IS_TRAIL(static_cast<std::uint8_t>(text[start]))) ++start;
  return text.substr(start);
}

}  // namespace

std::string lastCharacters(std::string_view text, std::size_t count) {
  text = within32BitOffsets(text);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UText, decltype(&utext_close)> utext(
      utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status),
      &utext_close);
  std::unique_ptr<icu::BreakIterator> characters(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status)) throw std::runtime_error(std::string("Could not count characters: ") + u_errorName(status) + ".");
  characters->setText(utext.get(), status);
  if (U_FAILURE(status)) throw std::runtime_error(std::string("Could not count characters: ") + u_errorName(status) + ".");
  // With UTF-8 text the iterator's offsets are byte offsets.
  std::int32_t start = characters->last();
  for (std::size_t i = 0; i < count && start > 0; ++i) start = characters->previous();
  return std::string(text.substr(start == icu::BreakIterator::DONE ? 0 : start));
}

}  // namespace tovren
