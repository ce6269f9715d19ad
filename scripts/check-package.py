#!/usr/bin/python3
"""Checks a zip that cpack made for Windows users, and prints what it checked.

    /usr/bin/python3 scripts/check-package.py decrimp95-1.0.0-win32.zip win32 1.0.0

The zip must hold exactly decrimp95.exe and README.txt in a folder named like the
zip; the exe must be a GUI program for the zip's machine, carry its resources, have
no debug sections or symbols, and import nothing but the Windows DLLs it uses
today. Exits 1 on any problem. Needs python3-pefile (Debian's loads only in
/usr/bin/python3).
"""
import os
import sys
import zipfile

import pefile

MACHINES = {  # zip suffix: (machine, optional header magic, what it is)
    "win32": (0x014C, 0x010B, "PE32 i686"),
    "win64": (0x8664, 0x020B, "PE32+ x86_64"),
}
GUI_SUBSYSTEM = 2
RT_BITMAP, RT_MENU, RT_DIALOG, RT_GROUP_ICON, RT_MANIFEST = 2, 4, 5, 14, 24
RESOURCES = [(RT_GROUP_ICON, 101, "icon group"), (RT_BITMAP, 102, "bitmap"),
             (RT_MENU, 103, "menu"), (RT_DIALOG, 104, "dialog")]
# What the exe imports today; the C and C++ runtimes are linked in statically.
SYSTEM_DLLS = {"comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "user32.dll"}
COFF_SYMBOL_SIZE = 18

problems = []


def check(ok, what):
    print(("  ok   " if ok else "  FAIL ") + what)
    if not ok:
        problems.append(what)


def section_name(pe, section):
    """A long name ("/4") is an offset into the COFF string table after the symbols."""
    name = section.Name.rstrip(b"\0").decode("latin-1")
    table = pe.FILE_HEADER.PointerToSymbolTable
    if not name.startswith("/") or not name[1:].isdigit() or table == 0:
        return name
    start = table + pe.FILE_HEADER.NumberOfSymbols * COFF_SYMBOL_SIZE + int(name[1:])
    end = pe.__data__.find(b"\0", start)
    return name + "=" + pe.__data__[start:end].decode("latin-1") if end > start else name


def resource_ids(pe):
    ids = set()
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return ids
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for entry in kind.directory.entries:
            if kind.id is not None and entry.id is not None:
                ids.add((kind.id, entry.id))
    return ids


def check_exe(data, arch):
    machine, magic, kind = MACHINES[arch]
    pe = pefile.PE(data=data)
    check(pe.FILE_HEADER.Machine == machine and pe.OPTIONAL_HEADER.Magic == magic,
          f"exe is {kind} (machine 0x{pe.FILE_HEADER.Machine:04X}, magic 0x{pe.OPTIONAL_HEADER.Magic:03X})")
    check(pe.OPTIONAL_HEADER.Subsystem == GUI_SUBSYSTEM,
          f"GUI subsystem (subsystem {pe.OPTIONAL_HEADER.Subsystem})")

    ids = resource_ids(pe)
    for type_id, res_id, what in RESOURCES:
        check((type_id, res_id) in ids, f"resource {what} {res_id} (type {type_id})")
    if (RT_MANIFEST, 1) in ids:
        print("  info manifest 1 (type 24) present")

    names = [section_name(pe, s) for s in pe.sections]
    # A long name the string table cannot resolve is suspect too; .eh_frame, which
    # the i686 exe needs to unwind exceptions, gets a long name and stays.
    debug = [n for n in names if ".debug" in n or (n.startswith("/") and "=" not in n)]
    check(not debug, f"no debug sections ({len(names)} sections: {' '.join(names)})")
    check(pe.FILE_HEADER.NumberOfSymbols == 0,
          f"no symbol table ({pe.FILE_HEADER.NumberOfSymbols} symbols)")

    dlls = sorted(e.dll.decode("latin-1").lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []))
    extra = [d for d in dlls if d not in SYSTEM_DLLS]
    check(not extra, f"imports only system DLLs ({' '.join(dlls)}"
          + (f"; not allowed: {' '.join(extra)})" if extra else ")"))


def check_readme(text):
    lines = text.count(b"\r\n")
    lone_lf = text.count(b"\n") - lines
    check(text.endswith(b"\r\n") and lone_lf == 0,
          f"README.txt has CRLF line ends ({lines} lines, {lone_lf} bare LF)")
    check(all(b < 0x80 for b in text), "README.txt is plain ASCII")


def main():
    if len(sys.argv) != 4 or sys.argv[2] not in MACHINES:
        sys.exit(__doc__)
    path, arch, version = sys.argv[1:]
    folder = f"decrimp95-{version}-{arch}"
    print(f"{path}:")
    check(os.path.basename(path) == folder + ".zip", f"named {folder}.zip")
    with zipfile.ZipFile(path) as archive:
        names = sorted(i.filename for i in archive.infolist() if not i.is_dir())
        wanted = [f"{folder}/README.txt", f"{folder}/decrimp95.exe"]
        check(names == wanted, f"holds {' and '.join(wanted)} only (got {' '.join(names)})")
        if f"{folder}/decrimp95.exe" in names:
            exe = archive.read(f"{folder}/decrimp95.exe")
            print(f"  info decrimp95.exe is {len(exe):,} bytes")
            check_exe(exe, arch)
        if f"{folder}/README.txt" in names:
            check_readme(archive.read(f"{folder}/README.txt"))
    if problems:
        print(f"{len(problems)} problem(s) in {path}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
