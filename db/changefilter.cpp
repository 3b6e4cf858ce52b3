#include "db/changefilter.h"

#include "db/sqlquote.h"

QString MayChangeSql(CaseMode mode, bool utf8, const QString &value)
{
    // In UTF-8 a value is all ASCII exactly when it has one byte per character.
    if (!utf8)
        return QStringLiteral("true");
    return QStringLiteral("(octet_length(%1) <> length(%1) OR %2)")
        .arg(value, AsciiChangeSql(mode, value));
}

QString AsciiChangeSql(CaseMode mode, const QString &value)
{
    const CaseModeRow &row = CaseModeOf(mode);
    const QString v = value + QStringLiteral(" COLLATE \"C\"");
    switch (row.asciiMapping) {
    case CaseModeRow::AsciiMapping::Upper:
        return QStringLiteral("%1 <> upper(%1)").arg(v);
    case CaseModeRow::AsciiMapping::Lower:
        return QStringLiteral("%1 <> lower(%1)").arg(v);
    case CaseModeRow::AsciiMapping::None:
        break;
    }
    if (row.asciiChanges.isEmpty())
        return QStringLiteral("true");
    return QStringLiteral("%1 ~ %2").arg(v, QuoteLiteral(row.asciiChanges));
}
