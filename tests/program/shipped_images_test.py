#!/usr/bin/python3
"""The shipped programs as Windows reads them, through pefile: one row a file of the build, and
one control row, a copy of a stub with a flag cleared, which must fail.

    shipped_images_test.py <folder of the x64 and x86 trees> <VERSION file> <static_imports.txt>

Each row checks the manifest's execution level, its DPI awareness and its supported-OS entries;
the hardening flags; a relocation directory the loader can use; no section both writable and
executable; the version resource; on x64 the unwind data of all code; and every static import
against the list of those that Windows 7 SP1 has."""
import os
import struct
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

import pefile

# The oldest Windows the programs support, and the order in which the documentation's
# "minimum supported client" versions follow each other ("-" in the list: the system's C
# runtime, which the documentation gives no release for).
MINIMUM = "7"
RELEASES = ["NT4", "2000", "XP", "Vista", "7", "8", "8.1", "10"]
WINDOWS_7 = "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"
WINDOWS_10 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
FLAGS = {"HIGH_ENTROPY_VA": 0x20, "DYNAMIC_BASE": 0x40, "NX_COMPAT": 0x100, "NO_SEH": 0x400}
FILL = {0x90, 0xCC}


def manifest_faults(pe, level):
    entries = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
    found = [e for e in entries if e.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]]
    if not found:
        return ["no manifest"]
    leaf = found[0].directory.entries[0].directory.entries[0].data.struct
    root = ElementTree.fromstring(pe.get_data(leaf.OffsetToData, leaf.Size))
    named = lambda tag: [e for e in root.iter() if e.tag.endswith("}" + tag)]
    faults = []
    levels = [e.get("level") for e in named("requestedExecutionLevel")]
    if levels != [level]:
        faults.append("execution level %s, not %s" % (levels, level))
    if [e.text for e in named("dpiAware")] != ["true"]:
        faults.append("not DPI aware")
    systems = {e.get("Id") for e in named("supportedOS")}
    if not {WINDOWS_7, WINDOWS_10} <= systems:
        faults.append("supportedOS lacks Windows 7 or 10")
    return faults


def relocation_faults(pe, x64):
    if pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_RELOCS_STRIPPED"]:
        return ["relocations stripped"]
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    if directory.Size < 8:
        return ["no relocation directory"]
    data = pe.get_data(directory.VirtualAddress, directory.Size)
    at = 0
    while at < len(data):
        page, size = struct.unpack_from("<II", data, at)
        if page % 0x1000 or page >= pe.OPTIONAL_HEADER.SizeOfImage or size < 8 or size % 4 or at + size > len(data):
            return ["malformed relocation block at %d" % at]
        kinds = {entry >> 12 for (entry,) in struct.iter_unpack("<H", data[at + 8:at + size])}
        if kinds - {0, 10 if x64 else 3}:
            return ["relocation types %s" % sorted(kinds)]
        at += size
    return []


def unwind_faults(pe):
    """Every byte of code lies in a function of the exception directory; the gaps hold only
    fill, and at the end of the code the linker's two empty constructor lists (0xff and 0)."""
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXCEPTION"]]
    data = pe.get_data(directory.VirtualAddress, directory.Size) if directory.Size else b""
    functions = [struct.unpack_from("<III", data, at) for at in range(0, len(data) - 11, 12)]
    if not functions:
        return ["no unwind data"]
    faults = []
    last = 0
    for begin, end, info in functions:
        if not last <= begin < end or pe.get_data(info, 1)[0] & 7 != 1:
            faults.append("unwind entry %#x-%#x" % (begin, end))
        last = end
    for section in pe.sections:
        if not section.Characteristics & pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_EXECUTE"]:
            continue
        code = section.get_data()[:section.Misc_VirtualSize]
        covered = bytearray(len(code))
        for begin, end, _ in functions:
            lo, hi = max(begin - section.VirtualAddress, 0), min(end - section.VirtualAddress, len(code))
            covered[lo:hi] = b"\1" * max(hi - lo, 0)
        bare = [i for i in range(len(code)) if not covered[i] and code[i] not in FILL]
        tail = code[bare[0]:] if bare else b""
        if bare and (any(covered[bare[0]:]) or set(tail) - {0x00, 0xFF}):
            faults.append("code without unwind data at %#x" % (section.VirtualAddress + bare[0]))
    return faults


def import_faults(pe, allowed):
    faults = []
    for dll in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        for function in dll.imports:
            key = (dll.dll.decode().lower(), function.name.decode() if function.name else None)
            since = allowed.get(key)
            if since is None:
                faults.append("import %s!%s is not on the list" % key)
            elif since != "-" and RELEASES.index(since) > RELEASES.index(MINIMUM):
                faults.append("import %s!%s needs Windows %s" % (key + (since,)))
    return faults


def faults(path, level, version, allowed):
    pe = pefile.PE(path)
    x64 = pe.OPTIONAL_HEADER.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS
    wanted = ["NX_COMPAT", "DYNAMIC_BASE", "HIGH_ENTROPY_VA" if x64 else "NO_SEH"]
    found = ["no " + flag for flag in wanted if not pe.OPTIONAL_HEADER.DllCharacteristics & FLAGS[flag]]
    found += manifest_faults(pe, level) + relocation_faults(pe, x64)
    writable = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_WRITE"]
    executable = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_EXECUTE"]
    found += ["section %s writable and executable" % s.Name.rstrip(b"\0").decode()
              for s in pe.sections if s.Characteristics & writable and s.Characteristics & executable]
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed or (fixed[0].FileVersionMS, fixed[0].FileVersionLS) != version:
        found.append("no version resource of %d.%d.%d.%d" % (version[0] >> 16, version[0] & 0xFFFF,
                                                              version[1] >> 16, version[1] & 0xFFFF))
    if x64:
        found += unwind_faults(pe)
    return found + import_faults(pe, allowed)


def main(trees, version_file, list_file):
    major, minor, patch = (int(part) for part in open(version_file).readline().split("."))
    version = (major << 16 | minor, patch << 16)
    allowed = {}
    for line in open(list_file):
        fields = line.split("#")[0].split()
        if fields:
            allowed[(fields[0].lower(), fields[1])] = fields[2]
    rows = [("x64/SETUP.exe", "requireAdministrator"), ("x86/SETUP.exe", "requireAdministrator"),
            ("x86/mksetup.exe", "asInvoker")]
    failed = 0
    for name, level in rows:
        found = faults(os.path.join(trees, name), level, version, allowed)
        print("%-18s %s" % (name, "; ".join(found) or "ok"))
        failed += bool(found)
    # The control row: the x64 stub with DYNAMIC_BASE cleared must fail the same check.
    pe = pefile.PE(os.path.join(trees, "x64/SETUP.exe"))
    pe.OPTIONAL_HEADER.DllCharacteristics &= ~FLAGS["DYNAMIC_BASE"]
    with tempfile.TemporaryDirectory() as work:
        copy = os.path.join(work, "SETUP.exe")
        pe.write(copy)
        found = faults(copy, "requireAdministrator", version, allowed)
    print("%-18s %s" % ("control", "fails as it should: " + "; ".join(found) if found else "PASSES"))
    failed += found != ["no DYNAMIC_BASE"]
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
