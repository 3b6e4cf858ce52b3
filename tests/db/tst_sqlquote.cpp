// The quoting helpers, checked by the server itself: what goes in quoted comes back equal.
#include "db/dbsession.h"
#include "db/sqlquote.h"
#include "testdatabase.h"

#include <QTest>

class TestSqlQuote : public QObject
{
    Q_OBJECT

private slots:
    void identifiers();
    void literalsAndArraysRoundTrip_data();
    void literalsAndArraysRoundTrip();
    void parseArrayForms();
};

void TestSqlQuote::identifiers()
{
    QCOMPARE(QuoteIdentifier("plain"), "\"plain\"");
    QCOMPARE(QuoteIdentifier("we\"ird ta;ble"), "\"we\"\"ird ta;ble\"");
    QCOMPARE(QualifiedName("Sales", "a\"\"b"), "\"Sales\".\"a\"\"\"\"b\"");
}

void TestSqlQuote::literalsAndArraysRoundTrip_data()
{
    QTest::addColumn<bool>("standardStrings");
    QTest::newRow("standard_conforming_strings on") << true;
    QTest::newRow("standard_conforming_strings off") << false;
}

void TestSqlQuote::literalsAndArraysRoundTrip()
{
    REQUIRE_TEST_DATABASE();
    QFETCH(bool, standardStrings);
    const QList<QString> values = {"",
                                   "plain",
                                   "it's",
                                   "''",
                                   "back\\slash",
                                   "end\\",
                                   "\\'",
                                   "\"quoted\"",
                                   "{braces},comma",
                                   "NULL",
                                   " blanks ",
                                   "tab\tcr\rlf\n",
                                   QStringLiteral("é 東京 😀 e\u0301"),
                                   "? {fn now()} $1 :name",
                                   QString(5000, u'x') + "'\\\""};
    DbSession session(TestDatabase::settings());
    session.execute(
        QStringLiteral("SET standard_conforming_strings = %1").arg(standardStrings ? "on" : "off"));
    for (const QString &value : values) {
        QSqlQuery literal = session.exec("SELECT " + QuoteLiteral(value));
        QVERIFY(literal.next());
        QCOMPARE(literal.value(0).toString(), value);
    }
    // The server's own array text of the values, taken apart again.
    QString literals;
    for (const QString &value : values)
        literals += (literals.isEmpty() ? "" : ",") + QuoteLiteral(value);
    QSqlQuery array = session.exec(QStringLiteral("SELECT ARRAY[%1]::text[]").arg(literals));
    QVERIFY(array.next());
    QList<QString> parsed;
    QVERIFY(ParseTextArray(array.value(0).toString(), parsed));
    QCOMPARE(parsed, values);

    // The values joined with an unused delimiter come apart into the same values on the
    // server (empty values excepted: string_to_array gives no element for '').
    QList<QString> nonEmpty = values.mid(1);
    // Every one-character candidate is taken, and so is the first numbered one.
    nonEmpty << QString(QChar(0x1F)) + "0 holds the first candidate" << QString(QChar(0x1F))
             << QStringLiteral("\u001e\u001d\u001c");
    const QString delimiter = UnusedDelimiter(nonEmpty);
    QVERIFY(delimiter != QString(QChar(0x1F)) + "0");
    QSqlQuery split(session.database());
    QVERIFY(split.prepare("SELECT string_to_array(?, ?)"));
    split.addBindValue(nonEmpty.join(delimiter));
    split.addBindValue(delimiter);
    QVERIFY2(split.exec(), qPrintable(split.lastError().text()));
    QVERIFY(split.next());
    QVERIFY(ParseTextArray(split.value(0).toString(), parsed));
    QCOMPARE(parsed, nonEmpty);
}

void TestSqlQuote::parseArrayForms()
{
    QList<QString> parsed;
    QVERIFY(ParseTextArray(u"{}", parsed));
    QVERIFY(parsed.isEmpty());
    QVERIFY(ParseTextArray(u"{a,NULL,\"NULL\",\"\",\"x\\\\y\"}", parsed));
    QCOMPARE(parsed.size(), 5);
    QVERIFY(parsed[1].isNull());
    QCOMPARE(parsed[2], "NULL");
    QVERIFY(!parsed[3].isNull());
    QCOMPARE(parsed[4], "x\\y");
    QVERIFY(!ParseTextArray(u"{\"unterminated}", parsed));
    QVERIFY(!ParseTextArray(u"not an array", parsed));
}

QTEST_GUILESS_MAIN(TestSqlQuote)
#include "tst_sqlquote.moc"
