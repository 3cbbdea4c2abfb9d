// A vendor's own console archives and version: the build takes those the setup
// program can install and its users would get whole, and stops with one line
// naming the vendor's file, what it found and what to do on any other; a
// finished bundle is checked against the manifest compiled into its program.

#include "tests/zip.h"

namespace tovren::testing {
namespace {

const std::string script = "#!/bin/sh\necho vendor\n";

// The first bytes of a program: ELF of `machine`, Mach-O of `type`, or universal.
std::string elf(unsigned machine) {
  return "\x7f"
         "ELF\x02\x01\x01" +
         std::string(9, '\0') + fields({{2, 2}, {2, machine}}) + std::string(44, '\0');
}
std::string machO(std::uint32_t type) {
  return "\xcf\xfa\xed\xfe" + fields({{4, type}}) + std::string(56, '\0');
}
std::string universal(std::vector<std::uint32_t> types) {
  auto big = [](std::uint32_t value) {
    std::string out = fields({{4, value}});
    return std::string(out.rbegin(), out.rend());
  };
  std::string out = "\xca\xfe\xba\xbe" + big(static_cast<std::uint32_t>(types.size()));
  for (std::size_t i = 0; i < types.size(); ++i)
    out += big(types[i]) + big(0) + big(static_cast<std::uint32_t>(4096 * (i + 1))) + big(64) +
           big(12);
  return out + std::string(64, '\0');
}
constexpr unsigned x86 = 62, aarch64 = 183;
constexpr std::uint32_t machX86 = 0x01000007, machArm = 0x0100000C;

// The manifest entry the generator writes for the archive, or why the build stops.
std::string generated(const std::string& archive, const std::string& folder,
                      const std::string& system, const std::string& key) {
  Outcome outcome =
      runProgram({TOVREN_BUILD_DIR "/manifest_tool",
                  {"generate", "2.0", folder + "/m.json", system, key + "=" + archive}});
  return outcome.status == 0 ? contentOf(folder + "/m.json") : outcome.errorOutput;
}

TEST(VendorArchives, TheManifestIsMadeFromArchivesTheUnpackerTakesAndTheBuildStopsOnOthers) {
  const std::string more = "ARCHIVE: it holds more than the console: ";
  auto zipped = [](std::vector<Entry> entries) { return [=](auto&) { return zip(entries); }; };
  struct Case {
    const char* name;
    std::function<std::string(const std::string& folder)> archive;  // its bytes
    std::string outcome;  // part of the manifest, or of the one-line reason
    std::string system = "linux", key = "darwin-arm64";
  } cases[] = {
      {"Info-ZIP zip of the console alone",
       [&](auto& folder) {
         return writeFile(folder + "/tovren", script),
                runProgram({"/bin/sh", {"-c", "cd \"$0\" && zip -q out.zip tovren", folder}}),
                contentOf(folder + "/out.zip");
       },
       "\"binary_sha256\": \"d15b4fd567a78e427c47631d98b76171ec6ce5b155dbd34039f2b56ab36946fd\""},
      {"the Finder's __MACOSX folder beside it",
       zipped({{"tovren", script},
               {"__MACOSX/", "", S_IFDIR | 0755},
               {"__MACOSX/._tovren", "attributes"}}),
       "{\"archive\": \"MAC-ARM.zip\", \"sha256\": "},
      {"missing", [](auto&) { return std::string(); },
       "Could not read \"ARCHIVE\": No such file or directory."},
      {"not a zip", [](auto&) { return std::string("#!/bin/sh\n"); },
       "ARCHIVE: it is not a zip archive, or it is incomplete"},
      {"a tar.gz",
       [](auto& folder) {
         return writeFile(folder + "/tovren", script),
                runProgram({"/bin/tar", {"-czf", folder + "/out.tgz", "-C", folder, "tovren"}}),
                contentOf(folder + "/out.tgz");
       },
       "ARCHIVE: it is a gzip file (a .tar.gz or .tgz), not a zip archive: zip the console alone, "
       "as in: zip console.zip tovren\n"},
      {"its folder zipped, not the console",
       zipped({{"amd64/", "", S_IFDIR | 0755}, {"amd64/tovren", script}}),
       "ARCHIVE: it has no top-level entry \"tovren\" for the console; its top level holds "
       "\"amd64/\"; \"amd64/tovren\" lies in a folder: zip the file itself, as in: cd amd64 && "
       "zip ../console.zip tovren\n"},
      {"another letter case", zipped({{"Tovren", script}}),
       "its top level holds \"Tovren\"; \"Tovren\" differs only in letter case: name the console "
       "tovren\n"},
      {"nothing at all", zipped({}), "its top level holds nothing; put your console there"},
      {"console is a link", zipped({{"other", "x"}, {"tovren", "other", S_IFLNK | 0777}}),
       "ARCHIVE: its entry \"tovren\" is a symbolic link, as zip -y stores one: the console must "
       "be a file; zip the console itself, without -y\n"},
      {"a library and a link beside the console",
       zipped({{"tovren", script},
               {"lib/", "", S_IFDIR | 0755},
               {"lib/libacme.so", "ELF"},
               {"acme", "tovren", S_IFLNK | 0777}}),
       more + "\"lib/\", \"lib/libacme.so\", \"acme\"; setup installs only tovren, so users would "
              "never get the rest"},
      {"damaged console",
       [](auto&) {
         std::string bytes = zip({{"tovren", script}});
         return bytes[40] ^= 0x55, bytes;
       },
       "ARCHIVE: the archive is damaged: ZIP bad CRC"},
      {"refused by the unpacker", zipped({{"tovren", script}, {"../escaped", "x"}}),
       "ARCHIVE: refusing entry \"../escaped\": it would land outside"},
      {"a link the unpacker refuses", zipped({{"tovren", script}, {"up", "..", S_IFLNK | 0777}}),
       "ARCHIVE: refusing entry \"up\": its symbolic link leads outside"},
      {"the setup program built here, for its own family",
       zipped({{"tovren", contentOf(setupProgram())}}), "\"archive\": \"" + archiveName + "\"",
       "linux", platformKey},
      {"an x86-64 program as the Arm console", zipped({{"tovren", elf(x86)}}),
       "ARCHIVE: its console \"tovren\" is an ELF program for x86-64, which does not run on 64-bit "
       "Arm Linux (aarch64): give the archive of your console built for 64-bit Arm Linux "
       "(aarch64)\n"},
      {"an Arm program as the x86-64 console", zipped({{"tovren", elf(aarch64)}}),
       "is an ELF program for aarch64, which does not run on x86-64 Linux", "linux",
       "darwin-amd64"},
      {"a Linux program for macOS", zipped({{"tovren", elf(aarch64)}}),
       "is an ELF program for aarch64, which does not run on macOS on 64-bit Arm (arm64, or a "
       "universal program)",
       "macos"},
      {"a Mac program for Linux", zipped({{"tovren", machO(machX86)}}),
       "is a Mach-O program for x86-64, which does not run on x86-64 Linux", "linux",
       "darwin-amd64"},
      {"an x86-64 Mac program as the Arm console", zipped({{"tovren", machO(machX86)}}),
       "is a Mach-O program for x86-64, which does not run on macOS on 64-bit Arm", "macos"},
      {"a Mac program for Arm", zipped({{"tovren", machO(machArm)}}),
       "\"archive\": \"MAC-ARM.zip\"", "macos"},
      {"one universal program for both: Arm", zipped({{"tovren", universal({machX86, machArm})}}),
       "\"archive\": \"MAC-ARM.zip\"", "macos"},
      {"one universal program for both: x86-64",
       zipped({{"tovren", universal({machX86, machArm})}}), "\"archive\": \"MAC-X64.zip\"", "macos",
       "darwin-amd64"},
      {"a universal program without the family", zipped({{"tovren", universal({machX86, 18})}}),
       "is a universal Mach-O program for x86-64, which does not run on macOS on 64-bit Arm",
       "macos"},
      {"neither program nor script", zipped({{"tovren", "MZ"}}),
       "is neither a program nor a script: begin a script with a line that names its "
       "interpreter, as #!/bin/sh does, or give your console built for 64-bit Arm Linux"},
      {"a script with CR LF line ends", zipped({{"tovren", "#!/bin/sh\r\necho vendor\r\n"}}),
       "ARCHIVE: its console \"tovren\" is a script whose lines end with CR LF (Windows line "
       "ends): the system would look for an interpreter whose name ends with CR"},
  };
  for (const auto& c : cases) {
    TemporaryFolder folder;
    std::string archive = folder.path("vendor.zip"), bytes = c.archive(folder.path());
    if (std::string(c.name) != "missing") writeFile(archive, bytes);
    std::string outcome = generated(archive, folder.path(), c.system, c.key), expected = c.outcome;
    if (auto at = expected.find("ARCHIVE"); at != std::string::npos)
      expected.replace(at, 7, archive);
    EXPECT_NE(outcome.find(expected), std::string::npos) << c.name << ": " << outcome;
  }
}

// The version reaches C++, shell and property-list text through one escaping
// path, whatever its characters; configuring refuses one setup cannot install.
TEST(VendorArchives, AVersionIsCheckedWhenConfiguredAndQuotedSafelyEverywhere) {
  const std::string hostile = "1.4.2\"; $(touch x) '\\'<&>\n`id`";
  struct Case {
    std::string version, refusal;  // what follows the version, shown in quotes; none: accepted
  } cases[] = {
      {"1.4.2+build_5-rc.1", ""},
      {"v1.4.2", "does not begin with a number, which the macOS bundle's version needs"},
      {hostile,
       "holds characters other than letters, digits, \".\", \"-\", \"_\" and \"+\": give your "
       "console's version, e.g. -DTOVREN_CONSOLE_VERSION=1.4.2\n"},
      {std::string(229, '1'), ""},
      {std::string(230, '1'),
       "has 230 characters, more than the 229 that fit in the file names setup makes of it"},
  };
  for (const auto& c : cases) {
    TemporaryFolder folder;
    Outcome outcome =
        runProgram({"/bin/sh",
                    {"-c", "cd \"$0\" && exec cmake -DVALUE=\"$1\" -DOUT=\"$0\" -P \"$2\"",
                     folder.path(), c.version, TOVREN_SOURCE_DIR "/tests/quote.cmake"}});
    std::string shown = c.version;
    if (auto at = shown.find('\n'); at != std::string::npos) shown.replace(at, 1, "\\n");
    EXPECT_EQ(outcome.status, c.refusal.empty() ? 0 : 1) << c.version;
    EXPECT_EQ(outcome.errorOutput.find(" TOVREN_CONSOLE_VERSION \"" + shown + "\" " + c.refusal),
              c.refusal.empty() ? std::string::npos : outcome.errorOutput.find(" TOVREN"))
        << c.version << outcome.errorOutput;
    auto said = [&](const std::string& command) {
      return runProgram({"/bin/sh", {"-c", "cd \"$0\" && " + command, folder.path()}});
    };
    EXPECT_EQ(said(TOVREN_CXX " -std=c++20 -fsyntax-only quoted.cpp").status, 0) << c.version;
    Outcome shell = said(". ./quoted.sh && printf %s \"$value\" >&2");
    EXPECT_EQ(shell.errorOutput, c.version);
    Outcome xml = said(
        "python3 -c 'import sys, xml.etree.ElementTree as E; "
        "sys.stderr.write(E.parse(\"quoted.xml\").getroot().text)'");
    EXPECT_EQ(xml.errorOutput, c.version);
    EXPECT_FALSE(fs::exists(folder.path("x"))) << "nothing ran";
  }
}

// A finished bundle, as a folder or packed as it ships, passes; one whose archives
// were damaged, swapped or packed again with another console is named, family by
// family.
TEST(VendorArchives, AFinishedBundleIsCheckedAgainstTheManifestInItsProgram) {
  const std::string resources = "/TOVREN.app/Contents/Resources/", arm = resources + "MAC-ARM.zip",
                    x64 = resources + "MAC-X64.zip",
                    ok = " and its console, a script, match the manifest of version " + version;
  auto swapped = [](const std::string& a, const std::string& b) {
    fs::rename(a, a + ".tmp"), fs::rename(b, a), fs::rename(a + ".tmp", b);
  };
  struct Case {
    const char* name;
    std::function<std::string(const std::string& folder)> change;  // the bundle to check
    std::vector<std::string> lines;  // what follows each family's name
  } cases[] = {
      {"as built",
       [](auto& f) { return f + "/TOVREN.app"; },
       {": ok: MAC-ARM.zip" + ok, ": ok: MAC-X64.zip" + ok}},
      {"zipped as it ships",
       [](auto& f) {
         runProgram({"/bin/sh", {"-c", "cd \"$0\" && zip -qry out.zip TOVREN.app", f}});
         return f + "/out.zip";
       },
       {": ok: MAC-ARM.zip" + ok, ": ok: MAC-X64.zip" + ok}},
      {"a byte flipped",
       [&](auto& f) {
         std::string bytes = contentOf(f + arm);
         bytes[bytes.size() / 2] ^= 1;
         return writeFile(f + arm, bytes), f + "/TOVREN.app";
       },
       {": MAC-ARM.zip does not match the manifest of version " + version +
            ": MAC-ARM.zip's SHA-256 is ",
        ": ok: MAC-X64.zip" + ok}},
      {"the archives swapped",
       [&](auto& f) { return swapped(f + arm, f + x64), f + "/TOVREN.app"; },
       {": MAC-ARM.zip does not match",
        "the manifest names for darwin-amd64: the archives are "
        "swapped; its console's SHA-256 is "}},
      {"packed again with another console",
       [&](auto& f) {
         return writeFile(f + arm, zip({{"tovren", script}})), f + "/TOVREN.app";
       },
       {": MAC-ARM.zip does not match", "; its console's SHA-256 is ", ": ok: MAC-X64.zip" + ok}},
  };
  for (const auto& c : cases) {
    TemporaryFolder folder;
    fs::copy(mainBundle, folder.path("TOVREN.app"), fs::copy_options::recursive);
    Outcome outcome = runProgram({"/bin/sh",
                                  {"-c", "exec \"$0\" \"$1\" >&2", TOVREN_BUILD_DIR "/check_bundle",
                                   c.change(folder.path())}});
    bool fine = std::all_of(c.lines.begin(), c.lines.end(),
                            [](const std::string& line) { return line.starts_with(": ok"); });
    EXPECT_EQ(outcome.status, fine ? 0 : 1) << c.name << outcome.errorOutput;
    for (const auto& line : c.lines)
      EXPECT_NE(outcome.errorOutput.find(line), std::string::npos) << c.name << ": " << line << "\n"
                                                                   << outcome.errorOutput;
    EXPECT_EQ(std::count(outcome.errorOutput.begin(), outcome.errorOutput.end(), '\n'), 2)
        << c.name << ": one line per family";
  }
}

}  // namespace
}  // namespace tovren::testing
