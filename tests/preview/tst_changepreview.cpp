// The preview of a change run against the test server: its counts against what the run then
// changes, the ranking of the changes, the fields it leaves alone, and Stop in the middle of a
// read. Also the field kinds and the element-wise conversion of arrays it relies on.
#include "casing/wordexceptions.h"
#include "csvread.h"
#include "db/arraytext.h"
#include "db/dbsession.h"
#include "db/fieldkinds.h"
#include "preview/changepreview.h"
#include "run/changerun.h"
#include "shardedtable.h"
#include "sqlfixture.h"
#include "testdatabase.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <thread>

class TestChangePreview : public QObject, protected SqlFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void arrayText_data();
    void arrayText();
    void countsEqualWhatTheRunChanges_data();
    void countsEqualWhatTheRunChanges();
    void mostFrequentChangesFirst();
    void countsForeignPartitions();
    void fieldKindsAndFieldsLeftAlone();
    void progressMovesOnlyForward();
    void stopCancelsABlockedRead();
    void failures();
    void exportListsEveryChange();

private:
    PreviewResult previewOn(const TableRef &table, const QStringList &fields,
                            std::optional<CaseMode> mode,
                            const ConnectionSettings &settings = TestDatabase::settings(),
                            const QStringList &words = {}, bool nameRules = false);
    void insert(const QString &sql, const QList<QVariantList> &rows);

    QList<int> progress_; // the last preview's progress, as reported
    QTemporaryDir data_;  // the journal's folder of the runs compared with the previews
};

void TestChangePreview::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    qputenv("XDG_DATA_HOME", data_.path().toUtf8());
    db_ = TestDatabase::open();
    QVERIFY(db_.isOpen());
    exec({"DROP SCHEMA IF EXISTS pv CASCADE", "CREATE SCHEMA pv"});
}

void TestChangePreview::cleanupTestCase()
{
    if (db_.isOpen())
        exec({"DROP SCHEMA IF EXISTS pv CASCADE"});
    TestDatabase::close(db_);
}

void TestChangePreview::init()
{
    QTest::failOnWarning(QRegularExpression("progress|did not report"));
}

PreviewResult TestChangePreview::previewOn(const TableRef &table, const QStringList &fields,
                                           std::optional<CaseMode> mode,
                                           const ConnectionSettings &settings,
                                           const QStringList &words, bool nameRules)
{
    ChangePreview preview(settings, CaseChange{table, fields, mode, words, nameRules});
    PreviewResult result;
    bool finished = false;
    connect(&preview, &ChangePreview::finished, this, [&](const PreviewResult &r) {
        result = r;
        finished = true;
    });
    // Every preview's bar only ever moves forward, and a whole one ends full.
    QList<int> &progress = progress_;
    progress.clear();
    connect(&preview, &ChangePreview::progress, this, [&](int percent) {
        if (!progress.isEmpty() && percent < progress.last())
            QTest::qFail(qPrintable(QStringLiteral("the progress went back from %1 to %2")
                                        .arg(progress.last())
                                        .arg(percent)),
                         __FILE__, __LINE__);
        progress << percent;
    });
    preview.run();
    if (!finished)
        QTest::qFail("the preview did not report its end", __FILE__, __LINE__);
    if (finished && result.error.isEmpty() && !result.stopped && mode &&
        progress.value(progress.size() - 1) != 100)
        QTest::qFail(qPrintable(QStringLiteral("a whole preview ended its progress at %1")
                                    .arg(progress.value(progress.size() - 1))),
                     __FILE__, __LINE__);
    return result;
}

void TestChangePreview::insert(const QString &sql, const QList<QVariantList> &rows)
{
    QSqlQuery query(db_);
    QVERIFY(query.prepare(sql));
    for (const QVariantList &row : rows) {
        for (int i = 0; i < row.size(); ++i)
            query.bindValue(i, row[i]);
        QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
    }
}

void TestChangePreview::arrayText_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // "-" for none
    const int upper = int(CaseMode::Upper);
    QTest::newRow("bare, null, quoted") << upper << "{abc,NULL,\"d e\"}"
                                        << "{ABC,NULL,\"D E\"}";
    QTest::newRow("two dimensions") << upper << "{{a,b},{c,NULL}}"
                                    << "{{A,B},{C,NULL}}";
    QTest::newRow("explicit bounds") << upper << "[0:1]={x,y}"
                                     << "[0:1]={X,Y}";
    QTest::newRow("escapes") << upper << R"({"q\"uote","back\\slash"})"
                             << R"({"Q\"UOTE","BACK\\SLASH"})";
    QTest::newRow("the text null") << upper << "{\"null\"}"
                                   << "{\"NULL\"}";
    QTest::newRow("empty") << upper << "{}"
                           << "{}";
    QTest::newRow("each element is a sentence")
        << int(CaseMode::Sentence) << "{\"hELLO wORLD\",aBC}"
        << "{\"Hello world\",Abc}";
    QTest::newRow("each element is a proper name") << int(CaseMode::Proper) << "{abc,\"DEF GHI\"}"
                                                   << "{Abc,\"Def Ghi\"}";
    QTest::newRow("no array") << upper << "abc"
                              << "-";
    QTest::newRow("unclosed") << upper << "{abc,\"de"
                              << "-";
}

void TestChangePreview::arrayText()
{
    QFETCH(int, mode);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const std::optional<QString> converted = ApplyCaseModeToArrayText(CaseMode(mode), text);
    QCOMPARE(converted.value_or(QStringLiteral("-")), expected);
}

void TestChangePreview::countsEqualWhatTheRunChanges_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("latin1");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<bool>("nameRules");
    for (CaseMode mode : {CaseMode::Upper, CaseMode::Lower, CaseMode::Proper, CaseMode::Sentence})
        QTest::newRow(qPrintable(CaseModeText(mode)))
            << int(mode) << false << QStringList() << false;
    // Outside UTF-8 the server cannot tell ASCII values apart, and the rule judges every value.
    QTest::newRow("Proper Case, LATIN1 database")
        << int(CaseMode::Proper) << true << QStringList() << false;
    // A listed word changes ASCII values that the rule alone leaves as they are.
    QTest::newRow("Proper Case, word exceptions")
        << int(CaseMode::Proper) << false << QStringList{"PROPER", "aLpHa"} << false;
    // So do the name rules ("Mccartney"), which only follow Proper Case.
    QTest::newRow("Proper Case, name rules")
        << int(CaseMode::Proper) << false << QStringList{"Alpha"} << true;
    QTest::newRow("Sentence case, name rules")
        << int(CaseMode::Sentence) << false << QStringList() << true;
}

void TestChangePreview::countsEqualWhatTheRunChanges()
{
    QFETCH(int, mode);
    QFETCH(bool, latin1);
    QFETCH(QStringList, words);
    QFETCH(bool, nameRules);
    ConnectionSettings settings = TestDatabase::settings();
    const QSqlDatabase mainDatabase = db_;
    const QString latin1Database = QStringLiteral("recasor_pv_latin1");
    if (latin1) {
        exec({"DROP DATABASE IF EXISTS " + latin1Database + " WITH (FORCE)",
              "CREATE DATABASE " + latin1Database +
                  " ENCODING 'LATIN1' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0"});
        settings.database = latin1Database;
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), latin1Database);
        db_.setDatabaseName(ConnectionString(settings));
        QVERIFY2(db_.open(), qPrintable(db_.lastError().text()));
        exec({"CREATE SCHEMA pv"});
    }
    const auto restore = qScopeGuard([&] {
        if (!latin1)
            return;
        TestDatabase::close(db_);
        db_ = mainDatabase;
        exec({"DROP DATABASE IF EXISTS " + latin1Database + " WITH (FORCE)"});
    });
    // Duplicates (also between a table and the one that inherits from it), NULLs, values
    // already in each case, ASCII and other values; a text field and a char(n) field, which is
    // read in its text form.
    exec({"DROP TABLE IF EXISTS pv.people CASCADE",
          "CREATE TABLE pv.people (id serial, a text, b character(16))",
          "CREATE TABLE pv.people_more () INHERITS (pv.people)"});
    QStringList values = {"alpha",
                          "alpha",
                          "ALPHA",
                          "Alpha",
                          QString(),
                          "",
                          "Already Proper",
                          "already lower",
                          "ALREADY UPPER",
                          "Sentence case.",
                          QStringLiteral("école"),
                          QStringLiteral("école"),
                          QStringLiteral("ÉCOLE"),
                          QStringLiteral("École"),
                          QStringLiteral("straße"),
                          QStringLiteral("Ωμέγα σίγμα"),
                          QStringLiteral("ΆΓΙΟΣ 𞤀𞤣𞤤"),
                          "mIxEd CaSe",
                          "line\nBreak",
                          "tab\there",
                          "123",
                          QStringLiteral("smile 😀 ok"),
                          "Mccartney",
                          "Vincent Van Gogh"};
    if (latin1)
        values.removeIf([](const QString &value) {
            return std::any_of(value.cbegin(), value.cend(),
                               [](QChar c) { return c.unicode() > 0xff; });
        });
    auto bound = [](const QString &value) {
        return value.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(value);
    };
    QList<QVariantList> rows;
    for (qsizetype i = 0; i < values.size(); ++i)
        rows << QVariantList{bound(values[i]), bound(values[(i * 7) % values.size()])};
    insert("INSERT INTO pv.people (a, b) VALUES (?, ?)", rows);
    insert("INSERT INTO pv.people_more (a, b) VALUES (?, ?)",
           {{"alpha", QStringLiteral("école")}, {"new one", "NEW ONE"}, {bound({}), "alpha"}});

    const QString versions =
        "SELECT string_agg(ctid::text || '@' || xmin::text, ',' ORDER BY id) FROM pv.people";
    const QStringList before = column(versions);
    const PreviewResult preview =
        previewOn({"pv", "people"}, {"a", "b"}, CaseMode(mode), settings, words, nameRules);
    QVERIFY2(preview.error.isEmpty(), qPrintable(preview.error));
    // Nothing was written: every row is the same version in the same place.
    QCOMPARE(column(versions), before);

    exec({"CREATE TEMP TABLE before_run AS SELECT id, a, b::text AS b FROM pv.people"});
    QCOMPARE(preview.nameRules, nameRules && CaseMode(mode) == CaseMode::Proper);
    ChangeRun run(settings,
                  CaseChange{{"pv", "people"}, {"a", "b"}, CaseMode(mode), words, nameRules});
    ChangeRunSummary summary;
    connect(&run, &ChangeRun::finished, this, [&](const ChangeRunSummary &s) { summary = s; });
    run.run();
    QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));

    QCOMPARE(preview.counted.size(), 2);
    qint64 rowsChanging = 0;
    for (const FieldCounts &field : preview.counted) {
        const QString f = field.name;
        const QString changed = QStringLiteral(" FROM before_run o JOIN pv.people p USING (id)"
                                               " WHERE o.%1 IS DISTINCT FROM p.%1::text")
                                    .arg(f);
        QCOMPARE(field.rowsRead, qint64(values.size() + 3));
        QCOMPARE(QString::number(field.rowsChanging), column("SELECT count(*)" + changed)[0]);
        QCOMPARE(QString::number(field.valuesChanging),
                 column("SELECT count(DISTINCT o." + f + ")" + changed)[0]);
        rowsChanging += field.rowsChanging;
        // Every change is listed, with its rows, and converts by the rule.
        qint64 listedRows = 0, listedValues = 0;
        for (const PreviewChange &change : preview.changes) {
            if (change.field != f)
                continue;
            ++listedValues;
            listedRows += change.rows;
            const WordExceptions listed(words, nameRules);
            QCOMPARE(change.newValue, ApplyCaseMode(CaseMode(mode), change.oldValue, &listed));
            QVERIFY(change.newValue != change.oldValue);
        }
        QCOMPARE(listedValues, field.valuesChanging);
        QCOMPARE(listedRows, field.rowsChanging);
    }
    QCOMPARE(rowsChanging, summary.valuesChanged);
    QVERIFY(rowsChanging > 0);
    exec({"DROP TABLE before_run"});
}

void TestChangePreview::mostFrequentChangesFirst()
{
    // Field v: 1,100 values once each, "rep k" k times for k = 2..30, a value with other
    // characters 45 times, long values 40 and 35 times; field w: one value 50 times, the most
    // frequent of all.
    exec({"CREATE TABLE pv.freq (v text, w text)",
          "INSERT INTO pv.freq (v) SELECT 'one ' || i FROM generate_series(1, 1100) i",
          "INSERT INTO pv.freq (v) SELECT 'rep ' || k FROM generate_series(2, 30) k,"
          " generate_series(1, k) i",
          "INSERT INTO pv.freq (v) SELECT 'été' FROM generate_series(1, 45)",
          "INSERT INTO pv.freq (v) SELECT repeat('long ', 300) FROM generate_series(1, 40)",
          "INSERT INTO pv.freq (v) SELECT repeat('lång ', 300) FROM generate_series(1, 35)",
          "UPDATE pv.freq SET w = 'x' WHERE ctid IN (SELECT ctid FROM pv.freq LIMIT 50)"});
    PreviewResult preview = previewOn({"pv", "freq"}, {"v", "w"}, CaseMode::Upper);
    QVERIFY2(preview.error.isEmpty(), qPrintable(preview.error));
    QCOMPARE(preview.counted.size(), 2);
    QCOMPARE(preview.counted[0].valuesChanging, 1100 + 29 + 3);
    QCOMPARE(preview.counted[0].rowsChanging, 1100 + 464 + 45 + 40 + 35);
    QCOMPARE(preview.counted[1].valuesChanging, 1);
    QCOMPARE(preview.counted[1].rowsChanging, 50);

    QCOMPARE(preview.changes.size(), PreviewChangeLimit);
    QCOMPARE(preview.changes[0].field, "w");
    QCOMPARE(preview.changes[0].newValue, "X");
    QCOMPARE(preview.changes[0].rows, 50);
    QCOMPARE(preview.changes[1].oldValue, QStringLiteral("été"));
    QCOMPARE(preview.changes[1].newValue, QStringLiteral("ÉTÉ"));
    QCOMPARE(preview.changes[1].rows, 45);
    // Long values keep their start and one character more, to tell that they go on.
    QCOMPARE(preview.changes[2].oldValue, QStringLiteral("long ").repeated(300).left(1001));
    QCOMPARE(preview.changes[2].newValue, QStringLiteral("LONG ").repeated(300).left(1001));
    QCOMPARE(preview.changes[2].rows, 40);
    QCOMPARE(preview.changes[3].oldValue, QStringLiteral("lång ").repeated(300).left(1001));
    QCOMPARE(preview.changes[3].newValue, QStringLiteral("LÅNG ").repeated(300).left(1001));
    QCOMPARE(preview.changes[3].rows, 35);
    for (int k = 30; k >= 2; --k) {
        const PreviewChange &change = preview.changes[4 + 30 - k];
        QCOMPARE(change.oldValue, QStringLiteral("rep %1").arg(k));
        QCOMPARE(change.newValue, QStringLiteral("REP %1").arg(k));
        QCOMPARE(change.rows, k);
    }
    for (qsizetype i = 33; i < preview.changes.size(); ++i)
        QCOMPARE(preview.changes[i].rows, 1);

    // Values that occur once fill the list in the order of the fields, whichever field repeats
    // a value: a has 300 of them, b 2,000 and one value three times, c 10 with other
    // characters. Their names hold what looks like a placeholder of a text to fill in.
    exec({"CREATE TABLE pv.once (a text, \"b%1\" text, \"c%2\" text)",
          "INSERT INTO pv.once (a) SELECT 'one ' || i FROM generate_series(1, 300) i",
          "INSERT INTO pv.once (\"b%1\") SELECT 'two ' || i FROM generate_series(1, 2000) i",
          "INSERT INTO pv.once (\"b%1\") SELECT 'dup' FROM generate_series(1, 3)",
          "INSERT INTO pv.once (\"c%2\") SELECT 'été ' || i FROM generate_series(1, 10) i"});
    preview = previewOn({"pv", "once"}, {"a", "b%1", "c%2"}, CaseMode::Upper);
    QVERIFY2(preview.error.isEmpty(), qPrintable(preview.error));
    QCOMPARE(preview.counted[1].valuesChanging, 2001);
    QCOMPARE(preview.counted[1].rowsChanging, 2003);
    QCOMPARE(preview.changes.size(), PreviewChangeLimit);
    QCOMPARE(preview.changes[0].newValue, "DUP");
    QMap<QString, int> listed;
    for (const PreviewChange &change : std::as_const(preview.changes))
        ++listed[change.field];
    QCOMPARE(listed, (QMap<QString, int>{{"a", 300}, {"b%1", 700}}));
    QCOMPARE(preview.counted[2].rowsChanging, 10);
}

void TestChangePreview::countsForeignPartitions()
{
    // A partition whose rows live on another server has no blocks here: its rows are counted
    // all the same, those the server judges (ASCII) and those the rule judges here.
    REQUIRE_REMOTE_DATABASE();
    const QString failure = ShardedTable::make(
        TestDatabase::settings(), "pv", "sharded", 30, 20,
        "CASE i % 3 WHEN 0 THEN 'école ' || i WHEN 1 THEN 'name ' || i ELSE 'NAME ' || i END");
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const PreviewResult result = previewOn({"pv", "sharded"}, {"name"}, CaseMode::Upper);
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QCOMPARE(result.counted.size(), 1);
    QCOMPARE(result.counted[0].rowsRead, 50);
    QCOMPARE(result.counted[0].rowsChanging, 33);
    QCOMPARE(result.counted[0].valuesChanging, 33);
    QVERIFY(ShardedTable::dropRemote("pv").isEmpty());
}

void TestChangePreview::fieldKindsAndFieldsLeftAlone()
{
    exec({"CREATE EXTENSION IF NOT EXISTS citext", "CREATE TYPE pv.mood AS ENUM ('happy', 'SAD')",
          "CREATE DOMAIN pv.label AS varchar(20)",
          "CREATE TABLE pv.kinds (id int, data jsonb, mood pv.mood, tags text[],"
          " labels pv.label[], code pv.label, short name, fixed char(4), ci citext,"
          " shout text GENERATED ALWAYS AS (upper(code)) STORED, secret text)",
          "INSERT INTO pv.kinds (id, data, mood, tags, code) VALUES"
          " (1, '{\"a\": \"b\"}', 'happy', '{abc,\"DEF GHI\",NULL}', 'alpha'),"
          " (2, '{}', 'SAD', '{Xyz}', 'beta'), (3, NULL, NULL, NULL, 'Gamma'),"
          " (4, NULL, NULL, '{}', NULL)",
          "DROP ROLE IF EXISTS recasor_pv_user",
          "CREATE ROLE recasor_pv_user LOGIN PASSWORD 'pv-user-pw'",
          "GRANT USAGE ON SCHEMA pv TO recasor_pv_user",
          "GRANT SELECT, UPDATE (code, tags) ON pv.kinds TO recasor_pv_user"});

    struct Expected {
        const char *name;
        bool character, array, plainText, generated;
    };
    const QList<Expected> expected = {
        {"id", false, false, false, false},   {"data", false, false, false, false},
        {"mood", false, false, false, false}, {"tags", true, true, false, false},
        {"labels", true, true, false, false}, {"code", true, false, false, false},
        {"short", true, false, false, false}, {"fixed", true, false, false, false},
        {"ci", true, false, false, false},    {"shout", true, false, true, true},
        {"secret", true, false, true, false}};
    ConnectionSettings user = TestDatabase::settings();
    user.user = "recasor_pv_user";
    user.password = "pv-user-pw";
    for (const ConnectionSettings &settings : {TestDatabase::settings(), user}) {
        const bool owner = settings.user != user.user;
        DbSession session(settings);
        QSqlQuery oid = session.exec("SELECT 'pv.kinds'::regclass::oid");
        QVERIFY(oid.next());
        const QList<FieldKind> kinds = FieldKinds(session, oid.value(0).toUInt());
        QCOMPARE(kinds.size(), expected.size());
        for (qsizetype i = 0; i < kinds.size(); ++i) {
            const FieldKind &kind = kinds[i];
            QCOMPARE(kind.name, QString::fromLatin1(expected[i].name));
            QCOMPARE(kind.character, expected[i].character);
            QCOMPARE(kind.array, expected[i].array);
            QCOMPARE(kind.plainText, expected[i].plainText);
            QCOMPARE(kind.generated, expected[i].generated);
            QCOMPARE(kind.updatable, owner || kind.name == "code" || kind.name == "tags");
        }
        QCOMPARE(kinds[3].type, "text[]");
        QCOMPARE(kinds[3].typeSql, "\"pg_catalog\".\"_text\"");
        QCOMPARE(kinds[5].typeSql, "\"pv\".\"label\"");
    }

    // Arrays are converted element by element, and NULL elements stay NULL.
    PreviewResult preview =
        previewOn({"pv", "kinds"}, {"data", "mood", "tags", "code", "shout"}, CaseMode::Proper);
    QVERIFY2(preview.error.isEmpty(), qPrintable(preview.error));
    QStringList leftAlone;
    for (const FieldKind &kind : preview.leftAlone)
        leftAlone << kind.name + " " + kind.type + " " + kind.leftAloneReason();
    QCOMPARE(leftAlone,
             (QStringList{"data jsonb not text", "mood pv.mood not text", "shout text generated"}));
    QCOMPARE(preview.counted.size(), 2);
    QCOMPARE(preview.counted[0].name, "tags");
    QCOMPARE(preview.counted[0].rowsChanging, 1);
    QCOMPARE(preview.counted[1].name, "code");
    QCOMPARE(preview.counted[1].rowsChanging, 2);
    QCOMPARE(preview.counted[1].valuesChanging, 2);
    QCOMPARE(preview.changes.size(), 3);
    const auto tags = std::find_if(preview.changes.cbegin(), preview.changes.cend(),
                                   [](const PreviewChange &c) { return c.field == "tags"; });
    QVERIFY(tags != preview.changes.cend());
    QCOMPARE(tags->oldValue, "{abc,\"DEF GHI\",NULL}");
    QCOMPARE(tags->newValue, "{Abc,\"Def Ghi\",NULL}");

    // A field the role may not update is left alone as well.
    preview = previewOn({"pv", "kinds"}, {"code", "secret"}, CaseMode::Upper, user);
    QVERIFY2(preview.error.isEmpty(), qPrintable(preview.error));
    QCOMPARE(preview.leftAlone.size(), 1);
    QCOMPARE(preview.leftAlone[0].leftAloneReason(), "no UPDATE privilege");
    exec({"DROP OWNED BY recasor_pv_user", "DROP ROLE recasor_pv_user"});
}

void TestChangePreview::progressMovesOnlyForward()
{
    // Several fields of a table large enough for the bar to move many times, in every phase:
    // the walk, the server's count of ASCII values and the rule's judging of the others. Field
    // a has too many distinct values to group by value, and most of them twice.
    exec({"CREATE TABLE pv.progress (a text, b text, c text)",
          "INSERT INTO pv.progress SELECT 'name ' || (i % 150001), 'Straße ' || (i % 5000), "
          "CASE WHEN i % 2 = 0 THEN 'élan ' || i ELSE 'plain ' || i END "
          "FROM generate_series(1, 300000) i"});
    const PreviewResult result = previewOn({"pv", "progress"}, {"a", "b", "c"}, CaseMode::Upper);
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QVERIFY2(progress_.size() >= 4, qPrintable(QString::number(progress_.size())));
    QCOMPARE(result.counted.size(), 3);
    const QList<qint64> values{150001, 5000, 300000};
    for (qsizetype k = 0; k < 3; ++k) {
        QCOMPARE(result.counted[k].rowsChanging, 300000);
        QCOMPARE(result.counted[k].valuesChanging, values[k]);
    }
}

void TestChangePreview::stopCancelsABlockedRead()
{
    // Another client holds the table locked: the preview's read waits for it and would wait as
    // long as the lock is held, so only a cancelled statement can end it early.
    exec({"CREATE TABLE pv.locked AS SELECT 'row ' || i AS v FROM generate_series(1, 1000) i"});
    QSqlDatabase locker = TestDatabase::open();
    QVERIFY(locker.transaction());
    QVERIFY(
        TestDatabase::exec(locker, {"LOCK TABLE pv.locked IN ACCESS EXCLUSIVE MODE"}).isEmpty());

    ChangePreview preview(TestDatabase::settings(),
                          CaseChange{{"pv", "locked"}, {"v"}, CaseMode::Upper});
    PreviewResult result;
    std::atomic<bool> finished = false;
    connect(
        &preview, &ChangePreview::finished, this,
        [&](const PreviewResult &r) {
            result = r;
            finished = true;
        },
        Qt::DirectConnection);
    std::thread thread([&] { preview.run(); });
    const QString waiting = "SELECT count(*) FROM pg_stat_activity WHERE datname = "
                            "current_database() AND wait_event_type = 'Lock'";
    const bool blocked =
        QTest::qWaitFor([&] { return column(waiting) == QStringList{"1"}; }, 60000);
    preview.requestStop();
    const bool ended = QTest::qWaitFor([&] { return finished.load(); }, 60000);
    const QStringList stillLocked =
        column("SELECT count(*) FROM pg_locks WHERE relation = 'pv.locked'::regclass AND granted"
               " AND mode = 'AccessExclusiveLock'");
    locker.rollback(); // lets a preview that was not cancelled end all the same
    thread.join();
    TestDatabase::close(locker);
    QVERIFY(blocked);
    QVERIFY(ended);
    QCOMPARE(stillLocked, QStringList{"1"});
    QVERIFY(result.stopped);
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QVERIFY(result.counted.isEmpty());
    QCOMPARE(column(waiting), QStringList{"0"});
}

void TestChangePreview::failures()
{
    exec({"CREATE TABLE pv.small (v text)", "INSERT INTO pv.small VALUES ('a')"});
    PreviewResult result = previewOn({"pv", "no such table"}, {"v"}, CaseMode::Upper);
    QCOMPARE(result.error, "The table \"pv\".\"no such table\" does not exist.");
    result = previewOn({"pv", "small"}, {"v", "nope"}, CaseMode::Upper);
    QCOMPARE(result.error, "The table \"pv\".\"small\" has no field \"nope\".");
    result = previewOn({"pv", "small"}, {"v"}, std::nullopt);
    QVERIFY(result.noMode);
    QVERIFY(result.counted.isEmpty());
    ConnectionSettings wrong = TestDatabase::settings();
    wrong.password += "-wrong";
    result = previewOn({"pv", "small"}, {"v"}, CaseMode::Upper, wrong);
    QVERIFY2(result.error.contains("password authentication failed"), qPrintable(result.error));
}

// Export writes every change, far beyond the 1,000 a preview lists, each with its rows, the most
// rows first; exactly the values the server's ICU writes in capitals, with commas, quotes, line
// breaks and other scripts, and none that stays as it is.
void TestChangePreview::exportListsEveryChange()
{
    exec(
        {"CREATE TABLE pv.exported (id serial, v text, w varchar(40))",
         "INSERT INTO pv.exported (v, w) SELECT 'name ' || i, NULL FROM generate_series(1, 1500) i",
         "INSERT INTO pv.exported (v, w) VALUES ('a,b', 'a,b'), ('a,b', 'ok'), ('a,b', 'OK'),"
         " ('say \"hi\"', NULL), (E'two\\nlines\\r\\nand more', 'müller, κόσμε'),"
         " ('müller, κόσμε', 'ǆemal'), ('SAME', 'SAME'), (NULL, NULL)"});
    QTemporaryDir folder;
    const QString path = folder.filePath("changes.csv");
    ChangePreview preview(TestDatabase::settings(),
                          CaseChange{{"pv", "exported"}, {"v", "w"}, CaseMode::Upper}, path);
    PreviewResult result;
    connect(&preview, &ChangePreview::finished, this, [&](const PreviewResult &r) { result = r; });
    preview.run();
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QString failure;
    const QList<QStringList> lines = ReadCsvWithPython(path, &failure);
    QVERIFY2(!lines.isEmpty(), qPrintable(failure));
    QCOMPARE(lines[0], (QStringList{"field", "old value", "new value", "rows"}));
    QCOMPARE(lines[1], (QStringList{"v", "a,b", "A,B", "3"}));
    QCOMPARE(result.exported, lines.size() - 1);
    QStringList exported;
    for (const QStringList &line : lines.mid(1))
        exported << line.join(u'|');
    exported.sort();
    QStringList expected =
        column("SELECT f || '|' || x || '|' || upper(x COLLATE \"und-x-icu\") || '|' || count(*)"
               " FROM pv.exported, LATERAL (VALUES ('v', v), ('w', w)) AS p(f, x)"
               " WHERE x <> upper(x COLLATE \"und-x-icu\") GROUP BY f, x");
    expected.sort();
    QCOMPARE(expected.size(), 1508);
    QCOMPARE(exported, expected);
}

QTEST_GUILESS_MAIN(TestChangePreview)
#include "tst_changepreview.moc"
