#include "platform/text.h"

#include <unicode/ubrk.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>
#include <unicode/uvernum.h>

#include <climits>
#include <cstdint>
#include <stdexcept>

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

template <typename F>
void find(void* library, const char* name, F& function) {
  if (!findSymbol(library, name, function)) throw std::runtime_error(std::string("ICU has no ") + name + ".");
}

const Boundaries& boundaries() {
  static const Boundaries loaded = [] {
    void* library = ::dlopen("libicuuc.so." TOVREN_EXPANDED(U_ICU_VERSION_MAJOR_NUM), RTLD_NOW | RTLD_LOCAL);
    if (!library) throw std::runtime_error("Could not load ICU to count characters.");
    Boundaries b{};
    find(library, TOVREN_ICU(utext_openUTF8), b.openText);
    find(library, TOVREN_ICU(utext_close), b.closeText);
    find(library, TOVREN_ICU(ubrk_open), b.open);
    find(library, TOVREN_ICU(ubrk_setUText), b.setText);
    find(library, TOVREN_ICU(ubrk_last), b.last);
    find(library, TOVREN_ICU(ubrk_previous), b.previous);
    find(library, TOVREN_ICU(ubrk_close), b.close);
    return b;
  }();
  return loaded;
}

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
  const Boundaries& icu = boundaries();
  text = within32BitOffsets(text);
  UErrorCode status = U_ZERO_ERROR;
  UText* utext = icu.openText(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status);
  UBreakIterator* characters = icu.open(UBRK_CHARACTER, "", nullptr, 0, &status);
  if (U_SUCCESS(status)) icu.setText(characters, utext, &status);
  std::int32_t start = 0;
  if (U_SUCCESS(status)) {
    // With UTF-8 text the iterator's offsets are byte offsets.
    start = icu.last(characters);
    for (std::size_t i = 0; i < count && start > 0; ++i) start = icu.previous(characters);
  }
  if (characters) icu.close(characters);
  if (utext) icu.closeText(utext);
  if (U_FAILURE(status)) throw std::runtime_error("Could not count characters.");
  return std::string(text.substr(start == UBRK_DONE ? 0 : start));
}

}  // namespace tovren
