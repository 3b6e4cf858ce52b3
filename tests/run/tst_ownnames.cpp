// The names the program gives its own columns, tables and variables in the statements it
// builds, used as the user's names: a text field so named converts, previews and undoes, by
// every way of writing a chunk, with or without a key, and a table named like a statement's
// own table converts too. And names that a hostile table owner chooses to break out of the
// statements, with functions and operators planted where a statement might find them: a
// superuser's run, preview and undo change the table's rows and nothing else.
#include "db/connectionstring.h"
#include "db/fieldpreview.h"
#include "db/sqlquote.h"
#include "journal/undorun.h"
#include "preview/changepreview.h"
#include "run/changerun.h"
#include "scratchdatabase.h"
#include "sqlfixture.h"
#include "testdatabase.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Role = QStringLiteral("recasor_own_names");
const QString RolePassword = QStringLiteral("own-names-pw");
const QString Tenant = QStringLiteral("recasor_tenant");
const QString TenantPassword = QStringLiteral("tenant-pw");

// Functions and operators that a table's owner plants in the schema public, each noting in
// public.captured that it ran (which a read-only transaction refuses, failing the statement), and
// the database's search path that puts public first.
const QStringList Planted = {
    "CREATE TABLE public.captured (what text)",
    "CREATE FUNCTION public.caught(what text, result anyelement) RETURNS anyelement"
    " LANGUAGE plpgsql AS $$BEGIN INSERT INTO public.captured VALUES (what); RETURN result;"
    " END$$",
    "CREATE FUNCTION public.text_eq(a text, b text) RETURNS boolean LANGUAGE sql"
    " AS $$SELECT public.caught('text = text', pg_catalog.texteq(a, b))$$",
    "CREATE OPERATOR public.= (LEFTARG = text, RIGHTARG = text, FUNCTION = public.text_eq)",
    "CREATE FUNCTION public.name_eq(a name, b name) RETURNS boolean LANGUAGE sql"
    " AS $$SELECT public.caught('name = name', pg_catalog.nameeq(a, b))$$",
    "CREATE OPERATOR public.= (LEFTARG = name, RIGHTARG = name, FUNCTION = public.name_eq)",
    "CREATE FUNCTION public.unnest(text[]) RETURNS SETOF text LANGUAGE sql"
    " AS $$SELECT public.caught('unnest', x) FROM pg_catalog.unnest($1) AS x$$",
    "CREATE FUNCTION public.string_to_array(text, text) RETURNS text[] LANGUAGE sql"
    " AS $$SELECT public.caught('string_to_array', pg_catalog.string_to_array($1, $2))$$",
    "CREATE FUNCTION public.format(text, text) RETURNS text LANGUAGE sql"
    " AS $$SELECT public.caught('format', pg_catalog.format($1, $2))$$",
    "CREATE FUNCTION public.upper(text) RETURNS text LANGUAGE sql"
    " AS $$SELECT public.caught('upper', pg_catalog.upper($1))$$"};

// What a statement may change besides rows: roles, schemas, relations and their columns,
// functions, triggers, constraints and settings; the session's own temporary objects aside.
const QString CatalogueDigest = QStringLiteral(
    "SELECT md5(string_agg(x, ',' ORDER BY x)) FROM ("
    " SELECT concat_ws('|', 'r', rolname, rolsuper, rolinherit, rolcreaterole, rolcreatedb,"
    " rolcanlogin, rolreplication, rolbypassrls, rolconfig::text) FROM pg_roles"
    " UNION ALL SELECT concat_ws('|', 'n', nspname, nspowner) FROM pg_namespace"
    " WHERE nspname !~ '^pg_(toast_)?temp_'"
    " UNION ALL SELECT concat_ws('|', 'c', n.nspname, c.relname, c.relkind, c.relowner,"
    " c.relacl::text) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace"
    " WHERE n.nspname !~ '^pg_(toast_)?temp_'"
    " UNION ALL SELECT concat_ws('|', 'a', a.attrelid, a.attname, a.atttypid) FROM pg_attribute a"
    " JOIN pg_class c ON c.oid = a.attrelid JOIN pg_namespace n ON n.oid = c.relnamespace"
    " WHERE n.nspname !~ '^pg_(toast_)?temp_'"
    " UNION ALL SELECT concat_ws('|', 'p', n.nspname, p.proname, p.proowner, md5(p.prosrc))"
    " FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace"
    " WHERE n.nspname !~ '^pg_(toast_)?temp_'"
    " UNION ALL SELECT concat_ws('|', 't', tgrelid, tgname, tgenabled) FROM pg_trigger"
    " UNION ALL SELECT concat_ws('|', 'k', conrelid, conname, pg_get_constraintdef(oid))"
    " FROM pg_constraint"
    " UNION ALL SELECT concat_ws('|', 's', setdatabase, setrole, setconfig::text)"
    " FROM pg_db_role_setting"
    " UNION ALL SELECT concat_ws('|', 'd', datname, datdba, datacl::text) FROM pg_database) s(x)");

} // namespace

class TestOwnNames : public QObject, protected SqlFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void userNamesMeetNoneOfTheProgramsOwn_data();
    void userNamesMeetNoneOfTheProgramsOwn();
    void hostileNamesChangeOnlyTheirRows_data();
    void hostileNamesChangeOnlyTheirRows();

private:
    // The hostile tenant's database, which it owns, and a superuser's connection to it that is
    // hardened as the program's own are, so that nothing planted catches the test's statements.
    ConnectionSettings hostile(const QString &user = QString()) const;
    QStringList hostileColumn(const QString &sql);
    void hostileExec(const QStringList &statements);
    void tenantExec(const QStringList &statements);

    QTemporaryDir data_; // the journal's folder
    std::unique_ptr<ScratchDatabase> hostileDb_;
    QSqlDatabase hostileFixture_;
};

void TestOwnNames::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    qputenv("XDG_DATA_HOME", data_.path().toUtf8());
    db_ = TestDatabase::open();
    QVERIFY(db_.isOpen());
    // The role may not make temporary objects, so that a refused value is found by halving
    // the chunk rather than by the row-by-row function.
    exec({"DROP SCHEMA IF EXISTS own CASCADE", "CREATE SCHEMA own",
          "DO $$BEGIN IF EXISTS (SELECT FROM pg_roles WHERE rolname = '" + Role +
              "') THEN DROP OWNED BY " + Role + "; DROP ROLE " + Role + "; END IF; END$$",
          "CREATE ROLE " + Role + " LOGIN PASSWORD '" + RolePassword + "'",
          "GRANT USAGE ON SCHEMA own TO " + Role,
          "ALTER DEFAULT PRIVILEGES IN SCHEMA own GRANT SELECT, UPDATE ON TABLES TO " + Role,
          "REVOKE TEMPORARY ON DATABASE " + TestDatabase::settings().database + " FROM PUBLIC"});
}

void TestOwnNames::cleanupTestCase()
{
    if (hostileFixture_.isOpen())
        TestDatabase::close(hostileFixture_);
    hostileDb_.reset();
    if (!db_.isOpen())
        return;
    exec({"DROP SCHEMA IF EXISTS own CASCADE",
          "GRANT TEMPORARY ON DATABASE " + TestDatabase::settings().database + " TO PUBLIC",
          "DROP OWNED BY " + Role, "DROP ROLE IF EXISTS " + Role, "DROP ROLE IF EXISTS " + Tenant});
    TestDatabase::close(db_);
}

void TestOwnNames::userNamesMeetNoneOfTheProgramsOwn_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("key");   // the primary key's column; none: rows known by place
    QTest::addColumn<bool>("halving");  // also as a role that may not make temporary objects
    QTest::addColumn<bool>("allNames"); // a field for every name; else a few that clashed

    QTest::newRow("no key") << "names" << QString() << true << true;
    for (const char *key : {"id", "c", "lo"})
        QTest::addRow("key %s", key)
            << QStringLiteral("names_") + key << QString(key) << false << false;
    for (const char *table : {"v", "w", "z"})
        QTest::addRow("table %s", table) << QString(table) << QString() << false << false;
}

// Every field of the table is named like one of the statements' own things and converted in
// one run, so that each field's statements also meet all the other names.
void TestOwnNames::userNamesMeetNoneOfTheProgramsOwn()
{
    QFETCH(QString, table);
    QFETCH(QString, key);
    QFETCH(bool, halving);
    QFETCH(bool, allNames);
    const TableRef ref{"own", table};
    // Derived tables and their columns, the common table expressions, the row-by-row
    // function's parameters, variables and results, the catalogue lookups' own names; and
    // names that hold the placeholders the statements are made with.
    QStringList fields = {"t",    "v",      "w",       "z",      "c",    "o",     "n",  "i",
                          "id",   "before", "total",   "r",      "s",    "g",     "m",  "h",
                          "e",    "x",      "k",       "chunk",  "tree", "v0",    "lo", "hi",
                          "olds", "news",   "message", "attnum", "%1",   "n%2 %3"};
    if (!allNames)
        fields = QStringList{"c", "before", "lo", "v", "id"};
    fields.removeAll(key);
    // Two long values take the first range of each field past its byte budget, so that it is
    // read in parts.
    const QString longValue = QString("long value ").repeated(48200);
    const QStringList values = {"smith",         QStringLiteral("müller straße"),
                                "refused",       "ALREADY",
                                "o'neil",        longValue,
                                longValue + "2", QString()};
    const qint64 changing = 6, written = 5; // "refused" is refused by every field's check

    QStringList columns, names;
    if (!key.isEmpty())
        columns << QuoteIdentifier(key) + " int PRIMARY KEY";
    for (const QString &field : std::as_const(fields)) {
        columns << QStringLiteral("%1 text CHECK (%1 <> 'REFUSED')").arg(QuoteIdentifier(field));
        names << QuoteIdentifier(field);
    }
    QStringList inserts;
    for (qsizetype i = 0; i < values.size(); ++i) {
        QStringList row;
        if (!key.isEmpty())
            row << QString::number(i + 1);
        const QString value = values[i].isNull() ? QStringLiteral("NULL") : QuoteLiteral(values[i]);
        for (qsizetype k = 0; k < fields.size(); ++k)
            row << value;
        inserts << QStringLiteral("INSERT INTO %1 (%2%3) VALUES (%4)")
                       .arg(ref.sql(), key.isEmpty() ? QString() : QuoteIdentifier(key) + ", ",
                            names.join(", "), row.join(", "));
    }
    // A row is written once with all its fields, so that its undo finds it by its place too.
    const QString restored = names.join(", ");
    const QString digest = QStringLiteral("SELECT md5(string_agg(concat_ws('|', %1), ',' ORDER BY "
                                          "concat_ws('|', %1))) FROM %2")
                               .arg(restored, ref.sql());

    ConnectionSettings role = TestDatabase::settings();
    role.user = Role;
    role.password = RolePassword;
    QList<ConnectionSettings> logins{TestDatabase::settings()};
    if (halving)
        logins << role;
    for (const ConnectionSettings &settings : std::as_const(logins)) {
        exec(
            QStringList{"DROP TABLE IF EXISTS " + ref.sql(),
                        QStringLiteral("CREATE TABLE %1 (%2)").arg(ref.sql(), columns.join(", "))} +
            inserts);
        const QString before = column(digest).value(0);

        for (const QString &field : std::as_const(fields))
            QVERIFY2(PreviewField(settings, ref, field).contains("smith"), qPrintable(field));

        PreviewResult preview;
        ChangePreview previewer(settings, CaseChange{ref, fields, CaseMode::Upper});
        connect(&previewer, &ChangePreview::finished, this,
                [&](const PreviewResult &r) { preview = r; });
        previewer.run();
        QVERIFY2(preview.error.isEmpty(), qPrintable(preview.error));
        QCOMPARE(preview.counted.size(), fields.size());
        for (const FieldCounts &counted : std::as_const(preview.counted)) {
            QCOMPARE(counted.rowsRead, values.size());
            QVERIFY2(counted.rowsChanging == changing, qPrintable(counted.name));
        }

        ChangeRunSummary summary;
        ChangeRun run(settings, CaseChange{ref, fields, CaseMode::Upper});
        connect(&run, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { summary = s; });
        run.run();
        QVERIFY2(!summary.endedEarly, qPrintable(summary.firstError));
        QVERIFY2(summary.firstError.contains("check constraint"), qPrintable(summary.firstError));
        // The refused row keeps every field and counts once.
        QCOMPARE(summary.valuesNotWritten, 1);
        QCOMPARE(summary.rowsWritten, written);
        for (const QString &field : std::as_const(fields)) {
            const QString f = QuoteIdentifier(field);
            QVERIFY2(column(QStringLiteral("SELECT %1 FROM %2 WHERE %1 <> upper(%1)")
                                .arg(f, ref.sql())) == QStringList{"refused"},
                     qPrintable(field));
            QVERIFY2(column(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = %3")
                                .arg(ref.sql(), f, QuoteLiteral(longValue.toUpper()))) ==
                         QStringList{"1"},
                     qPrintable(field));
        }

        const std::optional<JournalRun> journal = ChangeJournal::Last(settings);
        QVERIFY(journal);
        QCOMPARE(journal->rowsRecorded, summary.rowsWritten);
        UndoSummary undone;
        UndoRun undo(settings, *journal);
        connect(&undo, &UndoRun::finished, this, [&](const UndoSummary &s) { undone = s; });
        undo.run();
        QVERIFY2(undone.firstError.isEmpty(), qPrintable(undone.firstError));
        QCOMPARE(undone.rowsRestored, summary.rowsWritten);
        QCOMPARE(column(digest), QStringList{before});
    }
}

ConnectionSettings TestOwnNames::hostile(const QString &user) const
{
    ConnectionSettings values = hostileDb_->settings();
    if (!user.isEmpty()) {
        values.user = user;
        values.password = TenantPassword;
    }
    return values;
}

QStringList TestOwnNames::hostileColumn(const QString &sql)
{
    if (!hostileFixture_.isOpen()) {
        hostileFixture_ = QSqlDatabase::addDatabase("QODBC", "hostile-fixture");
        hostileFixture_.setDatabaseName(
            ConnectionString(hostile(), QStringLiteral("-c search_path=pg_catalog,public")));
        if (!hostileFixture_.open())
            return {"<failed: " + hostileFixture_.lastError().text() + ">"};
    }
    return TestDatabase::column(hostileFixture_, sql);
}

void TestOwnNames::hostileExec(const QStringList &statements)
{
    QVERIFY(hostileColumn("SELECT 1") == QStringList{"1"});
    const QString error = TestDatabase::exec(hostileFixture_, statements);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestOwnNames::tenantExec(const QStringList &statements)
{
    const QString error = TestDatabase::execIn(
        hostile(Tenant), QStringList{"SET search_path = pg_catalog, public"} + statements);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestOwnNames::hostileNamesChangeOnlyTheirRows_data()
{
    QTest::addColumn<QString>("name"); // the schema, the table and the key; the field adds " f"
    QTest::addColumn<bool>("planted"); // functions and operators in public, which comes first
    const QStringList names = {"$recasor$",
                               "$recasor",
                               "$$",
                               "$1",
                               "\"",
                               "\"\"",
                               "'",
                               ";",
                               "--",
                               "/*",
                               "*/",
                               "\\",
                               "\\'",
                               "%I",
                               "%1 %2",
                               ":x",
                               "?",
                               "e'\\x27",
                               "-- \n; SELECT 1",
                               "id$recasor$; ALTER ROLE " + Tenant + " SUPERUSER; --",
                               "x$$; ALTER ROLE " + Tenant + " SUPERUSER; --",
                               "'); ALTER ROLE " + Tenant + " SUPERUSER; --",
                               "\"); ALTER ROLE " + Tenant + " SUPERUSER; --",
                               "*/ ALTER ROLE " + Tenant + " SUPERUSER; /*"};
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << name << false;
    QTest::newRow("planted operators and functions") << "people" << true;
}

// The tenant, who is no superuser, owns the database, names a table's schema, table, key and
// field to break out of the statements that quote them, and lets function bodies go unchecked
// so that a body that a name cut short would still be made. A superuser previews, changes and
// undoes the field: only the field's values change, as the rule says, and then back.
void TestOwnNames::hostileNamesChangeOnlyTheirRows()
{
    QFETCH(QString, name);
    QFETCH(bool, planted);
    if (!hostileDb_) {
        exec({"DROP ROLE IF EXISTS " + Tenant,
              "CREATE ROLE " + Tenant + " LOGIN PASSWORD '" + TenantPassword + "'"});
        hostileDb_ = std::make_unique<ScratchDatabase>(QStringLiteral("recasor_tst_hostile"));
        QVERIFY2(hostileDb_->error().isEmpty(), qPrintable(hostileDb_->error()));
        hostileExec({"ALTER DATABASE recasor_tst_hostile OWNER TO " + Tenant});
        tenantExec({"ALTER DATABASE recasor_tst_hostile SET check_function_bodies = off"});
    }
    const QString field = name + " f";
    const TableRef ref{planted ? QStringLiteral("public") : name, name};
    const QString f = QuoteIdentifier(field), k = QuoteIdentifier(name);
    tenantExec(
        QStringList{planted ? QString("SELECT 1") : "CREATE SCHEMA " + QuoteIdentifier(ref.schema),
                    QStringLiteral("CREATE TABLE %1 (%2 int PRIMARY KEY, %3 text"
                                   " CHECK (%3 <> 'REFUSED'))")
                        .arg(ref.sql(), k, f),
                    QStringLiteral("INSERT INTO %1 VALUES (1, 'alice'), (2, 'o''neil'),"
                                   " (3, 'refused'), (4, NULL), (5, 'ALREADY')")
                        .arg(ref.sql())});
    if (planted) {
        tenantExec(Planted +
                   QStringList{"ALTER DATABASE recasor_tst_hostile SET search_path = public, "
                               "pg_catalog"});
        // The planted objects catch a session that is not hardened, the driver's own
        // statements at login included.
        QSqlDatabase plain = QSqlDatabase::addDatabase("QODBC", "hostile-plain");
        plain.setDatabaseName(ConnectionString(hostile()));
        QVERIFY(plain.open());
        QVERIFY(TestDatabase::exec(plain, {"SELECT 'a'::text = 'b'::text"}).isEmpty());
        plain.close();
        plain = QSqlDatabase();
        QSqlDatabase::removeDatabase("hostile-plain");
        QCOMPARE(hostileColumn("SELECT count(DISTINCT what) FROM public.captured"),
                 QStringList{"2"});
        hostileExec({"TRUNCATE public.captured"});
    }
    const QString digest = CatalogueDigest;
    const QStringList before = hostileColumn(digest);
    const QString values = QStringLiteral("SELECT string_agg(coalesce(%1, '-'), '|' ORDER BY %2)"
                                          " FROM %3")
                               .arg(f, k, ref.sql());
    const ConnectionSettings superuser = hostile();

    QVERIFY(PreviewField(superuser, ref, field).contains("o'neil"));
    PreviewResult preview;
    ChangePreview previewer(superuser, CaseChange{ref, {field}, CaseMode::Upper});
    connect(&previewer, &ChangePreview::finished, this,
            [&](const PreviewResult &r) { preview = r; });
    previewer.run();
    QVERIFY2(preview.error.isEmpty(), qPrintable(preview.error));
    QCOMPARE(preview.counted.value(0).rowsChanging, 3);

    ChangeRunSummary summary;
    ChangeRun run(superuser, CaseChange{ref, {field}, CaseMode::Upper});
    connect(&run, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { summary = s; });
    run.run();
    QVERIFY2(!summary.endedEarly, qPrintable(summary.firstError));
    QCOMPARE(summary.rowsWritten, 2);
    QCOMPARE(summary.valuesNotWritten, 1);
    QCOMPARE(summary.untrustedOwners, QStringList{Tenant});
    QCOMPARE(hostileColumn(values), QStringList{"ALICE|O'NEIL|refused|-|ALREADY"});

    const std::optional<JournalRun> journal = ChangeJournal::Last(superuser);
    QVERIFY(journal);
    UndoSummary undone;
    UndoRun undo(superuser, *journal);
    connect(&undo, &UndoRun::finished, this, [&](const UndoSummary &s) { undone = s; });
    undo.run();
    QVERIFY2(undone.firstError.isEmpty(), qPrintable(undone.firstError));
    QCOMPARE(undone.rowsRestored, 2);
    QCOMPARE(undone.untrustedOwners, QStringList{Tenant});
    QCOMPARE(hostileColumn(values), QStringList{"alice|o'neil|refused|-|ALREADY"});

    QCOMPARE(hostileColumn(digest), before);
    QCOMPARE(hostileColumn("SELECT rolsuper FROM pg_roles WHERE rolname = '" + Tenant + "'"),
             QStringList{"0"});
    if (planted) {
        QCOMPARE(hostileColumn("SELECT count(*) FROM public.captured"), QStringList{"0"});
        tenantExec({"ALTER DATABASE recasor_tst_hostile RESET search_path",
                    "DROP TABLE public.captured", "DROP OPERATOR public.= (text, text)",
                    "DROP OPERATOR public.= (name, name)",
                    "DROP FUNCTION public.caught, public.text_eq, public.name_eq, public.unnest,"
                    " public.string_to_array, public.format, public.upper",
                    "DROP TABLE " + ref.sql()});
    } else {
        tenantExec({"DROP SCHEMA " + QuoteIdentifier(ref.schema) + " CASCADE"});
    }
}

QTEST_GUILESS_MAIN(TestOwnNames)
#include "tst_ownnames.moc"
