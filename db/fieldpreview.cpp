// The preview list's values: the first values of one field, read straight from the server.
#include "db/fieldpreview.h"

#include "db/dbsession.h"
#include "db/rowcondition.h"
#include "db/nullto.h"
#include "db/sqlquote.h"

#include <QSqlError>

QString ShownText(QString text)
{
    if (text.size() <= PreviewTextLimit)
        return text;
    qsizetype cut = PreviewTextLimit;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    text.truncate(cut);
    return text + QChar(0x2026);
}

QStringList PreviewField(const ConnectionSettings &settings, const TableRef &table,
                         const QString &field, const QString &condition)
{
    DbSession session(settings);
    const RowCondition rows =
        condition.isEmpty() ? RowCondition() : RowCondition::Check(session, table, condition);
    // The server's text form of the value, the same expression the change run reads, so the
    // preview shows what the run will see. LIMIT: the driver buffers the whole result in
    // client memory, so the rows after the last one shown must not be sent at all. For the
    // same reason the server cuts each value: one character more than the list shows (the
    // server counts code points, each one or two UTF-16 units) tells whether it goes on. No
    // ORDER BY: the values keep the server's order.
    QSqlQuery query =
        session.exec(QStringLiteral("SELECT left(") + TextFormOf(QuoteIdentifier(field)) +
                     QStringLiteral(", %1) FROM ").arg(PreviewTextLimit + 1) + table.sql() +
                     QStringLiteral(" AS t WHERE ") + rows.sql() +
                     QStringLiteral(" LIMIT %1").arg(PreviewLimit));
    QStringList values;
    while (values.size() < PreviewLimit && query.next())
        values.append(ShownText(NullTo(query.value(0), QString()).toString()));
    if (query.lastError().isValid())
        throw DbSession::errorFrom(query.lastError());
    return values;
}
