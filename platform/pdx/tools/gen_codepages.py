#!/usr/bin/env python3
"""Writes codepage_tables.cpp: the byte-to-character tables of the code pages
that Paradox table text may be stored in.

    python3 platform/pdx/tools/gen_codepages.py > platform/pdx/codepage_tables.cpp

The characters come from Python's codecs. Where a codec leaves a byte
undefined, the table follows what Windows does with that byte, so that every
byte a table may hold decodes to a character and encodes back to itself:

  * single-byte Windows pages: an undefined byte 0x80-0x9F decodes to the C1
    control of the same value (0x81 -> U+0081); the few undefined bytes above
    0x9F decode to the private-use characters Windows gives them;
  * DOS pages: 0x00-0x1F and 0x7F are the ASCII controls (Python agrees).
    Code page 857 leaves 0xD5, 0xE7 and 0xF2 undefined; the Latin-1
    characters of the same value (Õ, ç, ò) are held by other bytes there, so
    these decode to the private-use characters U+E000 + byte;
  * code page 936: double-byte pairs come from the "gbk" codec, the user-defined
    areas from the private-use characters "gb18030" gives them (which are the
    ones Windows uses), and the single bytes 0x80 and 0xFF are U+20AC and
    U+F8F5 as in Windows.

The script refuses to write a table that is not one-to-one, does not keep
ASCII in 0x00-0x7F, or holds a character outside the Basic Multilingual Plane.
"""

import codecs
import sys

# (code page, Python codec, description)
SINGLE_BYTE = [
    (437, "cp437", "DOS United States"),
    (850, "cp850", "DOS Latin 1 (Western Europe)"),
    (852, "cp852", "DOS Latin 2 (Central Europe)"),
    (857, "cp857", "DOS Turkish"),
    (860, "cp860", "DOS Portuguese"),
    (861, "cp861", "DOS Icelandic"),
    (863, "cp863", "DOS Canadian French"),
    (865, "cp865", "DOS Nordic"),
    (866, "cp866", "DOS Cyrillic (Russian)"),
    (1250, "cp1250", "Windows Central Europe"),
    (1251, "cp1251", "Windows Cyrillic"),
    (1252, "cp1252", "Windows Latin 1 (Western Europe)"),
    (1253, "cp1253", "Windows Greek"),
    (1254, "cp1254", "Windows Turkish"),
    (1257, "cp1257", "Windows Baltic"),
]

# Undefined bytes above 0x9F, as Windows decodes them.
WINDOWS_PRIVATE_USE = {
    1253: {0xAA: 0xF8F9, 0xD2: 0xF8FA, 0xFF: 0xF8FB},
    1257: {0xA1: 0xF8FC, 0xA5: 0xF8FD},
}

# Double-byte layout; must match kFirstLead.. in codepage.h.
FIRST_LEAD, LAST_LEAD = 0x81, 0xFE
FIRST_TRAIL, LAST_TRAIL = 0x40, 0xFE
TRAIL_COUNT = LAST_TRAIL - FIRST_TRAIL + 1
LEAD_MARK = 0xFFFF  # kLeadByte in codepage.h
NO_CHAR = 0x0000    # an unmapped pair (U+0000 is never a double-byte character)


def decode(data, codec):
    try:
        text = data.decode(codec)
    except UnicodeDecodeError:
        return None
    if len(text) != 1:
        sys.exit(f"{codec}: {data.hex()} decodes to {len(text)} characters")
    return ord(text)


def single_byte_table(code_page, codec):
    table = []
    for b in range(256):
        c = decode(bytes([b]), codec)
        if c is None:
            if code_page in WINDOWS_PRIVATE_USE and b in WINDOWS_PRIVATE_USE[code_page]:
                c = WINDOWS_PRIVATE_USE[code_page][b]
            elif code_page >= 1250 and 0x80 <= b <= 0x9F:
                c = b
            else:
                c = 0xE000 + b
        table.append(c)
    return table


def gbk_tables():
    singles = []
    for b in range(256):
        if b < 0x80:
            singles.append(b)
        elif FIRST_LEAD <= b <= LAST_LEAD:
            singles.append(LEAD_MARK)
        else:
            singles.append({0x80: 0x20AC, 0xFF: 0xF8F5}[b])
    pairs = []
    for lead in range(FIRST_LEAD, LAST_LEAD + 1):
        for trail in range(FIRST_TRAIL, LAST_TRAIL + 1):
            c = NO_CHAR
            if trail != 0x7F:
                data = bytes([lead, trail])
                c = decode(data, "gbk")
                if c is None:
                    user = decode(data, "gb18030")
                    if user is not None and 0xE000 <= user <= 0xF8FF:
                        c = user
                    else:
                        c = NO_CHAR
            pairs.append(c)
    return singles, pairs


def check(code_page, singles, pairs):
    for b in range(0x80):
        if singles[b] != b:
            sys.exit(f"code page {code_page}: byte {b:#04x} is not ASCII")
    seen = {}
    chars = [(c, f"byte {b:#04x}") for b, c in enumerate(singles) if c != LEAD_MARK]
    for i, c in enumerate(pairs or []):
        if c != NO_CHAR:
            lead, trail = divmod(i, TRAIL_COUNT)
            chars.append((c, f"pair {FIRST_LEAD + lead:02x}{FIRST_TRAIL + trail:02x}"))
    for c, where in chars:
        if c > 0xFFFF or 0xD800 <= c <= 0xDFFF or c == LEAD_MARK:
            sys.exit(f"code page {code_page}: {where} maps to U+{c:04X}")
        if c in seen:
            sys.exit(f"code page {code_page}: U+{c:04X} from {seen[c]} and {where}")
        seen[c] = where


def emit_array(out, name, values, row_length, label):
    """One row per `row_length` values (a row never spans two leads), each
    labelled with the byte or pair of its first value."""
    out.append(f"constexpr char16_t {name}[{len(values)}] = {{")
    for start in range(0, len(values), row_length):
        for i in range(start, min(start + row_length, len(values)), 8):
            end = min(i + 8, start + row_length, len(values))
            row = ", ".join(f"0x{v:04X}" for v in values[i:end])
            out.append(f"    /* {label(i)} */ {row},")
    out.append("};")
    out.append("")


def main():
    out = [
        "// Byte-to-character tables of the code pages that table text may be stored in.",
        "//",
        "// Generated from the codecs of Python "
        f"{sys.version_info.major}.{sys.version_info.minor} by",
        "//   python3 platform/pdx/tools/gen_codepages.py > platform/pdx/codepage_tables.cpp",
        "// Do not edit; change the script and run it again. It explains the bytes",
        "// the codecs leave undefined.",
        "// clang-format off",
        "#include <span>",
        "",
        '#include "codepage.h"',
        "",
        "namespace pdx::detail {",
        "namespace {",
        "",
    ]
    entries = []
    for code_page, codec, description in SINGLE_BYTE:
        codecs.lookup(codec)
        singles = single_byte_table(code_page, codec)
        check(code_page, singles, None)
        out.append(f"// {code_page}: {description}.")
        emit_array(out, f"kCp{code_page}", singles, 256, lambda i: f"{i:02X}")
        entries.append(f"    {{{code_page}, kCp{code_page}, nullptr}},")

    singles, pairs = gbk_tables()
    check(936, singles, pairs)
    out.append("// 936: Windows Simplified Chinese (GBK). 0xFFFF marks a lead byte.")
    emit_array(out, "kCp936", singles, 256, lambda i: f"{i:02X}")
    out.append(f"// 936 pairs: lead {FIRST_LEAD:#04x}-{LAST_LEAD:#04x} (rows) by trail "
               f"{FIRST_TRAIL:#04x}-{LAST_TRAIL:#04x}; 0 = no character.")
    emit_array(out, "kCp936Pairs", pairs, TRAIL_COUNT,
               lambda i: f"{FIRST_LEAD + i // TRAIL_COUNT:02X}{FIRST_TRAIL + i % TRAIL_COUNT:02X}")
    entries.append("    {936, kCp936, kCp936Pairs},")

    out.append("constexpr CodePageTable kTables[] = {")
    out.extend(entries)
    out.append("};")
    out.append("")
    out.append("}  // namespace")
    out.append("")
    out.append("std::span<const CodePageTable> codePageTables() { return kTables; }")
    out.append("")
    out.append("}  // namespace pdx::detail")
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
