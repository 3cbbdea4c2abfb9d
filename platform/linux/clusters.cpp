// User-perceived characters by ICU's boundaries. The library is loaded on first
// use, by the name of the version the program was built with: only a failure
// message needs it, and a run that succeeds starts faster without it.
#include <unicode/ubrk.h>
#include <unicode/utext.h>
#include <unicode/uvernum.h>

#include <climits>
#include <cstdint>
#include <memory>

#include "platform/linux/library.h"
#include "platform/portable/system.h"

namespace tovren {

namespace {

#define TOVREN_STRING(x) #x
#define TOVREN_EXPANDED(x) TOVREN_STRING(x)
// ICU's headers rename each function with its version, e.g. ubrk_open_72.
#define TOVREN_ICU(name) TOVREN_EXPANDED(name)

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
// otherwise. The library stays loaded for the life of the program.
std::optional<Boundaries> load() {
  void* library =
      ::dlopen("libicuuc.so." TOVREN_EXPANDED(U_ICU_VERSION_MAJOR_NUM), RTLD_NOW | RTLD_LOCAL);
  Boundaries b{};
  if (library && findSymbol(library, TOVREN_ICU(utext_openUTF8), b.openText) &&
      findSymbol(library, TOVREN_ICU(utext_close), b.closeText) &&
      findSymbol(library, TOVREN_ICU(ubrk_open), b.open) &&
      findSymbol(library, TOVREN_ICU(ubrk_setUText), b.setText) &&
      findSymbol(library, TOVREN_ICU(ubrk_last), b.last) &&
      findSymbol(library, TOVREN_ICU(ubrk_previous), b.previous) &&
      findSymbol(library, TOVREN_ICU(ubrk_close), b.close))
    return b;
  return std::nullopt;
}

}  // namespace

std::optional<std::size_t> clusterStart(std::string_view text, std::size_t count) {
  static const std::optional<Boundaries> icu = load();
  // ICU's offsets are 32-bit.
  if (!icu || text.size() > INT32_MAX) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UText, decltype(icu->closeText)> utext(
      icu->openText(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status),
      icu->closeText);
  std::unique_ptr<UBreakIterator, decltype(icu->close)> characters(
      icu->open(UBRK_CHARACTER, "", nullptr, 0, &status), icu->close);
  if (U_SUCCESS(status)) icu->setText(characters.get(), utext.get(), &status);
  if (U_FAILURE(status)) return std::nullopt;
  // With UTF-8 text the iterator's offsets are byte offsets.
  std::int32_t start = icu->last(characters.get());
  for (std::size_t i = 0; i < count && start > 0; ++i) start = icu->previous(characters.get());
  return start == UBRK_DONE ? 0 : static_cast<std::size_t>(start);
}

}  // namespace tovren
