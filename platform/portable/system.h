#pragma once
// The promises whose keeping differs by operating system, one function each. Every
// system defines them in its own folder of platform/ (linux/ here); docs/macos.md
// plans the definitions for macOS. The POSIX promises are in platform/posix/system.h.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tovren {

class Dialog;
class Location;

// The running program's own absolute path; none when the system cannot tell.
std::optional<std::string> executablePath();

// The zip unpacker that the application whose resource folder is `resourceFolder`
// starts with "-x", "-k", an archive and a folder.
Location unpackerFor(const Location& resourceFolder);

// Memory for a whole-file read of `bytes`, released with the same size by
// releaseBuffer; raises std::bad_alloc. It is not cleared: the read fills it.
void* allocateBuffer(std::size_t bytes);
void releaseBuffer(void* memory, std::size_t bytes);

// From now on a write past the file-size limit fails with the system's "file too
// large", and one to a pipe that nobody reads any more with "broken pipe",
// instead of ending the program by a signal.
void keepWritesFromSignalling();

// The size past which the system refuses to make a file of this program's
// larger, where a limit is set (ulimit -f); none where there is none.
std::optional<std::uint64_t> fileSizeLimit();

// Makes the program an accessory: no main window, Dock icon or menu bar, only
// modal alerts. Returns whether the system took the policy.
bool becomeAccessory();

// A desktop dialog when a display is named and can be opened; none otherwise. The
// desktop toolkit is loaded by this call, never before.
std::unique_ptr<Dialog> openDesktopDialog();

// The byte offset where the last `count` user-perceived characters (extended
// grapheme clusters) of the UTF-8 `text` begin, by the system's Unicode library;
// none when that library cannot be had or cannot take a text this long.
std::optional<std::size_t> clusterStart(std::string_view text, std::size_t count);

}  // namespace tovren
