#include "unpacker/unpacked_links.h"

#include "unpacker/zip_listing.h"

namespace ditto {

namespace {

// The system follows no more links than this in one path (Linux's limit; macOS
// stops at 32).
constexpr int mostLinks = 40;

// The components of `path`, without empty ones: "a//b/" is "a", "b".
std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  for (std::size_t start = 0; start < path.size();) {
    std::size_t end = std::min(path.find('/', start), path.size());
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string path;
  for (const auto& part : parts) path += (path.empty() ? "" : "/") + part;
  return path;
}

}  // namespace

std::string UnpackedLinks::follow(Path& at, const std::string& target, int& links,
                                  const std::string& from) {
  if (target.starts_with('/')) return "leads outside the folder";
  for (const std::string& part : components(target)) {
    if (part == ".") continue;
    if (part == "..") {
      if (at.empty()) return "leads outside the folder";
      at.pop_back();
      continue;
    }
    at.push_back(part);
    std::string path = joined(at);
    passers_[path].push_back(from);
    auto link = targets_.find(path);
    if (link == targets_.end()) continue;
    if (++links > mostLinks)
      return "passes through more than " + std::to_string(mostLinks) + " links";
    at.pop_back();
    if (std::string trouble = follow(at, link->second, links, from); !trouble.empty())
      return trouble;
  }
  return "";
}

std::string UnpackedLinks::troubleOf(const std::string& path) {
  Path folder = components(path);
  folder.pop_back();
  int links = 0;
  return follow(folder, targets_.at(path), links, path);
}

void UnpackedLinks::add(const std::string& name, const std::string& target) {
  auto refuse = [&](const std::string& reason) {
    throw Refusal("refusing entry \"" + shown(name) + "\": " + reason);
  };
  if (target.starts_with('/')) refuse("its symbolic link's target is an absolute path");
  std::string path = joined(components(name));
  targets_[path] = target;
  if (std::string trouble = troubleOf(path); !trouble.empty())
    refuse("its symbolic link " + trouble);
  // A link added before whose way passes this path now passes through this link.
  auto passed = passers_.find(path);
  if (passed == passers_.end()) return;
  std::vector<std::string> others = std::move(passed->second);
  passers_.erase(passed);
  for (const auto& other : others)
    if (other != path)
      if (std::string trouble = troubleOf(other); !trouble.empty())
        refuse("with it, the symbolic link \"" + shown(other) + "\" " + trouble);
}

}  // namespace ditto
