#!/usr/bin/python3
"""Remakes the lists of calls each oldest Windows exports, beside this script, from
what Debian's packages hold (mingw-w64's import libraries, Wine's 32-bit DLLs):

    /usr/bin/python3 scripts/imports/make-lists.py

win95-kernel32.txt is not made here: it comes from an early Wine export list that
followed Windows 95's KERNEL32 ordinal table, and the others build on it. Each list
made here says in its header how it was made and what it rests on. Needs
g++-mingw-w64-i686, g++-mingw-w64-x86-64, wine32:i386 and python3-pefile.
"""
import os
import re
import struct
import subprocess
import textwrap

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
MINGW32 = "/usr/i686-w64-mingw32/lib"
MINGW64 = "/usr/x86_64-w64-mingw32/lib"
WINE32 = "/usr/lib/i386-linux-gnu/wine/i386-windows"


def import_library_names(tool, library, prefix):
    """The DLL names an import library of mingw-w64 imports (its __imp_ symbols),
    without the stdcall decoration; the library's own helper code is left out."""
    listing = subprocess.run([tool, library], capture_output=True, text=True, check=True).stdout
    names = set()
    for line in listing.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[1] == "I" and parts[2].startswith("__imp_" + prefix):
            names.add(re.sub(r"@\d+$", "", parts[2][len("__imp_" + prefix):]))
    return names


def mingw32(dll):
    return import_library_names("i686-w64-mingw32-nm", f"{MINGW32}/lib{dll}.a", "_")


def mingw64(dll):
    return import_library_names("x86_64-w64-mingw32-nm", f"{MINGW64}/lib{dll}.a", "")


# Ordinals from here on are those Windows 98 and Me added (right-to-left layouts).
AFTER_95_ORDINALS = 1000


def sixteen_bit_names(path):
    """The resident names of the 16-bit module inside one of Wine's .dll16/.exe16 files:
    its exports, upper case, as the Windows module it stands for has them, less those
    that came after Windows 95."""
    data = open(path, "rb").read()
    for found in re.finditer(b"NE", data):
        header = found.start()
        if header + 0x40 > len(data):
            continue
        resident, module_table = struct.unpack_from("<HH", data, header + 0x26)
        if not (0 < resident < module_table and module_table - resident > 50):
            continue
        at, names = header + resident, []
        try:
            while data[at]:
                length = data[at]
                ordinal = struct.unpack_from("<H", data, at + 1 + length)[0]
                if ordinal < AFTER_95_ORDINALS:
                    names.append(data[at + 1:at + 1 + length].decode("ascii"))
                at += length + 3  # the name, then its ordinal
        except (IndexError, UnicodeDecodeError):
            continue
        if len(names) > 5:
            return set(names[1:])  # the first is the module's own name
    raise SystemExit(f"no 16-bit module found in {path}")


# 16-bit USER calls that Win32 renamed (Windows 3.1's "Ansi" string calls), with their
# Win32 names, as the Win32 headers document them.
RENAMED = {"ANSIUPPER": "CharUpperA", "ANSILOWER": "CharLowerA", "ANSIUPPERBUFF": "CharUpperBuffA",
           "ANSILOWERBUFF": "CharLowerBuffA", "ANSINEXT": "CharNextA", "ANSIPREV": "CharPrevA",
           "ANSITOOEM": "CharToOemA", "OEMTOANSI": "OemToCharA", "ANSITOOEMBUFF": "CharToOemBuffA",
           "OEMTOANSIBUFF": "OemToCharBuffA"}


def thirty_two_bit_of(names16, names32):
    """The Win32 calls that stand for a 16-bit call: the same name, its ANSI "A" form,
    or its new name (RENAMED). Wide "W" forms are left out: Windows 95 has few of them."""
    upper16 = {n.upper() for n in names16}
    renamed = {RENAMED[n] for n in upper16 if n in RENAMED}
    return {n for n in names32 if n.upper() in upper16 or (n.endswith("A") and n[:-1].upper() in upper16)
            or n in renamed}


def read_list(name):
    words = []
    for line in open(os.path.join(HERE, name)):
        if not line.startswith("#"):
            words.extend(line.split())
    return set(words)


def write_list(name, header, names):
    title, _, text = header.strip().partition("\n")
    lines = [title, ""] + textwrap.wrap(" ".join(text.split()), 86)
    with open(os.path.join(HERE, name), "w") as out:
        for line in lines:
            out.write(("# " + line).rstrip() + "\n")
        for n in sorted(names):
            out.write(n + "\n")
    print(f"{name}: {len(names)} names")


SIXTEEN_BIT = """
Made by make-lists.py: each name is the Win32 form (the same name, or the ANSI "A" one)
of a call that the 16-bit {module} exports (or its new Win32 name, for the renamed
"Ansi" string calls of USER), as Wine's {wine} reproduces that module's
export table (Windows 3.1's calls and those Windows 95 added; the few at ordinals
1000 and up, which Windows 98 and Me added for right-to-left layouts, are left out), and that
mingw-w64's {lib} (Debian) imports. It rests on this: Windows 95's {dll} gives 32-bit
programs the 16-bit module's calls under their Win32 names (most of them are thunks
into it). Wide "W" forms are left out. {extra}
"""

XP64_FROM_95 = """
Made by make-lists.py: the names of {source} (Windows 95) that the x86_64 {lib} of
mingw-w64 (Debian) still imports today. It rests on this: a call that Windows 95 had
and that today's 64-bit {dll} still exports was in Windows XP x64's too (built from
Server 2003 SP1, after Windows 2000 had taken in the calls of 95 that NT lacked);
Windows does not drop a call and bring it back. {extra}
"""


def main():
    user16 = sixteen_bit_names(f"{WINE32}/user.exe16")
    gdi16 = sixteen_bit_names(f"{WINE32}/gdi.exe16")
    commdlg16 = sixteen_bit_names(f"{WINE32}/commdlg.dll16")
    win95 = {
        "user32": (thirty_two_bit_of(user16, mingw32("user32")), "USER.EXE", "user.exe16"),
        "gdi32": (thirty_two_bit_of(gdi16, mingw32("gdi32")), "GDI.EXE", "gdi.exe16"),
        "comdlg32": (thirty_two_bit_of(commdlg16, mingw32("comdlg32")), "COMMDLG.DLL", "commdlg.dll16"),
    }
    for dll, (names, module, wine) in win95.items():
        write_list(f"win95-{dll}.txt", f"Calls Windows 95's {dll.upper()}.DLL exports.\n"
                   + SIXTEEN_BIT.format(module=module, wine=wine, lib=f"lib{dll}.a", dll=dll.upper(), extra=""),
                   names)

    # Wine's msvcrt40.dll forwards each C run-time name to msvcrt.dll, as the real
    # msvcrt40.dll does from Visual C++ 4.2 on; the iostream names go to msvcirt.dll.
    wine40 = pefile.PE(f"{WINE32}/msvcrt40.dll")
    forwarded = {e.name.decode() for e in wine40.DIRECTORY_ENTRY_EXPORT.symbols
                 if e.name and e.forwarder and e.forwarder.startswith(b"msvcrt.")}
    crt40 = forwarded & mingw32("msvcrt40")
    write_list("win98-nt4-msvcrt.txt", """
C run-time calls that the msvcrt.dll of Windows NT 4 and Windows 98 exports.
Made by make-lists.py: the names that both mingw-w64's import library for msvcrt40.dll
(libmsvcrt40.a, Debian) and Wine's msvcrt40.dll export, and that Wine's msvcrt40.dll
forwards to msvcrt.dll. msvcrt40.dll is Visual C++ 4.0's run-time (1996). It rests on
this: from Visual C++ 4.2 on, msvcrt40.dll only forwards each of these names to
msvcrt.dll (as Wine's copy does), so msvcrt.dll 4.20, Visual C++ 4.2's, which NT 4
ships, and every later one (Windows 98's) has them. Windows 95 before OSR2 ships no
msvcrt.dll at all.
""", crt40)

    kernel95 = read_list("win95-kernel32.txt")
    write_list("xp64-kernel32.txt", "Calls Windows XP x64's KERNEL32.DLL exports.\n" + XP64_FROM_95.format(
        source="win95-kernel32.txt", lib="libkernel32.a", dll="KERNEL32",
        extra="Added by hand: __C_specific_handler, the handler of the x64 exception tables, "
              "which kernel32 exports (forwarded to ntdll) on every x64 Windows."),
        (kernel95 & mingw64("kernel32")) | {"__C_specific_handler"})
    longptr = {"GetWindowLongPtrA", "SetWindowLongPtrA", "GetClassLongPtrA", "SetClassLongPtrA"}
    for dll, extra, added in [
            ("user32", "Added by hand: " + ", ".join(sorted(longptr)) + ", which 64-bit "
             "user32 exports (on 32-bit Windows they are macros for the ...Long calls, so no "
             "x64 Windows lacks them).", longptr),
            ("gdi32", "", set()), ("comdlg32", "", set())]:
        write_list(f"xp64-{dll}.txt", f"Calls Windows XP x64's {dll.upper()}.DLL exports.\n" + XP64_FROM_95.format(
            source=f"win95-{dll}.txt", lib=f"lib{dll}.a", dll=dll.upper(), extra=extra),
            (win95[dll][0] & mingw64(dll)) | (added & mingw64(dll)))

    crt70 = mingw32("msvcr70")
    write_list("xp64-msvcrt.txt", """
C run-time calls that Windows XP x64's msvcrt.dll (7.0, Server 2003 SP1's) exports.
Made by make-lists.py: the names that mingw-w64's x86_64 libmsvcrt.a (Debian; today's
64-bit msvcrt.dll) imports and that either win98-nt4-msvcrt.txt has (the run-time of
1996) or mingw-w64's import library for msvcr70.dll (libmsvcr70.a; Visual C++ .NET 2002,
the run-time that msvcrt.dll 7.0 of Windows XP and Server 2003 was made from) imports.
It rests on this: a name that both that run-time and today's 64-bit msvcrt.dll have
was in XP x64's msvcrt.dll, between the two.
""", mingw64("msvcrt") & (crt40 | crt70))


if __name__ == "__main__":
    main()
