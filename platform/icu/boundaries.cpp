#include "platform/icu/boundaries.h"

#include <unicode/ubrk.h>
#include <unicode/utext.h>

#include <climits>
#include <cstdint>
#include <memory>

#include "platform/posix/library.h"

namespace tovren {

struct IcuBoundaries::Functions {
  decltype(&utext_openUTF8) openText;
  decltype(&utext_close) closeText;
  decltype(&ubrk_open) open;
  decltype(&ubrk_setUText) setText;
  decltype(&ubrk_last) last;
  decltype(&ubrk_previous) previous;
  decltype(&ubrk_close) close;
};

namespace {

// The functions, when the library and every one of them can be loaded; null
// otherwise. They are kept for the life of the program, as the library is.
template <typename Functions>
const Functions* load(const char* name, const std::string& suffix) {
  Library library(name, suffix);
  auto f = std::make_unique<Functions>();
  if (library.find("utext_openUTF8", f->openText) && library.find("utext_close", f->closeText) &&
      library.find("ubrk_open", f->open) && library.find("ubrk_setUText", f->setText) &&
      library.find("ubrk_last", f->last) && library.find("ubrk_previous", f->previous) &&
      library.find("ubrk_close", f->close))
    return f.release();
  return nullptr;
}

}  // namespace

IcuBoundaries::IcuBoundaries(const char* library, const std::string& suffix)
    : functions_(load<Functions>(library, suffix)) {}

std::optional<std::size_t> IcuBoundaries::clusterStart(std::string_view text,
                                                       std::size_t count) const {
  const Functions* icu = functions_;
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
