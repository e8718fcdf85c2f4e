#pragma once
// The generated reading table (see PinyinTableGen.cpp): entries sorted by code point.

#include <cstddef>
#include <cstdint>

struct PinyinEntry {
    std::uint32_t codePoint;
    std::uint16_t syllable; // index into kPinyinSyllables
};

extern const char* const kPinyinSyllables[];
extern const std::size_t kPinyinSyllableCount;
extern const PinyinEntry kPinyinEntries[];
extern const std::size_t kPinyinEntryCount;
