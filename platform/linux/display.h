#pragma once
// Whether a display named by the environment answers, asked within a bound:
// a server that accepts and never answers (a stopped X server, a stale ssh
// tunnel, a Wayland socket nobody serves) would keep the toolkit waiting for ever.

#include <chrono>
#include <optional>

#include "platform/file_handle.h"

namespace tovren {

// The connection that asked a display that answered, kept open until the
// toolkit has opened its own: an X server whose last client leaves resets
// itself, under the toolkit's new connection. None when it did not answer.
using Answer = std::optional<FileHandle>;

// The Wayland display WAYLAND_DISPLAY names, when it answers within `bound`.
Answer waylandAnswers(std::chrono::milliseconds bound);

// The X display DISPLAY names, when it answers within `bound`; an empty handle
// where it cannot be asked here (a display the X library finds its own way).
Answer x11Answers(std::chrono::milliseconds bound);

}  // namespace tovren
