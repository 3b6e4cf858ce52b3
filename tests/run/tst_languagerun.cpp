// A change run and its preview by the rules of a language, against the server's own ICU
// functions on the names of real places; and a value that grows past its field's length.
#include "db/sqlquote.h"
#include "jobresult.h"
#include "placenames.h"
#include "preview/changepreview.h"
#include "run/changerun.h"
#include "sqlfixture.h"
#include "testdatabase.h"

#include <QTemporaryDir>
#include <QTest>

class TestLanguageRun : public QObject, protected SqlFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void runMatchesTheServersIcu_data();
    void runMatchesTheServersIcu();
    void grownValueThatNoLongerFits();

private:
    ChangeRunSummary run(CaseChange change);

    QTemporaryDir data_; // the journal's folder
};

void TestLanguageRun::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    qputenv("XDG_DATA_HOME", data_.path().toUtf8());
    db_ = TestDatabase::open();
    QVERIFY(db_.isOpen());
    exec({"DROP SCHEMA IF EXISTS lr CASCADE", "CREATE SCHEMA lr"});
}

void TestLanguageRun::cleanupTestCase()
{
    if (db_.isOpen())
        exec({"DROP SCHEMA IF EXISTS lr CASCADE"});
    TestDatabase::close(db_);
}

ChangeRunSummary TestLanguageRun::run(CaseChange change)
{
    ChangeRun job(TestDatabase::settings(), change);
    return RunJob<ChangeRunSummary>(job);
}

void TestLanguageRun::runMatchesTheServersIcu_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("Turkish") << int(CaseLanguage::Turkish) << PlaceNames::Turkish;
    QTest::newRow("Azerbaijani") << int(CaseLanguage::Azerbaijani) << PlaceNames::Azerbaijani;
    QTest::newRow("Greek") << int(CaseLanguage::Greek) << PlaceNames::Greek;
    QTest::newRow("Dutch") << int(CaseLanguage::Dutch) << PlaceNames::Dutch;
    QTest::newRow("Lithuanian") << int(CaseLanguage::Lithuanian) << PlaceNames::Lithuanian;
    QTest::newRow("German") << int(CaseLanguage::German) << PlaceNames::German;
}

void TestLanguageRun::runMatchesTheServersIcu()
{
    QFETCH(int, language);
    QFETCH(QStringList, values);
    const auto lang = CaseLanguage(language);
    const QString collation =
        QuoteIdentifier(CaseLanguageOf(lang).icuLocale + QStringLiteral("-x-icu"));
    QStringList rows;
    for (const QString &value : values)
        rows << "(" + QuoteLiteral(value) + ")";
    for (const auto &[mode, function] :
         {std::pair{CaseMode::Upper, "upper"}, std::pair{CaseMode::Lower, "lower"},
          std::pair{CaseMode::Proper, "initcap"}}) {
        // The values as written, in capitals and in small letters, each in a row of its own.
        exec({"DROP TABLE IF EXISTS lr.names",
              "CREATE TABLE lr.names (id serial PRIMARY KEY, name text, orig text)",
              "INSERT INTO lr.names (name) VALUES " + rows.join(u','),
              "INSERT INTO lr.names (name) SELECT upper(name) FROM lr.names WHERE id <= " +
                  QString::number(values.size()),
              "INSERT INTO lr.names (name) SELECT lower(name) FROM lr.names WHERE id <= " +
                  QString::number(values.size()),
              "UPDATE lr.names SET orig = name"});
        // initcap starts a word where Proper Case does not: it takes the names of one word.
        if (mode == CaseMode::Proper)
            exec({"DELETE FROM lr.names WHERE orig ~ '[^[:alpha:]]'"});
        const QString expected =
            QStringLiteral("%1(orig COLLATE %2)").arg(QLatin1String(function), collation);
        CaseChange change{{"lr", "names"}, {"name"}, mode};
        change.language = lang;
        ChangePreview preview(TestDatabase::settings(), change);
        const PreviewResult previewed = RunJob<PreviewResult>(preview);
        QVERIFY2(previewed.error.isEmpty(), qPrintable(previewed.error));
        const ChangeRunSummary summary = run(change);
        QVERIFY2(summary.firstError.isEmpty(), qPrintable(summary.firstError));
        QCOMPARE(column("SELECT string_agg(orig || ': ' || name || ', server ' || " + expected +
                        ", E'\\n') FROM lr.names WHERE name IS DISTINCT FROM " + expected),
                 QStringList{"<NULL>"});
        // The preview counted the rows the run changed, and the values that grew.
        QCOMPARE(QString::number(previewed.counted.value(0).rowsChanging),
                 column("SELECT count(*) FROM lr.names WHERE name <> orig").value(0));
        QCOMPARE(QString::number(summary.rowsWritten),
                 column("SELECT count(*) FROM lr.names WHERE name <> orig").value(0));
        QCOMPARE(QString::number(previewed.counted.value(0).valuesGrowing),
                 column("SELECT count(DISTINCT orig) FROM lr.names"
                        " WHERE length(name) > length(orig)")
                     .value(0));
    }
}

void TestLanguageRun::grownValueThatNoLongerFits()
{
    // "STRASSE" no longer fits varchar(6): the server refuses it, the value keeps its case and
    // is counted with the server's text; the value that still fits is written.
    exec({"DROP TABLE IF EXISTS lr.short",
          "CREATE TABLE lr.short (id int PRIMARY KEY, name varchar(6))",
          "INSERT INTO lr.short VALUES (1, 'Straße'), (2, 'Fuß')"});
    CaseChange change{{"lr", "short"}, {"name"}, CaseMode::Upper};
    change.language = CaseLanguage::German;
    const ChangeRunSummary summary = run(change);
    QCOMPARE(summary.rowsWritten, 1);
    QCOMPARE(summary.rowsRefused, 1);
    QCOMPARE(summary.refusals.size(), 1);
    QVERIFY2(summary.refusals[0].text.contains("too long"), qPrintable(summary.refusals[0].text));
    QCOMPARE(column("SELECT name FROM lr.short ORDER BY id"), (QStringList{"Straße", "FUSS"}));
    // With ẞ the value keeps its length and fits.
    change.language = CaseLanguage::GermanEszett;
    QCOMPARE(run(change).rowsWritten, 1);
    QCOMPARE(column("SELECT name FROM lr.short ORDER BY id"), (QStringList{"STRAẞE", "FUSS"}));
}

QTEST_MAIN(TestLanguageRun)
#include "tst_languagerun.moc"
