// The name rules: the option of Proper Case that writes people's names as their bearers do more
// often than the fixed rule, "McCartney", "O'Connor", "Henry VIII", "Zeta-Jones", "Ludwig van
// Beethoven", where Proper Case gives "Mccartney", "O'connor", "Henry Viii", "Zeta-jones" and
// "Ludwig Van Beethoven". They run on a text that Proper Case has converted, before the word
// exceptions, which keep the last say. Each rule is a class of its own with its own table of
// words (apostropheprefixes.h, eastasiangivennames.h, hyphenparts.h, mcprefix.h, nameinitials.h,
// nameparticles.h, openingmarks.h, romannumerals.h); this one finds the words and hands each to the
// rules.
#pragma once

#include <QString>

class NameRules
{
public:
    // Rewrites the letters the rules name, in place; the length never changes. A text that is
    // not in Proper Case is handled all the same, but the rules only ever make a letter a capital
    // or a small one where Proper Case has decided otherwise.
    static void Apply(QString &text);
};
