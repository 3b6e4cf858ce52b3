// The numerals II to XX: the ordinals of monarchs, popes and families ("Pius XII", "Elizabeth
// II", "Thurston Howell III"). One letter alone ("V", "X") is a capital in Proper Case already.
#include "casing/romannumerals.h"

#include "casing/namewordtable.h"

namespace {

constexpr const char *NumeralWords[] = {"ii",  "iii",  "iv",    "vi",   "vii", "viii",
                                        "ix",  "xi",   "xii",   "xiii", "xiv", "xv",
                                        "xvi", "xvii", "xviii", "xix",  "xx"};

constexpr NameWordTable Numerals(NumeralWords);

} // namespace

bool RomanNumerals::IsNumeral(const NameWord &word)
{
    return Numerals.contains(word.key(word.begin, word.end));
}
