#include "db/sqlquote.h"

#include <algorithm>

QString QuoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString QualifiedName(const QString &schema, const QString &name)
{
    return QuoteIdentifier(schema) + u'.' + QuoteIdentifier(name);
}

QString QuoteLiteral(const QString &value)
{
    QString quoted;
    quoted.reserve(value.size() + 4);
    quoted += QStringLiteral("E'");
    for (const QChar c : value) {
        if (c == u'\'' || c == u'\\')
            quoted += c;
        quoted += c;
    }
    quoted += u'\'';
    return quoted;
}

QString DollarQuoted(const QString &body)
{
    // The body followed by the tag must meet the tag first at its end: a body that ends in
    // "$recasor" would otherwise close early with the tag's first character.
    for (int k = 0;; ++k) {
        const QString tag =
            k == 0 ? QStringLiteral("$recasor$") : QStringLiteral("$recasor%1$").arg(k);
        if ((body + tag).indexOf(tag) == body.size())
            return tag + body + tag;
    }
}

QString TextFormOf(const QString &quotedColumn)
{
    return QStringLiteral("format('%s', ") + quotedColumn + u')';
}

QString UnusedDelimiter(const QList<QString> &values)
{
    return UnusedDelimiter(QList<QList<QString>>{values});
}

QString UnusedDelimiter(const QList<QList<QString>> &lists)
{
    const auto noneHolds = [&](const auto &holds) {
        return std::none_of(lists.cbegin(), lists.cend(), [&](const QList<QString> &list) {
            return std::any_of(list.cbegin(), list.cend(), holds);
        });
    };
    // One control character when the values leave one free, as they nearly always do: it
    // costs one unit per value. ASCII characters, as every server encoding has those; a LATIN1
    // database, say, refuses a private-use one.
    for (const char16_t unit : {u'\x1f', u'\x1e', u'\x1d', u'\x1c'}) {
        if (noneHolds([unit](const QString &value) { return value.contains(QChar(unit)); }))
            return QString(QChar(unit));
    }
    // Else the unit separator and a number: it cannot overlap itself, so once no value holds
    // it, splitting the joined text at it gives back exactly the values.
    for (int k = 0;; ++k) {
        const QString delimiter = QChar(0x1F) + QString::number(k);
        if (noneHolds([&](const QString &value) { return value.contains(delimiter); }))
            return delimiter;
    }
}

bool ParseTextArray(QStringView text, QList<QString> &values)
{
    values.clear();
    if (text.size() < 2 || text.front() != u'{' || text.back() != u'}')
        return false;
    const qsizetype end = text.size() - 1;
    qsizetype i = 1;
    if (i == end)
        return true;
    while (true) {
        if (text[i] == u'"') {
            const qsizetype start = ++i;
            // The closing quote is the first one not escaped by a backslash.
            qsizetype close = text.indexOf(u'"', start);
            const bool escaped = close >= 0 && text.sliced(start, close - start).contains(u'\\');
            if (escaped) {
                for (close = start; close < end && text[close] != u'"'; ++close) {
                    if (text[close] == u'\\')
                        ++close;
                }
            }
            if (close < 0 || close >= end)
                return false;
            i = close;
            if (!escaped) {
                values.push_back(text.sliced(start, i - start).toString());
            } else {
                QString element;
                element.reserve(i - start);
                for (qsizetype j = start; j < i; ++j) {
                    if (text[j] == u'\\')
                        ++j;
                    element += text[j];
                }
                values.push_back(std::move(element));
            }
            ++i; // closing quote
        } else {
            // Unquoted elements hold no blanks, quotes, braces or commas; NULL is a null.
            const qsizetype start = i;
            while (i < end && text[i] != u',')
                ++i;
            const QStringView bare = text.sliced(start, i - start);
            values.push_back(bare.compare(u"NULL", Qt::CaseInsensitive) == 0 ? QString()
                                                                             : bare.toString());
        }
        if (i == end)
            return true;
        if (text[i] != u',')
            return false;
        ++i;
    }
}
