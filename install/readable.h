#pragma once
// What a run can do without: the reads that examine what is in place (the
// console, the launch agent's property list, the log's end), where any failure
// of the file or of the memory only means there is nothing to go by.

#include <new>
#include <optional>
#include <string>

#include "platform/file_manager.h"

namespace tovren {

// What `read` returns, or none when it raises a PlatformError or a DecodingError,
// or runs out of memory.
template <typename Read>
[[nodiscard]] auto ifReadable(Read read) -> std::optional<decltype(read())> {
  try {
    return read();
  } catch (const PlatformError&) {
    return std::nullopt;
  } catch (const DecodingError&) {
    return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

// The whole file as UTF-8 text, without a leading byte-order mark. Raises a
// PlatformError when the file cannot be read or holds more than `most` bytes,
// which are never held, and a DecodingError when it is not valid UTF-8.
std::string readText(FileManager& files, const Location& location, Links links, std::size_t most);

}  // namespace tovren
