// The preview list's values: the first values of one field, read straight from the server.
#include "db/fieldpreview.h"

#include "db/dbsession.h"
#include "db/nullto.h"
#include "db/sqlquote.h"

#include <QSqlError>

QStringList PreviewField(const ConnectionSettings &settings, const TableRef &table,
                         const QString &field)
{
    DbSession session(settings);
    // The server's text form of the value, the same expression the change run reads, so the
    // preview shows what the run will see. LIMIT: the driver buffers the whole result in
    // client memory, so the rows after the last one shown must not be sent at all. No ORDER
    // BY: the values keep the server's order.
    QSqlQuery query = session.exec(QStringLiteral("SELECT ") + TextFormOf(QuoteIdentifier(field)) +
                                   QStringLiteral(" FROM ") + table.sql() +
                                   QStringLiteral(" LIMIT %1").arg(PreviewLimit));
    QStringList values;
    while (values.size() < PreviewLimit && query.next())
        values.append(NullTo(query.value(0), QString()).toString());
    if (query.lastError().isValid())
        throw DbSession::errorFrom(query.lastError());
    return values;
}
