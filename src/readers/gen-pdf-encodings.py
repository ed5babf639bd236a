#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes PdfEncodingTables.inc: the glyph-name list and the 8-bit base encodings of PDF fonts.

Run by hand after changing this script; the build only compiles the committed output. The data
comes from files that Debian packages install (only needed here, never by the build):

  python3-fonttools   fontTools/agl.py (the Adobe Glyph List and its licence),
                      fontTools/encodings/StandardEncoding.py and MacRoman.py (glyph names)
  libgs10-common      Resource/Init/gs_*_e.ps (MacExpert and PDFDoc glyph names; Standard,
                      MacRoman and the Latin-1 vector for cross-checks)
  texlive-fonts-recommended   Adobe's Symbol and ZapfDingbats AFM files (glyph names by code)
  perl (Encode)       Adobe's own Symbol, ZapfDingbats and Standard tables to Unicode
  texlive-base        texglyphlist.txt, only to cross-check the TeX names below

Python's own codecs give cp1252, mac_roman and latin-1. Usage:
  src/readers/gen-pdf-encodings.py [output]   (default: PdfEncodingTables.inc beside this script)
"""

import ast
import glob
import os
import re
import subprocess
import sys
import unicodedata

FONTTOOLS = "/usr/lib/python3/dist-packages/fontTools"
GS_INIT_GLOB = "/usr/share/ghostscript/*/Resource/Init"
AFM_DIR = "/usr/share/texlive/texmf-dist/fonts/afm/adobe"
TEXGLYPHLIST = "/usr/share/texlive/texmf-dist/fonts/map/glyphlist/texglyphlist.txt"

# Names TeX fonts use that the AGL lacks, with what they stand for. Kept short on purpose: the
# letters, ligatures and punctuation that show up in running text, and the few math symbols that
# Computer Modern fonts name differently from the AGL. Zero-width marks such as "cwm" and
# "compwordmark" (a ligature breaker) are deliberately absent: they stand for no text.
TEX_NAMES = {
    "Germandbls": "SS",          # capital sharp s of the T1 fonts, printed as SS
    "SS": "SS",
    "Ng": "\u014A",              # T1 spellings of the AGL's Eng / eng and Dcroat / dcroat
    "ng": "\u014B",
    "Dbar": "\u0110",
    "dbar": "\u0111",
    "visiblespace": "\u2423",    # the open box that shows a space in verbatim text
    "visualspace": "\u2423",
    "rangedash": "\u2013",       # older TeX fonts' en and em dash
    "punctdash": "\u2014",
    "st": "\uFB06",              # ligatures the AGL leaves out; "ct" has no Unicode ligature
    "longst": "\uFB05",
    "ct": "ct",
    "interrobang": "\u203D",
    "pertenthousand": "\u2031",
    "Ifractur": "\u2111",        # TeX spelling of the AGL's Ifraktur / Rfraktur
    "Rfractur": "\u211C",
    "angbracketleft": "\u27E8",
    "angbracketright": "\u27E9",
    "asteriskcentered": "\u2217",
    "bardbl": "\u2225",
    "ceilingleft": "\u2308",
    "ceilingright": "\u2309",
    "floorleft": "\u230A",
    "floorright": "\u230B",
    "check": "\u2713",
    "coproduct": "\u2A3F",
    "diamondmath": "\u22C4",
    "latticetop": "\u22A4",
    "lscript": "\u2113",
    "owner": "\u220B",
    "planckover2pi": "\u210F",
    "planckover2pi1": "\u210F",
    "prime": "\u2032",
    "star": "\u22C6",
    "triangle": "\u25B3",
}

# AGL names whose AGL value is a private-use code although the glyph is a plain character, and
# which the suffix rule below does not reach.
PRIVATE_USE_OVERRIDES = {
    "dotlessj": "\u0237",        # Unicode has had the letter since 4.1
    "LL": "LL",                  # Catalan l-l ligatures
    "ll": "ll",
    "registerserif": "\u00AE",   # the Symbol font's two designs of the registered sign
    "registersans": "\u00AE",
}

# Suffixes of AGL names whose AGL value is a private-use code standing for a style variant of the
# character named by the rest (small capital, old-style figure, superior or inferior form, sans or
# serif design of a sign, a digit of fitted width). Search wants the character itself.
VARIANT_SUFFIXES = ("small", "oldstyle", "superior", "inferior", "serif", "sans", "fitted")

# Adobe gave the fourteen ZapfDingbats bracket ornaments (codes 0x80..0x8D) private-use codes
# U+F8D7..U+F8E4 before Unicode 3.2 encoded them, in the same order, at U+2768..U+2775.
DINGBAT_ORNAMENTS_PUA = 0xF8D7
DINGBAT_ORNAMENTS = 0x2768
DINGBAT_ORNAMENT_COUNT = 14

# PDF's MacRomanEncoding keeps the currency sign at 0xDB, where Apple has put the euro since 1998.
MAC_ROMAN_CURRENCY = 0xDB

# Control codes that PDFDocEncoding keeps for text strings: tab, line feed, carriage return.
PDFDOC_CONTROLS = (0x09, 0x0A, 0x0D)

ENCODINGS = ("Standard", "WinAnsi", "MacRoman", "PDFDoc", "MacExpert", "Symbol", "ZapfDingbats")


def fail(message):
    sys.exit("gen-pdf-encodings: " + message)


def is_private(cp):
    return 0xE000 <= cp <= 0xF8FF


def python_literal(path, variable):
    """The value of a top-level assignment in a Python source file, read without importing it."""
    with open(path, encoding="utf-8") as f:
        tree = ast.parse(f.read())
    for node in tree.body:
        if isinstance(node, ast.Assign) and any(getattr(t, "id", None) == variable for t in node.targets):
            return ast.literal_eval(node.value)
    fail(f"{variable} not found in {path}")


def read_agl():
    """(licence lines, {name: [code points]}) from fontTools' copy of the AGL."""
    text = python_literal(os.path.join(FONTTOOLS, "agl.py"), "_aglText")
    licence, names = [], {}
    lines = text.splitlines()
    # The licence is the block between the first two rules of dashes.
    rules = [i for i, line in enumerate(lines) if line.startswith("# ---")]
    if len(rules) < 2:
        fail("no licence block in the AGL text")
    licence = [line[2:] if line.startswith("# ") else line[1:] for line in lines[rules[0] + 1:rules[1]]]
    for line in lines:
        if not line or line.startswith("#"):
            continue
        name, value = line.split(";")
        names[name] = [int(v, 16) for v in value.split()]
    if len(names) < 4000:
        fail("the AGL text looks truncated")
    return licence, names


def gs_vectors():
    """Encoding vectors of the PostScript interpreter's Init files, as {name: [256 glyph names]}."""
    dirs = sorted(glob.glob(GS_INIT_GLOB))
    if not dirs:
        fail("no " + GS_INIT_GLOB)
    init = dirs[-1]
    vectors = {}

    def parse(file):
        with open(os.path.join(init, file), encoding="latin-1") as f:
            text = re.sub(r"%[^\n]*", "", f.read())
        tokens = text.split()
        start = next(i for i, t in enumerate(tokens) if t.endswith("Encoding") and t.startswith("/"))
        name = tokens[start][1:]
        out = []
        i = start + 1
        while len(out) < 256 and i < len(tokens):
            t = tokens[i]
            if t.startswith("/"):
                out.append(t[1:])
                i += 1
            elif t in vectors and tokens[i + 3] == "getinterval":
                first, count = int(tokens[i + 1]), int(tokens[i + 2])
                out.extend(vectors[t][first:first + count])
                i += 6  # <vector> first count getinterval aload pop
            else:
                i += 1
        if len(out) != 256:
            fail(f"{file}: {len(out)} codes")
        vectors[name] = out

    for file in ("gs_std_e.ps", "gs_il1_e.ps", "gs_mro_e.ps", "gs_wan_e.ps", "gs_pdf_e.ps", "gs_mex_e.ps",
                 "gs_sym_e.ps"):
        parse(file)
    return vectors


def afm_names(path):
    """{code: glyph name} of an AFM file's built-in encoding."""
    names = {}
    with open(path, encoding="latin-1") as f:
        for line in f:
            m = re.match(r"C (\d+) ;.*?\bN (\S+) ;", line)
            if m:
                names[int(m.group(1))] = m.group(2)
    return names


def perl_table(encoding):
    """{code: code point} of one of Perl's Encode tables; codes it leaves undefined are absent."""
    script = ('use Encode; for my $c (0..255) { my $s = decode("%s", chr($c), Encode::FB_DEFAULT);'
              ' printf "%%d %%d\\n", $c, ord($s) if length($s) == 1 && ord($s) != 0xFFFD; }' % encoding)
    out = subprocess.run(["perl", "-e", script], check=True, capture_output=True, text=True).stdout
    return {int(a): int(b) for a, b in (line.split() for line in out.splitlines())}


def codec_table(codec):
    table = {}
    for c in range(256):
        try:
            table[c] = ord(bytes([c]).decode(codec))
        except UnicodeDecodeError:
            pass
    return table


def build_names(agl):
    """The lookup table: AGL names (private-use values resolved where a real character exists) plus
    TEX_NAMES."""
    names = {n: list(v) for n, v in agl.items()}
    for name, value in agl.items():
        if not all(is_private(cp) for cp in value):
            continue
        stem, suffix = name, None
        for s in VARIANT_SUFFIXES:
            if name.endswith(s) and len(name) > len(s):
                stem, suffix = name[:-len(s)], s
                break
        for candidate in (stem, stem[0].lower() + stem[1:]):
            target = agl.get(candidate)
            if target and not any(is_private(cp) for cp in target):
                text = "".join(map(chr, target))
                if suffix == "small":
                    text = text.lower()  # small capitals set lower-case letters
                names[name] = [ord(ch) for ch in text]
                break
    for name, text in PRIVATE_USE_OVERRIDES.items():
        if not all(is_private(cp) for cp in agl[name]):
            fail(f"{name} has a real AGL value")
        names[name] = [ord(ch) for ch in text]
    for name, text in TEX_NAMES.items():
        if name in agl:
            fail(f"TeX name {name} is in the AGL")
        for ch in text:
            if is_private(ord(ch)) or not unicodedata.name(ch, ""):
                fail(f"TeX name {name}: U+{ord(ch):04X} is not an assigned character")
        names[name] = [ord(ch) for ch in text]
    return names


def check_tex_names():
    """Warns where texglyphlist.txt reads a TeX name differently (a check, not a source)."""
    if not os.path.exists(TEXGLYPHLIST):
        print("note: no texglyphlist.txt, TeX names not cross-checked", file=sys.stderr)
        return
    theirs = {}
    with open(TEXGLYPHLIST, encoding="latin-1") as f:
        for line in f:
            if line.startswith("#") or ";" not in line:
                continue
            name, value = line.strip().split(";")
            theirs[name] = ["".join(chr(int(v, 16)) for v in alt.split()) for alt in value.split(",")]
    for name, text in TEX_NAMES.items():
        if name in theirs and text not in theirs[name]:
            print(f"note: texglyphlist reads {name} as {theirs[name]!r}, here {text!r}", file=sys.stderr)


def single(names, glyph, where):
    value = names.get(glyph)
    if value is None:
        fail(f"{where}: glyph {glyph} has no name-table entry")
    if len(value) != 1:
        fail(f"{where}: glyph {glyph} stands for {len(value)} characters")
    return value[0]


def from_glyphs(names, glyphs, where):
    table = [0] * 256
    for code, glyph in enumerate(glyphs):
        if glyph != ".notdef":
            table[code] = single(names, glyph, f"{where} 0x{code:02X}")
    return table


def build_encodings(names, gs):
    enc = {}

    standard = python_literal(os.path.join(FONTTOOLS, "encodings", "StandardEncoding.py"), "StandardEncoding")
    if standard != gs["StandardEncoding"]:
        fail("fontTools and the PostScript interpreter disagree on StandardEncoding")
    enc["Standard"] = from_glyphs(names, standard, "Standard")

    def code_page(codec):
        table = [0] * 256
        for c, cp in codec_table(codec).items():
            # Control codes are not glyphs; no PDF font draws them from a base encoding.
            if c >= 0x20 and not (0x7F <= cp <= 0x9F):
                table[c] = cp
        return table

    enc["WinAnsi"] = code_page("cp1252")

    mac = code_page("mac_roman")
    mac[MAC_ROMAN_CURRENCY] = single(names, "currency", "MacRoman")
    enc["MacRoman"] = mac

    pdfdoc = code_page("latin-1")
    for c in range(0x18, 0x20):
        pdfdoc[c] = single(names, gs["PDFDocEncoding"][c], f"PDFDoc 0x{c:02X}")
    for c in range(0x80, 0xA1):
        glyph = gs["PDFDocEncoding"][c]
        pdfdoc[c] = 0 if glyph == ".notdef" else single(names, glyph, f"PDFDoc 0x{c:02X}")
    pdfdoc[0xAD] = 0
    for c in PDFDOC_CONTROLS:
        pdfdoc[c] = c
    enc["PDFDoc"] = pdfdoc

    enc["MacExpert"] = from_glyphs(names, gs["MacExpertEncoding"], "MacExpert")

    symbol_names = afm_names(os.path.join(AFM_DIR, "symbol", "psyr.afm"))
    symbol = [0] * 256
    for c, cp in perl_table("AdobeSymbol").items():
        if c < 0x20:
            continue
        if is_private(cp) and c in symbol_names:
            named = names.get(symbol_names[c])
            if named and len(named) == 1 and not is_private(named[0]):
                cp = named[0]  # registerserif, copyrightsans ...: the plain sign
        symbol[c] = cp
    enc["Symbol"] = symbol

    dingbats = [0] * 256
    for c, cp in perl_table("AdobeZdingbat").items():
        if c < 0x20:
            continue
        if DINGBAT_ORNAMENTS_PUA <= cp < DINGBAT_ORNAMENTS_PUA + DINGBAT_ORNAMENT_COUNT:
            cp = cp - DINGBAT_ORNAMENTS_PUA + DINGBAT_ORNAMENTS
        dingbats[c] = cp
    enc["ZapfDingbats"] = dingbats

    cross_check(enc, names, gs, symbol_names)
    return enc


def cross_check(enc, names, gs, symbol_names):
    """Compares every table with a second source; fails on any difference not explained here."""

    def compare(what, ours, theirs, allowed):
        diffs = {c for c in range(256) if theirs.get(c, 0) != ours[c]} - set(allowed)
        if diffs:
            fail(what + ": " + ", ".join(
                f"0x{c:02X} here U+{ours[c]:04X} there U+{theirs.get(c, 0):04X}" for c in sorted(diffs)))

    def via_names(glyphs):
        return {c: names[g][0] for c, g in enumerate(glyphs) if g != ".notdef" and len(names.get(g, [])) == 1}

    perl_standard = {c: cp for c, cp in perl_table("AdobeStandardEncoding").items() if c >= 0x20}
    compare("Standard vs Adobe's table", enc["Standard"], perl_standard, ())

    # The PDF vector draws a space and a hyphen where cp1252 has the no-break space and the soft
    # hyphen; 0x7F and cp1252's five unused codes get a bullet there. Text keeps cp1252's meaning.
    compare("WinAnsi vs the PDF vector", enc["WinAnsi"], via_names(gs["WinAnsiEncoding"]),
            (0x7F, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0xA0, 0xAD))

    # Apple's table adds the math signs PDF leaves out and a no-break space for PDF's second space.
    mac_pdf = via_names(gs["MacRomanEncoding"])
    extra = {c for c in range(256) if enc["MacRoman"][c] and c not in mac_pdf}
    compare("MacRoman vs the PDF vector", enc["MacRoman"], mac_pdf, extra | {0xCA})
    font_tools_mac = python_literal(os.path.join(FONTTOOLS, "encodings", "MacRoman.py"), "MacRoman")
    # fontTools names 0xBD "Omega", which the AGL reads as the ohm sign; Apple means the letter.
    compare("MacRoman vs fontTools", enc["MacRoman"],
            {c: cp for c, cp in via_names(font_tools_mac).items() if c >= 0x20 and c != 0x7F}, (0xBD,))

    compare("PDFDoc vs the PDF vector", enc["PDFDoc"], via_names(gs["PDFDocEncoding"]), PDFDOC_CONTROLS)

    # Adobe's table reads the Symbol font's Delta, Omega and mu as Greek letters, the AGL as signs;
    # private-use codes were replaced by the plain signs above.
    afm_symbol = via_names([symbol_names.get(c, ".notdef") for c in range(256)])
    allowed = {c for c in range(256) if enc["Symbol"][c] and is_private(enc["Symbol"][c])}
    # The AFM predates the euro that later versions of the font carry at 0xA0.
    compare("Symbol vs its AFM", enc["Symbol"], afm_symbol, allowed | {0x44, 0x57, 0x6D, 0xA0})
    compare("Symbol vs the PostScript vector", enc["Symbol"],
            via_names(gs["SymbolEncoding"]), allowed | {0x44, 0x57, 0x6D})

    dingbat_names = afm_names(os.path.join(AFM_DIR, "zapfding", "pzdr.afm"))
    # The AFM lists the fourteen bracket ornaments without codes; later versions of the font, and
    # Adobe's table, put them at 0x80..0x8D.
    for c in range(0x80, 0x80 + DINGBAT_ORNAMENT_COUNT):
        dingbat_names[c] = "ornament"
    for c in range(256):
        if bool(enc["ZapfDingbats"][c]) != (c in dingbat_names and c >= 0x20):
            fail(f"ZapfDingbats 0x{c:02X}: the AFM and Adobe's table disagree on whether it is defined")
    for cp in range(DINGBAT_ORNAMENTS, DINGBAT_ORNAMENTS + DINGBAT_ORNAMENT_COUNT):
        if "ORNAMENT" not in unicodedata.name(chr(cp), ""):
            fail(f"U+{cp:04X} is not a bracket ornament")

    for name, table in enc.items():
        for c, cp in enumerate(table):
            if cp > 0xFFFF or 0xD800 <= cp <= 0xDFFF:
                fail(f"{name} 0x{c:02X}: U+{cp:04X} does not fit the 16-bit table")


def c_lines(items, per_line, indent="    "):
    rows = []
    for i in range(0, len(items), per_line):
        rows.append(indent + ", ".join(items[i:i + per_line]) + ",")
    return "\n".join(rows)


def write(path, licence, names, enc):
    ordered = sorted(names)
    pool = " ".join(ordered) + " "
    if len(pool) >= 0x10000:
        fail("the name pool no longer fits 16-bit offsets")
    values, sequences = [], []
    for name in ordered:
        cps = names[name]
        if len(cps) == 1:
            values.append(cps[0])
        else:
            values.append(0x80000000 | (len(sequences) << 8) | len(cps))
            sequences.extend(cps)

    out = []
    out.append("// Generated by gen-pdf-encodings.py from data Debian installs; do not edit by hand.")
    out.append("//")
    out.append("// The glyph names and their values come from the Adobe Glyph List, under this licence:")
    out.append("//")
    out.extend(("// " + line).rstrip() for line in licence)
    out.append("//")
    out.append("// Included once, by PdfEncodings.cpp.")
    out.append("")
    out.append(f"constexpr std::size_t NameCount = {len(ordered)};")
    out.append("")
    out.append("// Every glyph name, sorted by byte, each followed by a space.")
    out.append("constexpr std::string_view NamePool =")
    chunk, line = [], ""
    for name in ordered:
        if len(line) + len(name) + 1 > 100:
            chunk.append(line)
            line = ""
        line += name + " "
    chunk.append(line)
    out.extend(f'    "{c}"' for c in chunk)
    out[-1] += ";"
    out.append("")
    out.append("// What each name stands for, in NamePool's order: a code point, or with the top bit set")
    out.append("// (index << 8 | count) of a run in NameSequences.")
    out.append("constexpr std::uint32_t NameValues[NameCount] = {")
    out.append(c_lines([f"0x{v:X}" for v in values], 10))
    out.append("};")
    out.append("")
    out.append(f"constexpr char32_t NameSequences[{len(sequences)}] = {{")
    out.append(c_lines([f"0x{v:04X}" for v in sequences], 10))
    out.append("};")
    out.append("")
    out.append("// Code point of each code, 0 where undefined; rows in TBaseEncoding's order.")
    out.append(f"constexpr std::uint16_t BaseEncodings[{len(ENCODINGS)}][256] = {{")
    for e in ENCODINGS:
        out.append(f"    {{ // {e}")
        out.append(c_lines([f"0x{v:04X}" for v in enc[e]], 16, "        "))
        out.append("    },")
    out.append("};")
    text = "\n".join(out) + "\n"
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write(text)
    print(f"{path}: {len(ordered)} names, {len(text)} bytes", file=sys.stderr)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "PdfEncodingTables.inc")
    licence, agl = read_agl()
    names = build_names(agl)
    check_tex_names()
    enc = build_encodings(names, gs_vectors())
    write(path, licence, names, enc)


if __name__ == "__main__":
    main()
