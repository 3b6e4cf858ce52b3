// The four case rules and the choice of a mode from the mode text.
#include "casing/caserules.h"

#include <QTest>

class TestCaseRules : public QObject
{
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
    void modeFromText_data();
    void modeFromText();
    void unicodeKeepsLength_data();
    void unicodeKeepsLength();
    void unicodeMapping();
    void longTexts();
};

void TestCaseRules::rules_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    const int U = int(CaseMode::Upper), L = int(CaseMode::Lower), P = int(CaseMode::Proper),
              S = int(CaseMode::Sentence);
    for (int mode : {U, L, P, S})
        QTest::addRow("empty/%d", mode) << mode << QString() << QString();
    QTest::newRow("upper") << U << "abc 123-x"
                           << "ABC 123-X";
    QTest::newRow("lower") << L << "ABC Def"
                           << "abc def";
    QTest::newRow("proper words") << P << "hello world"
                                  << "Hello World";
    QTest::newRow("proper capitals, blank runs") << P << "HELLO   WORLD"
                                                 << "Hello   World";
    QTest::newRow("proper leading blanks") << P << "  leading"
                                           << "  Leading";
    QTest::newRow("proper apostrophe, hyphen") << P << "o'neil mcdonald-smith"
                                               << "O'neil Mcdonald-smith";
    QTest::newRow("proper digit") << P << "3rd street"
                                  << "3rd Street";
    QTest::newRow("proper punctuation") << P << "end.next (x)"
                                        << "End.next (x)";
    QTest::newRow("proper tab") << P << "a\tb"
                                << "A\tB";
    QTest::newRow("proper CR LF") << P << "one\r\ntwo"
                                  << "One\r\ntwo";
    QTest::newRow("proper CR") << P << "one\rtwo"
                               << "One\rTwo";
    QTest::newRow("proper LF") << P << "one\ntwo"
                               << "One\ntwo";
    QTest::newRow("proper no-break space")
        << P << QStringLiteral("a\u00a0b") << QStringLiteral("A\u00a0b");
    QTest::newRow("sentence") << S << "hELLO. wORLD!"
                              << "Hello. world!";
    QTest::newRow("sentence one letter") << S << "a"
                                         << "A";
    QTest::newRow("sentence leading blank") << S << " leading space"
                                            << " leading space";
    QTest::newRow("sentence digit first") << S << "123 ABC"
                                          << "123 abc";
    QTest::newRow("quotes stay") << U << "it's \"x\" \\y"
                                 << "IT'S \"X\" \\Y";
}

void TestCaseRules::rules()
{
    QFETCH(int, mode);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(ApplyCaseMode(CaseMode(mode), input), expected);
}

void TestCaseRules::modeFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mode"); // -1: no mode

    QTest::newRow("display upper") << "UPPER CASE" << int(CaseMode::Upper);
    QTest::newRow("display lower") << "lower case" << int(CaseMode::Lower);
    QTest::newRow("display proper") << "Proper Case" << int(CaseMode::Proper);
    QTest::newRow("display sentence") << "Sentence case" << int(CaseMode::Sentence);
    QTest::newRow("capitals") << "SENTENCE CASE" << int(CaseMode::Sentence);
    QTest::newRow("first word in order wins") << "upper and lower" << int(CaseMode::Upper);
    QTest::newRow("order, not position") << "lower then upper" << int(CaseMode::Upper);
    QTest::newRow("containment") << "xxProPeRxx" << int(CaseMode::Proper);
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("no word") << "Title Case" << -1;
}

void TestCaseRules::modeFromText()
{
    QFETCH(QString, text);
    QFETCH(int, mode);
    const std::optional<CaseMode> found = CaseModeFromText(text);
    QCOMPARE(found ? int(*found) : -1, mode);
}

void TestCaseRules::unicodeKeepsLength_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("latin") << QStringLiteral("école ÉCOLE");
    QTest::newRow("greek sigma") << QStringLiteral("ΣΊΣΥΦΟΣ σίσυφος");
    QTest::newRow("turkish i") << QStringLiteral("İstanbul ıhlamur");
    QTest::newRow("sharp s") << QStringLiteral("straße STRASSE ẞ");
    QTest::newRow("emoji") << QStringLiteral("smile 😀 here");
    QTest::newRow("deseret letters") << QStringLiteral("𐐀𐐨");
    QTest::newRow("combining") << QStringLiteral("e\u0301te\u0301 O\u0308");
    QTest::newRow("lone high surrogate") << QString(QChar(0xD83D)) + QStringLiteral("ab");
    QTest::newRow("lone low surrogate") << QStringLiteral("ab") + QString(QChar(0xDE00));
    QTest::newRow("controls") << QStringLiteral("a\u0001b\u001fc\u007f");
}

void TestCaseRules::unicodeKeepsLength()
{
    QFETCH(QString, text);
    for (CaseMode mode : {CaseMode::Upper, CaseMode::Lower, CaseMode::Proper, CaseMode::Sentence}) {
        const QString converted = ApplyCaseMode(mode, text);
        QCOMPARE(converted.size(), text.size());
        // Surrogates are never case-mapped, so each one stays in its place.
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i).isSurrogate())
                QCOMPARE(converted.at(i), text.at(i));
        }
    }
}

void TestCaseRules::unicodeMapping()
{
    QCOMPARE(UpperCase(QStringLiteral("straße")), QStringLiteral("STRAßE")); // not "STRASSE"
    QCOMPARE(LowerCase(QStringLiteral("ΣΟΦΟΣ")), QStringLiteral("σοφοσ")); // no final-sigma context
    QCOMPARE(UpperCase(QStringLiteral("ıi")), QStringLiteral("II"));
    // U+0130 has no one-unit lower-case form in Qt's mapping, so it stays as it is.
    QCOMPARE(LowerCase(QStringLiteral("İI")), QStringLiteral("İi"));
    QCOMPARE(ProperCase(QStringLiteral("éCOLE ÉLÈVE")), QStringLiteral("École Élève"));
    QCOMPARE(SentenceCase(QStringLiteral("İSTANBUL")), QStringLiteral("İstanbul"));
    QCOMPARE(ProperCase(QStringLiteral("İSTANBUL")), QStringLiteral("İstanbul"));
    QCOMPARE(UpperCase(QStringLiteral("😀x")), QStringLiteral("😀X"));
}

void TestCaseRules::longTexts()
{
    // Lengths around the old 16-bit limit and far beyond it all convert.
    for (qsizetype length : {32766, 32767, 32768, 100000}) {
        QString text;
        text.reserve(length);
        while (text.size() < length)
            text += QStringLiteral("WORD one ");
        text.truncate(length);
        const QString converted = ProperCase(text);
        QCOMPARE(converted.size(), length);
        QVERIFY(converted.startsWith(QStringLiteral("Word One Word")));
        QCOMPARE(converted.count(QStringLiteral("Word One")),
                 text.count(QStringLiteral("WORD one")));
    }
}

QTEST_APPLESS_MAIN(TestCaseRules)
#include "tst_caserules.moc"
