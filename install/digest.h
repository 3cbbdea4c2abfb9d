#pragma once

#include <span>
#include <string>

#include "platform/file_manager.h"

namespace tovren {

// The SHA-256 of `bytes` as 64 lower-case hexadecimal characters, the form in
// which the manifest carries its digests. Raises the PlatformError of Sha256
// when the library cannot hash (out of memory, or a configuration without SHA-256).
std::string digest(std::span<const std::uint8_t> bytes);

// The same of the file's content, read in pieces: in bounded memory whatever the
// file's size. Raises as FileManager::readPieces and Sha256 do, and Interrupted
// when the run is asked to stop meanwhile.
std::string digest(FileManager& files, const Location& file, Links links);

}  // namespace tovren
