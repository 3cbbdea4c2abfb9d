#include "unpacker/unpacked_links.h"

#include <utility>

#include "unpacker/zip_listing.h"

namespace ditto {

namespace {

// The system follows no more links than this in one path (Linux's limit; macOS
// stops at 32).
constexpr int mostLinks = 40;

constexpr std::size_t none = std::string::npos;

std::string key(std::size_t parent, std::string_view name) {
  return std::to_string(parent).append("/").append(name);
}

[[noreturn]] void refuse(const std::string& name, const std::string& reason) {
  throw Refusal("refusing entry \"" + shown(name) + "\": " + reason);
}

}  // namespace

// The node of `name`, made with the folders on its way, each noted as holding it.
std::size_t UnpackedLinks::noted(const std::string& name) {
  std::size_t node = 0;
  for (std::size_t start = 0; start < name.size();) {
    std::size_t end = std::min(name.find('/', start), name.size());
    if (end > start) {
      nodes_[node].holds = true;
      auto [named, made] =
          children_.try_emplace(key(node, {name.data() + start, end - start}), nodes_.size());
      if (made) nodes_.push_back({.parent = node});
      node = named->second;
    }
    start = end + 1;
  }
  return node;
}

std::size_t UnpackedLinks::child(std::size_t node, std::string_view name) const {
  auto found = children_.find(key(node, name));
  return found == children_.end() ? none : found->second;
}

void UnpackedLinks::add(const std::string& name) { noted(name); }

void UnpackedLinks::add(const std::string& name, const std::string& target) {
  if (target.starts_with('/')) refuse(name, "its symbolic link's target is an absolute path");
  std::size_t node = noted(name);
  nodes_[node].link = static_cast<int>(links_.size());
  Link& link = links_.emplace_back();
  link.name = name;
  link.target = target;
  link.node = node;
}

// The walk of `link` goes on where `other`, settled, leads, having passed
// through `passed` links on the way.
void UnpackedLinks::walkThrough(Link& link, int passed, const Link& other) {
  link.passed += passed;
  if (link.passed > mostLinks)
    link.trouble = "passes through more than " + std::to_string(mostLinks) + " links";
  else
    link.trouble = other.trouble;
  link.at = other.at;
  if (!link.trouble.empty()) link.state = State::settled;
}

// Takes the next component of the walk of `link`. Returns a link the walk
// reaches that must be walked first, or `none`.
std::size_t UnpackedLinks::step(Link& link) {
  if (link.next >= link.target.size()) {
    link.state = State::settled;
    return none;
  }
  std::size_t end = std::min(link.target.find('/', link.next), link.target.size()),
              start = std::exchange(link.next, end + 1);
  std::string_view part(link.target.data() + start, end - start);
  Place& at = link.at;
  if (part.empty() || part == ".") return none;
  if (part == ".." && at.beyond > 0) {
    --at.beyond;
  } else if (part == ".." && at.node == 0) {
    link.trouble = "leads outside the folder";
    link.state = State::settled;
  } else if (part == "..") {
    at.node = nodes_[at.node].parent;
  } else if (std::size_t next = at.beyond > 0 ? none : child(at.node, part); next == none) {
    ++at.beyond;
  } else if (int other = nodes_[next].link; other < 0) {
    at.node = next;
  } else if (links_[other].state == State::unseen) {
    link.next = start;  // this component again, once the other is settled
    return static_cast<std::size_t>(other);
  } else if (links_[other].state == State::walking) {
    // A loop: the system would go round it until its limit.
    walkThrough(link, mostLinks + 1, links_[other]);
  } else {
    walkThrough(link, 1 + links_[other].passed, links_[other]);
  }
  return none;
}

// Walks `first`, and before it each link it reaches that is not settled yet;
// the links being walked wait on each other in `walking`.
void UnpackedLinks::settle(std::size_t first) {
  std::vector<std::size_t> walking;
  auto begin = [&](std::size_t index) {
    Link& link = links_[index];
    link.state = State::walking;
    link.at = {nodes_[link.node].parent, 0};
    walking.push_back(index);
  };
  if (links_[first].state == State::unseen) begin(first);
  while (!walking.empty()) {
    Link& link = links_[walking.back()];
    if (link.state == State::settled)
      walking.pop_back();
    else if (std::size_t other = step(link); other != none)
      begin(other);
  }
}

void UnpackedLinks::check() {
  for (std::size_t index = 0; index < links_.size(); ++index) {
    const Link& link = links_[index];
    if (nodes_[link.node].holds)
      refuse(link.name, "it is a symbolic link, and other entries lie beneath it");
    settle(index);
    if (!link.trouble.empty()) refuse(link.name, "its symbolic link " + link.trouble);
  }
}

}  // namespace ditto
