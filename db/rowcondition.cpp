#include "db/rowcondition.h"

#include "db/dbsession.h"
#include "db/sqlscan.h"

#include <QVariant>

namespace {

// The user's text in a statement: in parentheses on lines of its own, so that a "--" comment
// at its end cannot reach the statement's text after it.
QString Wrapped(const QString &sql)
{
    return QStringLiteral("(\n") + sql + QStringLiteral("\n)");
}

// The search path the user's own sessions start with: the one the role and the database set
// (the role's in this database first, then the role's, then the database's, then that of every
// role and database), else the server's built-in one.
QString UserSearchPath(DbSession &session)
{
    QSqlQuery path = session.exec(QStringLiteral(
        "SELECT coalesce((SELECT pg_catalog.substr(c.c, 13) FROM pg_catalog.pg_db_role_setting s"
        " CROSS JOIN LATERAL pg_catalog.unnest(s.setconfig) AS c(c)"
        " WHERE c.c ^@ 'search_path='"
        " AND s.setrole IN (0, (SELECT r.oid FROM pg_catalog.pg_roles r"
        " WHERE r.rolname = pg_catalog.\"session_user\"()))"
        " AND s.setdatabase IN (0, (SELECT d.oid FROM pg_catalog.pg_database d"
        " WHERE d.datname = pg_catalog.current_database()))"
        " ORDER BY s.setrole <> 0 DESC, s.setdatabase <> 0 DESC LIMIT 1),"
        " (SELECT p.boot_val FROM pg_catalog.pg_settings p WHERE p.name = 'search_path'))"));
    return path.next() ? path.value(0).toString() : QString();
}

// Whether a failure of a statement made of the condition says what is wrong with the condition
// (its syntax, names, types, values, or a write the read-only transaction refused), rather than
// that the server could not be asked.
bool ConcernsTheCondition(const DbError &error)
{
    const QString state = error.sqlState();
    for (const char *kind : {"42", "22", "21", "25", "0A", "2F", "38", "39", "54", "P0"}) {
        if (state.startsWith(QLatin1String(kind)))
            return true;
    }
    return false;
}

// Runs the steps in a transaction that is rolled back whatever they do; a failure that concerns
// the condition becomes its refusal.
template <typename Steps>
void InRolledBackTransaction(DbSession &session, const QString &begin, Steps steps)
{
    session.execute(begin);
    try {
        steps();
    } catch (const DbError &error) {
        try {
            session.endTransaction(false);
        } catch (const DbError &) {
            // The connection is gone; so is the transaction.
        }
        if (ConcernsTheCondition(error))
            throw ConditionRefused(error.text());
        throw;
    }
    session.endTransaction(false);
}

void SetSearchPath(DbSession &session, const QString &path)
{
    session.exec(
        QStringLiteral("SELECT pg_catalog.set_config('search_path', ?, true),"
                       " pg_catalog.set_config('standard_conforming_strings', 'on', true)"),
        {path});
}

} // namespace

QString ConditionRefused::text() const
{
    return QStringLiteral("The row condition was refused: %1").arg(reason_);
}

QString RowCondition::sql() const
{
    return isSet() ? Wrapped(sql_) : QStringLiteral("true");
}

RowCondition RowCondition::Check(DbSession &session, const TableRef &table, const QString &text)
{
    if (const QString problem = ExpressionTextProblem(text); !problem.isEmpty())
        throw ConditionRefused(problem);
    const QString condition = Wrapped(text);
    const QString path = UserSearchPath(session);
    // The server reads it as a WHERE clause, which takes one boolean expression and refuses
    // aggregates, set-returning and window functions, and works it out on the first rows in a
    // transaction that refuses every write.
    InRolledBackTransaction(session, QStringLiteral("BEGIN READ ONLY"), [&] {
        SetSearchPath(session, path);
        session.exec(
            QStringLiteral("SELECT FROM %1 AS t WHERE %2 LIMIT 0").arg(table.sql(), condition));
        session.exec(
            QStringLiteral("SELECT %2 IS NULL FROM %1 AS t LIMIT 100").arg(table.sql(), condition));
    });
    // The server writes it back through its schemas: the condition of a view, printed with the
    // program's own search path, after the same view with the condition "true".
    RowCondition checked;
    checked.text_ = text;
    InRolledBackTransaction(session, QStringLiteral("BEGIN"), [&] {
        SetSearchPath(session, path);
        const QString create =
            QStringLiteral("CREATE TEMP VIEW pg_temp.%1 AS SELECT FROM ONLY %2 AS t"
                           " WHERE %3");
        try {
            session.execute(create.arg(QStringLiteral("recasor_everyrow"), table.sql(),
                                       QStringLiteral("true")));
        } catch (const DbError &error) {
            if (error.sqlState() == QLatin1String("42501"))
                throw ConditionRefused(QStringLiteral("the server gives this role no right to "
                                                      "make temporary objects, by which it "
                                                      "checks a condition: %1")
                                           .arg(error.text()));
            throw;
        }
        session.execute(create.arg(QStringLiteral("recasor_condition"), table.sql(), condition));
        SetSearchPath(session, QStringLiteral("pg_catalog, pg_temp"));
        // The functions it calls, found in the stored form of the view, where every call and
        // operator stands with its number; the catalogue's list of dependencies leaves out the
        // system's own functions, random() and nextval() among them.
        QSqlQuery functions = session.exec(QStringLiteral(
            "SELECT DISTINCT p.oid::pg_catalog.regprocedure::pg_catalog.text"
            " FROM pg_catalog.pg_rewrite r CROSS JOIN LATERAL pg_catalog.regexp_matches("
            "r.ev_action::pg_catalog.text, ':(funcid|opfuncid|opno) (\\d+)', 'g') AS m(m)"
            " LEFT JOIN pg_catalog.pg_operator o ON m.m[1] = 'opno'"
            " AND o.oid = m.m[2]::pg_catalog.oid"
            " JOIN pg_catalog.pg_proc p ON p.oid = CASE WHEN m.m[1] = 'opno' THEN o.oprcode"
            " ELSE m.m[2]::pg_catalog.oid END"
            " WHERE r.ev_class = 'pg_temp.recasor_condition'::pg_catalog.regclass"
            " AND p.provolatile = 'v' ORDER BY 1"));
        QStringList volatiles;
        while (functions.next())
            volatiles << functions.value(0).toString();
        if (!volatiles.isEmpty())
            throw ConditionRefused(
                QStringLiteral("it calls %1, whose value may change from a row's read to its "
                               "write (a volatile function)")
                    .arg(volatiles.join(QStringLiteral(", "))));
        QSqlQuery views = session.exec(QStringLiteral(
            "SELECT pg_catalog.pg_get_viewdef('pg_temp.recasor_everyrow'::pg_catalog.regclass),"
            " pg_catalog.pg_get_viewdef('pg_temp.recasor_condition'::pg_catalog.regclass)"));
        if (!views.next())
            throw DbError(QStringLiteral("The server did not give the condition back."));
        const QString everyRow = views.value(0).toString();
        const QString view = views.value(1).toString();
        const QString clauseStart = everyRow.chopped(qMin(everyRow.size(), 5)); // "true;"
        if (!everyRow.endsWith(QLatin1String("true;")) || !view.startsWith(clauseStart) ||
            !view.endsWith(u';') || view.size() <= clauseStart.size() + 1)
            throw DbError(QStringLiteral("The server gave the condition back in a form that "
                                         "could not be read: %1")
                              .arg(view));
        checked.sql_ = view.mid(clauseStart.size(), view.size() - clauseStart.size() - 1);
        // What the server gives back stands whole too; anything else is not used.
        if (const QString problem = ExpressionTextProblem(checked.sql_); !problem.isEmpty())
            throw ConditionRefused(
                QStringLiteral("the server gives it back in a form that cannot be sent (%1): %2")
                    .arg(problem, checked.sql_));
    });
    return checked;
}
