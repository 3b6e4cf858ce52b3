// Build-time tool: writes the case tables of the rules (casing/casetables.cpp in the build
// folder) from the Unicode Character Database as Debian's unicode-data package installs it.
//
//   casetablegen UnicodeData.txt DerivedCoreProperties.txt output.cpp
//
// From UnicodeData.txt it takes the simple mappings (fields 12, 13 and 14, the title case
// falling back to the upper case), from DerivedCoreProperties.txt the Cased and
// Case_Ignorable properties that decide where a capital sigma is final. It refuses data that
// the rules could not follow as they are written: a mapping that would change a text's length
// in UTF-16 units, or one that would change what the final-sigma test sees in a character
// already converted.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr char32_t CodePoints = 0x110000;
constexpr int BlockBits = 7; // as CaseBlockBits in caseunits.h
constexpr char32_t BlockSize = 1 << BlockBits;

enum Flags : std::uint8_t { Cased = 1, CaseIgnorable = 2, Lowercase = 4 };

struct Character {
    char32_t upper = 0, lower = 0, title = 0; // 0: no mapping
    std::uint8_t flags = 0;
};

[[noreturn]] void fail(const std::string &message)
{
    std::cerr << "casetablegen: " << message << '\n';
    std::exit(1);
}

std::vector<std::string> fields(const std::string &line, char separator)
{
    std::vector<std::string> result;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator))
        result.push_back(field);
    if (!line.empty() && line.back() == separator)
        result.emplace_back();
    return result;
}

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

char32_t codePoint(const std::string &hex)
{
    const unsigned long value = std::stoul(hex, nullptr, 16);
    if (value >= CodePoints)
        fail("code point out of range: " + hex);
    return char32_t(value);
}

void readUnicodeData(const char *path, std::vector<Character> &table)
{
    std::ifstream in(path);
    if (!in)
        fail(std::string("cannot read ") + path);
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> f = fields(line, ';');
        if (f.size() < 15)
            continue;
        Character &c = table[codePoint(f[0])];
        if (!f[12].empty())
            c.upper = codePoint(f[12]);
        if (!f[13].empty())
            c.lower = codePoint(f[13]);
        const std::string title = trimmed(f[14]);
        c.title = title.empty() ? c.upper : codePoint(title);
    }
}

// Also gives the version that the file's first line names ("# DerivedCoreProperties-15.0.0.txt").
std::string readProperties(const char *path, std::vector<Character> &table)
{
    std::ifstream in(path);
    if (!in)
        fail(std::string("cannot read ") + path);
    std::string line, version;
    if (std::getline(in, line)) {
        const auto dash = line.find('-'), end = line.rfind(".txt");
        if (dash != std::string::npos && end != std::string::npos && end > dash)
            version = line.substr(dash + 1, end - dash - 1);
    }
    if (version.empty())
        fail(std::string("no version in the first line of ") + path);
    while (std::getline(in, line)) {
        const std::string data = trimmed(line.substr(0, line.find('#')));
        if (data.empty())
            continue;
        const std::vector<std::string> f = fields(data, ';');
        if (f.size() < 2)
            continue;
        const std::string property = trimmed(f[1]);
        const std::uint8_t flag = property == "Cased"            ? Cased
                                  : property == "Case_Ignorable" ? CaseIgnorable
                                  : property == "Lowercase"      ? Lowercase
                                                                 : 0;
        if (!flag)
            continue;
        const std::string range = trimmed(f[0]);
        const auto dots = range.find("..");
        const char32_t first = codePoint(range.substr(0, dots));
        const char32_t last = dots == std::string::npos ? first : codePoint(range.substr(dots + 2));
        for (char32_t c = first; c <= last; ++c)
            table[c].flags |= flag;
    }
    return version;
}

// What the final-sigma test makes of a character: a cased letter, one it looks past, or one
// that ends its search. A character that is both counts as cased.
int sigmaClass(const Character &c)
{
    return c.flags & Cased ? 2 : c.flags & CaseIgnorable ? 1 : 0;
}

std::string hex(char32_t c)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", unsigned(c));
    return text;
}

void check(const std::vector<Character> &table)
{
    for (char32_t c = 0; c < CodePoints; ++c) {
        for (const char32_t to : {table[c].upper, table[c].lower, table[c].title}) {
            if (!to)
                continue;
            if ((to > 0xffff) != (c > 0xffff) || (to >= 0xd800 && to <= 0xdfff))
                fail("the mapping of " + hex(c) + " to " + hex(to) +
                     " would change the length of a text in UTF-16 units");
        }
        // The final-sigma test reads the characters before a sigma once they are lower-cased
        // or, the first of a word, title-cased.
        for (const char32_t to : {table[c].lower, table[c].title}) {
            if (to && sigmaClass(table[to]) != sigmaClass(table[c]))
                fail("the mapping of " + hex(c) + " to " + hex(to) +
                     " changes whether the character is cased or case-ignorable");
        }
    }
}

using Record = std::tuple<std::int32_t, std::int32_t, std::int32_t, int>;

std::int32_t delta(char32_t to, char32_t c)
{
    return to ? std::int32_t(to) - std::int32_t(c) : 0;
}

template <typename T>
void writeArray(std::ostream &out, const char *declaration, const std::vector<T> &values)
{
    out << declaration << "[" << values.size() << "] = {";
    for (size_t i = 0; i < values.size(); ++i)
        out << (i % 16 ? " " : "\n    ") << unsigned(values[i]) << ',';
    out << "\n};\n\n";
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4)
        fail("usage: casetablegen UnicodeData.txt DerivedCoreProperties.txt output.cpp");
    std::vector<Character> table(CodePoints);
    readUnicodeData(argv[1], table);
    const std::string version = readProperties(argv[2], table);
    check(table);

    // Each character's mappings as differences, with its flags, is a record; a block of
    // characters is its records' numbers; the same block is kept once.
    std::map<Record, std::uint16_t> recordNumbers;
    std::vector<Record> records;
    std::map<std::vector<std::uint16_t>, std::uint16_t> blockNumbers;
    std::vector<std::uint16_t> blocks, blockIndex;
    for (char32_t base = 0; base < CodePoints; base += BlockSize) {
        std::vector<std::uint16_t> block;
        for (char32_t c = base; c < base + BlockSize; ++c) {
            const Character &ch = table[c];
            const Record record{delta(ch.upper, c), delta(ch.lower, c), delta(ch.title, c),
                                ch.flags};
            auto found = recordNumbers.find(record);
            if (found == recordNumbers.end()) {
                found = recordNumbers.emplace(record, std::uint16_t(records.size())).first;
                records.push_back(record);
            }
            block.push_back(found->second);
        }
        auto found = blockNumbers.find(block);
        if (found == blockNumbers.end()) {
            found = blockNumbers.emplace(block, std::uint16_t(blockNumbers.size())).first;
            blocks.insert(blocks.end(), block.begin(), block.end());
        }
        blockIndex.push_back(found->second);
    }
    if (records.size() > 256 || blockNumbers.size() > 256)
        fail("more records or blocks than the tables' 8-bit numbers hold");

    std::ofstream out(argv[3]);
    out << "// Generated by casetablegen from " << argv[1] << " and " << argv[2] << " (Unicode "
        << version << "). Do not edit.\n"
        << "#include \"casing/caseunits.h\"\n\n"
        << "const char CaseTablesUnicodeVersion[] = \"" << version << "\";\n\n";
    writeArray(out, "const quint8 CaseBlockIndex", blockIndex);
    writeArray(out, "const quint8 CaseBlocks", blocks);
    out << "const CaseRecord CaseRecords[" << records.size() << "] = {\n";
    for (const auto &[upper, lower, title, flags] : records)
        out << "    {" << upper << ", " << lower << ", " << title << ", " << flags << "},\n";
    out << "};\n";
    if (!out)
        fail(std::string("cannot write ") + argv[3]);
    return 0;
}
