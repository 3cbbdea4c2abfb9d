// A display is asked for its first words before the toolkit opens it: the
// opening message of each protocol, which any live server answers at once, even
// one that then refuses the client.
#include "platform/linux/display.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_handle.h"

namespace tovren {

namespace {

using Clock = std::chrono::steady_clock;

// Waits for `events` on `socket` until `deadline`; whether they came.
bool ready(int socket, short events, Clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd item{socket, events, 0};
    int n = ::poll(&item, 1, static_cast<int>(left.count()));
    if (n > 0) return (item.revents & events) != 0;
    if (n == 0 || errno != EINTR) return false;
  }
}

// The connection to the server at `address` once it has taken `hello` and said
// anything back by `deadline`; none otherwise.
Answer answers(const sockaddr* address, socklen_t size, const std::string& hello,
               Clock::time_point deadline) {
  FileHandle socket(::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0),
                    "display");
  if (socket.descriptor() < 0) return std::nullopt;
  if (::connect(socket.descriptor(), address, size) != 0 &&
      (errno != EINPROGRESS || !ready(socket.descriptor(), POLLOUT, deadline)))
    return std::nullopt;
  char reply;
  if (::send(socket.descriptor(), hello.data(), hello.size(), MSG_NOSIGNAL) !=
          static_cast<ssize_t>(hello.size()) ||
      !ready(socket.descriptor(), POLLIN, deadline) ||
      ::recv(socket.descriptor(), &reply, 1, 0) != 1)
    return std::nullopt;
  return socket;
}

Answer answersAtPath(const std::string& path, bool abstract, const std::string& hello,
                     Clock::time_point deadline) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof address.sun_path) return std::nullopt;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() +
                                     (abstract ? 0 : 1));
  return answers(reinterpret_cast<sockaddr*>(&address), size, hello, deadline);
}

// An X client's opening: little-endian, protocol 11.0, no authorisation.
const std::string x11Hello("l\0\x0b\0\0\0\0\0\0\0\0\0", 12);
// wl_display.sync (object 1, opcode 0, 12 bytes) with the new callback 2.
const std::string waylandHello("\x01\0\0\0\0\0\x0c\0\x02\0\0\0", 12);

}  // namespace

Answer waylandAnswers(std::chrono::milliseconds bound) {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!name || !*name) return std::nullopt;
  std::string path = name;
  if (path[0] != '/') {
    if (!runtime || !*runtime) return std::nullopt;
    path = std::string(runtime) + "/" + path;
  }
  return answersAtPath(path, false, waylandHello, Clock::now() + bound);
}

Answer x11Answers(std::chrono::milliseconds bound) {
  const char* value = std::getenv("DISPLAY");
  std::string display = value ? value : "";
  auto colon = display.rfind(':');
  std::string number = colon == std::string::npos ? "" : display.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  // One the X library finds its own way (a path, as XQuartz names it) is left to it.
  if (number.empty() || number.size() > 4 || display[0] == '/' ||
      number.find_first_not_of("0123456789") != std::string::npos)
    return FileHandle(-1, "display");
  std::string host = display.substr(0, colon);
  auto deadline = Clock::now() + bound;
  if (host.empty() || host == "unix") {
    // The server's socket in the abstract namespace, as the X library tries first.
    std::string path = "/tmp/.X11-unix/X" + number;
    if (Answer answer = answersAtPath(path, true, x11Hello, deadline)) return answer;
    return answersAtPath(path, false, x11Hello, deadline);
  }
  addrinfo hints{}, *found = nullptr;
  hints.ai_socktype = SOCK_STREAM;
  std::string port = std::to_string(6000 + std::stoi(number));
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return std::nullopt;
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(found, &::freeaddrinfo);
  for (addrinfo* at = found; at; at = at->ai_next)
    if (Answer answer = answers(at->ai_addr, at->ai_addrlen, x11Hello, deadline)) return answer;
  return std::nullopt;
}

}  // namespace tovren
