// The unpacker's link check against the plain walk a system makes, on any
// entries and links: one per line, "NAME" or "NAME -> TARGET". Both refuse the
// same first link for the same reason, or neither refuses; and the check's work
// stays linear however the links lead through each other.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "unpacker/unpacked_links.h"
#include "unpacker/zip_listing.h"

namespace {

using Path = std::vector<std::string>;

Path components(const std::string& path) {
  Path parts;
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = std::min(path.find('/', start), path.size());
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The system's walk: each link followed anew, at most 40 in all.
struct Walk {
  std::map<Path, std::string> targets;

  std::string follow(Path& at, const std::string& target, int& links) const {
    for (const std::string& part : components(target)) {
      if (part == ".") continue;
      if (part == "..") {
        if (at.empty()) return "leads outside the folder";
        at.pop_back();
        continue;
      }
      at.push_back(part);
      auto link = targets.find(at);
      if (link == targets.end()) continue;
      if (++links > 40) return "passes through more than 40 links";
      at.pop_back();
      if (std::string trouble = follow(at, link->second, links); !trouble.empty()) return trouble;
    }
    return "";
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size), expected;
  std::vector<std::pair<std::string, std::string>> links;
  std::set<Path> names;
  ditto::UnpackedLinks checked;
  Walk walk;
  try {
    for (std::size_t start = 0; start < text.size();) {
      std::size_t end = std::min(text.find('\n', start), text.size());
      std::string line = text.substr(start, end - start), name = line.substr(0, line.find(" -> "));
      start = end + 1;
      // As the listing gives names: inside the folder, each once.
      if (name.empty() || !ditto::staysInside(name) || !names.insert(components(name)).second)
        continue;
      if (name.size() == line.size()) {
        checked.add(name);
        continue;
      }
      std::string target = line.substr(name.size() + 4);
      if (target.starts_with('/')) return 0;  // refused at once, as it must be
      checked.add(name, target);
      links.emplace_back(name, target);
      walk.targets[components(name)] = target;
    }
  } catch (const ditto::Refusal&) {
    std::abort();
  }
  for (const auto& [name, target] : links) {
    Path link = components(name), folder(link.begin(), link.end() - 1);
    std::string trouble;
    for (const Path& other : names)
      if (other.size() > link.size() && std::equal(link.begin(), link.end(), other.begin()))
        trouble = "it is a symbolic link, and other entries lie beneath it";
    int passed = 0;
    if (trouble.empty() && !(trouble = walk.follow(folder, target, passed)).empty())
      trouble = "its symbolic link " + trouble;
    if (trouble.empty()) continue;
    expected = "refusing entry \"" + ditto::shown(name) + "\": " + trouble;
    break;
  }
  try {
    checked.check();
  } catch (const ditto::Refusal& refusal) {
    if (refusal.what() != expected) std::abort();
    return 0;
  }
  if (!expected.empty()) std::abort();
  return 0;
}
