#include "platform/text.h"

#include <unicode/ubrk.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>
#include <unicode/uvernum.h>

#include <climits>
#include <cstdint>
#include <optional>

#include "platform/library.h"

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

#define TOVREN_STRING(x) #x
#define TOVREN_EXPANDED(x) TOVREN_STRING(x)
// ICU's headers rename each function with its version, e.g. ubrk_open_72.
#define TOVREN_ICU(name) TOVREN_EXPANDED(name)

// ICU's character boundaries, loaded on first use: only a failure message needs
// them, and a run that succeeds starts faster without the library.
struct Boundaries {
  decltype(&utext_openUTF8) openText;
  decltype(&utext_close) closeText;
  decltype(&ubrk_open) open;
  decltype(&ubrk_setUText) setText;
  decltype(&ubrk_last) last;
  decltype(&ubrk_previous) previous;
  decltype(&ubrk_close) close;
};

// The functions, when the library and every one of them can be loaded; none
// otherwise.
std::optional<Boundaries> load() {
  void* library = ::dlopen("libicuuc.so." TOVREN_EXPANDED(U_ICU_VERSION_MAJOR_NUM), RTLD_NOW | RTLD_LOCAL);
  Boundaries b{};
  if (library && findSymbol(library, TOVREN_ICU(utext_openUTF8), b.openText) &&
      findSymbol(library, TOVREN_ICU(utext_close), b.closeText) && findSymbol(library, TOVREN_ICU(ubrk_open), b.open) &&
      findSymbol(library, TOVREN_ICU(ubrk_setUText), b.setText) && findSymbol(library, TOVREN_ICU(ubrk_last), b.last) &&
      findSymbol(library, TOVREN_ICU(ubrk_previous), b.previous) && findSymbol(library, TOVREN_ICU(ubrk_close), b.close))
    return b;
  return std::nullopt;
}

// The byte offset where the last `count` characters of `text` begin, by ICU's
// boundaries; none when they cannot be had, as past ICU's 2 GiB of offsets.
std::optional<std::int32_t> clusterStart(std::string_view text, std::size_t count) {
  static const std::optional<Boundaries> icu = load();
  if (!icu || text.size() > INT32_MAX) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  UText* utext = icu->openText(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status);
  UBreakIterator* characters = icu->open(UBRK_CHARACTER, "", nullptr, 0, &status);
  if (U_SUCCESS(status)) icu->setText(characters, utext, &status);
  std::int32_t start = 0;
  if (U_SUCCESS(status)) {
    // With UTF-8 text the iterator's offsets are byte offsets.
    start = icu->last(characters);
    for (std::size_t i = 0; i < count && start > 0; ++i) start = icu->previous(characters);
  }
  if (characters) icu->close(characters);
  if (utext) icu->closeText(utext);
  if (U_FAILURE(status)) return std::nullopt;
  return start == UBRK_DONE ? 0 : start;
}

// The byte offset where the last `count` code points of `text` begin.
std::size_t codePointStart(std::string_view text, std::size_t count) {
  std::size_t start = text.size();
  for (std::size_t i = 0; i < count && start > 0; ++i) {
    do --start;
    while (start > 0 && U8_IS_TRAIL(static_cast<std::uint8_t>(text[start])));
  }
  return start;
}

void appendControlPicture(std::string& text, std::uint8_t c) {
  // U+2400 to U+241F picture C0 controls; U+2421 pictures DEL.
  text += "\xE2\x90";
  text += static_cast<char>(c == 0x7F ? 0xA1 : 0x80 + c);
}

}  // namespace

std::string lastCharacters(std::string_view text, std::size_t count) {
  // Without ICU, whole code points still keep the text readable; only a letter
  // with combining marks at the cut may lose its base.
  std::optional<std::int32_t> cluster = clusterStart(text, count);
  return std::string(text.substr(cluster ? static_cast<std::size_t>(*cluster) : codePointStart(text, count)));
}

std::string visible(std::string_view text) {
  std::string shown;
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int64_t>(text.size());
  for (std::int64_t i = 0, start = 0; i < length; start = i) {
    UChar32 c;
    U8_NEXT(s, i, length, c);
    bool lineBreak = c == '\n' || c == '\t' || (c == '\r' && i < length && s[i] == '\n');
    if (c < 0 || (c >= 0x80 && c < 0xA0)) {
      shown += "\xEF\xBF\xBD";  // U+FFFD
    } else if ((c < 0x20 && !lineBreak) || c == 0x7F) {
      appendControlPicture(shown, static_cast<std::uint8_t>(c));
    } else {
      shown.append(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
    }
  }
  return shown;
}

}  // namespace tovren
