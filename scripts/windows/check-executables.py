#!/usr/bin/python3
"""Checks the Windows build's programs as Windows will see them, read back from the files:

  scripts/windows/check-executables.py [--target x86|x64] FOLDER
      # FOLDER/Prismor.exe, FOLDER/norlix.exe, FOLDER/NorlixStandIn.dll

All three must be built for the target (x86, the default: PE32 for i386, what ships; x64: PE32+
for x86-64, what the tests run) and import only Windows' own DLLs, so that each runs without a
DLL of ours or of the compiler beside it. Prismor.exe is a GUI program with its version block and
an application icon of 32x32 and 16x16, norlix.exe a console one, NorlixStandIn.dll a DLL that
exports COM's entry points under their plain names (a 32-bit __stdcall name left decorated, as
DllGetClassObject@12, is one that COM cannot find). Prints what it read; exits 1 when a check
fails, 2 when a file cannot be read. Debian's python3-pefile reads the headers (hence
/usr/bin/python3 rather than whichever python3 comes first); the version block and the icon group
are parsed here, so that a duplicated or stray entry cannot hide behind pefile's dictionaries.
"""

import os
import struct
import sys

import pefile

IMAGE_FILE_MACHINE_AMD64 = 0x8664
IMAGE_FILE_MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
PE32_PLUS_MAGIC = 0x20B
IMAGE_FILE_DLL = 0x2000
# What each target's files must be: (optional header magic, machine, in words).
TARGETS = {
    "x86": (PE32_MAGIC, IMAGE_FILE_MACHINE_I386, "PE32 for i386"),
    "x64": (PE32_PLUS_MAGIC, IMAGE_FILE_MACHINE_AMD64, "PE32+ for x86-64"),
}
SERVER_EXPORTS = ["DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer",
                  "DllUnregisterServer"]
SUBSYSTEM_GUI = 2
SUBSYSTEM_CONSOLE = 3
RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16

# DLLs that every Windows 10 and later has in System32. A DLL of the compiler's runtime
# (libstdc++, libgcc, libwinpthread) or of Qt is not one: it would have to ship beside the .exe.
WINDOWS_DLLS = {
    "advapi32.dll", "authz.dll", "bcrypt.dll", "cfgmgr32.dll", "comctl32.dll", "comdlg32.dll",
    "crypt32.dll", "d2d1.dll", "d3d11.dll", "d3d12.dll", "d3d9.dll", "dbghelp.dll", "dnsapi.dll",
    "dwmapi.dll", "dwrite.dll", "dxgi.dll", "gdi32.dll", "gdiplus.dll", "hid.dll", "imm32.dll",
    "iphlpapi.dll", "kernel32.dll", "mpr.dll", "msvcrt.dll", "ncrypt.dll", "netapi32.dll",
    "ntdll.dll", "ole32.dll", "oleacc.dll", "oleaut32.dll", "opengl32.dll", "powrprof.dll",
    "propsys.dll", "psapi.dll", "rpcrt4.dll", "secur32.dll", "setupapi.dll", "shcore.dll",
    "shell32.dll", "shlwapi.dll", "ucrtbase.dll", "user32.dll", "userenv.dll", "usp10.dll",
    "uxtheme.dll", "version.dll", "windowscodecs.dll", "winhttp.dll", "wininet.dll", "winmm.dll",
    "winspool.drv", "ws2_32.dll", "wtsapi32.dll",
}
# API sets: names that Windows' loader maps onto its own DLLs.
WINDOWS_API_SET_PREFIXES = ("api-ms-win-", "ext-ms-win-")

VERSION_STRINGS = {
    "ProductName": "Prismor",
    "FileVersion": "1.00",
    "ProductVersion": "1.00",
    "InternalName": "Prismor",
    "OriginalFilename": "Prismor.exe",
    "CompanyName": None,  # any value but an empty one
}
STRING_TABLE = "040904B0"  # US English, Unicode
TRANSLATIONS = [(0x0409, 0x04B0)]
FIXED_VERSION = (1, 0, 0, 0)
ICON_SIZES = [(32, 32), (16, 16)]


class Checker:
    def __init__(self):
        self.failures = []

    def fail(self, name, message):
        self.failures.append(f"{name}: {message}")
        print(f"  FAIL: {message}")


def resources_of(pe, type_id):
    """The (name, data) of every resource of one type, in the directory's order, one per
    language."""
    found = []
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if type_entry.id != type_id or type_entry.name is not None:
            continue
        for name_entry in type_entry.directory.entries:
            name = str(name_entry.name) if name_entry.name is not None else name_entry.id
            for lang_entry in name_entry.directory.entries:
                data = lang_entry.data.struct
                found.append((name, pe.get_data(data.OffsetToData, data.Size)))
    return found


def version_nodes(blob, start, end):
    """The version resource's nodes between start and end: (key, type, value, children) each,
    a text value as a str, a binary one as bytes."""
    nodes = []
    offset = start
    while offset + 6 <= end:
        length, value_length, value_type = struct.unpack_from("<HHH", blob, offset)
        if length == 0:
            break
        node_end = min(offset + length, end)
        key_end = offset + 6
        while key_end + 1 < node_end and blob[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = blob[offset + 6:key_end].decode("utf-16-le")
        value_start = (key_end + 2 + 3) & ~3
        # A text value's length counts UTF-16 characters, a binary one's bytes.
        value_bytes = value_length * 2 if value_type == 1 else value_length
        value_stop = min(value_start + value_bytes, node_end)
        raw = blob[value_start:value_stop]
        if value_type == 1:
            value = raw.decode("utf-16-le").split("\0", 1)[0]
        else:
            value = bytes(raw)
        children_start = (value_stop + 3) & ~3 if value_bytes else value_start
        children = version_nodes(blob, children_start, node_end) if children_start < node_end else []
        nodes.append((key, value_type, value, children))
        offset = (offset + length + 3) & ~3
    return nodes


def check_version_block(pe, name, checker):
    versions = resources_of(pe, RT_VERSION)
    if len(versions) != 1:
        checker.fail(name, f"{len(versions)} version resources instead of one")
        return
    blob = versions[0][1]
    roots = version_nodes(blob, 0, len(blob))
    if len(roots) != 1 or roots[0][0] != "VS_VERSION_INFO":
        checker.fail(name, "the version resource is not one VS_VERSION_INFO block")
        return
    _, _, fixed, children = roots[0]
    if len(fixed) != 52 or struct.unpack_from("<I", fixed)[0] != 0xFEEF04BD:
        checker.fail(name, "the version block has no VS_FIXEDFILEINFO")
    else:
        file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", fixed, 8)

        def dotted(ms, ls):
            return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

        for label, version in (("FileVersion", dotted(file_ms, file_ls)),
                               ("ProductVersion", dotted(product_ms, product_ls))):
            text = ".".join(map(str, version))
            print(f"  fixed {label}: {text}")
            if version != FIXED_VERSION:
                checker.fail(name, f"fixed {label} is {text}, not "
                             + ".".join(map(str, FIXED_VERSION)))

    string_infos = [c for c in children if c[0] == "StringFileInfo"]
    var_infos = [c for c in children if c[0] == "VarFileInfo"]
    strays = [c[0] for c in children if c[0] not in ("StringFileInfo", "VarFileInfo")]
    if len(string_infos) != 1 or len(var_infos) != 1 or strays:
        checker.fail(name, "the version block does not hold exactly one StringFileInfo and one "
                     f"VarFileInfo (it holds {[c[0] for c in children]})")
    tables = [table for info in string_infos for table in info[3]]
    for table_key, _, _, entries in tables:
        print(f"  string table {table_key}:")
        for key, _, value, _ in entries:
            print(f"    {key} = {value!r}")
    if [t[0].upper() for t in tables] != [STRING_TABLE]:
        checker.fail(name, f"string tables {[t[0] for t in tables]} instead of just {STRING_TABLE}")
    for _, _, _, entries in tables[:1]:
        keys = [e[0] for e in entries]
        if sorted(keys) != sorted(VERSION_STRINGS):
            checker.fail(name, f"string entries {keys} instead of exactly {list(VERSION_STRINGS)}")
        for key, _, value, _ in entries:
            wanted = VERSION_STRINGS.get(key, "")
            if wanted is None and not value:
                checker.fail(name, f"{key} is empty")
            elif wanted is not None and value != wanted:
                checker.fail(name, f"{key} is {value!r}, not {wanted!r}")

    translations = []
    for info in var_infos:
        for key, _, value, _ in info[3]:
            if key == "Translation":
                count = len(value) // 4
                translations += list(struct.iter_unpack("<HH", value[:count * 4]))
    print("  translations: "
          + (" ".join(f"0x{lang:04X},0x{cp:04X}" for lang, cp in translations) or "none"))
    if translations != TRANSLATIONS:
        checker.fail(name, "the translation list is not exactly 0x0409,0x04B0")


def image_size(data):
    """The width and height of one icon image, from its PNG header or its bitmap header (whose
    height counts the image and its mask)."""
    if data[:8] == b"\x89PNG\r\n\x1a\n" and len(data) >= 24:
        return struct.unpack_from(">II", data, 16), "PNG"
    if len(data) >= 40 and struct.unpack_from("<I", data)[0] == 40:
        width, height = struct.unpack_from("<ii", data, 4)
        return (width, height // 2), "BMP"
    return None, "unknown"


def check_icon(pe, name, checker):
    groups = resources_of(pe, RT_GROUP_ICON)
    if not groups:
        checker.fail(name, "no icon group (RT_GROUP_ICON): the desktop shows no icon")
        return
    # The desktop shows the first group of the directory, which lists names before numbers and
    # numbers rising.
    group_name, group = groups[0]
    icons = {}
    for icon_name, data in resources_of(pe, RT_ICON):
        icons.setdefault(icon_name, data)
    reserved, kind, count = struct.unpack_from("<HHH", group) if len(group) >= 6 else (0, 0, 0)
    if kind != 1 or reserved != 0 or len(group) < 6 + 14 * count:
        checker.fail(name, f"icon group {group_name} is not an icon directory")
        return
    sizes = []
    for index in range(count):
        width, height, _, _, _, bits, byte_count, icon_id = struct.unpack_from(
            "<BBBBHHIH", group, 6 + 14 * index)
        width, height = width or 256, height or 256
        data = icons.get(icon_id)
        if data is None:
            checker.fail(name, f"icon group {group_name} names icon {icon_id}, which is missing")
            continue
        actual, kind_name = image_size(data)
        print(f"  icon group {group_name}: icon {icon_id} {width}x{height} {bits}-bit "
              f"{kind_name}, {len(data)} bytes")
        if len(data) != byte_count:
            checker.fail(name, f"icon {icon_id} holds {len(data)} bytes, its group says {byte_count}")
        if actual != (width, height):
            checker.fail(name, f"icon {icon_id}'s image is {actual}, its group says {width}x{height}")
        sizes.append((width, height))
    for size in ICON_SIZES:
        if size not in sizes:
            checker.fail(name, f"the application icon has no {size[0]}x{size[1]} image")


def check_exports(pe, name, checker):
    directory = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    exported = [entry.name.decode("ascii", "replace")
                for entry in (directory.symbols if directory else []) if entry.name]
    print(f"  exports: {', '.join(exported) or 'none'}")
    for wanted in SERVER_EXPORTS:
        if wanted not in exported:
            checker.fail(name, f"does not export {wanted} under that name")
    for symbol in exported:
        if "@" in symbol:
            checker.fail(name, f"exports the decorated name {symbol}")


def check_executable(path, target, subsystem, kind, checker):
    """kind: "program" (with the version block and the icon), "console" or "server"; subsystem
    None: any."""
    name = path
    print(f"{path}:")
    try:
        pe = pefile.PE(path, fast_load=True)
    except (OSError, pefile.PEFormatError) as error:
        print(f"check-executables: cannot read {path}: {error}", file=sys.stderr)
        sys.exit(2)
    pe.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"],
    ])

    machine = pe.FILE_HEADER.Machine
    magic = pe.OPTIONAL_HEADER.Magic
    format_name = {0x10B: "PE32", PE32_PLUS_MAGIC: "PE32+"}.get(magic, hex(magic))
    machine_name = pefile.MACHINE_TYPE.get(machine, hex(machine))
    actual_subsystem = pe.OPTIONAL_HEADER.Subsystem
    subsystem_name = pefile.SUBSYSTEM_TYPE.get(actual_subsystem, str(actual_subsystem))
    print(f"  format: {format_name}, {machine_name}, {subsystem_name}")
    wanted_magic, wanted_machine, wanted_words = TARGETS[target]
    if magic != wanted_magic or machine != wanted_machine:
        checker.fail(name, f"{format_name} for {machine_name}, not {wanted_words}")
    is_dll = bool(pe.FILE_HEADER.Characteristics & IMAGE_FILE_DLL)
    if is_dll != (kind == "server"):
        checker.fail(name, "a DLL" if is_dll else "not a DLL")
    if subsystem is not None and actual_subsystem != subsystem:
        checker.fail(name, f"subsystem {subsystem_name}, not "
                     + pefile.SUBSYSTEM_TYPE[subsystem])

    imported = [entry.dll.decode("ascii", "replace")
                for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    delayed = [entry.dll.decode("ascii", "replace")
               for entry in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
    print(f"  imports: {', '.join(imported) or 'none'}")
    if delayed:
        print(f"  delay-loaded imports: {', '.join(delayed)}")
    for dll in imported + delayed:
        lower = dll.lower()
        if lower not in WINDOWS_DLLS and not lower.startswith(WINDOWS_API_SET_PREFIXES):
            checker.fail(name, f"imports {dll}, which is not one of Windows' own DLLs")

    if kind == "program":
        check_version_block(pe, name, checker)
        check_icon(pe, name, checker)
    if kind == "server":
        check_exports(pe, name, checker)


def main(argv):
    target = "x86"
    if len(argv) == 3 and argv[0] == "--target" and argv[1] in TARGETS:
        target, argv = argv[1], argv[2:]
    if len(argv) != 1 or not os.path.isdir(argv[0]):
        print("usage:\n" + __doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    folder = argv[0]
    checker = Checker()
    check_executable(os.path.join(folder, "Prismor.exe"), target, SUBSYSTEM_GUI, "program", checker)
    check_executable(os.path.join(folder, "norlix.exe"), target, SUBSYSTEM_CONSOLE, "console",
                     checker)
    # A DLL runs in its client's process, whose subsystem counts.
    check_executable(os.path.join(folder, "NorlixStandIn.dll"), target, None, "server", checker)
    if checker.failures:
        print(f"check-executables: {len(checker.failures)} check(s) failed:", file=sys.stderr)
        for failure in checker.failures:
            print(f"  {failure}", file=sys.stderr)
        return 1
    print(f"check-executables: the three files are as Windows ({target}) should find them")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
