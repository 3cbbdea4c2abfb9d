#pragma once
// File locations: absolute path texts, built by appending components.

#include <string>

namespace tovren {

// An absolute location in the file system. Its path has no trailing separator,
// except the root "/".
class Location {
 public:
  // `path` must be absolute: a relative one is the caller's mistake, raised as
  // std::invalid_argument. Trailing separators are dropped, and doubled ones are
  // kept until standardized().
  explicit Location(std::string path);

  const std::string& path() const { return path_; }
  // This location with `component` (a name or a relative path) appended.
  Location append(const std::string& component) const;
  // The folder that holds this location; the parent of "/" is "/".
  Location parent() const;
  // The same location with ".", ".." and doubled separators resolved as text.
  Location standardized() const;
  // The last component, or "/" for the root.
  std::string name() const;

 private:
  std::string path_;
};

}  // namespace tovren
