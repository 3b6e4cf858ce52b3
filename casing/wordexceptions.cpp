#include "casing/wordexceptions.h"

#include "casing/caseunits.h"

#include <QSet>
#include <QVarLengthArray>
#include <algorithm>
#include <map>

namespace {

// Letters, digits and combining marks make up words: a listed word must not begin or end
// inside one. A mark counts so that "cafe" does not match the "cafe" of a decomposed "café".
bool isWordCharacter(char32_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
    return QChar::isLetterOrNumber(c) || QChar::isMark(c);
}

// The character that begins at unit i, and how many units it takes.
char32_t characterAt(const char16_t *s, qsizetype n, qsizetype i, int *units)
{
    const char16_t c = s[i];
    if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
        *units = 2;
        return QChar::surrogateToUcs4(c, s[i + 1]);
    }
    *units = 1;
    return c;
}

// Whether a word may end before unit i: the end of the text, or a character that is not part
// of a word. The middle of a surrogate pair is never an end.
bool endsWordAt(const char16_t *s, qsizetype n, qsizetype i)
{
    if (i == n)
        return true;
    if (QChar::isLowSurrogate(s[i]) && QChar::isHighSurrogate(s[i - 1]))
        return false;
    int units;
    return !isWordCharacter(characterAt(s, n, i, &units));
}

struct Match {
    qsizetype start;
    qsizetype length;
    qint32 word;
};

} // namespace

QStringList WordExceptions::Cleaned(const QStringList &words)
{
    QStringList kept;
    QSet<QString> seen;
    for (const QString &word : words) {
        const QString trimmed = word.trimmed();
        if (trimmed.isEmpty())
            continue;
        const QString key = LowerCase(trimmed);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        kept.push_back(trimmed);
    }
    return kept;
}

WordExceptions::WordExceptions(const QStringList &words) : words_(Cleaned(words))
{
    if (words_.isEmpty())
        return;
    // The trie is built with maps and then laid out flat, each node's edges side by side in
    // unit order, so that a lookup is a short binary search in one array.
    std::vector<std::map<char16_t, qint32>> children(1);
    std::vector<qint32> wordAt(1, -1);
    for (qint32 w = 0; w < words_.size(); ++w) {
        qint32 node = 0;
        for (const QChar c : words_[w]) {
            const char16_t unit = LowerUnit(c.unicode());
            const auto found = children[node].find(unit);
            if (found != children[node].end()) {
                node = found->second;
            } else {
                const qint32 next = qint32(children.size());
                children[node].emplace(unit, next);
                children.emplace_back();
                wordAt.push_back(-1);
                node = next;
            }
        }
        wordAt[node] = w;
    }

    nodes_.resize(children.size());
    edges_.reserve(children.size() - 1);
    std::vector<qint32> order{0}; // breadth first: old number of the node at each new place
    std::vector<qint32> place(children.size(), 0);
    for (size_t k = 0; k < order.size(); ++k) {
        const qint32 old = order[k];
        Node &node = nodes_[k];
        node.word = wordAt[old];
        node.firstEdge = qint32(edges_.size());
        node.edgeCount = qint32(children[old].size());
        for (const auto &[unit, next] : children[old]) {
            place[next] = qint32(order.size());
            order.push_back(next);
            edges_.push_back({unit, place[next]});
        }
    }
}

qint32 WordExceptions::child(qint32 node, char16_t lowered) const
{
    const Node &n = nodes_[size_t(node)];
    const Edge *first = edges_.data() + n.firstEdge;
    const Edge *last = first + n.edgeCount;
    const Edge *found = std::lower_bound(
        first, last, lowered, [](const Edge &edge, char16_t unit) { return edge.unit < unit; });
    return (found != last && found->unit == lowered) ? found->node : -1;
}

void WordExceptions::apply(QString &text) const
{
    const qsizetype n = text.size();
    if (nodes_.empty() || n == 0)
        return;
    const auto *s = reinterpret_cast<const char16_t *>(text.constData());

    // Every occurrence of every listed word, in the order of their starts (and, at one start,
    // shortest first). A word can only begin where no word character stands before it.
    QVarLengthArray<Match, 8> matches;
    bool afterWordCharacter = false;
    for (qsizetype i = 0; i < n;) {
        if (!afterWordCharacter) {
            qint32 node = 0;
            for (qsizetype j = i; j < n; ++j) {
                node = child(node, LowerUnit(s[j]));
                if (node < 0)
                    break;
                const qint32 word = nodes_[size_t(node)].word;
                if (word >= 0 && endsWordAt(s, n, j + 1))
                    matches.push_back({i, j + 1 - i, word});
            }
        }
        int units;
        afterWordCharacter = isWordCharacter(characterAt(s, n, i, &units));
        i += units;
    }
    if (matches.isEmpty())
        return;

    // The longest occurrences are taken first; one that overlaps an occurrence already taken
    // is left out.
    if (matches.size() > 1) {
        std::stable_sort(matches.begin(), matches.end(),
                         [](const Match &a, const Match &b) { return a.length > b.length; });
        QVarLengthArray<Match, 8> taken;
        for (const Match &m : matches) {
            const bool overlaps = std::any_of(taken.begin(), taken.end(), [&](const Match &t) {
                return m.start < t.start + t.length && t.start < m.start + m.length;
            });
            if (!overlaps)
                taken.push_back(m);
        }
        matches = taken;
    }
    QChar *out = text.data();
    for (const Match &m : matches) {
        const QString &spelling = words_[m.word];
        std::copy(spelling.constBegin(), spelling.constEnd(), out + m.start);
    }
}
