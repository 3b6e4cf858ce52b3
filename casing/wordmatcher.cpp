// Where words of more than one run overlap in a text: rare, so out of the search's way.
#include "casing/wordmatcher.h"

// The longest is taken (the earliest of equally long ones) and those it overlaps are left out,
// marked by a length of 0. A text holds few, so an insertion sort does. A word of one run that
// one of them overlaps lies inside it, and is written over.
void WordMatcher::KeepLongest(Matches &matches)
{
    for (qsizetype i = 1; i < matches.size(); ++i) {
        const Match m = matches[i];
        qsizetype j = i;
        for (; j > 0 && (matches[j - 1].length < m.length ||
                         (matches[j - 1].length == m.length && matches[j - 1].start > m.start));
             --j)
            matches[j] = matches[j - 1];
        matches[j] = m;
    }
    for (qsizetype i = 1; i < matches.size(); ++i) {
        Match &m = matches[i];
        for (qsizetype j = 0; j < i; ++j) {
            const Match &t = matches[j];
            if (t.length && m.start < t.start + t.length && t.start < m.start + m.length) {
                m.length = 0;
                break;
            }
        }
    }
}
