// The names the program gives its own columns, tables and variables in the statements it
// builds, used as the user's names: a text field so named converts, previews and undoes, by
// every way of writing a chunk, with or without a key, and a table named like a statement's
// own table converts too.
#include "db/fieldpreview.h"
#include "db/sqlquote.h"
#include "journal/undorun.h"
#include "preview/changepreview.h"
#include "run/changerun.h"
#include "testdatabase.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Role = QStringLiteral("recasor_own_names");
const QString RolePassword = QStringLiteral("own-names-pw");

} // namespace

class TestOwnNames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void userNamesMeetNoneOfTheProgramsOwn_data();
    void userNamesMeetNoneOfTheProgramsOwn();

private:
    QStringList column(const QString &sql) { return TestDatabase::column(db_, sql); }
    void exec(const QStringList &statements)
    {
        const QString error = TestDatabase::exec(db_, statements);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    QSqlDatabase db_;
    QTemporaryDir data_; // the journal's folder
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
    if (!db_.isOpen())
        return;
    exec({"DROP SCHEMA IF EXISTS own CASCADE",
          "GRANT TEMPORARY ON DATABASE " + TestDatabase::settings().database + " TO PUBLIC",
          "DROP OWNED BY " + Role, "DROP ROLE IF EXISTS " + Role});
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
    // function's parameters, variables and results, the catalogue lookups' own names.
    QStringList fields = {"t",  "v",  "w",      "z",     "c",    "o",       "n",
                          "i",  "id", "before", "total", "r",    "s",       "g",
                          "m",  "h",  "e",      "x",     "k",    "chunk",   "tree",
                          "v0", "lo", "hi",     "olds",  "news", "message", "attnum"};
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
        ChangePreview previewer(settings, ref, fields, CaseMode::Upper);
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
        ChangeRun run(settings, ref, fields, CaseMode::Upper);
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

QTEST_GUILESS_MAIN(TestOwnNames)
#include "tst_ownnames.moc"
