#pragma once
// An open descriptor that the program hands to child programs.

namespace tovren {

// A write handle on a file. It is a plain value: whoever opened it closes it
// through the file manager that made it, once.
struct FileHandle {
  int descriptor = -1;
};

}  // namespace tovren
