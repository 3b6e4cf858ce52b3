// The syllables that end Korean given names (in the revised and the older romanisation) and
// Chinese ones in Wade-Giles, as in "Kim Il-sung", "Park Geun-hye", "Son Heung-min", "Bong
// Joon-ho", "Park Chan-wook", "Roh Moo-hyun", "Lee Myung-bak", "Kim Dae-jung", "Kim Yu-na", "Sun
// Yat-sen", "Ma Ying-jeou", "Lee Teng-hui". Left out are syllables that end Western double names
// as well ("Lee", "Young", "Ann", "Do", "Jo", "Su").
#include "casing/eastasiangivennames.h"

#include "casing/namewordtable.h"

namespace {

constexpr const char *SyllableWords[] = {
    // Korean
    "un", "sung", "il", "in", "moon", "hye", "min", "ho", "wook", "jung", "hyun", "bak", "yeol",
    "na", "hwan", "hee", "soo", "sook", "suk", "woo", "jin", "jun", "joon", "seok", "sik", "hoon",
    "hwa", "kyung", "yeon", "ah", "bin", "chul", "chol", "gu", "gyu", "ha", "heon", "hyuk", "hyeon",
    "jae", "ji", "jong", "ju", "kyu", "mi", "myung", "nam", "ok", "rim", "seon", "seong", "shik",
    "won", "wan", "yong", "yoon", "yun", "yu", "ryong", "rae", "eun", "geun", "dong", "chan",
    "cheol",
    // Chinese, Wade-Giles
    "shek", "sen", "wen", "jeou", "hui", "kuo", "ping", "ling", "wei", "fu", "tung", "yi", "lin",
    "chi", "hsien", "kang", "nien", "chung", "kuei", "mei"};

constexpr NameWordTable Syllables(SyllableWords);

} // namespace

bool EastAsianGivenNames::IsSyllablePair(const NameWord &word, qsizetype part, qsizetype hyphen)
{
    return word.key(part, hyphen) != 0 && Syllables.contains(word.key(hyphen + 1, word.end));
}
