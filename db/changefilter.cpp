#include "db/changefilter.h"

#include "db/sqlquote.h"

QString MayChangeSql(CaseMode mode, bool utf8, const QString &value)
{
    // In UTF-8 a value is all ASCII exactly when it has one byte per character.
    if (!utf8)
        return QStringLiteral("true");
    const QString v = value + QStringLiteral(" COLLATE \"C\"");
    QString ascii;
    switch (mode) {
    case CaseMode::Upper:
        ascii = QStringLiteral("%1 <> upper(%1)").arg(v);
        break;
    case CaseMode::Lower:
        ascii = QStringLiteral("%1 <> lower(%1)").arg(v);
        break;
    case CaseMode::Proper:
        ascii = QStringLiteral("%1 ~ %2").arg(
            v, QuoteLiteral(QStringLiteral("(^|[ \\t\\r])[a-z]|[^ \\t\\r][A-Z]")));
        break;
    case CaseMode::Sentence:
        ascii = QStringLiteral("%1 ~ %2").arg(v, QuoteLiteral(QStringLiteral("^[a-z]|.[A-Z]")));
        break;
    }
    return QStringLiteral("(octet_length(%1) <> length(%1) OR %2)").arg(value, ascii);
}
