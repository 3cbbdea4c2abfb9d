#include "support/text.h"

#include <unicode/utf8.h>

#include <cstdint>

namespace tovren {

std::string_view withoutByteOrderMark(std::string_view text) {
  return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
}

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

void appendControlPicture(std::string& text, std::uint8_t c) {
  // U+2400 to U+241F picture C0 controls; U+2421 pictures DEL.
  text += "\xE2\x90";
  text += static_cast<char>(c == 0x7F ? 0xA1 : 0x80 + c);
}

}  // namespace

std::size_t codePointStart(std::string_view text, std::size_t count) {
  std::size_t start = text.size();
  for (std::size_t i = 0; i < count && start > 0; ++i) {
    do --start;
    while (start > 0 && U8_IS_TRAIL(static_cast<std::uint8_t>(text[start])));
  }
  return start;
}

std::string rewritten(std::string_view text,
                      const std::function<bool(std::string&, std::string_view, int)>& show) {
  std::string out;
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int64_t>(text.size());
  for (std::int64_t i = 0, start = 0; i < length; start = i) {
    UChar32 c;
    U8_NEXT(s, i, length, c);
    std::string_view bytes =
        text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start));
    if (!show(out, bytes, c < 0 ? -1 : c)) out.append(bytes);
  }
  return out;
}

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

std::string asUtf8(std::string_view bytes) {
  return rewritten(bytes, [](std::string& out, std::string_view, int c) {
    return c < 0 && (out += replacement, true);
  });
}

// A carriage return stays before a line feed only, which the next code point
// shows: a lone one is made visible when the text ends or goes on otherwise.
std::string visible(std::string_view text) {
  return rewritten(text, [&](std::string& shown, std::string_view bytes, int c) {
    std::size_t next = static_cast<std::size_t>(bytes.data() - text.data()) + bytes.size();
    bool lineBreak =
        c == '\n' || c == '\t' || (c == '\r' && next < text.size() && text[next] == '\n');
    if (c < 0 || (c >= 0x80 && c < 0xA0)) {
      shown += replacement;  // C1 controls steer some terminals
    } else if ((c < 0x20 && !lineBreak) || c == 0x7F) {
      appendControlPicture(shown, static_cast<std::uint8_t>(c));
    } else {
      return false;
    }
    return true;
  });
}

std::string hexadecimal(std::span<const std::uint8_t> bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t byte : bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 0xF];
  }
  return text;
}

}  // namespace tovren
