#!/usr/bin/env python3
"""Writes src/text/Cp932Table.cpp, the codec's code page 932, from glibc's
iconv "CP932" on this machine, so that every build converts as glibc does
without iconv at run time.

    scripts/gen-cp932-table.py          (run by hand; needs glibc, nothing else)

It asks iconv what every single byte and every double-byte code reads as, and
which code every BMP character (surrogates aside) is written with, then
writes that down as rules (see src/text/Cp932Table.h), and refuses to write
anything unless the rules give iconv's answers for every code and every
character both ways.

CP932 is not one-to-one, and the rules keep both of its one-way kinds:

- Characters written with a code that reads as another character (kOneWay):
  the Unicode forms that other Japanese code sets give these codes, e.g.
  U+301C WAVE DASH and U+FF5E FULLWIDTH TILDE are both written 0x8160, which
  reads as U+FF5E; likewise U+2016 DOUBLE VERTICAL LINE (0x8161, reads as
  U+2225), U+2212 MINUS SIGN (0x817C, U+FF0D), U+00A2 and U+00A3 CENT and
  POUND SIGN (0x8191 and 0x8192, U+FFE0 and U+FFE1), U+00AC NOT SIGN (0x81CA,
  U+FFE2), U+2014 EM DASH (0x815C, U+2015), U+00A5 YEN SIGN (0x5C, reads as
  the backslash) and U+203E OVERLINE (0x7E, the tilde).
- Codes that read as a character written with another code: the same
  character at two or three codes. NEC's row 13 repeats nine symbols of JIS
  row 2 (0x8790 ≒ ... 0x879C ∪ are written 0x81E0 ... 0x81BE); the IBM
  extensions (0xFA40-0xFC4B) repeat ten Roman numerals and ㈱ № ℡ of row 13
  and ￢ ∵ of row 2; NEC's selection of the IBM extensions (0xED40-0xEEFC)
  repeats the IBM extensions whole. The first code wins in the order the
  table lists them, and the table lists rows 0xED and 0xEE last, which is the
  order this script derives from iconv. The codec reads such a code as two
  raw bytes, so that a text saved again keeps it.

The generated file lists each of them in its comments.
"""

import ctypes
import os
import sys
import unicodedata

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'src', 'text', 'Cp932Table.cpp')
TRAILS = [t for t in range(0x40, 0xFD) if t != 0x7F]  # 188 trail bytes a code page 932 row has
LEADS = [lead for lead in range(0x81, 0xFD) if lead < 0xA0 or lead >= 0xE0]
NONE = '_'

libc = ctypes.CDLL(None, use_errno=True)
libc.iconv_open.restype = ctypes.c_void_p
libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
libc.iconv.restype = ctypes.c_size_t
libc.iconv.argtypes = [ctypes.c_void_p] + [ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t)] * 2


def converter(to, frm):
    cd = libc.iconv_open(to, frm)
    if cd in (None, ctypes.c_void_p(-1).value):
        sys.exit(f'iconv_open({to}, {frm}) failed')

    def convert(data):
        """The whole of `data` converted, or None when iconv refuses any of it."""
        out = ctypes.create_string_buffer(16)
        ip, il = ctypes.c_char_p(data), ctypes.c_size_t(len(data))
        op, ol = ctypes.cast(out, ctypes.c_char_p), ctypes.c_size_t(len(out))
        rc = libc.iconv(cd, ctypes.byref(ip), ctypes.byref(il), ctypes.byref(op), ctypes.byref(ol))
        if rc == ctypes.c_size_t(-1).value or il.value:
            libc.iconv(cd, None, None, None, None)
            return None
        return out.raw[:len(out) - ol.value]
    return convert


def code_bytes(code):
    return bytes([code]) if code < 0x100 else bytes([code >> 8, code & 0xFF])


def iconv_tables():
    """(reads, writes): code -> character and character -> code, from iconv."""
    decode, encode = converter(b'UCS-4LE', b'CP932'), converter(b'CP932', b'UCS-4LE')
    reads = {}
    for code in list(range(0x100)) + [lead << 8 | t for lead in LEADS for t in range(0x100)]:
        out = decode(code_bytes(code))
        if out is not None:
            assert len(out) == 4, hex(code)
            reads[code] = int.from_bytes(out, 'little')
    writes = {}
    for c in range(0x10000):
        if 0xD800 <= c <= 0xDFFF:
            continue
        out = encode(c.to_bytes(4, 'little'))
        if out is not None:
            assert len(out) in (1, 2), hex(c)
            writes[c] = int.from_bytes(out, 'big')
    return reads, writes


def row_codes(lead):
    return [lead << 8 | t for t in TRAILS]


def lead_order(reads, writes):
    """Lead bytes in ascending order, except that a row whose characters
    iconv writes with the codes of a later row follows that row."""
    after = {lead: set() for lead in LEADS}  # lead -> leads that must come before it
    for code, c in reads.items():
        if code > 0xFF and writes.get(c) != code and writes.get(c, 0) > 0xFF:
            winner, loser = writes[c] >> 8, code >> 8
            if winner == loser:
                assert writes[c] < code, f'{code:X} loses to a later code of its row'
            else:
                after[loser].add(winner)
    order = list(LEADS)  # a lead that must follow a later one goes to the end
    for _ in range(len(LEADS) ** 2):
        late = [lead for lead in order if any(order.index(w) > order.index(lead) for w in after[lead])]
        if not late:
            return order
        order.remove(late[0])
        order.append(late[0])
    sys.exit('no row order makes the first code win')


def linear(codes, reads):
    return all(c in reads for c in codes) and all(reads[b] == reads[a] + 1 for a, b in zip(codes, codes[1:]))


def build(reads, writes):
    """The rules: runs, rows in order, one-way characters."""
    runs = []
    b = 0
    while b < 0x100:  # single bytes: runs of consecutive characters
        if b not in reads:
            b += 1
            continue
        e = b
        while e + 1 in reads and reads[e + 1] == reads[e] + 1:
            e += 1
        runs.append((b, e, reads[b]))
        b = e + 1
    rows = []
    for lead in lead_order(reads, writes):
        codes = row_codes(lead)
        if not any(code in reads for code in codes):
            continue
        if linear(codes, reads):  # a whole row of consecutive characters, such as the user-defined area
            first, last, c = codes[0], codes[-1], reads[codes[0]]
            if runs and runs[-1][0] > 0xFF and runs[-1][1] >> 8 == lead - 1 and linear(row_codes(runs[-1][1] >> 8) + codes, reads):
                first, c = runs[-1][0], runs[-1][2]
                runs.pop()
            runs.append((first, last, c))
            continue
        cells = [chr(reads[code]) if code in reads else NONE for code in codes]
        while cells[-1] == NONE:
            cells.pop()
        rows.append((lead, cells))
    one_way = sorted((c, code) for c, code in writes.items() if reads.get(code) != c)
    return runs, rows, one_way


def apply(runs, rows, one_way):
    """What the codec makes of the rules, the way Codec.cpp does it."""
    reads, writes = {}, {}

    def add(code, c):
        reads[code] = c
        writes.setdefault(c, code)
    for first, last, c in runs:
        codes = list(range(first, last + 1)) if last < 0x100 else \
            [code for code in range(first, last + 1) if code & 0xFF in TRAILS]
        for i, code in enumerate(codes):
            add(code, c + i)
    for lead, cells in rows:
        for code, cell in zip(row_codes(lead), cells):
            if cell != NONE:
                add(code, ord(cell))
    for c, code in one_way:
        assert c not in writes, f'U+{c:04X} reads from a code'
        writes[c] = code
    return reads, writes


def name(c):
    return unicodedata.name(chr(c), f'U+{c:04X}')


def cell_text(cell):
    # Blanks and anything else invisible as an escape; every cell is one UTF-16 unit.
    assert ord(cell) < 0x10000 and cell not in '\\"' and (cell == NONE or ord(cell) >= 0x80)
    return cell if cell == NONE or unicodedata.category(cell)[0] in 'LNPS' else f'\\u{ord(cell):04X}'


def spans(pairs):
    """(code, other) pairs as ranges where both step on together."""
    def index(code):
        return LEADS.index(code >> 8) * len(TRAILS) + TRAILS.index(code & 0xFF) if code > 0xFF else code
    out = []
    for code, other in pairs:
        if out and index(code) == index(out[-1][1]) + 1 and index(other) == index(out[-1][3]) + 1:
            out[-1][1], out[-1][3] = code, other
        else:
            out.append([code, code, other, other])
    return out


def write(runs, rows, one_way, reads, writes):
    twice = sorted((code, writes[c]) for code, c in reads.items() if writes.get(c) != code)
    lines = [
        '// Generated by scripts/gen-cp932-table.py from glibc iconv "CP932"; do not edit.',
        '// A UTF-8 source: each row is two JIS rows of 94 codes, trail bytes 0x40-0x9E',
        '// and 0x9F-0xFC.',
        '//',
        '// Codes that read as a character written with another code (the codec',
        '// reads them as two raw bytes, so that saving keeps them):',
    ]
    for first, last, other, other_last in spans(twice):
        if first == last:
            lines.append(f'//   0x{first:04X} {chr(reads[first])} is written 0x{other:04X}')
        else:
            lines.append(f'//   0x{first:04X}-0x{last:04X} are written 0x{other:04X}-0x{other_last:04X}')
    lines += [
        '// and the characters written with a code that reads as another one are',
        '// kOneWay below.',
        '',
        '#include "text/Cp932Table.h"',
        '',
        'namespace zvek::cp932 {',
        'namespace {',
        '',
        '// clang-format off',
        'constexpr Run kRunData[] = {',
    ]
    for first, last, c in runs:
        width = 2 if last < 0x100 else 4
        lines.append(f'    {{0x{first:0{width}X}, 0x{last:0{width}X}, 0x{c:04X}}},')
    lines += ['};', '', 'constexpr Row kRowData[] = {']
    for lead, cells in rows:
        text = [cell_text(cell) for cell in cells]
        halves = [''.join(text[:94]), ''.join(text[94:])]
        lines.append(f'    {{0x{lead:02X}, u"{halves[0]}"')
        if halves[1]:
            lines.append(f'          u"{halves[1]}"}},')
        else:
            lines[-1] += '},'
    lines += ['};', '', 'constexpr OneWay kOneWayData[] = {']
    for c, code in one_way:
        lines.append(f'    {{u\'\\u{c:04X}\', 0x{code:0{2 if code < 0x100 else 4}X}}},'
                     f'  // {name(c)}; 0x{code:X} reads as {name(reads[code])}')
    lines += [
        '};',
        '// clang-format on',
        '',
        '}  // namespace',
        '',
        'const std::span<const Run> kRuns{kRunData};',
        'const std::span<const Row> kRows{kRowData};',
        'const std::span<const OneWay> kOneWay{kOneWayData};',
        '',
        '}  // namespace zvek::cp932',
        '',
    ]
    with open(OUT, 'w', encoding='utf-8', newline='\n') as f:
        f.write('\n'.join(lines))


def main():
    reads, writes = iconv_tables()
    # The codec carries raw bytes as U+F700 + byte and marks its own cells
    # with U+0000 and U+FFFF: none of them may be a code page character.
    taken = [c for c in list(reads.values()) + list(writes) if 0xF700 <= c <= 0xF7FF or c == 0xFFFF]
    if taken or any(c == 0 for code, c in reads.items() if code > 0xFF):
        sys.exit('a character the codec keeps for itself is in the code page')
    runs, rows, one_way = build(reads, writes)
    if apply(runs, rows, one_way) != (reads, writes):
        sys.exit('the rules do not give iconv\'s conversions; nothing written')
    write(runs, rows, one_way, reads, writes)
    print(f'{os.path.normpath(OUT)}: {len(reads)} codes, {len(writes)} characters, '
          f'{len(runs)} runs, {len(rows)} rows, {len(one_way)} one-way')


if __name__ == '__main__':
    main()
