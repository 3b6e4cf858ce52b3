// The change run against the test server: end state, writes, failures, stop and progress.
#include "casing/wordexceptions.h"
#include "journal/changejournal.h"
#include "journal/runtexts.h"
#include "journal/undorun.h"
#include "run/changerun.h"
#include "shardedtable.h"
#include "sqlfixture.h"
#include "testdatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>

class TestChangeRun : public QObject, protected SqlFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyModeOnAwkwardValues();
    void emptyTableAndNoMode();
    void unchangedValuesAreNotWritten();
    void twoFieldsInOneRun();
    void refusedValuesStayAndTheRestChanges();
    void fieldsThatHoldText();
    void backslashesWithoutStandardStrings();
    void quotedNamesInAnotherSchema();
    void inheritedAndPartitionedTables();
    void partitionsOnAnotherServer();
    void partitionsOnAnotherServerThatCannotBeReached();
    void concurrentChangeOnAnotherServer();
    void concurrentChangeIsNotOverwritten();
    void busyTableEveryRowConverted();
    void stopBehindARowLock();
    void stopLeavesEveryRowWhole();
    void failuresOfTheWholeRun();
    void lostConnectionAndReadOnlyServer();

private:
    ChangeRunSummary runOn(const TableRef &table, const QStringList &fields,
                           std::optional<CaseMode> mode, QList<int> *progress = nullptr,
                           const ConnectionSettings &settings = TestDatabase::settings(),
                           const QStringList &exceptionWords = {}, bool nameRules = false);
    // A run during which another client runs the statements once, after the run has read its
    // first chunk and before it writes it; the other client's error text, or empty.
    ChangeRunSummary runWithOtherClient(const TableRef &table, const QStringList &statements,
                                        QString *otherError, const QStringList &fields = {"v"});

    QTemporaryDir data_; // the journal's folder
};

void TestChangeRun::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    qputenv("XDG_DATA_HOME", data_.path().toUtf8());
    db_ = TestDatabase::open();
    QVERIFY(db_.isOpen());
    exec({"DROP SCHEMA IF EXISTS cr CASCADE", "CREATE SCHEMA cr"});
}

void TestChangeRun::cleanupTestCase()
{
    if (db_.isOpen())
        exec({"DROP SCHEMA IF EXISTS cr CASCADE"});
    TestDatabase::close(db_);
}

ChangeRunSummary TestChangeRun::runOn(const TableRef &table, const QStringList &fields,
                                      std::optional<CaseMode> mode, QList<int> *progress,
                                      const ConnectionSettings &settings,
                                      const QStringList &exceptionWords, bool nameRules)
{
    ChangeRun run(settings, CaseChange{table, fields, mode, exceptionWords, nameRules});
    ChangeRunSummary summary;
    bool finished = false;
    connect(&run, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) {
        summary = s;
        finished = true;
    });
    if (progress)
        connect(&run, &ChangeRun::progress, this, [progress](int p) { progress->append(p); });
    run.run();
    if (!finished)
        QTest::qFail("the run did not report its end", __FILE__, __LINE__);
    return summary;
}

ChangeRunSummary TestChangeRun::runWithOtherClient(const TableRef &table,
                                                   const QStringList &statements,
                                                   QString *otherError, const QStringList &fields)
{
    ChangeRun run(TestDatabase::settings(), CaseChange{table, fields, CaseMode::Upper});
    bool done = false;
    run.setChunkReadHook([&] {
        if (done)
            return;
        done = true;
        QSqlDatabase other = TestDatabase::open();
        *otherError = TestDatabase::exec(other, statements);
        TestDatabase::close(other);
    });
    ChangeRunSummary summary;
    connect(&run, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { summary = s; });
    run.run();
    return summary;
}

void TestChangeRun::everyModeOnAwkwardValues()
{
    const QStringList values = {
        "O'Neil", "it's", "hELLO. wORLD!", "", "abc def", "abc def", QStringLiteral("école ÉCOLE"),
        QStringLiteral("smile 😀 東京"), QStringLiteral("e\u0301te\u0301"), "tab\there\rcr\nlf",
        "back\\slash 'q' \"dq\" ?", "{fn x} {d '2020-01-01'}",
        // ASCII values that one rule or another leaves as they are,
        // which the server may leave out of what it sends.
        "Already Proper", "ALREADY UPPER", "already lower", "Sentence already.", "x\tY", "a\rb",
        "line\nBreak", " lead", "\tTab", "A", "a", "123", "-",
        // and values that word exceptions change, one of them already in the Proper form
        "MCDONALD'S farm", "Usa", QStringLiteral("ÆRØSKØBING")};
    // Every mode with word exceptions and without them.
    const QStringList listed{"McDonald", "USA", "O'Neil", QStringLiteral("Ærøskøbing")};
    for (const auto &[mode, words] : {std::pair{CaseMode::Upper, listed},
                                      {CaseMode::Lower, listed},
                                      {CaseMode::Proper, listed},
                                      {CaseMode::Sentence, listed},
                                      {CaseMode::Upper, QStringList()},
                                      {CaseMode::Lower, QStringList()},
                                      {CaseMode::Proper, QStringList()},
                                      {CaseMode::Sentence, QStringList()}}) {
        exec({"DROP TABLE IF EXISTS cr.awkward",
              "CREATE TABLE cr.awkward (id serial, v text, other text DEFAULT 'Keep Me')"});
        QSqlQuery insert(db_);
        QVERIFY(insert.prepare("INSERT INTO cr.awkward (v) VALUES (?)"));
        for (const QString &value : values) {
            insert.bindValue(0, value);
            QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
        }
        exec({"INSERT INTO cr.awkward (v) VALUES (NULL)"});

        QList<int> progress;
        const ChangeRunSummary summary =
            runOn({"cr", "awkward"}, {"v"}, mode, &progress, TestDatabase::settings(), words);
        QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
        QVERIFY(!summary.endedEarly);
        QCOMPARE(summary.rowsRead, values.size() + 1);
        QCOMPARE(progress.value(progress.size() - 1), 100);

        QStringList expected;
        qint64 changedRows = 0;
        const WordExceptions exceptions(words);
        for (const QString &value : values) {
            expected << ApplyCaseMode(mode, value, &exceptions);
            changedRows += expected.last() != value;
        }
        expected << "<NULL>";
        QCOMPARE(column("SELECT v FROM cr.awkward ORDER BY id"), expected);
        QCOMPARE(summary.valuesChanged, changedRows);
        QCOMPARE(summary.rowsWritten, changedRows);
        QCOMPARE(column("SELECT DISTINCT other FROM cr.awkward"), QStringList{"Keep Me"});
        if (mode == CaseMode::Proper && !words.isEmpty()) {
            QCOMPARE(column("SELECT v FROM cr.awkward WHERE id = 1 OR id >= 26 ORDER BY id"),
                     (QStringList{"O'Neil", "McDonald's Farm", "USA", QStringLiteral("Ærøskøbing"),
                                  "<NULL>"}));
        }
    }
    QCOMPARE(column("SELECT v FROM cr.awkward WHERE id <= 2 ORDER BY id"),
             (QStringList{"O'neil", "It's"}));

    // The name rules change values that Proper Case leaves as they are ("Mccartney"), in arrays
    // too, before the words; the journal records that they were on.
    exec({"CREATE TABLE cr.names (id int PRIMARY KEY, v text, a text[])",
          "INSERT INTO cr.names VALUES (1, 'Mccartney', '{o''neill,Mccoy}'),"
          " (2, 'LUDWIG VAN BEETHOVEN', NULL), (3, 'henry viii de niro', '{}')"});
    const ChangeRunSummary named = runOn({"cr", "names"}, {"v", "a"}, CaseMode::Proper, nullptr,
                                         TestDatabase::settings(), {"De Niro"}, true);
    QVERIFY2(named.firstError.isEmpty(), qPrintable(named.firstError));
    QCOMPARE(column("SELECT v || ' ' || coalesce(a::text, '-') FROM cr.names ORDER BY id"),
             (QStringList{"McCartney {O'Neill,McCoy}", "Ludwig van Beethoven -",
                          "Henry Viii De Niro {}"}));
    QVERIFY(ChangeJournal::Last(TestDatabase::settings()).value_or(JournalRun{}).nameRules);

    // Values far beyond a 16-bit length convert whole.
    exec({"CREATE TABLE cr.long (v text)",
          "INSERT INTO cr.long SELECT repeat('word ONE ', 12000) FROM generate_series(1, 3)"});
    const ChangeRunSummary summary = runOn({"cr", "long"}, {"v"}, CaseMode::Proper);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(column("SELECT count(*) FROM cr.long WHERE v = repeat('Word One ', 12000)"),
             QStringList{"3"});
}

void TestChangeRun::emptyTableAndNoMode()
{
    exec({"CREATE TABLE cr.empty (v text)"});
    QList<int> progress;
    ChangeRunSummary summary = runOn({"cr", "empty"}, {"v"}, CaseMode::Upper, &progress);
    QVERIFY(summary.firstError.isEmpty());
    QCOMPARE(summary.rowsRead, 0);
    QCOMPARE(progress, QList<int>{100});

    exec({"CREATE TABLE cr.nomode (v text)", "INSERT INTO cr.nomode VALUES ('abc')"});
    summary = runOn({"cr", "nomode"}, {"v"}, std::nullopt);
    QVERIFY(summary.noMode);
    QCOMPARE(summary.rowsWritten, 0);
    QCOMPARE(column("SELECT v FROM cr.nomode"), QStringList{"abc"});
}

void TestChangeRun::unchangedValuesAreNotWritten()
{
    exec({"CREATE TABLE cr.writes (v text)", "CREATE TABLE cr.write_log (old text)",
          "CREATE FUNCTION cr.log_write() RETURNS trigger LANGUAGE plpgsql AS "
          "$$BEGIN INSERT INTO cr.write_log VALUES (OLD.v); RETURN NEW; END$$",
          "CREATE TRIGGER log_write BEFORE UPDATE ON cr.writes FOR EACH ROW "
          "EXECUTE FUNCTION cr.log_write()",
          "INSERT INTO cr.writes VALUES ('ALREADY'), ('ALREADY'), ('change me'), ('change me'), "
          "('123'), (''), (NULL)"});
    const ChangeRunSummary summary = runOn({"cr", "writes"}, {"v"}, CaseMode::Upper);
    QVERIFY(summary.firstError.isEmpty());
    QCOMPARE(summary.rowsWritten, 2);
    QCOMPARE(column("SELECT old FROM cr.write_log"), (QStringList{"change me", "change me"}));
    QCOMPARE(column("SELECT count(*) FROM cr.writes WHERE v = 'CHANGE ME'"), QStringList{"2"});
    QCOMPARE(column("SELECT count(*) FROM cr.writes WHERE v IS NULL"), QStringList{"1"});
}

void TestChangeRun::twoFieldsInOneRun()
{
    exec({"CREATE TABLE cr.two (a text, b varchar(20), c text)",
          "INSERT INTO cr.two SELECT 'first ' || i, 'SECOND ' || i, 'third' "
          "FROM generate_series(1, 500) i"});
    const ChangeRunSummary summary = runOn({"cr", "two"}, {"a", "b"}, CaseMode::Proper);
    QVERIFY(summary.firstError.isEmpty());
    QCOMPARE(summary.rowsRead, 500);
    QCOMPARE(column("SELECT count(*) FROM cr.two WHERE a = 'First ' || substr(b, 8) "
                    "AND b LIKE 'Second %' AND c = 'third'"),
             QStringList{"500"});

    // Three fields in one pass: each row is written once, with only the fields it changes,
    // and a row whose fields all stay is not written.
    exec({"CREATE TABLE cr.three (id int, a text, b varchar(20), c text, d text)",
          "CREATE TABLE cr.three_log (id int, old text, new text)",
          "CREATE FUNCTION cr.log_three() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN"
          " INSERT INTO cr.three_log VALUES (OLD.id, OLD::text, NEW::text); RETURN NEW; END$$",
          "CREATE TRIGGER log_three BEFORE UPDATE ON cr.three FOR EACH ROW "
          "EXECUTE FUNCTION cr.log_three()",
          "INSERT INTO cr.three SELECT i, CASE WHEN i % 3 = 0 THEN 'A ' ELSE 'a ' END || i,"
          " CASE WHEN i % 3 = 1 THEN 'b ' ELSE 'B ' END || i, 'C', 'd' FROM generate_series(1, "
          "900) i",
          "INSERT INTO cr.three VALUES (0, NULL, 'b', '', 'd')"});
    const ChangeRunSummary three = runOn({"cr", "three"}, {"a", "b", "c"}, CaseMode::Upper);
    QVERIFY(three.firstError.isEmpty());
    QCOMPARE(three.rowsRead, 901);
    QCOMPARE(three.valuesChanged, 600 + 300 + 1);
    QCOMPARE(three.rowsWritten, 601);
    QCOMPARE(column("SELECT count(*) || ' ' || count(DISTINCT id) FROM cr.three_log"),
             QStringList{"601 601"});
    QCOMPARE(column("SELECT count(*) FROM cr.three WHERE a = 'A ' || id AND b = 'B ' || id "
                    "AND c = 'C' AND d = 'd'"),
             QStringList{"900"});
    QCOMPARE(column("SELECT concat_ws('|', a, b, c, d) FROM cr.three WHERE id = 0"),
             QStringList{"B||d"});
}

void TestChangeRun::refusedValuesStayAndTheRestChanges()
{
    // One converted value collides with a unique index; its rows stay, the others change.
    exec({"CREATE TABLE cr.uniq (v text UNIQUE)",
          "INSERT INTO cr.uniq SELECT 'row ' || i FROM generate_series(1, 300) i",
          "INSERT INTO cr.uniq VALUES ('ROW 7 TAKEN'), ('row 7 taken')"});
    ChangeRunSummary summary = runOn({"cr", "uniq"}, {"v"}, CaseMode::Upper);
    QCOMPARE(summary.valuesNotWritten, 1);
    QVERIFY(!summary.endedEarly);
    QVERIFY2(summary.firstError.contains("duplicate key"), qPrintable(summary.firstError));
    QCOMPARE(summary.firstErrorStep, ChangeRunStep::Write);
    QCOMPARE(column("SELECT count(*) FROM cr.uniq WHERE v LIKE 'ROW %'"), QStringList{"301"});
    QCOMPARE(column("SELECT v FROM cr.uniq WHERE v LIKE 'row%'"), QStringList{"row 7 taken"});

    // The same far into a large table, after many chunks have been written.
    exec({"CREATE TABLE cr.uniq_late (v text UNIQUE)",
          "INSERT INTO cr.uniq_late SELECT 'row ' || i FROM generate_series(1, 100000) i",
          "INSERT INTO cr.uniq_late VALUES ('LATE TAKEN'), ('late taken')"});
    summary = runOn({"cr", "uniq_late"}, {"v"}, CaseMode::Upper);
    QVERIFY(!summary.endedEarly);
    QCOMPARE(summary.valuesNotWritten, 1);
    QVERIFY2(summary.firstError.contains("duplicate key"), qPrintable(summary.firstError));
    QCOMPARE(column("SELECT count(*) FROM cr.uniq_late WHERE v = upper(v)"), QStringList{"100001"});

    // A check constraint and a trigger's own error count as refused values too.
    exec({"CREATE TABLE cr.checked (v text CHECK (v <> 'NO'))",
          "CREATE FUNCTION cr.refuse() RETURNS trigger LANGUAGE plpgsql AS "
          "$$BEGIN IF NEW.v = 'VETO' THEN RAISE EXCEPTION 'vetoed by trigger'; END IF; "
          "RETURN NEW; END$$",
          "CREATE TRIGGER refuse BEFORE UPDATE ON cr.checked FOR EACH ROW "
          "EXECUTE FUNCTION cr.refuse()",
          "INSERT INTO cr.checked VALUES ('no'), ('veto'), ('yes'), ('no')"});
    summary = runOn({"cr", "checked"}, {"v"}, CaseMode::Upper);
    QCOMPARE(summary.valuesNotWritten, 2);
    QVERIFY(!summary.endedEarly);
    QCOMPARE(column("SELECT v FROM cr.checked ORDER BY v"),
             (QStringList{"YES", "no", "no", "veto"}));
    QCOMPARE(summary.rowsRefused, 3);

    // A check constraint, a trigger and a domain refusing at once, over many chunks: every
    // refused row counts, with its text; written and refused rows make the rows that change.
    exec({"CREATE DOMAIN cr.no_dom AS text CHECK (VALUE <> 'DOM')",
          "CREATE TABLE cr.refusing (id int, v cr.no_dom CHECK (v <> 'NO'))",
          "CREATE TRIGGER refuse BEFORE UPDATE ON cr.refusing FOR EACH ROW "
          "EXECUTE FUNCTION cr.refuse()",
          "INSERT INTO cr.refusing SELECT i, CASE WHEN i % 6000 = 1 THEN 'no' WHEN i % 40000 = 2 "
          "THEN 'veto' WHEN i % 50000 = 3 THEN 'dom' ELSE 'row ' || i END "
          "FROM generate_series(1, 100000) i"});
    summary = runOn({"cr", "refusing"}, {"v"}, CaseMode::Upper);
    QVERIFY2(!summary.endedEarly, qPrintable(summary.firstError));
    QCOMPARE(summary.rowsRefused, 17 + 3 + 2);
    QCOMPARE(summary.valuesNotWritten, 3);
    QCOMPARE(summary.refusals.size(), 3);
    QMap<qint64, QString> texts;
    for (const Refusal &refusal : summary.refusals)
        texts.insert(refusal.rows, refusal.text);
    QCOMPARE(texts.keys(), (QList<qint64>{2, 3, 17}));
    QVERIFY2(texts[17].contains("refusing_v_check"), qPrintable(texts[17]));
    QVERIFY2(texts[3].contains("vetoed by trigger"), qPrintable(texts[3]));
    QVERIFY2(texts[2].contains("no_dom"), qPrintable(texts[2]));
    QCOMPARE(summary.rowsChanging, 100000);
    QCOMPARE(summary.rowsWritten + summary.rowsRefused, summary.rowsChanging);
    QCOMPARE(column("SELECT count(*) FROM cr.refusing WHERE v <> upper(v)"), QStringList{"22"});

    // A row refused for one field keeps its old values in every field, and counts once.
    exec({"CREATE TABLE cr.checked_two (a text, b text CHECK (b <> 'NO'))",
          "INSERT INTO cr.checked_two VALUES ('keep', 'no'), ('x', 'y'), ('z', 'NO ')"});
    summary = runOn({"cr", "checked_two"}, {"a", "b"}, CaseMode::Upper);
    QCOMPARE(summary.valuesNotWritten, 1);
    QCOMPARE(summary.rowsWritten, 2);
    QCOMPARE(column("SELECT a || b FROM cr.checked_two ORDER BY a"),
             (QStringList{"XY", "ZNO ", "keepno"}));

    // A constraint checked only at the commit refuses a value too, and the journal keeps only
    // the rows that were written, not those of the commits the server refused.
    exec({"CREATE TABLE cr.deferred (id int PRIMARY KEY, "
          "v text UNIQUE DEFERRABLE INITIALLY DEFERRED)",
          "INSERT INTO cr.deferred SELECT i, 'row ' || i FROM generate_series(1, 300) i",
          "INSERT INTO cr.deferred VALUES (1001, 'ROW 7 TAKEN'), (1002, 'row 7 taken')"});
    summary = runOn({"cr", "deferred"}, {"v"}, CaseMode::Upper);
    QCOMPARE(summary.valuesNotWritten, 1);
    QCOMPARE(summary.rowsWritten, 300);
    QCOMPARE(column("SELECT v FROM cr.deferred WHERE v <> upper(v)"), QStringList{"row 7 taken"});
    const std::optional<JournalRun> journal = ChangeJournal::Last(TestDatabase::settings());
    QVERIFY(journal);
    QCOMPARE(journal->rowsRecorded, summary.rowsWritten);
}

void TestChangeRun::fieldsThatHoldText()
{
    // Only text is converted: the text form of json, xml, hstore, an enum or a number is not the
    // user's text. Character types, domains over them and arrays of them are; a generated
    // column cannot be written. The other fields still run.
    exec({"CREATE EXTENSION IF NOT EXISTS hstore", "CREATE EXTENSION IF NOT EXISTS citext",
          "CREATE TYPE cr.mood AS ENUM ('happy', 'HAPPY')",
          "CREATE DOMAIN cr.label AS text CHECK (VALUE <> 'REFUSED')",
          "CREATE TABLE cr.kinds (i integer, j json, jb jsonb, x xml, h hstore, m cr.mood,"
          " g text GENERATED ALWAYS AS (lower(t)) STORED, t text, vc varchar(20), ch char(6),"
          " nm name, ci citext, d cr.label, a text[], da cr.label[])",
          "INSERT INTO cr.kinds (i, j, jb, x, h, m, t, vc, ch, nm, ci, d, a, da) VALUES (42,"
          " '{\"key\": \"value\"}', '{\"key\": \"value\"}', '<el at=\"v\">text</el>',"
          " 'key => value', 'happy', 'some text', 'var char', 'ab', 'a name', 'ci text',"
          " 'in domain', ARRAY['one', NULL, 'two \"q\" \\x', 'null'], ARRAY['d1', "
          "NULL]::cr.label[])"});
    const QStringList all = {"i",  "j",  "jb", "x",  "h", "m", "g", "t",
                             "vc", "ch", "nm", "ci", "d", "a", "da"};
    const ChangeRunSummary summary = runOn({"cr", "kinds"}, all, CaseMode::Upper);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QVERIFY(!summary.endedEarly);
    QCOMPARE(
        LeftAloneText(summary.leftAlone),
        "Left alone (not text): i (integer), j (json), jb (jsonb), x (xml), h (public.hstore), "
        "m (cr.mood)\nLeft alone (generated): g (text)");
    QCOMPARE(column("SELECT concat_ws('|', i, j, jb, x, h, m, g) FROM cr.kinds"),
             QStringList{"42|{\"key\": \"value\"}|{\"key\": \"value\"}|<el at=\"v\">text</el>|"
                         "\"key\"=>\"value\"|happy|some text"});
    QCOMPARE(
        column(
            "SELECT concat_ws('|', t, vc, ch || '.', octet_length(ch), nm, ci, d) FROM cr.kinds"),
        QStringList{"SOME TEXT|VAR CHAR|AB.|6|A NAME|CI TEXT|IN DOMAIN"});
    // Arrays element by element: NULL elements stay NULL, a text "null" becomes "NULL".
    QCOMPARE(column("SELECT a[1] || '|' || (a[2] IS NULL) || '|' || a[3] || '|' || a[4] || '|' || "
                    "array_length(a, 1) || '|' || da::text FROM cr.kinds"),
             QStringList{"ONE|true|TWO \"Q\" \\X|NULL|4|{D1,NULL}"});

    // Integers, dates, booleans and uuids are left alone entirely: nothing is written.
    exec({"CREATE TABLE cr.typed (i integer, d date, b boolean, u uuid)",
          "CREATE TABLE cr.typed_log (n int)",
          "CREATE FUNCTION cr.typed_write() RETURNS trigger LANGUAGE plpgsql AS "
          "$$BEGIN INSERT INTO cr.typed_log VALUES (1); RETURN NEW; END$$",
          "CREATE TRIGGER typed_write BEFORE UPDATE ON cr.typed FOR EACH ROW "
          "EXECUTE FUNCTION cr.typed_write()",
          "INSERT INTO cr.typed VALUES (42, '2024-02-29', true, "
          "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11')"});
    const ChangeRunSummary typed = runOn({"cr", "typed"}, {"i", "d", "b", "u"}, CaseMode::Upper);
    QVERIFY2(typed.firstError.isEmpty(), qPrintable(typed.firstError));
    QCOMPARE(typed.rowsWritten, 0);
    QCOMPARE(typed.leftAlone.size(), 4);
    QCOMPARE(column("SELECT count(*) FROM cr.typed_log"), QStringList{"0"});

    // A domain's constraint refuses one value; the rest of the field converts.
    exec({"CREATE TABLE cr.labels (d cr.label)",
          "INSERT INTO cr.labels VALUES ('refused'), ('fine'), ('also fine')"});
    const ChangeRunSummary labels = runOn({"cr", "labels"}, {"d"}, CaseMode::Upper);
    QCOMPARE(labels.valuesNotWritten, 1);
    QCOMPARE(column("SELECT d FROM cr.labels ORDER BY d"),
             (QStringList{"ALSO FINE", "FINE", "refused"}));
}

void TestChangeRun::backslashesWithoutStandardStrings()
{
    const QString database = TestDatabase::settings().database;
    exec({QStringLiteral("ALTER DATABASE \"%1\" SET standard_conforming_strings = off")
              .arg(database),
          "CREATE TABLE cr.slashes (v text)"});
    QSqlQuery insert(db_);
    QVERIFY(insert.prepare("INSERT INTO cr.slashes VALUES (?)"));
    const QStringList values = {"c:\\dir\\file", "end\\", "\\'quoted\\'", "\\\\two", "it''s"};
    for (const QString &value : values) {
        insert.bindValue(0, value);
        QVERIFY(insert.exec());
    }
    const ChangeRunSummary summary = runOn({"cr", "slashes"}, {"v"}, CaseMode::Upper);
    exec({QStringLiteral("ALTER DATABASE \"%1\" RESET standard_conforming_strings").arg(database)});
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QStringList expected;
    for (const QString &value : values)
        expected << UpperCase(value);
    expected.sort();
    QStringList actual = column("SELECT v FROM cr.slashes");
    actual.sort();
    QCOMPARE(actual, expected);
}

void TestChangeRun::quotedNamesInAnotherSchema()
{
    exec({"CREATE SCHEMA \"Sales\"",
          "CREATE TABLE \"Sales\".\"we\"\"ird ta;ble\" (\"Fïeld \"\"x\"\"\" text, \"Other\" text)",
          "CREATE TABLE public.\"we\"\"ird ta;ble\" (\"Fïeld \"\"x\"\"\" text)",
          "INSERT INTO \"Sales\".\"we\"\"ird ta;ble\" VALUES ('mixed Case', 'x')",
          "INSERT INTO public.\"we\"\"ird ta;ble\" VALUES ('mixed Case')"});
    const ChangeRunSummary summary =
        runOn({"Sales", "we\"ird ta;ble"}, {"Fïeld \"x\""}, CaseMode::Lower);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(column("SELECT \"Fïeld \"\"x\"\"\" FROM \"Sales\".\"we\"\"ird ta;ble\""),
             QStringList{"mixed case"});
    // The table of the same name in another schema is left alone.
    QCOMPARE(column("SELECT \"Fïeld \"\"x\"\"\" FROM public.\"we\"\"ird ta;ble\""),
             QStringList{"mixed Case"});
    exec({"DROP SCHEMA \"Sales\" CASCADE", "DROP TABLE public.\"we\"\"ird ta;ble\""});
}

void TestChangeRun::inheritedAndPartitionedTables()
{
    exec({"CREATE TABLE cr.parted (k int, v text) PARTITION BY RANGE (k)",
          "CREATE TABLE cr.parted_a PARTITION OF cr.parted FOR VALUES FROM (0) TO (100)",
          "CREATE TABLE cr.parted_b PARTITION OF cr.parted FOR VALUES FROM (100) TO (1000)",
          "INSERT INTO cr.parted SELECT i, 'value ' || i FROM generate_series(1, 999) i",
          "CREATE TABLE cr.base (v text)", "CREATE TABLE cr.derived (extra int) INHERITS (cr.base)",
          "INSERT INTO cr.base VALUES ('in base')",
          "INSERT INTO cr.derived VALUES ('in derived', 1)"});
    ChangeRunSummary summary = runOn({"cr", "parted"}, {"v"}, CaseMode::Upper);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(summary.rowsWritten, 999);
    QCOMPARE(column("SELECT count(*) FROM cr.parted WHERE v LIKE 'VALUE %'"), QStringList{"999"});

    summary = runOn({"cr", "base"}, {"v"}, CaseMode::Proper);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(column("SELECT v FROM cr.base ORDER BY v"), (QStringList{"In Base", "In Derived"}));

    // The converted field is the partition key: rows move to the partition of their new value.
    exec({"CREATE TABLE cr.bykey (v text, n int) PARTITION BY LIST (v)",
          "CREATE TABLE cr.bykey_low PARTITION OF cr.bykey FOR VALUES IN ('abc', 'def')",
          "CREATE TABLE cr.bykey_up PARTITION OF cr.bykey FOR VALUES IN ('ABC', 'DEF')",
          "INSERT INTO cr.bykey VALUES ('abc', 1), ('def', 2), ('abc', 3)"});
    summary = runOn({"cr", "bykey"}, {"v"}, CaseMode::Upper);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(summary.valuesNotWritten, 0);
    QCOMPARE(summary.rowsWritten, 3);
    QCOMPARE(column("SELECT v || n FROM cr.bykey_up ORDER BY n"),
             (QStringList{"ABC1", "DEF2", "ABC3"}));
}

void TestChangeRun::partitionsOnAnotherServer()
{
    // Every row of the foreign partition is converted too, in each mode, walked by its key.
    REQUIRE_REMOTE_DATABASE();
    QString failure =
        ShardedTable::make(TestDatabase::settings(), "cr", "sharded", 30, 6020, "'ann lee ' || i");
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QList<std::pair<CaseMode, QString>> modes{{CaseMode::Upper, "upper('ann lee ' || id)"},
                                                    {CaseMode::Proper, "'Ann Lee ' || id"},
                                                    {CaseMode::Sentence, "'Ann lee ' || id"},
                                                    {CaseMode::Lower, "'ann lee ' || id"}};
    for (const auto &[mode, expected] : modes) {
        const ChangeRunSummary summary = runOn({"cr", "sharded"}, {"name"}, mode);
        QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
        QCOMPARE(summary.rowsWritten, 6050);
        QCOMPARE(summary.relationsLeft.size(), 0);
        QCOMPARE(column("SELECT count(*) FROM cr.sharded WHERE name = " + expected),
                 QStringList{"6050"});
    }

    // Two fields, one of which a row leaves as it is: only the other is written there.
    failure = ShardedTable::execRemote(
        {"ALTER TABLE cr.sharded_far ADD COLUMN city text",
         "UPDATE cr.sharded_far SET city = CASE WHEN id % 2 = 0 THEN 'PARIS' ELSE 'rome' END"});
    if (failure.isEmpty())
        failure = TestDatabase::exec(db_, {"ALTER TABLE cr.sharded ADD COLUMN city text"});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const ChangeRunSummary two = runOn({"cr", "sharded"}, {"name", "city"}, CaseMode::Upper);
    QVERIFY2(two.firstError.isEmpty(), qPrintable(two.firstError));
    QCOMPARE(two.rowsWritten, 6050);
    QCOMPARE(column("SELECT count(*) FROM cr.sharded WHERE name = upper(name)"
                    " AND city IN ('PARIS', 'ROME')"),
             QStringList{"6020"});
    exec({"DROP TABLE cr.sharded"});

    // A partition key need not be unique: rows that share one are each written with their own
    // values, and a row the remote server refuses keeps its value and counts once.
    exec({"CREATE TABLE cr.shared (id int, name text) PARTITION BY RANGE (id)"});
    failure = ShardedTable::makeForeign(
        TestDatabase::settings(), "cr", "shared_far", "id int, name text CHECK (name <> 'NO')",
        "OF cr.shared FOR VALUES FROM (0) TO (10)",
        {"INSERT INTO cr.shared_far VALUES (1, 'a'), (1, 'b'), (2, 'no'), (2, 'c'), (3, 'd'),"
         " (3, 'd'), (4, 'e')"});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const ChangeRunSummary shared = runOn({"cr", "shared"}, {"name"}, CaseMode::Upper);
    QVERIFY2(shared.firstError.contains("check constraint"), qPrintable(shared.firstError));
    QCOMPARE(shared.rowsWritten, 6);
    QCOMPARE(shared.valuesNotWritten, 1);
    QCOMPARE(column("SELECT string_agg(name, ',' ORDER BY id, name) FROM cr.shared"),
             QStringList{"A,B,C,no,D,D,E"});
    exec({"DROP TABLE cr.shared"});
}

void TestChangeRun::partitionsOnAnotherServerThatCannotBeReached()
{
    // A partition whose server is down, or that has no key to find its rows by, is said with
    // its rows left; the rest is converted.
    REQUIRE_REMOTE_DATABASE();
    QString failure =
        ShardedTable::makeForeign(TestDatabase::settings(), "cr", "inh_far", "id int, v text", "",
                                  {"INSERT INTO cr.inh_far VALUES (1, 'far'), (2, 'x')"});
    if (failure.isEmpty())
        failure = TestDatabase::exec(
            db_, {"CREATE TABLE cr.downed (id int, v text) PARTITION BY RANGE (id)",
                  "CREATE TABLE cr.downed_here PARTITION OF cr.downed FOR VALUES FROM (0) TO (10)",
                  "INSERT INTO cr.downed SELECT i, 'here ' || i FROM generate_series(0, 9) i",
                  "CREATE SERVER cr_down FOREIGN DATA WRAPPER postgres_fdw"
                  " OPTIONS (host '127.0.0.1', port '1', dbname 'gone')",
                  "CREATE USER MAPPING FOR CURRENT_USER SERVER cr_down",
                  "CREATE FOREIGN TABLE cr.downed_far PARTITION OF cr.downed"
                  " FOR VALUES FROM (10) TO (20) SERVER cr_down",
                  "CREATE TABLE cr.inh (id int, v text)", "INSERT INTO cr.inh VALUES (0, 'here')",
                  "ALTER FOREIGN TABLE cr.inh_far INHERIT cr.inh"});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    ChangeRunSummary summary = runOn({"cr", "downed"}, {"v"}, CaseMode::Upper);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(summary.rowsWritten, 10);
    QCOMPARE(summary.relationsLeft.size(), 1);
    QCOMPARE(summary.relationsLeft[0].name, "\"cr\".\"downed_far\"");
    QCOMPARE(summary.relationsLeft[0].rows, -1);
    QVERIFY(!summary.relationsLeft[0].reason.isEmpty());

    summary = runOn({"cr", "inh"}, {"v"}, CaseMode::Upper);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(summary.rowsWritten, 1);
    QCOMPARE(summary.relationsLeft.size(), 1);
    QCOMPARE(summary.relationsLeft[0].name, "\"cr\".\"inh_far\"");
    QCOMPARE(summary.relationsLeft[0].rows, 2);
    QCOMPARE(column("SELECT v FROM cr.inh ORDER BY id"), (QStringList{"HERE", "far", "x"}));
    exec({"DROP TABLE cr.downed, cr.inh CASCADE", "DROP SERVER cr_down CASCADE"});

    // Rows that share one value of the key by the hundred, within a range or at its end (the
    // 10,000th row), are not found by it: the partition is said with all its rows left.
    for (const auto &[sharing, left] :
         {std::pair{"SELECT 60, 'w' FROM generate_series(1, 150) UNION ALL SELECT i, 'v'"
                    " FROM generate_series(1, 50) i",
                    200},
          std::pair{"SELECT 9995, 'w' FROM generate_series(1, 150) UNION ALL SELECT i, 'v'"
                    " FROM generate_series(1, 9990) i",
                    10140}}) {
        exec({"CREATE TABLE cr.crowd (id int, v text) PARTITION BY RANGE (id)",
              "CREATE TABLE cr.crowd_here PARTITION OF cr.crowd FOR VALUES FROM (-9) TO (0)",
              "INSERT INTO cr.crowd VALUES (-1, 'here')"});
        failure =
            ShardedTable::makeForeign(TestDatabase::settings(), "cr", "crowd_far", "id int, v text",
                                      "OF cr.crowd FOR VALUES FROM (0) TO (20000)",
                                      {QStringLiteral("INSERT INTO cr.crowd_far ") + sharing});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        summary = runOn({"cr", "crowd"}, {"v"}, CaseMode::Upper);
        QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
        QCOMPARE(summary.rowsWritten, 1);
        QCOMPARE(summary.relationsLeft.size(), 1);
        QCOMPARE(summary.relationsLeft[0].rows, left);
        QCOMPARE(column("SELECT count(*) FROM cr.crowd WHERE v = upper(v)"), QStringList{"1"});
        exec({"DROP TABLE cr.crowd"});
    }
    QVERIFY(ShardedTable::dropRemote("cr").isEmpty());
}

void TestChangeRun::concurrentChangeOnAnotherServer()
{
    // Another client changes a foreign row on its own server after the run has read it: its
    // value is never overwritten, and the other rows are converted.
    REQUIRE_REMOTE_DATABASE();
    const QString failure = ShardedTable::make(TestDatabase::settings(), "cr", "far_race", 5, 40);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    ChangeRun run(TestDatabase::settings(),
                  CaseChange{TableRef{"cr", "far_race"}, {"name"}, CaseMode::Upper});
    int chunks = 0;
    QString otherError;
    run.setChunkReadHook([&] {
        // The first chunk is the local partition's, the second the foreign one's.
        if (++chunks == 2)
            otherError = ShardedTable::execRemote(
                {"UPDATE cr.far_race_far SET name = 'Changed Elsewhere' WHERE id = 17"});
    });
    ChangeRunSummary summary;
    connect(&run, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { summary = s; });
    run.run();
    QVERIFY2(otherError.isEmpty(), qPrintable(otherError));
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(chunks, 2);
    QCOMPARE(summary.rowsWritten, 44);
    QCOMPARE(column("SELECT name FROM cr.far_race WHERE id = 17"),
             QStringList{"Changed Elsewhere"});
    QCOMPARE(column("SELECT count(*) FROM cr.far_race WHERE name = upper(name)"),
             QStringList{"44"});
    exec({"DROP TABLE cr.far_race"});
}

void TestChangeRun::concurrentChangeIsNotOverwritten()
{
    exec({"CREATE TABLE cr.race (id int, v text)",
          "INSERT INTO cr.race SELECT i, 'row ' || i FROM generate_series(1, 50) i"});
    // Another client changes a row after the run has read it and before it writes.
    QString hookError;
    const ChangeRunSummary summary = runWithOtherClient(
        {"cr", "race"}, {"UPDATE cr.race SET v = 'Changed Elsewhere' WHERE id = 7"}, &hookError);
    QVERIFY2(hookError.isEmpty(), qPrintable(hookError));
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(column("SELECT v FROM cr.race WHERE id = 7"), QStringList{"Changed Elsewhere"});
    QCOMPARE(column("SELECT count(*) FROM cr.race WHERE v = upper(v)"), QStringList{"49"});
    // The row left is said, and the counts add up.
    QCOMPARE(summary.rowsLeftChanged, 1);
    QCOMPARE(summary.rowsWritten + summary.rowsLeftChanged, summary.rowsChanging);

    // The same on one of several fields: the others of that row are still converted.
    exec({"CREATE TABLE cr.race_two (id int, v text, w text)",
          "INSERT INTO cr.race_two SELECT i, 'row ' || i, 'other ' || i "
          "FROM generate_series(1, 50) i"});
    const ChangeRunSummary two = runWithOtherClient(
        {"cr", "race_two"}, {"UPDATE cr.race_two SET v = 'Changed Elsewhere' WHERE id = 7"},
        &hookError, {"v", "w"});
    QVERIFY2(hookError.isEmpty(), qPrintable(hookError));
    QVERIFY2(two.firstError.isEmpty(), qPrintable(two.firstError));
    QCOMPARE(column("SELECT v || '|' || w FROM cr.race_two WHERE id = 7"),
             QStringList{"Changed Elsewhere|OTHER 7"});
    QCOMPARE(column("SELECT count(*) FROM cr.race_two WHERE v = upper(v) AND w = upper(w)"),
             QStringList{"49"});
    // The row counts as left, and as written for its other field.
    QCOMPARE(two.rowsLeftChanged, 1);
    QCOMPARE(two.rowsWritten, 50);
}

void TestChangeRun::busyTableEveryRowConverted()
{
    // Another client keeps updating a counter of random rows, 5 rows a transaction, all through
    // the run: every row it moves is still converted. On top of that it takes a lock on a row
    // of the first chunk and then waits for one the run holds, a real deadlock, which the run
    // retries instead of counting values as refused.
    exec({"CREATE TABLE cr.busy (id int PRIMARY KEY, name text, hits int DEFAULT 0)",
          "INSERT INTO cr.busy (id, name) SELECT i, 'name of row ' || i "
          "FROM generate_series(1, 200000) i",
          "CREATE TABLE cr.slept (n int)",
          "CREATE FUNCTION cr.sleep_once() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN"
          " IF NEW.id = 2 AND NEW.name <> OLD.name AND NOT EXISTS (SELECT FROM cr.slept) THEN"
          " INSERT INTO cr.slept VALUES (1); PERFORM pg_sleep(1.5); END IF; RETURN NEW; END$$",
          "CREATE TRIGGER sleep_once BEFORE UPDATE ON cr.busy FOR EACH ROW WHEN (NEW.id = 2) "
          "EXECUTE FUNCTION cr.sleep_once()"});
    const auto deadlocks = [&] {
        return column("SELECT deadlocks FROM pg_stat_database WHERE datname = current_database()")
            .value(0)
            .toLongLong();
    };
    const qint64 deadlocksBefore = deadlocks();
    std::atomic<bool> runOver{false};
    std::atomic<int> counterUpdates{0};
    QString otherError;
    std::thread counter, locker;
    ChangeRun run(TestDatabase::settings(), CaseChange{{"cr", "busy"}, {"name"}, CaseMode::Upper});
    bool started = false;
    run.setChunkReadHook([&] {
        if (started)
            return;
        started = true;
        counter = std::thread([&] {
            QSqlDatabase other = TestDatabase::open();
            QRandomGenerator random(42);
            while (!runOver.load() || counterUpdates.load() < 400) {
                // Rows 1 to 3 are the deadlock's own: a counter transaction that held one of
                // them could meet the other client in a deadlock of their own, which the other
                // client, with its long deadlock time-out, would lose.
                QStringList ids;
                for (int i = 0; i < 5; ++i)
                    ids << QString::number(random.bounded(4, 200001));
                if (TestDatabase::exec(other, {"UPDATE cr.busy SET hits = hits + 1 WHERE id IN (" +
                                               ids.join(',') + ")"})
                        .isEmpty())
                    ++counterUpdates;
            }
            TestDatabase::close(other);
        });
        // Row 3 is locked now. The run's first statement takes row 1, then sleeps in a trigger
        // on row 2, during which this client asks for row 1; the run then waits for row 3: a
        // deadlock. This client's own deadlock check waits longer than the run's, so the run's
        // statement is the one the server ends.
        std::atomic<bool> locked{false};
        locker = std::thread([&] {
            QSqlDatabase other = TestDatabase::open();
            otherError =
                TestDatabase::exec(other, {"SET deadlock_timeout = '20s'", "BEGIN",
                                           "UPDATE cr.busy SET hits = hits + 1 WHERE id = 3"});
            locked = true;
            for (int i = 0; i < 400; ++i) {
                QSqlQuery sleeping(other);
                if (sleeping.exec("SELECT count(*) FROM pg_stat_activity"
                                  " WHERE wait_event = 'PgSleep'") &&
                    sleeping.next() && sleeping.value(0).toInt() > 0)
                    break;
                QThread::msleep(20);
            }
            const QString error = TestDatabase::exec(
                other, {"UPDATE cr.busy SET hits = hits + 1 WHERE id = 1", "COMMIT"});
            if (otherError.isEmpty())
                otherError = error;
            TestDatabase::close(other);
        });
        while (!locked.load())
            QThread::msleep(5);
    });
    ChangeRunSummary summary;
    connect(&run, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { summary = s; });
    run.run();
    runOver = true;
    counter.join();
    locker.join();
    QVERIFY2(otherError.isEmpty(), qPrintable(otherError));
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(summary.valuesNotWritten, 0);
    QVERIFY(counterUpdates.load() >= 400);
    QVERIFY(deadlocks() > deadlocksBefore);
    QCOMPARE(column("SELECT count(*) FROM cr.busy WHERE name <> 'NAME OF ROW ' || id"),
             QStringList{"0"});
    QVERIFY(column("SELECT sum(hits) FROM cr.busy").value(0).toLongLong() >= 2000);
}

void TestChangeRun::stopBehindARowLock()
{
    // Another client holds a row of the first chunk; the run's write waits for it until the
    // stop cancels the statement, and every row is still old or converted.
    exec({"CREATE TABLE cr.locked (id int, v text)",
          "INSERT INTO cr.locked SELECT i, 'row ' || i FROM generate_series(1, 20000) i"});
    QSqlDatabase holder = TestDatabase::open();
    QVERIFY(TestDatabase::exec(holder, {"SET idle_in_transaction_session_timeout = '30s'", "BEGIN",
                                        "SELECT * FROM cr.locked WHERE id = 2 FOR UPDATE"})
                .isEmpty());
    ChangeRun run(TestDatabase::settings(), CaseChange{{"cr", "locked"}, {"v"}, CaseMode::Upper});
    std::thread stopper([&] {
        QThread::msleep(1000);
        run.requestStop();
    });
    ChangeRunSummary summary;
    connect(&run, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { summary = s; });
    QElapsedTimer clock;
    clock.start();
    run.run();
    const qint64 elapsed = clock.elapsed();
    stopper.join();
    TestDatabase::exec(holder, {"ROLLBACK"});
    TestDatabase::close(holder);
    QVERIFY(summary.endedEarly);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QVERIFY2(elapsed < 10000, "the stop waited for the lock");
    QCOMPARE(column("SELECT count(*) FROM cr.locked WHERE v = 'row ' || id OR v = 'ROW ' || id"),
             QStringList{"20000"});
    QCOMPARE(column("SELECT count(*) FROM cr.locked WHERE v = 'ROW ' || id"),
             QStringList{QString::number(summary.rowsWritten)});
}

void TestChangeRun::stopLeavesEveryRowWhole()
{
    exec({"CREATE TABLE cr.big (id int, v text)", "INSERT INTO cr.big SELECT i, 'some text of row "
                                                  "' || i FROM generate_series(1, 200000) i"});
    ChangeRun run(TestDatabase::settings(), CaseChange{{"cr", "big"}, {"v"}, CaseMode::Upper});
    ChangeRunSummary summary;
    QList<int> progress;
    connect(&run, &ChangeRun::progress, this, [&](int p) {
        progress << p;
        run.requestStop();
    });
    connect(&run, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { summary = s; });
    run.run();
    QVERIFY(summary.endedEarly);
    QVERIFY(summary.firstError.isEmpty());
    QVERIFY(!progress.isEmpty());
    QVERIFY(progress.last() < 100);
    QSqlQuery query(db_);
    QVERIFY(query.exec("SELECT count(*) FILTER (WHERE v = 'SOME TEXT OF ROW ' || id), "
                       "count(*) FILTER (WHERE v = 'some text of row ' || id) FROM cr.big"));
    QVERIFY(query.next());
    const qint64 converted = query.value(0).toLongLong(), old = query.value(1).toLongLong();
    QCOMPARE(converted + old, 200000);
    QVERIFY(converted > 0);
    QVERIFY(old > 0);
    QCOMPARE(converted, summary.rowsWritten);

    // The stop comes after a statement's rows are in the journal and before the statement
    // commits: it still commits, so the journal holds exactly the rows written.
    exec({"CREATE TABLE cr.recorded (id int PRIMARY KEY, v text)",
          "INSERT INTO cr.recorded SELECT i, 'row ' || i FROM generate_series(1, 50000) i"});
    ChangeRun stopped(TestDatabase::settings(),
                      CaseChange{{"cr", "recorded"}, {"v"}, CaseMode::Upper});
    std::atomic<bool> once{false};
    stopped.setRecordedHook([&] {
        if (!once.exchange(true))
            stopped.requestStop();
    });
    connect(&stopped, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { summary = s; });
    stopped.run();
    QVERIFY(summary.endedEarly);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    const qint64 written =
        column("SELECT count(*) FROM cr.recorded WHERE v = upper(v)").value(0).toLongLong();
    QVERIFY(written > 0);
    QCOMPARE(summary.rowsWritten, written);
    const std::optional<JournalRun> journal = ChangeJournal::Last(TestDatabase::settings());
    QVERIFY(journal);
    QCOMPARE(journal->rowsRecorded, written);
    QCOMPARE(RunStateText(*journal), "stopped");

    // The same in the walk by key of a foreign partition: the stop comes once the local
    // partition's rows and a range of the foreign ones are recorded.
    REQUIRE_REMOTE_DATABASE();
    const QString failure =
        ShardedTable::make(TestDatabase::settings(), "cr", "far_stop", 30, 40000, "'row ' || i");
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    ChangeRun far(TestDatabase::settings(),
                  CaseChange{{"cr", "far_stop"}, {"name"}, CaseMode::Upper});
    std::atomic<int> records{0};
    far.setRecordedHook([&] {
        if (++records == 2)
            far.requestStop();
    });
    connect(&far, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { summary = s; });
    far.run();
    QVERIFY(summary.endedEarly);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(column("SELECT count(*) FROM cr.far_stop WHERE name IN (upper('row ' || id),"
                    " 'row ' || id)"),
             QStringList{"40030"});
    const qint64 farWritten =
        column("SELECT count(*) FROM cr.far_stop WHERE name = upper(name)").value(0).toLongLong();
    QVERIFY2(farWritten > 30 && farWritten < 40030, qPrintable(QString::number(farWritten)));
    // A late cancel may end the wrapper's commit after the remote server has committed: such
    // rows are not counted, but the journal keeps them, and the undo takes every row back.
    QVERIFY(summary.rowsWritten > 30 && summary.rowsWritten <= farWritten);
    const std::optional<JournalRun> farJournal = ChangeJournal::Last(TestDatabase::settings());
    QVERIFY(farJournal && farJournal->rowsRecorded >= farWritten);
    UndoRun undo(TestDatabase::settings(), *farJournal);
    undo.run();
    QCOMPARE(column("SELECT count(*) FROM cr.far_stop WHERE name = 'row ' || id"),
             QStringList{"40030"});
    exec({"DROP TABLE cr.far_stop"});
}

void TestChangeRun::failuresOfTheWholeRun()
{
    // The session cannot be opened.
    ConnectionSettings wrong = TestDatabase::settings();
    wrong.password += "-wrong";
    ChangeRunSummary summary = runOn({"cr", "race"}, {"v"}, CaseMode::Upper, nullptr, wrong);
    QVERIFY(summary.endedEarly);
    QCOMPARE(summary.firstErrorStep, ChangeRunStep::Session);
    QVERIFY(summary.firstError.contains("password authentication failed"));

    // The source is missing.
    summary = runOn({"cr", "no such table"}, {"v"}, CaseMode::Upper);
    QVERIFY(summary.endedEarly);
    QCOMPARE(summary.firstErrorStep, ChangeRunStep::Source);
    summary = runOn({"cr", "race"}, {"no such field"}, CaseMode::Upper);
    QCOMPARE(summary.firstErrorStep, ChangeRunStep::Source);

    // A journal that cannot be written: the run stops before its first write, and says why.
    {
        exec(
            {"CREATE TABLE cr.nojournal AS SELECT 'row ' || i AS v FROM generate_series(1, 50) i"});
        QTemporaryFile blocker;
        QVERIFY(blocker.open());
        qputenv("XDG_DATA_HOME", blocker.fileName().toUtf8() + "/data");
        summary = runOn({"cr", "nojournal"}, {"v"}, CaseMode::Upper);
        qputenv("XDG_DATA_HOME", data_.path().toUtf8());
        QVERIFY(summary.endedEarly);
        QCOMPARE(summary.rowsWritten, 0);
        QVERIFY2(summary.firstError.contains("journal"), qPrintable(summary.firstError));
        QCOMPARE(column("SELECT count(*) FROM cr.nojournal WHERE v = upper(v)"), QStringList{"0"});

        // The run's file goes before the first write: the run stops and says why, rather than
        // write rows that no journal holds.
        ChangeRun run(TestDatabase::settings(),
                      CaseChange{{"cr", "nojournal"}, {"v"}, CaseMode::Upper});
        run.setChunkReadHook([] {
            for (const QFileInfo &file : QDir(ChangeJournal::Folder()).entryInfoList(QDir::Files))
                QFile::remove(file.filePath());
        });
        connect(&run, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { summary = s; });
        run.run();
        QVERIFY(summary.endedEarly);
        QCOMPARE(summary.rowsWritten, 0);
        QVERIFY2(summary.firstError.contains("journal"), qPrintable(summary.firstError));
        QCOMPARE(column("SELECT count(*) FROM cr.nojournal WHERE v = upper(v)"), QStringList{"0"});
    }

    // A user who may read but not write the field: it is left alone and named.
    exec({"DROP ROLE IF EXISTS recasor_reader",
          "CREATE ROLE recasor_reader LOGIN PASSWORD 'reader-pw'",
          "CREATE TABLE cr.readonly (v text, w text)", "CREATE TABLE cr.readonly_log (n int)",
          "INSERT INTO cr.readonly SELECT 'value ' || i, 'w' FROM generate_series(1, 1000) i",
          "GRANT USAGE ON SCHEMA cr TO recasor_reader",
          "GRANT SELECT ON cr.readonly TO recasor_reader"});
    ConnectionSettings reader = TestDatabase::settings();
    reader.user = "recasor_reader";
    reader.password = "reader-pw";
    summary = runOn({"cr", "readonly"}, {"v"}, CaseMode::Upper, nullptr, reader);
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
    QCOMPARE(LeftAloneText(summary.leftAlone), "Left alone (no UPDATE privilege): v (text)");
    QCOMPARE(column("SELECT count(*) FROM cr.readonly WHERE v LIKE 'value%'"), QStringList{"1000"});

    // May write the field, but a trigger of the table reaches what the user may not: the run
    // ends at the first statement, one failure.
    exec({"GRANT UPDATE (v) ON cr.readonly TO recasor_reader",
          "CREATE FUNCTION cr.log_readonly() RETURNS trigger LANGUAGE plpgsql AS "
          "$$BEGIN INSERT INTO cr.readonly_log VALUES (1); RETURN NEW; END$$",
          "CREATE TRIGGER log_readonly BEFORE UPDATE ON cr.readonly FOR EACH ROW "
          "EXECUTE FUNCTION cr.log_readonly()"});
    summary = runOn({"cr", "readonly"}, {"v"}, CaseMode::Upper, nullptr, reader);
    QVERIFY(summary.endedEarly);
    QCOMPARE(summary.firstErrorStep, ChangeRunStep::Write);
    QCOMPARE(summary.valuesNotWritten, 0);
    QVERIFY2(summary.firstError.contains("permission denied"), qPrintable(summary.firstError));
    QCOMPARE(column("SELECT count(*) FROM cr.readonly WHERE v LIKE 'value%'"), QStringList{"1000"});
    // The journal keeps why the run failed, for the history.
    const JournalRun failed = ChangeJournal::Runs().value(0);
    QCOMPARE(failed.table.name, "readonly");
    QCOMPARE(RunStateText(failed), "failed");
    QCOMPARE(RunFailureText(failed), summary.firstError);
    exec({"DROP OWNED BY recasor_reader", "DROP ROLE recasor_reader"});
}

void TestChangeRun::lostConnectionAndReadOnlyServer()
{
    exec({"CREATE TABLE cr.lost (id int, v text)",
          "INSERT INTO cr.lost SELECT i, 'row number ' || i FROM generate_series(1, 100000) i"});
    // The server ends every session of the run after its first chunk has been read.
    QString hookError;
    ChangeRunSummary summary = runWithOtherClient(
        {"cr", "lost"},
        {"SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
         "current_database() AND pid <> pg_backend_pid() AND backend_type = 'client backend' AND "
         "pid <> ALL (SELECT pid FROM pg_stat_activity WHERE query LIKE '%pg_terminate_backend%')"},
        &hookError);
    QVERIFY2(hookError.isEmpty(), qPrintable(hookError));
    QVERIFY(summary.endedEarly);
    QVERIFY(!summary.firstError.isEmpty());
    QCOMPARE(summary.valuesNotWritten, 0);

    // The fixture connection may have been ended too.
    TestDatabase::close(db_);
    db_ = TestDatabase::open();
    QVERIFY(db_.isOpen());
    QCOMPARE(column("SELECT count(*) FROM cr.lost WHERE v = 'ROW NUMBER ' || id "
                    "OR v = 'row number ' || id"),
             QStringList{"100000"});

    // A server that takes no writes ends the run at its first statement.
    const QString database = TestDatabase::settings().database;
    exec({QStringLiteral("ALTER DATABASE \"%1\" SET default_transaction_read_only = on")
              .arg(database),
          "UPDATE cr.lost SET v = 'row number ' || id"});
    summary = runOn({"cr", "lost"}, {"v"}, CaseMode::Upper);
    exec({QStringLiteral("ALTER DATABASE \"%1\" RESET default_transaction_read_only")
              .arg(database)});
    QVERIFY(summary.endedEarly);
    QCOMPARE(summary.firstErrorStep, ChangeRunStep::Write);
    QVERIFY2(summary.firstError.contains("read-only"), qPrintable(summary.firstError));
    QCOMPARE(column("SELECT count(*) FROM cr.lost WHERE v = 'row number ' || id"),
             QStringList{"100000"});
}

QTEST_GUILESS_MAIN(TestChangeRun)
#include "tst_changerun.moc"
