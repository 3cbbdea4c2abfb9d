// A vendor's own console archives and version: the build takes those the setup
// program can install and its users would get whole, and stops with one line
// naming the vendor's file, what it found and what to do on any other; a
// finished bundle is checked against the manifest compiled into its program.

#if __has_include(<openssl/cms.h>)
#include <openssl/cms.h>
#include <openssl/x509.h>
#endif

#include <cstring>
#include <regex>

#include "support/base64.h"
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
// A universal program's slices lie 4096 bytes apart, each `bodies[i]` when given.
std::string universal(std::vector<std::uint32_t> types, std::vector<std::string> bodies = {}) {
  auto big = [](std::uint32_t value) {
    std::string out = fields({{4, value}});
    return std::string(out.rbegin(), out.rend());
  };
  std::string out = "\xca\xfe\xba\xbe" + big(static_cast<std::uint32_t>(types.size()));
  for (std::size_t i = 0; i < types.size(); ++i)
    out += big(types[i]) + big(0) + big(static_cast<std::uint32_t>(4096 * (i + 1))) +
           big(bodies.empty() ? 64 : static_cast<std::uint32_t>(bodies[i].size())) + big(12);
  for (std::size_t i = 0; i < bodies.size(); ++i)
    out.resize(4096 * (i + 1), '\0'), out += bodies[i];
  return bodies.empty() ? out + std::string(64, '\0') : out;
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

// A vendor's console run as setup runs it, in a throwaway home: the sample does
// its part at any version; one that names another version, writes no list, reads
// its input, never ends or fails is named, family by family; one for another
// system is named, not run.
TEST(VendorArchives, TheConsolesOwnPartIsCheckedByRunningIt) {
  const std::string fails = ": its console does not do its part: ", v = "2.0.1-rc.1";
  struct Case {
    const char* name;
    std::string console, line;  // what each family's line holds after its name
    int status;
    std::string system = "linux";
  } cases[] = {
      {"the sample", contentOf(TOVREN_SOURCE_DIR "/console/sample/tovren"),
       ": ok: its console registered version " + v + "\n", 0},
      {"a marker of another version", contentOf(TOVREN_SOURCE_DIR "/tests/data/console-stale.sh"),
       fails + "its list names automatic-0.0.1-any, not version " + v + " (\"automatic-" + v +
           "-\" and its architecture)",
       1},
      {"no list", "#!/bin/sh\nexit 0\n",
       fails + "it wrote no Library/LaunchAgents/kestrine.console.plist in the home it was given",
       1},
      {"reading its input", "#!/bin/sh\nread answer\n", fails + "it reads its standard input", 1},
      {"never ending", "#!/bin/sh\nsleep 30\n", fails + "it had not ended after 2 seconds\n", 1},
      {"failing", "#!/bin/sh\necho no session >&2; exit 3\n",
       fails + "it ended with status 3; its last line: no session\n", 1},
      {"a Mac program", universal({machX86, machArm}),
       ": not run here: its console is a universal Mach-O program for x86-64 and arm64, which runs "
       "on a Mac only",
       0, "macos"},
  };
  for (const auto& c : cases) {
    TemporaryFolder folder;
    writeFile(folder.path("console.zip"), zip({{"tovren", c.console}}));
    Outcome outcome =
        runProgram({"/bin/sh",
                    {"-c", "exec \"$0\" \"$@\" >&2", TOVREN_BUILD_DIR "/check_console", "--seconds",
                     "2", v, c.system, folder.path("console.zip"), folder.path("console.zip")}});
    EXPECT_EQ(outcome.status, c.status) << c.name << outcome.errorOutput;
    std::istringstream lines(outcome.errorOutput);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
      EXPECT_NE((line + "\n").find(c.line), std::string::npos) << c.name << ": " << line;
    EXPECT_EQ(count, 2) << c.name << ": one line per family";
  }
}

// A Mac setup program for `target` (aarch64 or x86_64) that carries the build's
// manifest, made by the build's compiler for macOS, whose linker signs an Arm one
// ad hoc; empty where that compiler is not here.
std::string macProgram(const std::string& target, const std::string& folder) {
  FileContent json = tovren::contentOf(TOVREN_ARCHIVES "/manifest.json");
  writeFile(folder + "/setup.c", "const char manifest[] = \"" +
                                     std::string(constants::manifestMarker) +
                                     encodeBase64(Bytes(json.begin(), json.end())) +
                                     "\";\nint main(int n, char** v) { return manifest[n]; }\n");
  Outcome built = runProgram({TOVREN_SOURCE_DIR "/cmake/zig/" + target + "-macos-cc",
                              {"-o", folder + "/setup", folder + "/setup.c"}});
  return built.status == 0 ? contentOf(folder + "/setup") : "";
}

// `program` with its code signature replaced by `blob`, or none when `blob` is empty.
std::string resigned(std::string program, const std::string& blob) {
  std::uint32_t count;
  std::memcpy(&count, &program[16], 4);
  for (std::size_t at = 32, i = 0; i < count; ++i) {
    std::uint32_t type, size, offset;
    std::memcpy(&type, &program[at], 4), std::memcpy(&size, &program[at + 4], 4);
    if (type == 0x1D) {
      std::memcpy(&offset, &program[at + 8], 4);
      if (blob.empty()) return program.replace(at, 4, fields({{4, 0x7FFFFFFF}}));
      program.resize(offset), program += blob;
      return program.replace(at + 12, 4, fields({{4, blob.size()}}));
    }
    at += size;
  }
  return program;
}

// A code signature as a Developer ID signs: a code directory with the hardened
// runtime, and a CMS signature by a certificate named `signer`, time-stamped or not.
std::string certificateSignature(const std::string& signer, bool timeStamped) {
#if __has_include(<openssl/cms.h>)
  auto big = [](std::initializer_list<std::uint32_t> values) {  // fields of four bytes
    std::string out;
    for (std::uint32_t value : values)
      for (int i = 3; i >= 0; --i) out += static_cast<char>(value >> (8 * i) & 0xFF);
    return out;
  };
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* certificate = X509_new();
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate), 0);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 3600);
  X509_set_pubkey(certificate, key);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate), "CN", MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>(signer.c_str()), -1, -1, 0);
  X509_set_issuer_name(certificate, X509_get_subject_name(certificate));
  X509_sign(certificate, key, EVP_sha256());
  BIO* directory = BIO_new_mem_buf("code directory", -1);
  CMS_ContentInfo* cms = CMS_sign(certificate, key, nullptr, directory, CMS_DETACHED | CMS_BINARY);
  if (timeStamped)
    CMS_unsigned_add1_attr_by_NID(sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(cms), 0),
                                  NID_id_smime_aa_timeStampToken, V_ASN1_OCTET_STRING, "token", 5);
  unsigned char* der = nullptr;
  int size = i2d_CMS_ContentInfo(cms, &der);
  std::string wrapped = big({0xFADE0B01, static_cast<std::uint32_t>(8 + size)}) +
                        std::string(reinterpret_cast<char*>(der), static_cast<std::size_t>(size));
  OPENSSL_free(der), CMS_ContentInfo_free(cms), BIO_free(directory), X509_free(certificate),
      EVP_PKEY_free(key);
  std::string codeDirectory = big({0xFADE0C02, 88, 0x20400, 0x10000}) + std::string(72, '\0');
  return big({0xFADE0CC0, static_cast<std::uint32_t>(28 + 88 + wrapped.size()), 2, 0, 28, 0x10000,
              116}) +
         codeDirectory + wrapped;
#else
  (void)signer, (void)timeStamped;
  return "";  // without OpenSSL here, as in a build for macOS on another system
#endif
}

// A finished bundle, as a folder or packed as it ships (by zip, the Finder or
// ditto), passes; one whose archives were damaged, swapped or packed again with
// another console is named, family by family, and so is a program cut short. Each
// Mac program's signature is named: an unsigned Arm one is refused, and with
// --notarize anything but a time-stamped certificate's with the hardened runtime.
TEST(VendorArchives, AFinishedBundleIsCheckedAgainstTheManifestInItsProgram) {
  const std::string resources = "/TOVREN.app/Contents/Resources/", arm = resources + "MAC-ARM.zip",
                    x64 = resources + "MAC-X64.zip",
                    program = "/TOVREN.app/Contents/MacOS/tovren-setup",
                    ok = " and its console, a script, match the manifest of version " + version,
                    acme = "Developer ID Application: Acme (ABCDE12345)";
  auto swapped = [](const std::string& a, const std::string& b) {
    fs::rename(a, a + ".tmp"), fs::rename(b, a), fs::rename(a + ".tmp", b);
  };
  // The bundle with a Mac Arm program: as its linker signed it, ad hoc; unsigned;
  // or signed by a Developer ID, time-stamped or not. None where it cannot be made here.
  enum class Signing { adHoc, none, stamped, unstamped };
  auto mac = [&](Signing signing) {
    return [=](const std::string& f) {
      bool certified = signing == Signing::stamped || signing == Signing::unstamped;
      std::string made = macProgram("aarch64", f),
                  blob = certified ? certificateSignature(acme, signing == Signing::stamped) : "";
      if (made.empty() || (certified && blob.empty())) return std::string();
      if (signing != Signing::adHoc) made = resigned(made, blob);
      return writeFile(f + program, made), f + "/TOVREN.app";
    };
  };
  struct Case {
    const char* name;
    std::function<std::string(const std::string& folder)> change;  // the bundle to check
    std::vector<std::string> lines;         // what the output holds, e.g. after a family's name
    std::vector<std::string> options = {};  // the checker's
    int count = 2, status = -1;             // its lines, and its status where not 0 or 1
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
      {"zipped by the Finder, with __MACOSX/ beside the bundle",
       [](auto& f) {
         fs::create_directories(f + "/__MACOSX/TOVREN.app/Contents/MacOS");
         writeFile(f + "/__MACOSX/TOVREN.app/Contents/MacOS/._tovren-setup", "attributes");
         runProgram({"/bin/sh", {"-c", "cd \"$0\" && zip -qry out.zip TOVREN.app __MACOSX", f}});
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
      {"its program cut short, its manifest whole",
       [&](auto& f) {
         std::string bytes = contentOf(f + program);
         return writeFile(f + program, bytes.substr(0, bytes.size() - 100000)), f + "/TOVREN.app";
       },
       {": not ok: the setup program is damaged: its ", "past its end: it is cut short"}},
      {"a universal program whose slice lies past its end",
       [&](auto& f) { return writeFile(f + program, universal({machArm})), f + "/TOVREN.app"; },
       {"Contents/MacOS/tovren-setup is damaged: its slice 0 lies past its end: it is cut short\n"},
       {},
       1},
      {"a universal program whose two slices carry different manifests",
       [&](auto& f) {
         std::string bytes = contentOf(f + program), marker(constants::manifestMarker);
         std::size_t at = bytes.find(marker) + marker.size();
         std::string text = bytes.substr(at, base64Length(std::string_view(bytes).substr(at)));
         Bytes json = *decodeBase64(text);
         std::string other =
             std::regex_replace(std::string(json.begin(), json.end()),
                                std::regex("\"version\": \"[^\"]*\""), "\"version\": \"9.9.9\"");
         auto slice = [&](std::uint32_t type, const std::string& manifest) {
           return machO(type) + marker + manifest + '\0';
         };
         return writeFile(
                    f + program,
                    universal({machArm, machX86},
                              {slice(machArm, text),
                               slice(machX86, encodeBase64(Bytes(other.begin(), other.end())))})),
                f + "/TOVREN.app";
       },
       {"Contents/MacOS/tovren-setup: its amd64 and arm64 programs carry different manifests, of "
        "versions 9.9.9 and " +
        version + ": build both from one\n"},
       {},
       1},
      {"as JSON",
       [](auto& f) { return f + "/TOVREN.app"; },
       {"\"family\": \"64-bit Arm Linux\"", "\"ok\": true", "\"faults\": []"},
       {"--json"},
       20,
       0},
      {"asked for help",
       [](auto&) { return std::string("--help"); },
       {"Exit status: 0 all hold, 1 a check failed, 2 BUNDLE could not be read"},
       {},
       15,
       0},
      // The rest need a compiler for macOS.
      {"a Mac program its linker signed ad hoc",
       mac(Signing::adHoc),
       {": ok: MAC-ARM.zip" + ok + "; the setup program is signed ad hoc\n",
        "macOS on x86-64: ok: MAC-X64.zip" + ok + "\n"}},
      {"its Arm program unsigned",
       mac(Signing::none),
       {": not ok: the setup program (arm64) is unsigned, and macOS ends an unsigned Arm program "
        "at start: sign it\n",
        ": ok: MAC-X64.zip" + ok}},
      {"signed ad hoc, to be notarized",
       mac(Signing::adHoc),
       {": not ok: the setup program (arm64) is signed ad hoc, which notarization refuses: sign it "
        "with your Developer ID certificate, as codesign --options runtime --timestamp does\n",
        ": ok: MAC-X64.zip" + ok},
       {"--notarize"}},
      {"signed by a Developer ID, time-stamped, to be notarized",
       mac(Signing::stamped),
       {": ok: MAC-ARM.zip" + ok + "; the setup program is signed by \"" + acme +
            "\" with the hardened runtime and with a secure time-stamp\n",
        ": ok: MAC-X64.zip" + ok},
       {"--notarize"}},
      {"signed by a Developer ID without a time-stamp, to be notarized",
       mac(Signing::unstamped),
       {": not ok: the setup program (arm64) is signed by \"" + acme +
        "\" with the hardened runtime and without a secure time-stamp, which notarization refuses"},
       {"--notarize"}},
  };
  for (const auto& c : cases) {
    TemporaryFolder folder;
    fs::copy(mainBundle, folder.path("TOVREN.app"), fs::copy_options::recursive);
    std::string bundle = c.change(folder.path());
    if (bundle.empty())
      TOVREN_CANNOT_PROVE_HERE(c.name << ": no compiler for macOS, or no OpenSSL");
    std::vector<std::string> arguments = {"-c", "exec \"$0\" \"$@\" >&2",
                                          TOVREN_BUILD_DIR "/check_bundle"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    arguments.push_back(bundle);
    Outcome outcome = runProgram({"/bin/sh", arguments});
    bool fine = std::all_of(c.lines.begin(), c.lines.end(), [](const std::string& line) {
      return line.find(": ok") != std::string::npos;
    });
    EXPECT_EQ(outcome.status, c.status >= 0 ? c.status
                              : fine        ? 0
                                            : 1)
        << c.name << outcome.errorOutput;
    for (const auto& line : c.lines)
      EXPECT_NE(outcome.errorOutput.find(line), std::string::npos) << c.name << ": " << line << "\n"
                                                                   << outcome.errorOutput;
    EXPECT_EQ(std::count(outcome.errorOutput.begin(), outcome.errorOutput.end(), '\n'), c.count)
        << c.name << ": one line per family";
  }
}

}  // namespace
}  // namespace tovren::testing
