#include "support/location.h"

#include <stdexcept>
#include <vector>

namespace tovren {

namespace {

std::string withoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

Location::Location(std::string path) : path_(withoutTrailingSeparators(std::move(path))) {
  if (path_.empty() || path_[0] != '/')
    throw std::invalid_argument("A location must be absolute: \"" + path_ + "\"");
}

Location Location::append(const std::string& component) const {
  return Location(path_ == "/" ? "/" + component : path_ + "/" + component);
}

Location Location::parent() const {
  auto slash = path_.rfind('/');
  return Location(slash == 0 ? "/" : path_.substr(0, slash));
}

Location Location::standardized() const {
  std::vector<std::string> parts;
  std::size_t start = 1;
  while (start <= path_.size()) {
    auto end = path_.find('/', start);
    if (end == std::string::npos) end = path_.size();
    std::string part = path_.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string path;
  for (const auto& part : parts) path += "/" + part;
  return Location(path.empty() ? "/" : path);
}

std::string Location::name() const {
  return path_ == "/" ? path_ : path_.substr(path_.rfind('/') + 1);
}

}  // namespace tovren
