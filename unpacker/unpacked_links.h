#pragma once
// The symbolic links of an archive, as they are unpacked one after another: each
// must lead to a place inside the folder, and so must every one before it once
// the new one stands.

#include <map>
#include <string>
#include <vector>

namespace ditto {

class UnpackedLinks {
 public:
  // Adds the link `name` (an entry's name as the listing has it) to `target`.
  // The target is followed as the system will follow it: from the link's own
  // folder, one component after another, and through the links added before.
  // Raises a Refusal naming the entry when the target is absolute, when it leads
  // outside the folder, when with it a link added before would, or when it passes
  // through more links than the system follows in one path.
  // Only the links added before whose way passes the new link's path are
  // followed again: the work grows with the links, not with their square.
  void add(const std::string& name, const std::string& target);

 private:
  using Path = std::vector<std::string>;
  // What is wrong with following `target` from the folder `at`, which it leaves
  // where it leads: "" when nothing. Each path the way passes is noted as passed
  // by the link `from`.
  std::string follow(Path& at, const std::string& target, int& links, const std::string& from);
  // The same for the link at `path`, followed from its own folder.
  std::string troubleOf(const std::string& path);

  std::map<std::string, std::string> targets_;               // by the link's path
  std::map<std::string, std::vector<std::string>> passers_;  // by a path: links whose way passes it
};

}  // namespace ditto
