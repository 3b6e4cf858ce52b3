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

QString TextArray(const QList<QString> &values)
{
    // Sized exactly first and then filled in place: these arrays carry whole chunks of a
    // table, so the building must not cost more than the sending.
    qsizetype size = 2 + (values.isEmpty() ? 0 : values.size() - 1);
    for (const QString &value : values) {
        size += value.size() + 2;
        for (const QChar c : value)
            size += (c == u'"' || c == u'\\');
    }
    QString array(size, Qt::Uninitialized);
    QChar *out = array.data();
    *out++ = u'{';
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i)
            *out++ = u',';
        *out++ = u'"';
        for (const QChar c : values[i]) {
            if (c == u'"' || c == u'\\')
                *out++ = u'\\';
            *out++ = c;
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
            bool escaped = false;
            for (; i < end && text[i] != u'"'; ++i) {
                if (text[i] == u'\\') {
                    escaped = true;
                    ++i;
                }
            }
            if (i >= end)
                return false;
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
