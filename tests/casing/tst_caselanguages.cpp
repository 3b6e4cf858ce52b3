// The rules of each language against the server's own ICU case functions, which follow CLDR's
// and SpecialCasing's rules for the language: UPPER and lower case on every value, and Proper
// Case word by word against initcap of the single word (their word boundaries differ). The values
// are names of real places of each language (placenames.h); the server computes every expected
// value.
#include "casing/caselanguage.h"
#include "placenames.h"
#include "testdatabase.h"

#include <QSqlQuery>
#include <QTest>

namespace {

using namespace PlaceNames;

} // namespace

class TestCaseLanguages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void matchesTheServersIcu_data();
    void matchesTheServersIcu();
    void germanCapitalEszett();
    void anyLanguageIsTheRuleItself();

private:
    QString serverCase(const char *function, const QString &value, CaseLanguage language);

    QSqlDatabase db_;
};

void TestCaseLanguages::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    db_ = TestDatabase::open();
    QVERIFY(db_.isOpen());
    for (const CaseLanguageRow &row : CaseLanguages()) {
        if (row.language == CaseLanguage::Any)
            continue;
        const QString collation = row.icuLocale + "-x-icu";
        const QStringList found = TestDatabase::column(
            db_, "SELECT collname FROM pg_collation WHERE collprovider = 'i' AND collname = '" +
                     collation + "'");
        if (found != QStringList{collation})
            QFAIL(qPrintable("The test server has no ICU collation " + collation +
                             ", which these tests take as the oracle: a PostgreSQL built with ICU "
                             "(Debian's is) is needed."));
    }
}

void TestCaseLanguages::cleanupTestCase()
{
    TestDatabase::close(db_);
}

QString TestCaseLanguages::serverCase(const char *function, const QString &value,
                                      CaseLanguage language)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT %1(CAST(? AS text) COLLATE \"%2-x-icu\")")
                      .arg(QLatin1String(function), CaseLanguageOf(language).icuLocale));
    query.addBindValue(value);
    if (!query.exec() || !query.next())
        return QStringLiteral("<failed>");
    return query.value(0).toString();
}

void TestCaseLanguages::matchesTheServersIcu_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("Turkish") << int(CaseLanguage::Turkish) << Turkish;
    QTest::newRow("Azerbaijani") << int(CaseLanguage::Azerbaijani) << Azerbaijani;
    QTest::newRow("Greek") << int(CaseLanguage::Greek) << Greek;
    QTest::newRow("Dutch") << int(CaseLanguage::Dutch) << Dutch;
    QTest::newRow("Lithuanian") << int(CaseLanguage::Lithuanian) << Lithuanian;
    QTest::newRow("German") << int(CaseLanguage::German) << German;
}

void TestCaseLanguages::matchesTheServersIcu()
{
    QFETCH(int, language);
    QFETCH(QStringList, values);
    const auto lang = CaseLanguage(language);
    QStringList wrong;
    for (const QString &original : values) {
        // Each value as it is, in capitals and in small letters.
        for (const QString &value : {original, original.toUpper(), original.toLower()}) {
            const std::pair<CaseMode, const char *> whole[] = {{CaseMode::Upper, "upper"},
                                                               {CaseMode::Lower, "lower"}};
            for (const auto &[mode, function] : whole) {
                const QString ours = LanguageCase(mode, lang, value);
                const QString server = serverCase(function, value, lang);
                if (ours != server)
                    wrong << QStringLiteral("%1(%2): %3, server %4")
                                 .arg(function, value, ours, server);
            }
            for (const QString &word : value.split(u' ', Qt::SkipEmptyParts)) {
                if (word.contains(u'-') || word.contains(u'.'))
                    continue; // initcap starts a word after them, Proper Case does not
                const QString ours = LanguageCase(CaseMode::Proper, lang, word);
                const QString server = serverCase("initcap", word, lang);
                if (ours != server)
                    wrong << QStringLiteral("initcap(%1): %2, server %3").arg(word, ours, server);
            }
        }
    }
    qInfo("%s: %lld values, %lld wrong", QTest::currentDataTag(), qlonglong(values.size()),
          qlonglong(wrong.size()));
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 20).join(u'\n')));
}

void TestCaseLanguages::germanCapitalEszett()
{
    // The choice of ẞ writes one letter for one, where the server writes "SS".
    QCOMPARE(LanguageCase(CaseMode::Upper, CaseLanguage::GermanEszett, "Großbeeren Straße"),
             QStringLiteral("GROẞBEEREN STRAẞE"));
    QCOMPARE(LanguageCase(CaseMode::Proper, CaseLanguage::GermanEszett, "GROẞBEEREN"),
             QStringLiteral("Großbeeren"));
}

void TestCaseLanguages::anyLanguageIsTheRuleItself()
{
    for (const QStringList *values : {&Turkish, &Greek, &German, &Lithuanian, &Dutch}) {
        for (const QString &value : *values) {
            for (const CaseModeRow &row : CaseModes())
                QCOMPARE(LanguageCase(row.mode, CaseLanguage::Any, value), row.rule(value));
        }
    }
}

QTEST_MAIN(TestCaseLanguages)
#include "tst_caselanguages.moc"
