#!/usr/bin/env python3
"""Checks a macOS TOVREN.app built on another system, as a Mac would load it:
each program slice is Mach-O of its processor, needs macOS 12.0, links only
libraries of /usr/lib, and the 64-bit Arm slice carries an ad hoc code signature
(which macOS requires of Arm programs); Info.plist parses and names the program,
the identifier, an application, macOS 12.0 and an accessory (LSUIElement).
    tools/check_macos.py BUNDLE PROCESSOR...      e.g. build-macos/TOVREN.app arm64 x86_64
Prints one line per slice; exits 1 with the reason on the first fault."""
import plistlib
import struct
import sys

CPU = {0x0100000C: "arm64", 0x01000007: "x86_64"}
LC_LOAD_DYLIB, LC_CODE_SIGNATURE, LC_BUILD_VERSION = 0xC, 0x1D, 0x32
CODE_DIRECTORY, ADHOC = 0xFADE0C02, 0x2


def fail(reason):
    sys.exit(f"{sys.argv[1]}: {reason}")


def signature_flags(data, offset):
    """The flags of the code directory in the signature blob, or None."""
    count = struct.unpack_from(">I", data, offset + 8)[0]
    for i in range(count):
        _, at = struct.unpack_from(">II", data, offset + 12 + 8 * i)
        if struct.unpack_from(">I", data, offset + at)[0] == CODE_DIRECTORY:
            return struct.unpack_from(">I", data, offset + at + 12)[0]
    return None


def slice_summary(data, start):
    magic, cpu, _, _, ncmds, _, _, _ = struct.unpack_from("<IiIIIIII", data, start)
    if magic != 0xFEEDFACF:
        fail("a slice is not a 64-bit Mach-O program")
    processor, minos, libraries, signed = CPU.get(cpu, hex(cpu)), None, [], "unsigned"
    at = start + 32
    for _ in range(ncmds):
        command, size = struct.unpack_from("<II", data, at)
        if command == LC_BUILD_VERSION:
            version = struct.unpack_from("<I", data, at + 12)[0]
            minos = f"{version >> 16}.{version >> 8 & 0xFF}"
        elif command == LC_LOAD_DYLIB:
            name = struct.unpack_from("<I", data, at + 8)[0]
            libraries.append(data[at + name:at + size].split(b"\0")[0].decode())
        elif command == LC_CODE_SIGNATURE:
            offset, _ = struct.unpack_from("<II", data, at + 8)
            flags = signature_flags(data, start + offset)
            signed = "ad hoc" if flags is not None and flags & ADHOC else "signed"
        at += size
    return processor, minos, libraries, signed


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
        processor, minos, libraries, signed = slice_summary(data, start)
        print(f"tovren-setup {processor}: minos {minos}, {signed}, links {' '.join(libraries)}")
        if minos != "12.0":
            fail(f"the {processor} slice needs macOS {minos}, not 12.0")
        if any(not library.startswith("/usr/lib/") for library in libraries):
            fail(f"the {processor} slice links a library outside /usr/lib/")
        if processor == "arm64" and signed != "ad hoc":
            fail("the arm64 slice is not signed ad hoc")
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


main()
