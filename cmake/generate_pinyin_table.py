#!/usr/bin/env python3
"""Writes the character-to-pinyin table of the search from Unihan's readings.

Usage: generate_pinyin_table.py UNIHAN_READINGS OUTPUT.cpp

UNIHAN_READINGS is Unihan_Readings.txt, the same file compressed with bzip2 (.bz2, as Debian's
unicode-data ships it), or Unihan.zip. Every reading of kMandarin and kHanyuPinyin is kept, without
tones; u-umlaut is written "v" (as pinyin keyboards type it) and also "u".
"""

import bz2
import io
import sys
import unicodedata
import zipfile


def open_readings(path):
    if path.endswith(".bz2"):
        return io.TextIOWrapper(bz2.open(path, "rb"), encoding="utf-8")
    if path.endswith(".zip"):
        archive = zipfile.ZipFile(path)
        return io.TextIOWrapper(archive.open("Unihan_Readings.txt"), encoding="utf-8")
    return open(path, encoding="utf-8")


def toneless(reading):
    """'lǚ' -> ['lv', 'lu'], 'zhōng' -> ['zhong']."""
    plain = []
    umlaut = False
    for ch in unicodedata.normalize("NFD", reading.strip().lower()):
        if ch == "\u0308":  # the diaeresis of u-umlaut
            umlaut = True
            plain.append("\u0308")
        elif unicodedata.combining(ch):
            continue
        else:
            plain.append(ch)
    text = "".join(plain)
    if not umlaut:
        return [text] if text.isascii() and text.isalpha() else []
    variants = [text.replace("u\u0308", "v"), text.replace("u\u0308", "u")]
    return [v for v in variants if v.isascii() and v.isalpha()]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    readings = {}
    with open_readings(sys.argv[1]) as source:
        for line in source:
            if line.startswith("#") or "\t" not in line:
                continue
            code, field, value = line.rstrip("\n").split("\t", 2)
            if field == "kMandarin":
                values = value.split()
            elif field == "kHanyuPinyin":
                values = [r for group in value.split() for r in group.split(":", 1)[1].split(",")]
            else:
                continue
            point = int(code[2:], 16)
            known = readings.setdefault(point, [])
            for reading in values:
                for syllable in toneless(reading):
                    if syllable not in known:
                        known.append(syllable)
    if len(readings) < 20000:
        sys.exit("generate_pinyin_table.py: too few readings in %s (%d)" % (sys.argv[1], len(readings)))

    syllables = sorted({s for values in readings.values() for s in values})
    syllable_index = {s: i for i, s in enumerate(syllables)}
    # Each character points at one set of syllables; many characters share a set.
    sets = [()]
    set_index = {(): 0}
    char_set = {}
    for point, values in readings.items():
        key = tuple(syllable_index[s] for s in values)
        if key not in set_index:
            set_index[key] = len(sets)
            sets.append(key)
        char_set[point] = set_index[key]
    assert len(sets) < 65536 and len(syllables) < 65536

    dense_first, dense_last = 0x3400, 0x9FFF
    out = []
    out.append("// Generated at build time by cmake/generate_pinyin_table.py from Unihan_Readings.txt. Do not edit.")
    out.append('#include "core/PinyinTable.h"')
    out.append("namespace {")
    names = "".join(s + "\\0" for s in syllables)
    out.append("const char syllableText[] = \"%s\";" % names)
    offsets = []
    position = 0
    for s in syllables:
        offsets.append(position)
        position += len(s) + 1
    out.append("const unsigned short syllableOffsets[] = {%s};" % ",".join(map(str, offsets)))
    flat = []
    set_starts = []
    for key in sets:
        set_starts.append(len(flat))
        flat.append(len(key))
        flat.extend(key)
    out.append("const unsigned short setData[] = {%s};" % ",".join(map(str, flat)))
    out.append("const unsigned int setStarts[] = {%s};" % ",".join(map(str, set_starts)))
    dense = [char_set.get(p, 0) for p in range(dense_first, dense_last + 1)]
    out.append("const unsigned short denseSets[] = {%s};" % ",".join(map(str, dense)))
    sparse = sorted((p, s) for p, s in char_set.items() if not dense_first <= p <= dense_last)
    out.append("const unsigned int sparsePoints[] = {%s};" % ",".join(str(p) for p, _ in sparse))
    out.append("const unsigned short sparseSets[] = {%s};" % ",".join(str(s) for _, s in sparse))
    out.append("} // namespace")
    out.append("")
    out.append("namespace PinyinTable {")
    out.append("const int syllableCount = %d;" % len(syllables))
    out.append("const char* syllable(int index) { return syllableText + syllableOffsets[index]; }")
    out.append("std::span<const unsigned short> readings(char32_t point)")
    out.append("{")
    out.append("    unsigned set = 0;")
    out.append("    if (point >= 0x%X && point <= 0x%X) {" % (dense_first, dense_last))
    out.append("        set = denseSets[point - 0x%X];" % dense_first)
    out.append("    } else {")
    out.append("        const unsigned int* end = sparsePoints + sizeof(sparsePoints) / sizeof(sparsePoints[0]);")
    out.append("        const unsigned int* found = std::lower_bound(sparsePoints, end, static_cast<unsigned int>(point));")
    out.append("        if (found == end || *found != point)")
    out.append("            return {};")
    out.append("        set = sparseSets[found - sparsePoints];")
    out.append("    }")
    out.append("    const unsigned short* start = setData + setStarts[set];")
    out.append("    return {start + 1, start[0]};")
    out.append("}")
    out.append("} // namespace PinyinTable")
    with open(sys.argv[2], "w", encoding="utf-8") as target:
        target.write("#include <algorithm>\n")
        target.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
