#pragma once
// Functions of a library the program loads itself, when it needs it.

#include <dlfcn.h>

namespace tovren {

// Looks `name` up in `library` as a function of the type of `function`; returns
// whether it was found.
template <typename F>
bool findSymbol(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(::dlsym(library, name));
  return function != nullptr;
}

}  // namespace tovren
