#pragma once
// The entries of an archive and its symbolic links, checked once all are known:
// every link must lead to a place inside the folder. The unpacker makes the
// links last, after this check, so no link is ever on disk that leads out, and
// nothing is written through one.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ditto {

class UnpackedLinks {
 public:
  // Notes the entry `name` (as the listing has it), which is not a link.
  void add(const std::string& name);
  // Notes the symbolic link `name` to `target`. Raises a Refusal naming the
  // entry when the target is an absolute path.
  void add(const std::string& name, const std::string& target);
  // Raises a Refusal naming the first link, in the order they were added, that
  // has other entries beneath it, or whose target, followed as the system
  // follows it (from the link's own folder, one component after another, and
  // through the other links), leads outside the folder or passes through more
  // links than the system follows in one path.
  //
  // Each link's target is walked once, whatever the archive: a link reached on
  // the way is either walked already, and stepped over by its result, or walked
  // first. Time and memory grow linearly with the entries and the lengths of
  // their names and targets.
  void check();

 private:
  // A place the walk reaches: a folder the archive names, then `beyond` more
  // components that no entry names (so none is a link).
  struct Place {
    std::size_t node = 0;
    std::size_t beyond = 0;
  };
  enum class State { unseen, walking, settled };
  struct Link {
    std::string name, target;
    std::size_t node = 0;
    State state = State::unseen;
    std::size_t next = 0;  // where the walk goes on in the target
    Place at{};            // where the walk is; once settled, where the link leads
    int passed = 0;        // links passed through so far, those inside others included
    std::string trouble;   // once settled: "" when the link leads inside
  };
  struct Node {
    std::size_t parent = 0;
    int link = -1;       // the link there, if any
    bool holds = false;  // an entry lies beneath it
  };

  std::size_t noted(const std::string& name);
  std::size_t child(std::size_t node, std::string_view name) const;
  void settle(std::size_t link);
  std::size_t step(Link& link);
  void walkThrough(Link& link, int passed, const Link& other);

  std::vector<Node> nodes_{Node{}};                        // the folder first
  std::unordered_map<std::string, std::size_t> children_;  // by parent and name
  std::vector<Link> links_;                                // in the order added
};

}  // namespace ditto
