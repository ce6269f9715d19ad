#!/usr/bin/python3
"""Reads the resources of the built decrimp95.exe and compares them with what the
program must carry: icon, bitmap, menu, About box template and the UTF-8 manifest,
all in US English. The legacy build (--legacy) must carry no manifest.

    /usr/bin/python3 check_resources.py [--legacy] decrimp95.exe

Prints one line per difference and exits 1 if there is any. Needs python3-pefile.
"""
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree

import pefile

RT_ICON, RT_BITMAP, RT_MENU, RT_DIALOG, RT_STRING = 3, 2, 4, 5, 6
RT_ACCELERATOR, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 9, 14, 16, 24
US_ENGLISH = 0x0409

# Every resource the exe may hold: (type, identifier). Nothing else is allowed.
EXPECTED_RESOURCES = {(RT_ICON, 1), (RT_GROUP_ICON, 101), (RT_BITMAP, 102),
                      (RT_MENU, 103), (RT_DIALOG, 104)}
MANIFEST = (RT_MANIFEST, 1)
FORBIDDEN_TYPES = {RT_STRING: "string table", RT_ACCELERATOR: "accelerators",
                   RT_VERSION: "version resource"}

BITMAP_SIZE = 7784
BITMAP_HEADER = [  # BITMAPINFOHEADER, field by field
    ("size", 40), ("width", 78), ("height", 84), ("planes", 1), ("bit count", 8),
    ("compression", 0), ("image size", 6720), ("x pixels per metre", 0),
    ("y pixels per metre", 0), ("colours used", 0), ("colours important", 0)]

ICON_ENTRY = [("width", 32), ("height", 32), ("colour count", 16), ("reserved", 0),
              ("planes", 1), ("bit count", 4), ("image id", 1)]

MENU = [("&File", None, [("&Open", 40001), ("&About", 40002), ("&Quit", 40003)])]
MF_POPUP, MF_END, MF_SEPARATOR_FLAGS = 0x10, 0x80, 0x0800

DIALOG = [("style", 0x80C800C4), ("extended style", 0), ("control count", 5),
          ("x", 0), ("y", 0), ("width", 336), ("height", 198), ("menu", None),
          ("class", None), ("caption", "Decrimp 95 v. 1.0"), ("font size", 8),
          ("font name", "MS Sans Serif")]
BUTTON, STATIC, NO_ID = ("ordinal", 0x0080), ("ordinal", 0x0082), 0xFFFF
TEXT = object()  # the About texts: checked for their shape below, not their words
CONTROLS = [  # class, id, text, style, x, y, width, height
    (BUTTON, 1, "OK", 0x50010001, 252, 101, 50, 14),
    (STATIC, NO_ID, ("ordinal", 102), 0x5080100E, 262, 15, 55, 54),
    (STATIC, NO_ID, TEXT, 0x50020000, 7, 7, 245, 48),
    (STATIC, NO_ID, TEXT, 0x5082100C, 45, 57, 170, 93),
    (STATIC, NO_ID, TEXT, 0x50020000, 19, 154, 254, 27),
]
CONTROL_FIELDS = ["class", "id", "text", "style", "x", "y", "width", "height"]

problems = []


def show(value):
    return f"0x{value:08X}" if isinstance(value, int) and value > 0xFFFF else repr(value)


def expect(what, got, wanted):
    if got != wanted:
        problems.append(f"{what}: expected {show(wanted)}, got {show(got)}")


class Reader:
    """Walks a resource's bytes the way the Windows loader reads them."""

    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        value = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return value

    def name(self):
        """A name or ordinal field: none, 0xFFFF + number, or a string."""
        first = struct.unpack_from("<H", self.data, self.at)[0]
        if first == 0:
            self.at += 2
            return None
        if first == 0xFFFF:
            self.at += 2
            return ("ordinal", self.take("H"))
        return self.text()

    def align(self):
        self.at = (self.at + 3) & ~3


def read_resources(pe):
    """{(type, id): [(language, bytes), ...]} for every resource of the exe."""
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for item in kind.directory.entries:
            key = (kind.id if kind.id is not None else str(kind.name),
                   item.id if item.id is not None else str(item.name))
            for lang in item.directory.entries:
                entry = lang.data.struct
                language = lang.data.lang | (lang.data.sublang << 10)
                found.setdefault(key, []).append(
                    (language, pe.get_data(entry.OffsetToData, entry.Size)))
    return found


def check_inventory(found, expected):
    for key in sorted(expected - set(found)):
        problems.append(f"missing resource type {key[0]} id {key[1]}")
    for key in sorted(set(found) - expected, key=str):
        label = FORBIDDEN_TYPES.get(key[0], "unexpected resource")
        problems.append(f"{label}: type {key[0]} id {key[1]}")
    for key, copies in sorted(found.items(), key=str):
        expect(f"languages of type {key[0]} id {key[1]}",
               [language for language, _ in copies], [US_ENGLISH])


def check_fields(what, names_and_values, expected):
    for (name, wanted), got in zip(expected, names_and_values):
        expect(f"{what} {name}", got, wanted)


def check_bitmap(data):
    expect("bitmap 102 size", len(data), BITMAP_SIZE)
    check_fields("bitmap 102", struct.unpack_from("<IiiHHIIiiII", data), BITMAP_HEADER)


def check_icon(group, image):
    reader = Reader(group)
    expect("icon group 101 header (reserved, type, count)", reader.take("HHH"), (0, 1, 1))
    fields = reader.take("BBBBHHIH")
    check_fields("icon group 101 image", fields[:6] + fields[7:], ICON_ENTRY)
    expect("icon group 101 image byte count", fields[6], len(image))
    width, height, planes, bits = struct.unpack_from("<iiHH", image, 4)
    expect("icon 1 header (width, height of both masks, planes, bits)",
           (width, height, planes, bits), (32, 64, 1, 4))


def read_menu(reader):
    """The items of one menu level: (text, id, sub-items) with id None for a pop-up."""
    items = []
    while True:
        flags = reader.take("H")
        if flags & MF_POPUP:
            text = reader.text()
            items.append((text, None, read_menu(reader)))
        else:
            command = reader.take("H")
            text = reader.text()
            if flags & MF_SEPARATOR_FLAGS or (command == 0 and text == ""):
                items.append(("(separator)", command))
            else:
                items.append((text, command))
        if flags & MF_END:
            return items


def check_menu(data):
    reader = Reader(data)
    expect("menu 103 header (version, header size)", reader.take("HH"), (0, 0))
    expect("menu 103", read_menu(reader), MENU)


def check_text_blocks(texts):
    for number, text in enumerate(texts, 1):
        expect(f"about text {number} carriage returns", text.count("\r"), 0)
        for host in re.findall(r"(?:[\w-]+\.)+[a-z]{2,}\b", text, re.IGNORECASE):
            if not re.search(r"(^|\.)example\.(com|org)$", host, re.IGNORECASE):
                problems.append(f"about text {number}: {host!r} is not a reserved example domain")
    first, contact, thanks = texts
    expect("about text 1 paragraphs", len(first.split("\n\n")), 2)
    expect("about text 1 opening", first[:10], "Decrimp 95")
    lines = contact.split("\n")
    expect("about text 2 line count", len(lines), 10)
    expect("about text 2 group sizes", [len(g.split("\n")) for g in contact.split("\n\n")], [1, 1, 1, 4])
    for line in lines:
        if line and not (line.startswith(" ") and not line.startswith("  ")):
            problems.append(f"about text 2 line {line!r} does not begin with one space")
    expect("about text 3 line count", len(thanks.split("\n")), 2)


def check_dialog(data):
    reader = Reader(data)
    header = list(reader.take("IIHhhhh"))
    header += [reader.name(), reader.name(), reader.text()]
    header += [reader.take("H"), reader.text()]
    if header[0] == 0xFFFF0001:
        problems.append("dialog 104 is an extended template (DIALOGEX)")
        return
    check_fields("dialog 104", header, DIALOG)
    texts = []
    for number, wanted in enumerate(CONTROLS[:header[2]], 1):
        reader.align()
        style, exstyle, x, y, width, height, ident = reader.take("IIhhhhH")
        klass, text = reader.name(), reader.name()
        expect(f"dialog 104 control {number} creation data", reader.take("H"), 0)
        expect(f"dialog 104 control {number} extended style", exstyle, 0)
        got = (klass, ident, text, style, x, y, width, height)
        for name, got_value, wanted_value in zip(CONTROL_FIELDS, got, wanted):
            if wanted_value is TEXT:
                texts.append(got_value if isinstance(got_value, str) else "")
            else:
                expect(f"dialog 104 control {number} {name}", got_value, wanted_value)
    if len(texts) == 3:
        check_text_blocks(texts)


ASM_V1, ASM_V3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
WINDOWS_SETTINGS_2019 = "{http://schemas.microsoft.com/SMI/2019/WindowsSettings}"


def check_manifest(data):
    """UTF-8 code page, asInvoker, and no dependency (Common Controls 6 would restyle the window)."""
    try:
        root = ElementTree.fromstring(data)
    except ElementTree.ParseError as error:
        problems.append(f"manifest is not well-formed XML: {error}")
        return
    expect("manifest root", root.tag, ASM_V1 + "assembly")
    code_pages = [e.text for e in root.iter(WINDOWS_SETTINGS_2019 + "activeCodePage")]
    expect("manifest activeCodePage (2019 WindowsSettings)", code_pages, ["UTF-8"])
    levels = [(e.get("level"), e.get("uiAccess")) for e in root.iter(ASM_V3 + "requestedExecutionLevel")]
    expect("manifest requestedExecutionLevel (level, uiAccess)", levels, [("asInvoker", "false")])
    dependencies = [e.tag for e in root.iter() if e.tag.endswith("}dependency")]
    expect("manifest dependencies", dependencies, [])


def main(path, legacy):
    found = read_resources(pefile.PE(path, fast_load=False))
    check_inventory(found, EXPECTED_RESOURCES if legacy else EXPECTED_RESOURCES | {MANIFEST})
    checks = [(RT_BITMAP, 102, check_bitmap), (RT_MENU, 103, check_menu),
              (RT_DIALOG, 104, check_dialog), (RT_MANIFEST, 1, check_manifest)]
    for kind, ident, check in checks:
        if (kind, ident) in found:
            check(found[(kind, ident)][0][1])
    if (RT_GROUP_ICON, 101) in found and (RT_ICON, 1) in found:
        check_icon(found[(RT_GROUP_ICON, 101)][0][1], found[(RT_ICON, 1)][0][1])
    for problem in problems:
        print(problem)
    print(f"{len(problems)} difference(s) in the resources of {path}")
    return 1 if problems else 0


if __name__ == "__main__":
    arguments = sys.argv[1:]
    is_legacy = arguments[:1] == ["--legacy"]
    if is_legacy:
        arguments = arguments[1:]
    if len(arguments) != 1:
        sys.exit("usage: check_resources.py [--legacy] decrimp95.exe")
    sys.exit(main(arguments[0], is_legacy))
