#pragma once
// A library the program loads itself, when it needs it: the desktop toolkit, the
// Unicode library and the system's frameworks.

#include <dlfcn.h>

#include <string>

namespace tovren {

// A library loaded by its name or path. It stays loaded for the life of the
// program, whatever becomes of this value: unloading a library that has started
// threads is not safe.
class Library {
 public:
  // `suffix` ends the name of each of its functions, as ICU's version ("_72") does.
  explicit Library(const char* name, std::string suffix = "")
      : handle_(::dlopen(name, RTLD_NOW | RTLD_LOCAL)), suffix_(std::move(suffix)) {}

  // Sets `function` to the library's function `name`, as of the type it has;
  // returns whether the library was loaded and has it.
  template <typename F>
  [[nodiscard]] bool find(const char* name, F& function) const {
    function = handle_ ? reinterpret_cast<F>(::dlsym(handle_, (name + suffix_).c_str())) : nullptr;
    return function != nullptr;
  }

 private:
  void* handle_;
  std::string suffix_;
};

}  // namespace tovren
