// A test-only preload library between the setup program and the C library. It
// numbers the program's file, process, signal and library-loading operations on
// the paths under TOVREN_SHIM_SCOPE (colon-separated prefixes; a signal's
// action is on "signal:N", the signal mask on "signal:mask") and logs each to
// TOVREN_SHIM_LOG as "<number> <call> <octal flags or mode> <path>". At number
// TOVREN_SHIM_AT it kills the process (TOVREN_SHIM_ACTION "kill") or fails the
// operation with a realistic error ("fail", logged as "! <errno>"). The variables
// are removed at start, so child programs run plain. With TOVREN_SHIM_WAIT_DELAY
// each wait for a child starts that many microseconds late.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> scope;  // constant-initialised, so ready before start() runs
bool killing = false;
int logFd = -1;
long target = 0, counter = 0;

template <typename F>
F next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void record(const std::string& line) {
  if (logFd >= 0)
    next<ssize_t (*)(int, const void*, size_t)>("write")(logFd, line.data(), line.size());
}

int forced = 0;  // the error every failing call reports, when set
// Each wait for a child starts this many microseconds late: a gap between the
// program's look at what happened and its wait, if it had one, is then wide.
useconds_t waitDelay = 0;

__attribute__((constructor)) void start() {
  auto variable = [](const char* name) {
    std::string value = getenv(name) ? getenv(name) : "";
    return unsetenv(name), value;
  };
  std::string all = variable("TOVREN_SHIM_SCOPE"), log = variable("TOVREN_SHIM_LOG");
  for (std::size_t s = 0, e; s < all.size(); s = e + 1)
    scope.push_back(all.substr(s, (e = std::min(all.find(':', s), all.size())) - s));
  if (!log.empty())
    logFd = next<int (*)(const char*, int, ...)>("open")(
        log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  target = atol(variable("TOVREN_SHIM_AT").c_str());
  killing = variable("TOVREN_SHIM_ACTION") == "kill";
  forced = atoi(variable("TOVREN_SHIM_ERRNO").c_str());
  waitDelay = static_cast<useconds_t>(atol(variable("TOVREN_SHIM_WAIT_DELAY").c_str()));
  unsetenv("LD_PRELOAD");
}

std::string pathOf(int fd) {
  char path[4096];
  ssize_t n = next<ssize_t (*)(const char*, char*, size_t)>("readlink")(
      ("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
  return std::string(path, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
}

std::string pathAt(int folder, const char* name) {
  return name[0] == '/' || folder == AT_FDCWD ? name : pathOf(folder) + "/" + name;
}

// The error a failing call reports: TOVREN_SHIM_ERRNO's, or as on a full, broken
// or locked disk.
int errorFor(const std::string& call) {
  if (forced) return forced;
  const std::string full = " write mkdir rename mkostemp fsync posix_fallocate ",
                    broken = " read close unlink unlinkat ";
  if (full.find(" " + call + " ") != std::string::npos) return ENOSPC;
  if (broken.find(" " + call + " ") != std::string::npos) return EIO;
  if (call.starts_with("sig")) return EINVAL;
  return call == "posix_spawn" ? EAGAIN : call == "dlopen" ? ENOENT : EACCES;
}

// Logs a counted operation; the error to report instead of running it, or 0.
int operation(const std::string& call, const std::string& path, unsigned flags) {
  if (std::none_of(scope.begin(), scope.end(),
                   [&](const std::string& prefix) { return path.starts_with(prefix); }))
    return 0;
  char octal[16];
  snprintf(octal, sizeof octal, "%o", flags);
  record(std::to_string(++counter) + " " + call + " " + octal + " " + path + "\n");
  if (counter != target) return 0;
  if (killing) raise(SIGKILL);
  record("! " + std::to_string(errorFor(call)) + "\n");
  return errorFor(call);
}

}  // namespace

extern "C" {

// Result, name, parameters, arguments, the path acted on, flags or mode, and what a failure
// returns once errno is set (an expression that may use `code`, the error).
#define TOVREN_CALLS(X)                                                                           \
  X(int, mkdir, (const char* p, mode_t m), (p, m), p, m, -1)                                      \
  X(int, fchmod, (int fd, mode_t m), (fd, m), pathOf(fd), m, -1)                                  \
  X(int, fchmodat, (int d, const char* n, mode_t m, int f), (d, n, m, f), pathAt(d, n), m, -1)    \
  X(int, unlink, (const char* p), (p), p, 0, -1)                                                  \
  X(int, unlinkat, (int d, const char* n, int f), (d, n, f), pathAt(d, n), f, -1)                 \
  X(ssize_t, read, (int fd, void* b, size_t s), (fd, b, s), pathOf(fd), 0, -1)                    \
  X(ssize_t, write, (int fd, const void* b, size_t s), (fd, b, s), pathOf(fd), 0, -1)             \
  X(int, fsync, (int fd), (fd), pathOf(fd), 0, -1)                                                \
  X(int, rename, (const char* from, const char* to), (from, to), from, 0, -1)                     \
  X(int, mkostemp, (char* p, int f), (p, f), p, f | 0600, -1)                                     \
  X(int, stat, (const char* p, struct stat* s), (p, s), p, 0, -1)                                 \
  X(int, lstat, (const char* p, struct stat* s), (p, s), p, 0, -1)                                \
  X(int, fstat, (int fd, struct stat* s), (fd, s), pathOf(fd), 0, -1)                             \
  X(ssize_t, readlink, (const char* p, char* b, size_t s), (p, b, s), p, 0, -1)                   \
  X(void*, dlopen, (const char* f, int m), (f, m), f ? f : "", m, nullptr)                        \
  X(int, sigaction, (int n, const struct sigaction* a, struct sigaction* o), (n, a, o),           \
    "signal:" + std::to_string(n), 0, -1)                                                         \
  X(int, sigprocmask, (int h, const sigset_t* s, sigset_t* o), (h, s, o), "signal:mask", h, -1)   \
  /* The descriptor is released even when close reports an error, as on Linux. */                 \
  X(int, close, (int fd), (fd), pathOf(fd), 0, (next<int (*)(int)>("close")(fd), -1))             \
  /* posix_spawn and posix_fallocate report their error as their result. */                       \
  X(int, posix_spawn,                                                                             \
    (pid_t * pid, const char* p, const posix_spawn_file_actions_t* a, const posix_spawnattr_t* t, \
     char* const v[], char* const e[]),                                                           \
    (pid, p, a, t, v, e), p, 0, code)                                                             \
  X(int, posix_fallocate, (int fd, off_t o, off_t n), (fd, o, n), pathOf(fd), 0, code)

pid_t waitpid(pid_t pid, int* status, int options) {
  if (waitDelay) usleep(waitDelay);
  return next<pid_t (*)(pid_t, int*, int)>("waitpid")(pid, status, options);
}

#define TOVREN_WRAP(result, call, parameters, arguments, path, flags, failed) \
  result call parameters {                                                    \
    if (int code = operation(#call, path, static_cast<unsigned>(flags)))      \
      return errno = code, failed;                                            \
    return next<result(*) parameters>(#call) arguments;                       \
  }
TOVREN_CALLS(TOVREN_WRAP)

// open and openat take a mode only when they create.
#define TOVREN_OPEN(call, parameters, arguments, path)                          \
  int call parameters {                                                         \
    va_list ap;                                                                 \
    va_start(ap, flags);                                                        \
    mode_t mode = (flags & O_CREAT) ? va_arg(ap, mode_t) : 0;                   \
    va_end(ap);                                                                 \
    if (int code = operation(#call, path, static_cast<unsigned>(flags) | mode)) \
      return errno = code, -1;                                                  \
    return next<int(*) parameters>(#call) arguments;                            \
  }
TOVREN_OPEN(open, (const char* p, int flags, ...), (p, flags, mode), p)
TOVREN_OPEN(openat, (int d, const char* p, int flags, ...), (d, p, flags, mode), pathAt(d, p))

}  // extern "C"
