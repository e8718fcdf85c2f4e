// Build-time generator: turns the Unihan kMandarin readings into a sorted C++ table of
// (code point, toneless syllable) pairs. Usage: pinyin_table_gen <Unihan_Readings.txt[.bz2]> <out.cpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Readings of characters that, in names, are read otherwise than the dictionary's first reading.
// Contact lists are sorted and indexed by surnames, so the surname reading wins.
const std::map<char32_t, const char*> kSurnameReadings = {
    {U'单', "shan"},  {U'曾', "zeng"},  {U'解', "xie"}, {U'区', "ou"},  {U'仇', "qiu"},  {U'朴', "piao"},
    {U'查', "zha"},   {U'盖', "ge"},    {U'乐', "yue"}, {U'覃', "qin"}, {U'缪', "miao"}, {U'翟', "zhai"},
    {U'召', "shao"},  {U'种', "chong"}, {U'秘', "bi"},  {U'员', "yun"}, {U'沈', "shen"}, {U'长', "chang"},
    {U'重', "chong"}, {U'谌', "chen"},  {U'宿', "su"},  {U'尉', "wei"}, {U'万', "wan"},  {U'行', "xing"},
};

// Decodes one UTF-8 sequence at s[i], advancing i.
char32_t NextCodePoint(const std::string& s, std::size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 4;
    char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (int k = 1; k < len && i + k < s.size(); ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    i += len;
    return cp;
}

// "lǘ" -> "lv", "zhāng" -> "zhang"; combining marks are dropped.
std::string Toneless(const std::string& reading) {
    static const std::map<char32_t, char> kBase = {
        {U'ā', 'a'}, {U'á', 'a'}, {U'ǎ', 'a'}, {U'à', 'a'}, {U'ē', 'e'}, {U'é', 'e'}, {U'ě', 'e'}, {U'è', 'e'},
        {U'ê', 'e'}, {U'ế', 'e'}, {U'ề', 'e'}, {U'ī', 'i'}, {U'í', 'i'}, {U'ǐ', 'i'}, {U'ì', 'i'}, {U'ō', 'o'},
        {U'ó', 'o'}, {U'ǒ', 'o'}, {U'ò', 'o'}, {U'ū', 'u'}, {U'ú', 'u'}, {U'ǔ', 'u'}, {U'ù', 'u'}, {U'ü', 'v'},
        {U'ǖ', 'v'}, {U'ǘ', 'v'}, {U'ǚ', 'v'}, {U'ǜ', 'v'}, {U'ń', 'n'}, {U'ň', 'n'}, {U'ǹ', 'n'}, {U'ḿ', 'm'},
    };
    std::string out;
    for (std::size_t i = 0; i < reading.size();) {
        const char32_t cp = NextCodePoint(reading, i);
        if (cp >= 'a' && cp <= 'z') {
            out += static_cast<char>(cp);
        } else if (const auto it = kBase.find(cp); it != kBase.end()) {
            out += it->second;
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: pinyin_table_gen <Unihan_Readings.txt[.bz2]> <out.cpp>\n";
        return 2;
    }
    const std::string input = argv[1];
    std::string text;
    if (input.size() > 4 && input.compare(input.size() - 4, 4, ".bz2") == 0) {
        const std::string command = "bzip2 -dc '" + input + "'";
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            std::cerr << "cannot run " << command << "\n";
            return 1;
        }
        char buffer[65536];
        std::size_t n = 0;
        while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
            text.append(buffer, n);
        }
        if (pclose(pipe) != 0) {
            std::cerr << "failed: " << command << "\n";
            return 1;
        }
    } else {
        std::ifstream in(input, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }

    std::map<char32_t, std::string> readings;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        // "U+4E00\tkMandarin\tyī[ èr]"
        if (line.rfind("U+", 0) != 0) {
            continue;
        }
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = line.find('\t', tab1 + 1);
        if (tab1 == std::string::npos || tab2 == std::string::npos ||
            line.compare(tab1 + 1, tab2 - tab1 - 1, "kMandarin") != 0) {
            continue;
        }
        const char32_t cp = static_cast<char32_t>(std::strtoul(line.c_str() + 2, nullptr, 16));
        std::string first = line.substr(tab2 + 1);
        first = first.substr(0, first.find(' '));
        const std::string syllable = Toneless(first);
        if (!syllable.empty()) {
            readings[cp] = syllable;
        }
    }
    for (const auto& [cp, reading] : kSurnameReadings) {
        readings[cp] = reading;
    }
    if (readings.size() < 20000) {
        std::cerr << "only " << readings.size() << " readings found in " << input << "\n";
        return 1;
    }

    std::vector<std::string> syllables;
    for (const auto& [cp, reading] : readings) {
        syllables.push_back(reading);
    }
    std::sort(syllables.begin(), syllables.end());
    syllables.erase(std::unique(syllables.begin(), syllables.end()), syllables.end());

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << "// Generated at build time from the Unihan kMandarin readings. Do not edit.\n"
           "#include \"libs/pinyin/PinyinTable.h\"\n\nconst char* const kPinyinSyllables[] = {\n";
    for (const std::string& s : syllables) {
        out << "    \"" << s << "\",\n";
    }
    out << "};\nconst std::size_t kPinyinSyllableCount = " << syllables.size()
        << ";\n\nconst PinyinEntry kPinyinEntries[] = {\n";
    for (const auto& [cp, reading] : readings) {
        const auto index = std::lower_bound(syllables.begin(), syllables.end(), reading) - syllables.begin();
        out << "    {0x" << std::hex << static_cast<unsigned>(cp) << std::dec << ", " << index << "},\n";
    }
    out << "};\nconst std::size_t kPinyinEntryCount = " << readings.size() << ";\n";
    return out.good() ? 0 : 1;
}
