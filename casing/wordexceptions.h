// The user's word exceptions: words whose spelling Proper Case and Sentence case keep as
// listed ("McDonald", "O'Neil", "USA", "iPhone"), where the fixed rule would give "Mcdonald",
// "O'neil", "Usa" and "Iphone".
//
// A listed word matches an occurrence when both are the same once lower-cased unit by unit
// with the rules' own mapping, and the occurrence is neither preceded nor followed by a letter,
// a digit or a combining mark. Where two matches overlap, the longer one wins (the earlier
// one between two of the same length). Built once into a trie of the lower-cased words, the
// list is applied in one pass over a text, trying the trie only where a word can begin.
// Immutable once built, so that threads may share one.
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

private:
    struct Node {
        qint32 firstEdge = 0;
        qint32 edgeCount = 0;
        qint32 word = -1; // index into words_ of the word that ends here
    };
    struct Edge {
        char16_t unit; // lower-cased
        qint32 node;
    };

    qint32 child(qint32 node, char16_t lowered) const;

    QStringList words_;
    std::vector<Node> nodes_; // nodes_[0] is the root; edges of a node are sorted by unit
    std::vector<Edge> edges_;
};
