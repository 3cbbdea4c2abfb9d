#pragma once
// Whether a display named by the environment answers, asked within one bound
// for them all, name lookups included: a server that accepts and never answers
// (a stopped X server, a stale ssh tunnel, a Wayland socket nobody serves) or a
// name server that does not answer would keep the toolkit waiting for ever.

#include <chrono>
#include <optional>

#include "platform/file_handle.h"

namespace tovren {

// The connection that asked a display that answered, kept open until the
// toolkit has opened its own: an X server whose last client leaves resets
// itself, under the toolkit's new connection. None when it did not answer.
using Answer = std::optional<FileHandle>;

using Deadline = std::chrono::steady_clock::time_point;

// The Wayland display WAYLAND_DISPLAY names, when it answers by `deadline`.
[[nodiscard]] Answer waylandAnswers(Deadline deadline);

// The X display DISPLAY names, when it answers by `deadline`, asked with the
// cookie the X library would give it (from XAUTHORITY, else ~/.Xauthority), so
// that a server or an ssh tunnel that checks it answers rather than refuses; an
// empty handle where it cannot be asked here (a display the X library finds its
// own way).
[[nodiscard]] Answer x11Answers(Deadline deadline);

}  // namespace tovren
