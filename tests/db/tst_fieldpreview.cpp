// The field preview against a database of its own on the test server: at most 101 values in
// the server's order, NULL as the empty text, other types in PostgreSQL's text form, text of
// any script unchanged, long values cut, and awkward names quoted safely.
#include "db/dberror.h"
#include "db/fieldpreview.h"
#include "scratchdatabase.h"

#include <QTest>

namespace {

TableRef inPublic(const char *name)
{
    return {QStringLiteral("public"), QString::fromUtf8(name)};
}

QStringList numbers(int from, int to)
{
    QStringList texts;
    for (int n = from; n <= to; ++n)
        texts.append(QString::number(n));
    return texts;
}

} // namespace

class TestFieldPreview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { db_.reset(); }

    void showsAtMost101Values_data();
    void showsAtMost101Values();
    void readsNoRowAfterTheLast();
    void nullIsTheEmptyText();
    void valuesInTheServersTextForm_data();
    void valuesInTheServersTextForm();
    void textRoundTripsExactly();
    void longValuesAreCut_data();
    void longValuesAreCut();
    void awkwardNamesAndSchemas();
    void failuresReachTheCaller();

private:
    std::unique_ptr<ScratchDatabase> db_;
};

void TestFieldPreview::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    db_ = std::make_unique<ScratchDatabase>(QStringLiteral("recasor_tst_fieldpreview"));
    QVERIFY2(db_->error().isEmpty(), qPrintable(db_->error()));
    // Names written out by hand, not with the quoting helper, so the two check each other.
    const QString failure = db_->exec({
        "CREATE TABLE many AS SELECT n FROM generate_series(1, 150) n",
        "CREATE TABLE exactly AS SELECT n FROM generate_series(1, 101) n",
        "CREATE TABLE few AS SELECT n FROM generate_series(1, 5) n",
        "CREATE TABLE empty (n int)",
        "CREATE VIEW fails_after_101 AS SELECT CASE WHEN n <= 101 THEN n ELSE n / (n - n) END "
        "AS n FROM generate_series(1, 150) n",
        "CREATE TABLE nulls (t text, i int)",
        "INSERT INTO nulls VALUES (NULL, NULL), ('', 0), (NULL, NULL)",
        "CREATE TABLE typed (i int, big bigint, num numeric(10, 2), d date, b boolean, u uuid, "
        "c char(5), f float8, a int[])",
        "INSERT INTO typed VALUES (42, -9007199254740993, 1234.5, '2024-02-29', true, "
        "'A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11', 'ab', 0.1, '{1,NULL,3}'), "
        "(-7, 0, 0, '1999-12-31', false, '00000000-0000-0000-0000-000000000000', '', -2.5, "
        "'{}')",
        // Built from code points, so the fixture does not rely on the path under test.
        "CREATE TABLE texts (t text)",
        "INSERT INTO texts VALUES (chr(128512) || chr(127881)), "
        "(chr(28450) || chr(23383) || chr(12363) || chr(12394) || chr(54620) || chr(44544)), "
        "('e' || chr(769) || ' ' || chr(233)), (chr(131072) || 'x' || chr(128104) || "
        "chr(8205) || chr(128105)), ('it''s a \"quote\" \\ back'), "
        "(repeat(chr(128512) || 'ab', 250))",
        "CREATE TABLE long (label text, t text)",
        "INSERT INTO long VALUES ('1000', repeat('x', 1000)), ('1001', repeat('x', 1001)), "
        "('pair across the cut', repeat('x', 999) || chr(128512)), "
        "('pair before the cut', repeat('x', 998) || chr(128512) || 'y'), "
        "('pairs only', repeat(chr(128512), 600)), ('10 MB', repeat('ab', 5000000))",
        "CREATE SCHEMA \"Sales\"",
        "CREATE TABLE \"Sales\".\"we\"\"ird ta;ble\" (\"Fïeld \"\"x\"\"\" text, \"ID\" int)",
        "INSERT INTO \"Sales\".\"we\"\"ird ta;ble\" VALUES ('first', 1), ('zweite Zeile', 2)",
        "CREATE TABLE orders (item text)",
        "CREATE TABLE \"Sales\".orders (item text)",
        "INSERT INTO orders VALUES ('public row')",
        "INSERT INTO \"Sales\".orders VALUES ('Sales row')",
    });
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestFieldPreview::showsAtMost101Values_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("expected");
    // Freshly filled tables come back in the order the rows went in.
    QTest::newRow("150 rows") << "many" << numbers(1, 101);
    QTest::newRow("101 rows") << "exactly" << numbers(1, 101);
    QTest::newRow("5 rows") << "few" << numbers(1, 5);
    QTest::newRow("no row") << "empty" << QStringList();
}

void TestFieldPreview::showsAtMost101Values()
{
    QFETCH(QString, table);
    QFETCH(QStringList, expected);
    const QStringList values =
        PreviewField(db_->settings(), {QStringLiteral("public"), table}, QStringLiteral("n"));
    QCOMPARE(values.size(), expected.size());
    QCOMPARE(values, expected);
}

void TestFieldPreview::readsNoRowAfterTheLast()
{
    // Row 102 of this view fails when it is computed: only a preview that asks for no more
    // than it shows gets through.
    QVERIFY(!db_->exec({"SELECT * FROM fails_after_101"}).isEmpty());
    QCOMPARE(PreviewField(db_->settings(), inPublic("fails_after_101"), QStringLiteral("n")),
             numbers(1, 101));
}

void TestFieldPreview::nullIsTheEmptyText()
{
    QCOMPARE(PreviewField(db_->settings(), inPublic("nulls"), QStringLiteral("t")),
             QStringList({"", "", ""}));
    QCOMPARE(PreviewField(db_->settings(), inPublic("nulls"), QStringLiteral("i")),
             QStringList({"", "0", ""}));
}

void TestFieldPreview::valuesInTheServersTextForm_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("integer") << "i" << QStringList{"42", "-7"};
    QTest::newRow("bigint beyond a double") << "big" << QStringList{"-9007199254740993", "0"};
    QTest::newRow("numeric keeps its scale") << "num" << QStringList{"1234.50", "0.00"};
    QTest::newRow("date") << "d" << QStringList{"2024-02-29", "1999-12-31"};
    QTest::newRow("boolean") << "b" << QStringList{"t", "f"};
    QTest::newRow("uuid") << "u"
                          << QStringList{"a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11",
                                         "00000000-0000-0000-0000-000000000000"};
    QTest::newRow("char keeps its padding") << "c" << QStringList{"ab   ", "     "};
    QTest::newRow("float") << "f" << QStringList{"0.1", "-2.5"};
    QTest::newRow("array") << "a" << QStringList{"{1,NULL,3}", "{}"};
}

void TestFieldPreview::valuesInTheServersTextForm()
{
    QFETCH(QString, field);
    QFETCH(QStringList, expected);
    QCOMPARE(PreviewField(db_->settings(), inPublic("typed"), field), expected);
}

void TestFieldPreview::textRoundTripsExactly()
{
    const auto fromCodePoints = [](std::initializer_list<char32_t> points) {
        return QString::fromUcs4(std::data(points), qsizetype(points.size()));
    };
    const QStringList expected{
        fromCodePoints({0x1F600, 0x1F389}),
        fromCodePoints({0x6F22, 0x5B57, 0x304B, 0x306A, 0xD55C, 0xAE00}),
        // Combining and precomposed forms stay as they are: no normalisation on the way.
        fromCodePoints({U'e', 0x0301, U' ', 0x00E9}),
        fromCodePoints({0x20000, U'x', 0x1F468, 0x200D, 0x1F469}),
        QStringLiteral("it's a \"quote\" \\ back"),
        // Exactly as long as the preview shows: 1,000 UTF-16 units, 750 characters.
        fromCodePoints({0x1F600, U'a', U'b'}).repeated(250),
    };
    const QStringList values = PreviewField(db_->settings(), inPublic("texts"), "t");
    QCOMPARE(values, expected);
    QCOMPARE(values.at(2).size(), 4);
}

void TestFieldPreview::longValuesAreCut_data()
{
    // The first 1,000 UTF-16 units and "…"; a surrogate pair that the cut would split goes.
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("expected");
    const QString x = QStringLiteral("x");
    const QString smiley = QString::fromUcs4(U"\U0001F600", 1);
    const QString more = QString(QChar(0x2026));
    QTest::newRow("1000") << "1000" << x.repeated(1000);
    QTest::newRow("1001") << "1001" << x.repeated(1000) + more;
    QTest::newRow("pair across the cut") << "pair across the cut" << x.repeated(999) + more;
    QTest::newRow("pair before the cut")
        << "pair before the cut" << x.repeated(998) + smiley + more;
    QTest::newRow("pairs only") << "pairs only" << smiley.repeated(500) + more;
    QTest::newRow("10 MB") << "10 MB" << QStringLiteral("ab").repeated(500) + more;
}

void TestFieldPreview::longValuesAreCut()
{
    QFETCH(QString, label);
    QFETCH(QString, expected);
    const QStringList labels = PreviewField(db_->settings(), inPublic("long"), "label");
    const QStringList values = PreviewField(db_->settings(), inPublic("long"), "t");
    QCOMPARE(values.size(), labels.size());
    QCOMPARE(values.value(labels.indexOf(label)), expected);
}

void TestFieldPreview::awkwardNamesAndSchemas()
{
    const ConnectionSettings values = db_->settings();
    const TableRef weird{QStringLiteral("Sales"), QStringLiteral("we\"ird ta;ble")};
    QCOMPARE(PreviewField(values, weird, QStringLiteral("Fïeld \"x\"")),
             QStringList({"first", "zweite Zeile"}));
    QCOMPARE(PreviewField(values, weird, QStringLiteral("ID")), QStringList({"1", "2"}));
    QCOMPARE(PreviewField(values, inPublic("orders"), QStringLiteral("item")),
             QStringList({"public row"}));
    QCOMPARE(PreviewField(values, {QStringLiteral("Sales"), QStringLiteral("orders")},
                          QStringLiteral("item")),
             QStringList({"Sales row"}));
}

void TestFieldPreview::failuresReachTheCaller()
{
    const QStringList connectionsBefore = QSqlDatabase::connectionNames();
    const auto sqlStateOf = [](const std::function<void()> &action) {
        try {
            action();
        } catch (const DbError &error) {
            return error.sqlState().isEmpty() ? QStringLiteral("(none)") : error.sqlState();
        }
        return QString();
    };
    // A name that is not quoted would be read as another column and pass.
    QCOMPARE(sqlStateOf([this] { PreviewField(db_->settings(), inPublic("typed"), "I"); }),
             QStringLiteral("42703"));
    // The preview reads the values it is given: the test database lacks the table.
    QCOMPARE(sqlStateOf([] { PreviewField(TestDatabase::settings(), inPublic("typed"), "i"); }),
             QStringLiteral("42P01"));
    ConnectionSettings wrong = db_->settings();
    wrong.password += QStringLiteral("-wrong");
    QVERIFY(!sqlStateOf([&wrong] { PreviewField(wrong, inPublic("typed"), "i"); }).isEmpty());
    QCOMPARE(QSqlDatabase::connectionNames(), connectionsBefore);
}

QTEST_GUILESS_MAIN(TestFieldPreview)
#include "tst_fieldpreview.moc"
