// The user's word exceptions: words whose spelling Proper Case and Sentence case keep as
// listed ("McDonald", "O'Neil", "USA", "iPhone"), where the fixed rule would give "Mcdonald",
// "O'neil", "Usa" and "Iphone".
//
// A listed word matches an occurrence when both are the same once lower-cased unit by unit
// with the rules' own mapping, and the occurrence is neither preceded nor followed by a letter,
// a digit or a combining mark. Where two matches overlap, the longer one wins (the earlier
// one between two of the same length). Built once into lookup tables, the list is applied in
// one pass over a text (see the source for how). Immutable once built, so that threads may
// share one.
#pragma once

#include "casing/caserules.h"

#include <QString>
#include <QStringList>
#include <vector>

class WordExceptions
{
public:
    WordExceptions() = default;
    explicit WordExceptions(const QStringList &words);

    bool isEmpty() const { return words_.isEmpty(); }

    // The words in use, as Cleaned() keeps them.
    const QStringList &words() const { return words_; }

    // Whether the list can change a text in this mode: only a non-empty list, and only after
    // Proper and Sentence.
    bool appliesTo(CaseMode mode) const
    {
        return !isEmpty() && (mode == CaseMode::Proper || mode == CaseMode::Sentence);
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
    struct Match;
    // A word of one run, in the table: what a match needs, in one place.
    struct Entry {
        quint64 key = 0;            // the hash of the word's one run; 0 for a free place
        quint64 folded[2] = {0, 0}; // its first eight units lower-cased, as two numbers
        quint64 spelled[2] = {0, 0}; // and as listed; zeros after the word
        qint32 units = 0;           // in units_: the whole word lower-cased, then as listed
        qint32 length = 0;
    };
    // The trie of the words that go on past their first run. A node's label holds the units
    // after its edge's own.
    struct Node {
        qint32 firstEdge = 0;
        qint32 edgeCount = 0;
        qint32 spelling = -1; // in units_: of the word that ends here
        qint32 labelStart = 0;
        qint32 labelLength = 0;
    };
    struct Edge {
        char16_t unit; // lower-cased
        qint32 node;
    };

    void buildTrie(const QList<qint32> &words);
    qint32 child(qint32 node, char16_t lowered) const;
    void matchRun(char16_t *text, const char16_t *low, qsizetype n, qsizetype start,
                  qsizetype end) const;
    template <typename Matches>
    void findInTrie(const char16_t *text, const char16_t *low, qsizetype n, qsizetype start,
                    Matches &matches) const;
    template <bool OneBlock, typename Matches>
    void findAll(char16_t *text, const char16_t *low, qsizetype n, const quint64 *bits,
                 Matches &longer) const;
    template <bool OneBlock>
    void applyTo(char16_t *text, qsizetype n, quint64 *bits, char16_t *low) const;

    QStringList words_;
    std::vector<quint64> coarse_;           // a bit per slot of every word's first run
    std::vector<quint64> fine_;             // the same, for the words in the trie
    bool startsWithOtherCharacter_ = false; // a word begins with no word character
    std::vector<Entry> table_;              // the words of one run, by key, open addressing
    int tableBits_ = 0;
    std::vector<char16_t> units_; // lower-cased words and spellings
    std::vector<Node> nodes_;     // nodes_[0] is the root, when there is a trie
    std::vector<Edge> edges_;     // a node's edges side by side, in unit order
    std::vector<char16_t> labels_;
};
