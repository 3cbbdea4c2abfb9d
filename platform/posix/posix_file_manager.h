#pragma once

#include "platform/portable/file_manager.h"

namespace tovren {

// The file manager on POSIX system calls.
class PosixFileManager : public FileManager {
 public:
  Location home() override;
  std::optional<Attributes> attributes(const Location& location, Links links) override;
  void createFolder(const Location& location, bool intermediates, unsigned mode) override;
  std::optional<Space> space(const Location& location) override;
  bool quotaReached(const Location& folder, std::uint64_t bytes) override;
  void setMode(const Location& location, unsigned mode) override;
  void remove(const Location& location) override;
  std::vector<std::string> names(const Location& folder) override;
  FileHandle lock(const Location& folder) override;
  FileContent read(const Location& location, Links links) override;
  void readPieces(const Location& location, Links links,
                  const std::function<void(std::span<const std::uint8_t>)>& take) override;
  FileContent readEnd(const Location& location, std::size_t count) override;
  void write(const Location& location, std::span<const std::uint8_t> bytes) override;
  FileHandle openForWriting(const Location& location) override;
};

// The shared file manager of the program.
FileManager& defaultManager();

// The whole file at `path`, absolute or relative to the current folder, read by
// the shared file manager (following links): for the build's own programs.
FileContent contentOf(const std::string& path);

}  // namespace tovren
