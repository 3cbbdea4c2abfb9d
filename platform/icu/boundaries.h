#pragma once
// ICU's boundaries of user-perceived characters, from a library the program loads
// itself on first use: only a failure message needs them, and a run that succeeds
// starts faster without them.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tovren {

class IcuBoundaries {
 public:
  // Loads `library` and its functions, each named as ICU's headers name it with
  // `suffix` appended (a version suffix such as "_72", or none). The library
  // stays loaded for the life of the program.
  IcuBoundaries(const char* library, const std::string& suffix);

  // As clusterStart (platform/clusters.h): none when the library or one
  // of its functions could not be loaded, or the text is too long for it.
  [[nodiscard]] std::optional<std::size_t> clusterStart(std::string_view text,
                                                        std::size_t count) const;

 private:
  struct Functions;
  const Functions* functions_;
};

}  // namespace tovren
