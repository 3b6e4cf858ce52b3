// The articles joined by a hyphen.
#include "casing/hyphenparts.h"

#include "casing/namewordtable.h"

namespace {

constexpr const char *ArticleWords[] = {"al", "el"};

constexpr NameWordTable Articles(ArticleWords);

} // namespace

void HyphenParts::SmallArticle(NameWord &word, qsizetype hyphen)
{
    if (!word.first && Articles.contains(word.key(word.begin, hyphen)))
        word.lowerAscii(word.begin, hyphen);
}
