#include "unpacker/zip_listing.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <set>

#include "support/text.h"

namespace ditto {

namespace {

constexpr std::uint32_t endSignature = 0x06054b50;
constexpr std::uint32_t locatorSignature = 0x07064b50;
constexpr std::uint32_t end64Signature = 0x06064b50;
constexpr std::uint32_t centralSignature = 0x02014b50;
constexpr std::uint32_t localSignature = 0x04034b50;
constexpr std::uint32_t inZip64 = 0xFFFFFFFF;
constexpr std::size_t endSize = 22, locatorSize = 20, end64Size = 56, centralSize = 46,
                      localSize = 30;

// Exactly `size` bytes of the archive from `offset` on.
std::string readAt(const ReadAt& source, std::uint64_t offset, std::uint64_t size) {
  if (size > (std::uint64_t{1} << 30)) refuseAsDamaged();
  std::string bytes = source(offset, size);
  if (bytes.size() != size) refuseAsDamaged();
  return bytes;
}

// The little-endian number of `width` bytes at `at` in `bytes`.
std::uint64_t number(const std::string& bytes, std::size_t at, int width) {
  if (at + width > bytes.size()) refuseAsDamaged();
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint64_t sum(std::uint64_t a, std::uint64_t b) {
  if (a > UINT64_MAX - b) refuseAsDamaged();
  return a + b;
}

struct Directory {
  std::uint64_t count, start, size;
};

// The end record, found from the archive's end (a comment may follow it), and
// its 64-bit form where its locator stands before the end record, whatever the
// end record's own fields say, as the unpacking library reads it: both read the
// same listing. Without a locator, 65,535 entries are simply 65,535 entries.
Directory directoryOf(const ReadAt& source, std::uint64_t archiveSize) {
  std::uint64_t tailSize = std::min<std::uint64_t>(archiveSize, endSize + 0xFFFF);
  std::string tail = readAt(source, archiveSize - tailSize, tailSize);
  for (std::size_t at = tail.size() >= endSize ? tail.size() - endSize + 1 : 0; at-- > 0;) {
    if (number(tail, at, 4) != endSignature ||
        at + endSize + number(tail, at + 20, 2) != tail.size())
      continue;
    // Volumes, and the entries on this one against all of them.
    if (number(tail, at + 4, 2) != 0 || number(tail, at + 6, 2) != 0 ||
        number(tail, at + 8, 2) != number(tail, at + 10, 2))
      throw Refusal("the archive spans several volumes");
    Directory directory{number(tail, at + 10, 2), number(tail, at + 16, 4),
                        number(tail, at + 12, 4)};
    std::uint64_t limit = archiveSize - tailSize + at;
    std::string locator =
        limit >= locatorSize ? readAt(source, limit - locatorSize, locatorSize) : "";
    if (!locator.empty() && number(locator, 0, 4) == locatorSignature) {
      if (number(locator, 4, 4) != 0 || number(locator, 16, 4) != 1)
        throw Refusal("the archive spans several volumes");
      limit = number(locator, 8, 8);
      std::string end = readAt(source, limit, end64Size);
      // Its own size, as the library bounds it: 56 to 16,384 bytes in all.
      std::uint64_t recordSize = number(end, 4, 8);
      if (number(end, 0, 4) != end64Signature || recordSize < end64Size - 12 ||
          recordSize > 16384 - 12)
        refuseAsDamaged();
      if (number(end, 16, 4) != 0 || number(end, 20, 4) != 0 ||
          number(end, 24, 8) != number(end, 32, 8))
        throw Refusal("the archive spans several volumes");
      directory = {number(end, 32, 8), number(end, 48, 8), number(end, 40, 8)};
    }
    // The listing ends where the end record begins. The library takes a gap there
    // for data put before the archive and moves every offset by it, so it would
    // read another listing than this one.
    if (sum(directory.start, directory.size) != limit) refuseAsDamaged();
    return directory;
  }
  throw Refusal("it is not a zip archive, or it is incomplete");
}

// The 64-bit values that stand in the entry's extra field for those of its
// record that are all ones, in their fixed order.
void widen(const std::string& extra, std::initializer_list<std::uint64_t*> values) {
  for (std::size_t at = 0; at + 4 <= extra.size(); at += 4 + number(extra, at + 2, 2)) {
    if (number(extra, at, 2) != 1) continue;
    std::size_t field = at + 4;
    for (std::uint64_t* value : values)
      if (*value == inZip64) *value = number(extra, (field += 8) - 8, 8);
    return;
  }
}

// The "version made by" systems whose names use "\\" as a separator: MS-DOS and
// OS/2 FAT, OS/2 HPFS, Windows NTFS and VFAT. Any other maker's backslash is an
// ordinary character.
bool dosMaker(std::uint64_t madeBy) {
  std::uint64_t system = madeBy >> 8;
  return system == 0 || system == 6 || system == 10 || system == 14;
}

// Whether the entry made on a Unix system is a fifo, a device or a socket.
bool special(std::uint64_t madeBy, std::uint64_t attributes) {
  auto type = static_cast<mode_t>(attributes >> 16) & S_IFMT;
  return madeBy >> 8 == 3 && type != 0 && type != S_IFREG && type != S_IFDIR && type != S_IFLNK;
}

[[noreturn]] void refuse(const std::string& name, const std::string& reason) {
  throw Refusal("refusing entry \"" + shown(name) + "\": " + reason);
}

// Whether the local header, with `extra` its extra field, declares the sizes the
// listing does, where it declares them: with a data descriptor (flag 3) a size of
// 0 follows the data. Each size of all ones stands for the 64-bit one in its
// extra field. The library reads the sizes it finds there.
bool sameSizes(const std::string& local, const std::string& extra, std::uint64_t packed,
               std::uint64_t size) {
  std::uint64_t ownPacked = number(local, 18, 4), ownSize = number(local, 22, 4);
  bool later = number(local, 6, 2) & 8;
  widen(extra, {&ownSize, &ownPacked});
  return ((later && ownPacked == 0) || ownPacked == packed) &&
         ((later && ownSize == 0) || ownSize == size);
}

// The entry at `at` in the central directory, checked against its local header.
ListedEntry entryAt(const ReadAt& source, const std::string& directory, std::size_t& at,
                    std::uint64_t directoryStart) {
  if (number(directory, at, 4) != centralSignature) refuseAsDamaged();
  std::size_t nameLength = number(directory, at + 28, 2),
              extraLength = number(directory, at + 30, 2);
  std::string name = directory.substr(std::min(at + centralSize, directory.size()), nameLength);
  std::string extra =
      directory.substr(std::min(at + centralSize + nameLength, directory.size()), extraLength);
  if (name.size() != nameLength || extra.size() != extraLength) refuseAsDamaged();
  std::uint64_t packed = number(directory, at + 20, 4), size = number(directory, at + 24, 4);
  std::uint64_t start = number(directory, at + 42, 4), madeBy = number(directory, at + 4, 2);
  widen(extra, {&size, &packed, &start});
  if (start >= directoryStart) refuseAsDamaged();
  if (special(madeBy, number(directory, at + 38, 4)))
    refuse(name, "it is a special file, not a file, a folder or a symbolic link");
  at += centralSize + nameLength + extraLength + number(directory, at + 32, 2);

  std::string local = readAt(source, start, localSize);
  if (number(local, 0, 4) != localSignature) refuseAsDamaged();
  std::string localName = readAt(source, start + localSize, number(local, 26, 2));
  if (localName != name) refuse(name, "its own header names it \"" + shown(localName) + "\"");
  std::string localExtra =
      readAt(source, start + localSize + localName.size(), number(local, 28, 2));
  if (!sameSizes(local, localExtra, packed, size))
    refuse(name, "its own header declares other sizes");
  std::uint64_t end = sum(sum(start + localSize, localName.size() + number(local, 28, 2)), packed);
  if (end > directoryStart) refuse(name, "its data runs into the archive's listing");
  // Checked whole and written whole: a name cut at a NUL would land elsewhere.
  if (name.find('\0') != std::string::npos) refuse(name, "its name holds a NUL byte");
  if (dosMaker(madeBy)) std::replace(name.begin(), name.end(), '\\', '/');
  // "./name" is "name", as every unpacker reads it; "./" alone is the folder itself.
  while (name.starts_with("./")) name.erase(0, 2);
  return ListedEntry{name, start, end, size};
}

// The name with doubled separators and a folder's final one dropped: two names
// that unpack to the same place have the same key.
std::string key(const std::string& name) {
  std::string normal;
  for (char c : name)
    if (c != '/' || (!normal.empty() && normal.back() != '/')) normal += c;
  if (normal.ends_with('/')) normal.pop_back();
  return normal;
}

}  // namespace

void refuseAsDamaged() {
  throw Refusal("the archive is damaged: its listing does not match its content");
}

std::vector<ListedEntry> readListing(std::uint64_t size, const ReadAt& source) {
  Directory directory = directoryOf(source, size);
  std::string records = readAt(source, directory.start, directory.size);
  std::vector<ListedEntry> entries;
  std::set<std::string> keys;
  // Every record the listing's size holds, as the library reads them; the end
  // record's count must agree.
  for (std::size_t at = 0; at < records.size();) {
    ListedEntry entry = entryAt(source, records, at, directory.start);
    if (!entry.name.empty() && !staysInside(entry.name))
      refuse(entry.name, "it would land outside the folder");
    if (!keys.insert(key(entry.name)).second)
      refuse(entry.name, "another entry lands on the same path");
    entries.push_back(entry);
  }
  if (entries.size() != directory.count) refuseAsDamaged();
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.start < b.start; });
  for (std::size_t i = 1; i < entries.size(); ++i)
    if (entries[i].start < entries[i - 1].end)
      refuse(entries[i].name, "it overlaps \"" + shown(entries[i - 1].name) + "\"");
  return entries;
}

std::vector<ListedEntry> readListing(int zip) {
  struct stat status {};
  if (::fstat(zip, &status) != 0) {
    int code = errno;
    throw Refusal(std::string("cannot read the archive: ") + std::strerror(code));
  }
  return readListing(
      static_cast<std::uint64_t>(status.st_size), [zip](std::uint64_t offset, std::uint64_t count) {
        std::string bytes(count, '\0');
        for (std::size_t done = 0; done < count;) {
          ssize_t n =
              ::pread(zip, bytes.data() + done, count - done, static_cast<off_t>(offset + done));
          if (n < 0) {
            int code = errno;
            throw Refusal(std::string("cannot read the archive: ") + std::strerror(code));
          }
          if (n == 0) return bytes.substr(0, done);
          done += static_cast<std::size_t>(n);
        }
        return bytes;
      });
}

std::vector<ListedEntry> readListing(std::string_view archive) {
  return readListing(archive.size(), [archive](std::uint64_t offset, std::uint64_t count) {
    return std::string(offset < archive.size() ? archive.substr(offset, count) : "");
  });
}

std::string shown(std::string_view name) {
  return tovren::rewritten(name, [](std::string& text, std::string_view bytes, int c) {
    if (c >= 0x20 && (c < 0x7F || c >= 0xA0)) return false;
    for (unsigned char byte : bytes) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    }
    return true;
  });
}

bool staysInside(const std::string& name) {
  if (name.empty() || name.front() == '/') return false;
  for (std::size_t start = 0; start <= name.size();) {
    std::size_t end = std::min(name.find('/', start), name.size());
    std::string_view part(name.data() + start, end - start);
    if (part == ".." || part == ".") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace ditto
