// The user's word exceptions: words whose spelling Proper Case and Sentence case keep as
// listed ("McDonald", "O'Neil", "USA", "iPhone"), where the fixed rule would give "Mcdonald",
// "O'neil", "Usa" and "Iphone".
//
// A listed word matches an occurrence when both are the same once lower-cased character by
// character with the rules' own mapping, final sigma counting as sigma (FoldedCharacter in
// caseunits.h), and the occurrence is neither preceded nor followed by a letter, a digit or a
// combining mark. Where two matches overlap, the longer one wins (the earlier one between two of
// the same length). Built once into lookup tables, the list is applied in one pass over a text
// (see the source for how, and which class does what). Immutable once built, so that threads may
// share one.
//
// The list also carries whether the name rules (namerules.h) go before it after Proper Case: the
// two are what the user adds to the fixed rules, and every place that converts a value, the run,
// its preview and the preview list, takes them together.
#pragma once

#include "casing/caselanguage.h"
#include "casing/caserules.h"
#include "casing/wordfilter.h"
#include "casing/wordtable.h"

#include <QSet>
#include <QString>
#include <QStringList>

class WordExceptions
{
public:
    WordExceptions() = default;
    // The listed words; whether the name rules follow Proper Case; whether values written in
    // mixed case are left as written (IsInOneCase); values that stay as they are; and the
    // language whose rules the modes follow (caselanguage.h).
    explicit WordExceptions(const QStringList &words, bool nameRules = false,
                            bool leaveMixedCase = false, const QStringList &keptValues = {},
                            CaseLanguage language = CaseLanguage::Any);

    // No word listed (the name rules may still be on).
    bool isEmpty() const { return words_.isEmpty(); }
    bool nameRules() const { return nameRules_; }
    bool leaveMixedCase() const { return leaveMixedCase_; }
    CaseLanguage language() const { return language_; }
    bool keepsAny() const { return !kept_.isEmpty(); }
    // The values kept, in order.
    QStringList keptValues() const
    {
        QStringList values(kept_.cbegin(), kept_.cend());
        values.sort();
        return values;
    }
    // Whether the value is one that stays as it is.
    bool keeps(const QString &value) const { return !kept_.isEmpty() && kept_.contains(value); }

    // The words in use, as Cleaned() keeps them.
    const QStringList &words() const { return words_; }

    // Whether the list, or the name rules, can change a text in this mode: only a non-empty
    // list, and only after a mode that takes it (Proper, Sentence); the name rules after one
    // that takes them (Proper); or the language's rules where they change ASCII texts that
    // the mode's rule leaves as they are (the Dutch IJ).
    bool appliesTo(CaseMode mode) const
    {
        const CaseModeRow &row = CaseModeOf(mode);
        return (!isEmpty() && row.wordList) || (nameRules_ && row.nameRules) ||
               LanguageChangesAscii(mode, language_);
    }

    // Writes each listed word's spelling over its occurrences. The length never changes.
    void apply(QString &text) const;

    // A list as it is kept: each word without surrounding blanks, no empty words, and a word
    // that matches an earlier one (the same but for case) left out, as it could never apply.
    static QStringList Cleaned(const QStringList &words);

    // Letters, digits and combining marks make up words: a listed word matches only where it
    // neither begins nor ends inside one. A mark counts so that "cafe" does not match in a
    // decomposed "café".
    static bool IsWordCharacter(char32_t c);

private:
    QStringList words_;
    bool nameRules_ = false;
    bool leaveMixedCase_ = false;
    QSet<QString> kept_;
    CaseLanguage language_ = CaseLanguage::Any;
    WordFilter filter_;
    WordTable oneRun_; // the words of one run: "McDonald", "USA"
    WordTable others_; // the other words: "O'Neil", "van der Berg"
};
