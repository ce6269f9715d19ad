#!/usr/bin/python3
"""Checks that an exe imports only calls the oldest Windows it is for exports, so
that it loads there; prints what it checked.

    /usr/bin/python3 scripts/check-imports.py win32 build/win32/shell/decrimp95.exe
    /usr/bin/python3 scripts/check-imports.py win64 build/win64/shell/decrimp95.exe

win32 is for Windows 95 on (and the msvcrt.dll that Windows 98 and NT 4 ship), win64
for Windows XP x64 on. The lists are in scripts/imports/, each saying where it comes
from. A newer call is looked up at run time instead (LookUpCall in
core/windows/newer_calls.h), with a fallback. Exits 1 on any call outside the lists.
Needs python3-pefile (Debian's loads only in /usr/bin/python3).
"""
import os
import sys

import pefile

LISTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "imports")
ALLOWED = {  # arch: {DLL: the list of its calls the oldest Windows exports}
    "win32": {"kernel32.dll": "win95-kernel32.txt", "user32.dll": "win95-user32.txt",
              "gdi32.dll": "win95-gdi32.txt", "comdlg32.dll": "win95-comdlg32.txt",
              "msvcrt.dll": "win98-nt4-msvcrt.txt"},
    "win64": {"kernel32.dll": "xp64-kernel32.txt", "user32.dll": "xp64-user32.txt",
              "gdi32.dll": "xp64-gdi32.txt", "comdlg32.dll": "xp64-comdlg32.txt",
              "msvcrt.dll": "xp64-msvcrt.txt"},
}


def read_list(name):
    names = set()
    with open(os.path.join(LISTS, name)) as listing:
        for line in listing:
            if not line.startswith("#"):
                names.update(line.split())
    return names


def imports_of(pe):
    """{DLL, lower case: [call names]}, delay-loaded ones too; by ordinal as "#N"."""
    found = {}
    entries = getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) + getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])
    for entry in entries:
        calls = found.setdefault(entry.dll.decode("latin-1").lower(), [])
        for call in entry.imports:
            calls.append(call.name.decode("latin-1") if call.name else f"#{call.ordinal}")
    return found


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ALLOWED:
        sys.exit(__doc__)
    arch, path = sys.argv[1:]
    print(f"{path}:")
    problems = 0
    for dll, calls in sorted(imports_of(pefile.PE(path, fast_load=False)).items()):
        listed = ALLOWED[arch].get(dll)
        if listed is None:
            print(f"  FAIL {dll}: a DLL the oldest Windows may lack ({len(calls)} calls)")
            problems += 1
            continue
        missing = sorted(set(calls) - read_list(listed))
        if missing:
            print(f"  FAIL {dll}: {len(missing)} of {len(calls)} calls not in {listed}: {' '.join(missing)}")
            problems += 1
        else:
            print(f"  ok   {dll}: all {len(calls)} calls in {listed}")
    if problems:
        print(f"{problems} DLL(s) with calls the oldest Windows lacks in {path}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
