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
