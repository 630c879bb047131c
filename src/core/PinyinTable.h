#pragma once

#include <span>

// The Mandarin readings of Chinese characters, without tones, generated at build time from Unihan's
// kMandarin and kHanyuPinyin fields (cmake/generate_pinyin_table.py). A character with several
// readings keeps all of them; u-umlaut is spelled both "v" and "u".
namespace PinyinTable {

extern const int syllableCount;
// The syllable in lower-case ASCII, zero-terminated.
const char* syllable(int index);
// Indices of the character's syllables; empty for a character without a Mandarin reading.
std::span<const unsigned short> readings(char32_t point);

} // namespace PinyinTable
