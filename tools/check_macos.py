#!/usr/bin/env python3
"""Checks a macOS TOVREN.app built on another system, as a Mac would load it and
a vendor signs it: each program slice is Mach-O of its processor, needs macOS
12.0, links only libraries of /usr/lib, imports no function weakly (one the
oldest system lacks would be called at address 0 there), and has room after its
load commands for the signature's command where it has none; the 64-bit Arm
slice carries an ad hoc code signature whose page hashes all match (macOS
requires one of Arm programs, and ends one that does not match);
Info.plist parses and names the program, the identifier, an application, macOS
12.0, an accessory (LSUIElement), and versions of one to three integers.
    tools/check_macos.py BUNDLE PROCESSOR...      e.g. build-macos/TOVREN.app arm64 x86_64
Prints one line per slice; exits 1 with the reason on the first fault."""
import hashlib
import plistlib
import re
import struct
import sys

CPU = {0x0100000C: "arm64", 0x01000007: "x86_64"}
LC_SEGMENT_64, LC_SYMTAB, LC_LOAD_DYLIB, LC_CODE_SIGNATURE, LC_BUILD_VERSION = 0x19, 0x2, 0xC, 0x1D, 0x32
CODE_DIRECTORY, ADHOC, SHA256 = 0xFADE0C02, 0x2, 2
N_EXT, N_TYPE, N_UNDF, N_WEAK_REF = 0x1, 0xE, 0x0, 0x40
SIGNATURE_COMMAND_SIZE = 16


def fail(reason):
    sys.exit(f"{sys.argv[1]}: {reason}")


def signature(data, start, offset):
    """How the slice at `start` is signed, by its signature blob at `offset`:
    "ad hoc" or "signed" when every page's SHA-256 matches its code directory's."""
    count = struct.unpack_from(">I", data, offset + 8)[0]
    for i in range(count):
        _, at = struct.unpack_from(">II", data, offset + 12 + 8 * i)
        directory = offset + at
        if struct.unpack_from(">I", data, directory)[0] != CODE_DIRECTORY:
            continue
        flags, hashes, _, _, pages, limit, size, kind, _, shift = struct.unpack_from(
            ">IIIIIIBBBB", data, directory + 12)
        if kind != SHA256:
            return "signed with another hash than SHA-256"
        for page in range(pages):
            begin = start + (page << shift)
            if hashlib.sha256(data[begin:min(begin + (1 << shift), start + limit)]).digest() != \
                    data[directory + hashes + page * size:directory + hashes + (page + 1) * size]:
                return f"signed, but page {page} does not match its hash"
        return "ad hoc" if flags & ADHOC else "signed"
    return "unsigned"


def weak_imports(data, start, at):
    """The names of the undefined symbols that the symbol table marks weak."""
    symbols, count, strings, _ = struct.unpack_from("<IIII", data, at + 8)
    names = []
    for i in range(count):
        name, kind, _, desc, _ = struct.unpack_from("<IBBHQ", data, start + symbols + 16 * i)
        if kind & N_EXT and kind & N_TYPE == N_UNDF and desc & N_WEAK_REF:
            names.append(data[start + strings + name:].split(b"\0")[0].decode())
    return names


def first_section(data, at):
    """The file offset of the first section with bytes in the segment at `at`."""
    count = struct.unpack_from("<I", data, at + 64)[0]
    offsets = [struct.unpack_from("<I", data, at + 72 + 80 * i + 48)[0] for i in range(count)]
    return min((offset for offset in offsets if offset), default=None)


def slice_summary(data, start):
    magic, cpu, _, _, ncmds, commands_size, _, _ = struct.unpack_from("<IiIIIIII", data, start)
    if magic != 0xFEEDFACF:
        fail("a slice is not a 64-bit Mach-O program")
    processor, minos, libraries, signed = CPU.get(cpu, hex(cpu)), None, [], "unsigned"
    weak, sections = [], []
    at = start + 32
    for _ in range(ncmds):
        command, size = struct.unpack_from("<II", data, at)
        if command == LC_SEGMENT_64:
            sections.append(first_section(data, at))
        elif command == LC_SYMTAB:
            weak = weak_imports(data, start, at)
        elif command == LC_BUILD_VERSION:
            version = struct.unpack_from("<I", data, at + 12)[0]
            minos = f"{version >> 16}.{version >> 8 & 0xFF}"
        elif command == LC_LOAD_DYLIB:
            name = struct.unpack_from("<I", data, at + 8)[0]
            libraries.append(data[at + name:at + size].split(b"\0")[0].decode())
        elif command == LC_CODE_SIGNATURE:
            offset, _ = struct.unpack_from("<II", data, at + 8)
            signed = signature(data, start, start + offset)
        at += size
    # What lies between the load commands and the first section's bytes.
    room = min(offset for offset in sections if offset is not None) - 32 - commands_size
    return processor, minos, libraries, signed, weak, room


def slices(data):
    """The start of each slice: one, or those a universal file lists."""
    if struct.unpack_from(">I", data)[0] != 0xCAFEBABE:
        return [0]
    count = struct.unpack_from(">I", data, 4)[0]
    return [struct.unpack_from(">IIIII", data, 8 + 20 * i)[2] for i in range(count)]


def main():
    bundle, wanted = sys.argv[1], sys.argv[2:]
    with open(f"{bundle}/Contents/MacOS/tovren-setup", "rb") as program:
        data = program.read()
    found = []
    for start in slices(data):
        processor, minos, libraries, signed, weak, room = slice_summary(data, start)
        print(f"tovren-setup {processor}: minos {minos}, {signed}, links {' '.join(libraries)}, "
              f"{len(weak)} weak imports, {room} bytes free after the load commands", flush=True)
        if minos != "12.0":
            fail(f"the {processor} slice needs macOS {minos}, not 12.0")
        if any(not library.startswith("/usr/lib/") for library in libraries):
            fail(f"the {processor} slice links a library outside /usr/lib/")
        if processor == "arm64" and signed != "ad hoc":
            fail(f"the arm64 slice is {signed}, not signed ad hoc")
        if weak:
            fail(f"the {processor} slice imports weakly: {' '.join(weak)}")
        if signed == "unsigned" and room < SIGNATURE_COMMAND_SIZE:
            fail(f"the {processor} slice has {room} bytes after its load commands, too few for a signature")
        found.append(processor)
    if sorted(found) != sorted(wanted):
        fail(f"holds {' '.join(found)}, not {' '.join(wanted)}")
    with open(f"{bundle}/Contents/Info.plist", "rb") as plist:
        info = plistlib.load(plist)
    expected = {"CFBundleExecutable": "tovren-setup", "CFBundlePackageType": "APPL",
                "LSMinimumSystemVersion": "12.0", "LSUIElement": True}
    for key, value in expected.items():
        if info.get(key) != value:
            fail(f"Info.plist has {key} {info.get(key)!r}, not {value!r}")
    if not info.get("CFBundleIdentifier"):
        fail("Info.plist names no CFBundleIdentifier")
    for key in ("CFBundleShortVersionString", "CFBundleVersion"):
        if not re.fullmatch(r"[0-9]+(\.[0-9]+){0,2}", str(info.get(key))):
            fail(f"Info.plist has {key} {info.get(key)!r}, not one to three integers")


main()
