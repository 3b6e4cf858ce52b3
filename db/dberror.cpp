#include "db/dberror.h"

#include <QStringList>

bool ConcernsOneValue(const DbError &error)
{
    // Data exceptions, integrity constraints, errors raised by triggers and functions, and
    // conflicts with other transactions that went on after every retry. Anything else (no
    // connection, no privilege, a read-only server, a cancelled statement, an unknown code)
    // concerns the whole run.
    static const QStringList valueClasses = {
        QStringLiteral("09"), QStringLiteral("21"), QStringLiteral("22"), QStringLiteral("23"),
        QStringLiteral("27"), QStringLiteral("2F"), QStringLiteral("38"), QStringLiteral("39"),
        QStringLiteral("40"), QStringLiteral("44"), QStringLiteral("P0")};
    return error.sqlState().size() == 5 && valueClasses.contains(error.sqlState().left(2));
}

bool IsConflict(const DbError &error)
{
    return error.sqlState() == QLatin1String("40P01") || error.sqlState() == QLatin1String("40001");
}
