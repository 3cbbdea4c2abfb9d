// A test-only preload library that stands between the setup program and the C
// library. It counts the program's file and process operations on the paths the
// test names, records each with its flags or mode, and at the chosen operation
// either fails it with a realistic error or kills the process.
//
//   TOVREN_SHIM_SCOPE   colon-separated path prefixes; only operations on them count
//   TOVREN_SHIM_LOG     file to append one line per counted operation:
//                       "<index> <call> <path> <flags-or-mode in octal>"
//   TOVREN_SHIM_AT      the index of the operation to act on (0: none)
//   TOVREN_SHIM_ACTION  "kill" (SIGKILL before the operation) or "fail" (a realistic
//                       error for that call, instead of the operation; logged as
//                       "! <errno>")
//
// The variables and LD_PRELOAD are removed at start, so child programs run plain.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> scope;
int logFd = -1;
long target = 0;
bool killing = false;
long counter = 0;
thread_local bool inside = false;

template <typename F>
F next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

__attribute__((constructor)) void start() {
  if (const char* text = getenv("TOVREN_SHIM_SCOPE")) {
    std::string all = text;
    for (std::size_t s = 0, e; s <= all.size(); s = e + 1) {
      e = all.find(':', s);
      if (e == std::string::npos) e = all.size();
      if (e > s) scope.push_back(all.substr(s, e - s));
    }
  }
  if (const char* path = getenv("TOVREN_SHIM_LOG"))
    logFd = next<int (*)(const char*, int, ...)>("open")(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (const char* at = getenv("TOVREN_SHIM_AT")) target = atol(at);
  if (const char* action = getenv("TOVREN_SHIM_ACTION")) killing = strcmp(action, "kill") == 0;
  for (const char* name : {"TOVREN_SHIM_SCOPE", "TOVREN_SHIM_LOG", "TOVREN_SHIM_AT", "TOVREN_SHIM_ACTION", "LD_PRELOAD"})
    unsetenv(name);
}

std::string pathOf(int fd) {
  char link[64], path[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = next<ssize_t (*)(const char*, char*, size_t)>("readlink")(link, path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : "";
}

std::string pathAt(int folder, const char* name) {
  if (!name) return "";
  if (name[0] == '/' || folder == AT_FDCWD) return name;
  return pathOf(folder) + "/" + name;
}

bool inScope(const std::string& path) {
  for (const auto& prefix : scope)
    if (path.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

// The realistic error a failing call reports.
int errorFor(const char* call) {
  for (const char* full : {"write", "mkdir", "rename", "mkostemp", "fsync"})
    if (strcmp(call, full) == 0) return ENOSPC;
  if (strcmp(call, "dlopen") == 0) return ENOENT;
  for (const char* broken : {"read", "close", "unlink", "unlinkat"})
    if (strcmp(call, broken) == 0) return EIO;
  if (strcmp(call, "posix_spawn") == 0) return EAGAIN;
  return EACCES;
}

// Records a counted operation; returns the error to report instead of running it,
// or 0 to run it.
int operation(const char* call, const std::string& path, unsigned flags) {
  if (inside || !inScope(path)) return 0;
  inside = true;
  ++counter;
  if (logFd >= 0) {
    char line[4400];
    int n = snprintf(line, sizeof line, "%ld %s %s %o\n", counter, call, path.c_str(), flags);
    if (n > 0) next<ssize_t (*)(int, const void*, size_t)>("write")(logFd, line, static_cast<size_t>(n));
  }
  if (counter != target) {
    inside = false;
    return 0;
  }
  if (killing) raise(SIGKILL);
  // The error injected, for the test to read back: "! <errno>".
  if (logFd >= 0) {
    char line[32];
    int n = snprintf(line, sizeof line, "! %d\n", errorFor(call));
    if (n > 0) next<ssize_t (*)(int, const void*, size_t)>("write")(logFd, line, static_cast<size_t>(n));
  }
  inside = false;
  return errorFor(call);
}

#define FAIL_OR(call, path, flags, failed)          \
  if (int code = operation(call, path, flags)) {    \
    errno = code;                                   \
    return failed;                                  \
  }

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = (flags & O_CREAT) ? va_arg(ap, mode_t) : 0;
  va_end(ap);
  FAIL_OR("open", path, static_cast<unsigned>(flags) | mode, -1);
  return next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}
int openat(int folder, const char* name, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = (flags & O_CREAT) ? va_arg(ap, mode_t) : 0;
  va_end(ap);
  FAIL_OR("openat", pathAt(folder, name), static_cast<unsigned>(flags) | mode, -1);
  return next<int (*)(int, const char*, int, ...)>("openat")(folder, name, flags, mode);
}
int mkdir(const char* path, mode_t mode) {
  FAIL_OR("mkdir", path, mode, -1);
  return next<int (*)(const char*, mode_t)>("mkdir")(path, mode);
}
int fchmod(int fd, mode_t mode) {
  FAIL_OR("fchmod", pathOf(fd), mode, -1);
  return next<int (*)(int, mode_t)>("fchmod")(fd, mode);
}
int fchmodat(int folder, const char* name, mode_t mode, int flags) {
  FAIL_OR("fchmodat", pathAt(folder, name), mode, -1);
  return next<int (*)(int, const char*, mode_t, int)>("fchmodat")(folder, name, mode, flags);
}
int unlink(const char* path) {
  FAIL_OR("unlink", path, 0, -1);
  return next<int (*)(const char*)>("unlink")(path);
}
int unlinkat(int folder, const char* name, int flags) {
  FAIL_OR("unlinkat", pathAt(folder, name), static_cast<unsigned>(flags), -1);
  return next<int (*)(int, const char*, int)>("unlinkat")(folder, name, flags);
}
ssize_t read(int fd, void* buffer, size_t size) {
  FAIL_OR("read", inside ? "" : pathOf(fd), 0, -1);
  return next<ssize_t (*)(int, void*, size_t)>("read")(fd, buffer, size);
}
ssize_t write(int fd, const void* buffer, size_t size) {
  FAIL_OR("write", inside ? "" : pathOf(fd), 0, -1);
  return next<ssize_t (*)(int, const void*, size_t)>("write")(fd, buffer, size);
}
int fsync(int fd) {
  FAIL_OR("fsync", pathOf(fd), 0, -1);
  return next<int (*)(int)>("fsync")(fd);
}
int close(int fd) {
  // The descriptor is released even when close reports an error, as on Linux.
  std::string path = inside ? "" : pathOf(fd);
  int code = operation("close", path, 0);
  int result = next<int (*)(int)>("close")(fd);
  if (code) {
    errno = code;
    return -1;
  }
  return result;
}
int rename(const char* from, const char* to) {
  FAIL_OR("rename", to, 0, -1);
  return next<int (*)(const char*, const char*)>("rename")(from, to);
}
int mkostemp(char* pattern, int flags) {
  FAIL_OR("mkostemp", pattern, static_cast<unsigned>(flags) | 0600, -1);
  return next<int (*)(char*, int)>("mkostemp")(pattern, flags);
}
int stat(const char* path, struct stat* status) {
  FAIL_OR("stat", path, 0, -1);
  return next<int (*)(const char*, struct stat*)>("stat")(path, status);
}
int lstat(const char* path, struct stat* status) {
  FAIL_OR("lstat", path, 0, -1);
  return next<int (*)(const char*, struct stat*)>("lstat")(path, status);
}
int fstat(int fd, struct stat* status) {
  FAIL_OR("fstat", inside ? "" : pathOf(fd), 0, -1);
  return next<int (*)(int, struct stat*)>("fstat")(fd, status);
}
ssize_t readlink(const char* path, char* buffer, size_t size) {
  FAIL_OR("readlink", path, 0, -1);
  return next<ssize_t (*)(const char*, char*, size_t)>("readlink")(path, buffer, size);
}
// A library the program loads itself counts as an operation on its file name.
void* dlopen(const char* file, int mode) {
  FAIL_OR("dlopen", file ? file : "", static_cast<unsigned>(mode), nullptr);
  return next<void* (*)(const char*, int)>("dlopen")(file, mode);
}
int posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions, const posix_spawnattr_t* attributes,
                char* const argv[], char* const envp[]) {
  if (int code = operation("posix_spawn", path, 0)) return code;
  return next<int (*)(pid_t*, const char*, const posix_spawn_file_actions_t*, const posix_spawnattr_t*, char* const*,
                      char* const*)>("posix_spawn")(pid, path, actions, attributes, argv, envp);
}

}  // extern "C"
