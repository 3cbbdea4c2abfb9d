// The failure message's log tail on arbitrary bytes as a log.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/clusters.h"
#include "support/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tovren;
  // Whatever its bytes, the message shows the log as UTF-8.
  std::string text = asUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  std::string_view log = text;
  if (!validUtf8(log) ||
      (validUtf8({reinterpret_cast<const char*>(data), size}) && text.size() != size))
    std::abort();
  for (std::size_t count : {std::size_t{1200}, size ? std::size_t{data[0] % 8u} : std::size_t{0}}) {
    std::string tail = lastCharacters(log, count);
    // A suffix of the log, cut at a character boundary, never longer than the log.
    if (!log.ends_with(tail) || !validUtf8(tail)) std::abort();
    if (count == 0 && !tail.empty()) std::abort();
    // Taking the tail of the tail changes nothing.
    if (lastCharacters(tail, count) != tail) std::abort();
  }
  return 0;
}
