#!/usr/bin/python3
"""Shows that check-executables.py finds the faults it is there for: it passes the build's own
executables, then must fail each copy of them with one fault written in.

  scripts/windows/test-check-executables.py [--target x86|x64] FOLDER
      # FOLDER/Prismor.exe, FOLDER/norlix.exe, FOLDER/NorlixStandIn.dll
"""

import os
import shutil
import subprocess
import sys
import tempfile

import pefile

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check-executables.py")


def utf16(text):
    return text.encode("utf-16-le")


def version_resource(pe):
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if type_entry.id == pefile.RESOURCE_TYPE["RT_VERSION"]:
            data = type_entry.directory.entries[0].directory.entries[0].data.struct
            return pe.get_offset_from_rva(data.OffsetToData), data.Size
    raise SystemExit("test-check-executables: the build's Prismor.exe has no version block")


def replace_in_version(old, new):
    """A fault that rewrites bytes of the version block in place, in the file pefile has written:
    pefile writes back the version block it parsed over any change made through it."""
    def fault(pe):
        start, size = version_resource(pe)
        block = pe.__data__[start:start + size]
        assert len(old) == len(new) and block.count(old) == 1, old
        return start + block.index(old), new
    return fault


def set_field(header, field, value):
    def fault(pe):
        setattr(getattr(pe, header), field, value)
    return fault


def rename_import(old, new):
    def fault(pe):
        for entry in pe.DIRECTORY_ENTRY_IMPORT:
            if entry.dll.lower() == old.lower():
                pe.set_bytes_at_rva(entry.struct.Name, new)
                return
        raise AssertionError(f"no import {old}")
    return fault


def rename_export(old, new):
    def fault(pe):
        for symbol in pe.DIRECTORY_ENTRY_EXPORT.symbols:
            if symbol.name == old:
                assert len(old) == len(new)
                return symbol.name_offset, new
        raise AssertionError(f"no export {old}")
    return fault


def resize_icon_entry(pe):
    # The group's second entry, the 16x16 image, claims to be 48x48.
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if type_entry.id == pefile.RESOURCE_TYPE["RT_GROUP_ICON"]:
            data = type_entry.directory.entries[0].directory.entries[0].data.struct
            pe.set_bytes_at_rva(data.OffsetToData + 6 + 14, bytes([48, 48]))


FILES = ("Prismor.exe", "norlix.exe", "NorlixStandIn.dll")
OTHER_MACHINE = {"x86": 0x8664, "x64": 0x14C}


# (what is wrong, which file, the fault, words that the failure must print)
def faults(target):
    return [
    ("the other target's machine", "Prismor.exe",
     set_field("FILE_HEADER", "Machine", OTHER_MACHINE[target]), "not PE32"),
    ("the server built for the other target", "NorlixStandIn.dll",
     set_field("FILE_HEADER", "Machine", OTHER_MACHINE[target]), "not PE32"),
    ("the server not a DLL", "NorlixStandIn.dll",
     set_field("FILE_HEADER", "Characteristics", 0x0102), "not a DLL"),
    ("DllGetClassObject exported decorated", "NorlixStandIn.dll",
     rename_export(b"DllGetClassObject", b"DllGetClassObj@12"), "decorated name DllGetClassObj@12"),
    ("DllRegisterServer not exported", "NorlixStandIn.dll",
     rename_export(b"DllRegisterServer", b"DllRegisterServex"), "does not export DllRegisterServer"),
    ("Prismor.exe a console program", "Prismor.exe",
     set_field("OPTIONAL_HEADER", "Subsystem", 3), "subsystem"),
    ("norlix.exe a GUI program", "norlix.exe",
     set_field("OPTIONAL_HEADER", "Subsystem", 2), "subsystem"),
    ("Qt's DLL imported", "Prismor.exe", rename_import(b"USERENV.dll", b"Qt6Core.dll"),
     "imports Qt6Core.dll"),
    ("the compiler's runtime imported", "norlix.exe",
     rename_import(b"WINMM.dll", b"libgcc.dll"), "imports libgcc.dll"),
    ("fixed FileVersion 1.0.0.1", "Prismor.exe",
     replace_in_version(bytes.fromhex("bd04effe00000100000001000000"),
                        bytes.fromhex("bd04effe00000100000001000100")), "fixed FileVersion"),
    ("ProductVersion 1.01", "Prismor.exe",
     replace_in_version(utf16("ProductVersion\x001.00"), utf16("ProductVersion\x001.01")),
     "ProductVersion is '1.01'"),
    ("CompanyName turned into a second ProductName", "Prismor.exe",
     replace_in_version(utf16("CompanyName"), utf16("ProductName")), "string entries"),
    ("a string table of another language", "Prismor.exe",
     replace_in_version(utf16("040904B0"), utf16("040704B0")), "string tables"),
    ("translation to another code page", "Prismor.exe",
     replace_in_version(bytes.fromhex("0904b004"), bytes.fromhex("0904e404")), "translation"),
    ("no 16x16 icon", "Prismor.exe", resize_icon_entry, "no 16x16 image"),
    ]


def run_check(target, folder):
    result = subprocess.run([CHECK, "--target", target, folder], capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


def main(argv):
    target = "x86"
    if len(argv) == 3 and argv[0] == "--target" and argv[1] in OTHER_MACHINE:
        target, argv = argv[1], argv[2:]
    if len(argv) != 1 or not os.path.isdir(argv[0]):
        print("usage:\n" + __doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    failures = 0
    code, output = run_check(target, argv[0])
    if code != 0:
        print(output + "test-check-executables: the build's own executables do not pass")
        return 1
    print("ok: the build's own executables pass")
    with tempfile.TemporaryDirectory() as work:
        # The two files swapped: norlix.exe has neither a GUI nor a version block.
        shutil.copy(os.path.join(argv[0], "norlix.exe"), os.path.join(work, "Prismor.exe"))
        shutil.copy(os.path.join(argv[0], "Prismor.exe"), os.path.join(work, "norlix.exe"))
        shutil.copy(os.path.join(argv[0], "NorlixStandIn.dll"), os.path.join(work, "NorlixStandIn.dll"))
        cases = [("the two executables swapped", None, None, "no icon group")] + faults(target)
        for what, faulty, fault, expected in cases:
            if fault is not None:
                for name in FILES:
                    shutil.copy(os.path.join(argv[0], name), os.path.join(work, name))
                pe = pefile.PE(os.path.join(argv[0], faulty), fast_load=True)
                pe.parse_data_directories(directories=[
                    pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
                    pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"],
                    pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]])
                patch = fault(pe)
                pe.write(filename=os.path.join(work, faulty))
                pe.close()
                if patch is not None:
                    with open(os.path.join(work, faulty), "r+b") as written:
                        written.seek(patch[0])
                        written.write(patch[1])
            code, output = run_check(target, work)
            if code == 1 and expected in output:
                print(f"ok: fails with {what}")
            else:
                failures += 1
                print(f"FAIL: with {what}, check-executables exited {code} without "
                      f"{expected!r}:\n{output}")
    print(f"test-check-executables: {len(cases) + 1 - failures} of {len(cases) + 1} passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
