#include "db/sqlquote.h"

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

QString TextFormOf(const QString &quotedColumn)
{
    return QStringLiteral("format('%s', ") + quotedColumn + u')';
}

namespace
{

bool needsArrayEscapes(QStringView value)
{
    return value.contains(u'"') || value.contains(u'\\');
}

} // namespace

QString TextArray(const QList<QString> &values)
{
    // Sized exactly first and then filled in place, copying whole values where nothing needs
    // escaping: these arrays carry whole chunks of a table, so building them must cost far
    // less than sending them.
    qsizetype size = 2 + (values.isEmpty() ? 0 : values.size() - 1);
    for (const QString &value : values) {
        size += value.size() + 2;
        if (needsArrayEscapes(value))
            size += value.count(u'"') + value.count(u'\\');
    }
    QString array(size, Qt::Uninitialized);
    QChar *out = array.data();
    *out++ = u'{';
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QString &value = values[i];
        if (i)
            *out++ = u',';
        *out++ = u'"';
        if (!needsArrayEscapes(value)) {
            std::copy(value.cbegin(), value.cend(), out);
            out += value.size();
        } else {
            for (const QChar c : value) {
                if (c == u'"' || c == u'\\')
                    *out++ = u'\\';
                *out++ = c;
            }
        }
        *out++ = u'"';
    }
    *out++ = u'}';
    return array;
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
