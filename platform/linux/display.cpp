// A display is asked for its first words before the toolkit opens it: the
// opening message of each protocol, which any live server answers at once, even
// one that then refuses the client.
#include "platform/linux/display.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_handle.h"

namespace tovren {

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds left(Deadline deadline) {
  return std::max(std::chrono::milliseconds(0),
                  std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()));
}

// Waits for `events` on `socket` until `deadline`; whether they came.
bool ready(int socket, short events, Deadline deadline) {
  if (left(deadline).count() <= 0) return false;
  pollfd item{socket, events, 0};
  return ::poll(&item, 1, static_cast<int>(left(deadline).count())) > 0 &&
         (item.revents & events) != 0;
}

// The connection to the server at `address` once it has taken `hello` and said
// anything back by `deadline`; none otherwise.
Answer answers(const sockaddr* address, socklen_t size, const std::string& hello,
               Deadline deadline) {
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
                     Deadline deadline) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof address.sun_path) return std::nullopt;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() +
                                     (abstract ? 0 : 1));
  return answers(reinterpret_cast<sockaddr*>(&address), size, hello, deadline);
}

// wl_display.sync (object 1, opcode 0, 12 bytes) with the new callback 2.
const std::string waylandHello("\x01\0\0\0\0\0\x0c\0\x02\0\0\0", 12);

// How an X authority file names a server: by its family and address. A server
// reached through a local socket or the loopback address is this host, named
// by its host name.
constexpr std::uint16_t internet = 0, internet6 = 6, local = 256, wild = 65535;
struct Server {
  std::uint16_t family;
  std::string address;
};

Server thisHost() {
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  return {local, name};
}

// As the X library names the server it connected to at `address`.
Server serverAt(const sockaddr* address) {
  const auto* bytes = reinterpret_cast<const char*>(address);
  if (address->sa_family == AF_INET6) {
    const in6_addr& ip = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    if (IN6_IS_ADDR_LOOPBACK(&ip)) return thisHost();
    if (!IN6_IS_ADDR_V4MAPPED(&ip))
      return {internet6, std::string(reinterpret_cast<const char*>(&ip), sizeof ip)};
    std::string v4(reinterpret_cast<const char*>(&ip) + 12, 4);
    return v4 == std::string("\x7f\0\0\x01", 4) ? thisHost() : Server{internet, v4};
  }
  if (address->sa_family != AF_INET) return thisHost();
  std::string v4(bytes + offsetof(sockaddr_in, sin_addr), 4);
  return v4 == std::string("\x7f\0\0\x01", 4) ? thisHost() : Server{internet, v4};
}

// The authority file the X library reads: XAUTHORITY, whatever it holds, else
// .Xauthority in the home.
std::string authorityFile() {
  if (const char* named = std::getenv("XAUTHORITY")) return named;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.Xauthority";
}

// Its bytes, up to a bound far past any real one; empty where it cannot be read.
std::string authorities() {
  constexpr std::size_t bound = 1 << 20;
  FileHandle file(::open(authorityFile().c_str(), O_RDONLY | O_CLOEXEC), "authority");
  std::string bytes(bound, '\0');
  std::size_t size = 0;
  for (ssize_t n; file.descriptor() >= 0 && size < bound &&
                  (n = ::read(file.descriptor(), &bytes[size], bound - size)) > 0;)
    size += static_cast<std::size_t>(n);
  bytes.resize(size);
  return bytes;
}

// Takes one counted field from the front of `rest`: its length in two bytes, most
// significant first, then the bytes. None where the file ends first.
std::optional<std::string> field(std::string_view& rest) {
  if (rest.size() < 2) return std::nullopt;
  std::size_t size = static_cast<std::uint8_t>(rest[0]) << 8 | static_cast<std::uint8_t>(rest[1]);
  if (rest.size() < 2 + size) return std::nullopt;
  std::string value(rest.substr(2, size));
  rest.remove_prefix(2 + size);
  return value;
}

// The opening of an X client (little-endian, protocol 11.0) with the first
// MIT-MAGIC-COOKIE-1 the authority file holds for display `number` of `server`,
// as the X library picks it; without one where there is none.
std::string x11Hello(const Server& server, const std::string& number) {
  std::string all = authorities(), name, data;
  for (std::string_view rest = all; rest.size() >= 2 && name.empty();) {
    auto family = static_cast<std::uint16_t>(static_cast<std::uint8_t>(rest[0]) << 8 |
                                             static_cast<std::uint8_t>(rest[1]));
    rest.remove_prefix(2);
    auto address = field(rest), display = field(rest), kind = field(rest), cookie = field(rest);
    if (!cookie) break;
    if ((family == wild || (family == server.family && *address == server.address)) &&
        (display->empty() || *display == number) && *kind == "MIT-MAGIC-COOKIE-1")
      name = *kind, data = *cookie;
  }
  auto twoBytes = [](std::size_t n) {
    return std::string{static_cast<char>(n & 0xff), static_cast<char>(n >> 8 & 0xff)};
  };
  auto padded = [](std::string text) { return text.resize((text.size() + 3) / 4 * 4), text; };
  return std::string("l\0\x0b\0\0\0", 6) + twoBytes(name.size()) + twoBytes(data.size()) +
         std::string(2, '\0') + padded(name) + padded(data);
}

// A lookup of a host's addresses that goes on in the background; one that takes
// longer than the bound is left to finish there, and never freed.
struct Lookup {
  std::string host, port;
  addrinfo hints{};
  gaicb request{};
};
Lookup* unfinished = nullptr;

// The addresses of `host`, looked up by `deadline`; none when it takes longer.
std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> lookUp(const std::string& host,
                                                            const std::string& port,
                                                            Deadline deadline) {
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> none(nullptr, &::freeaddrinfo);
  auto lookup = std::make_unique<Lookup>(Lookup{host, port});
  lookup->hints.ai_socktype = SOCK_STREAM;
  lookup->request.ar_name = lookup->host.c_str();
  lookup->request.ar_service = lookup->port.c_str();
  lookup->request.ar_request = &lookup->hints;
  gaicb* requests[] = {&lookup->request};
  if (::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr) != 0) return none;
  while (::gai_error(&lookup->request) == EAI_INPROGRESS) {
    auto wait = left(deadline);
    if (wait.count() <= 0) {
      unfinished = lookup.release();
      return none;
    }
    timespec time{static_cast<time_t>(wait.count() / 1000),
                  static_cast<long>(wait.count() % 1000 * 1000000)};
    ::gai_suspend(requests, 1, &time);
  }
  if (::gai_error(&lookup->request) != 0) return none;
  return {lookup->request.ar_result, &::freeaddrinfo};
}

}  // namespace

Answer waylandAnswers(Deadline deadline) {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!name || !*name) return std::nullopt;
  std::string path = name;
  if (path[0] != '/') {
    if (!runtime || !*runtime) return std::nullopt;
    path = std::string(runtime) + "/" + path;
  }
  return answersAtPath(path, false, waylandHello, deadline);
}

Answer x11Answers(Deadline deadline) {
  const char* value = std::getenv("DISPLAY");
  std::string display = value ? value : "";
  auto colon = display.rfind(':');
  std::string number = colon == std::string::npos ? "" : display.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  // One the X library finds its own way (a path, as XQuartz names it) is left to it.
  if (number.empty() || number.size() > 4 || display[0] == '/' ||
      number.find_first_not_of("0123456789") != std::string::npos)
    return FileHandle(-1, "display");
  number = std::to_string(std::stoi(number));  // as the X library writes it: 0010 is 10
  std::string host = display.substr(0, colon);
  if (host.empty() || host == "unix") {
    // The server's socket in the abstract namespace, as the X library tries first.
    std::string path = "/tmp/.X11-unix/X" + number, hello = x11Hello(thisHost(), number);
    if (Answer answer = answersAtPath(path, true, hello, deadline)) return answer;
    return answersAtPath(path, false, hello, deadline);
  }
  auto found = lookUp(host, std::to_string(6000 + std::stoi(number)), deadline);
  for (addrinfo* at = found.get(); at; at = at->ai_next)
    if (Answer answer =
            answers(at->ai_addr, at->ai_addrlen, x11Hello(serverAt(at->ai_addr), number), deadline))
      return answer;
  return std::nullopt;
}

}  // namespace tovren
