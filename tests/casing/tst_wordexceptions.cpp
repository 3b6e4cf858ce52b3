// The word exceptions after the case rules: where a listed word matches, overlapping words,
// non-ASCII words, and that an empty list changes nothing.
#include "casing/caselist.h"
#include "casing/caserules.h"
#include "casing/caseunits.h"
#include "casing/wordexceptions.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTreeWidget>

class TestWordExceptions : public QObject
{
    Q_OBJECT

private slots:
    void afterTheRule_data();
    void afterTheRule();
    void emptyListChangesNothing();
    void cleanedList();
    void previewList();
    void sameAsPlainSearch();
    void lowerCasingKeepsWordCharacters();
};

namespace {

// The character that ends just before unit i, or none at the start.
bool wordCharacterBefore(const QString &text, qsizetype i)
{
    if (i == 0)
        return false;
    char32_t c = text[i - 1].unicode();
    if (i >= 2 && text[i - 1].isLowSurrogate() && text[i - 2].isHighSurrogate())
        c = QChar::surrogateToUcs4(text[i - 2], text[i - 1]);
    return WordExceptions::IsWordCharacter(c);
}

// The character that begins at unit i.
bool wordCharacterAt(const QString &text, qsizetype i)
{
    char32_t c = text[i].unicode();
    if (i + 1 < text.size() && text[i].isHighSurrogate() && text[i + 1].isLowSurrogate())
        c = QChar::surrogateToUcs4(text[i], text[i + 1]);
    return WordExceptions::IsWordCharacter(c);
}

bool betweenPairUnits(const QString &text, qsizetype i)
{
    return i > 0 && i < text.size() && text[i].isLowSurrogate() && text[i - 1].isHighSurrogate();
}

// What a word and an occurrence must both become to match: lower case, with final sigma as
// sigma.
QString matchForm(const QString &text)
{
    return LowerCase(text).replace(QChar(0x03c2), QChar(0x03c3));
}

// The list applied by trying every word at every place, as the rule is stated.
QString plainSearch(QString text, const QStringList &listed)
{
    const QStringList words = WordExceptions::Cleaned(listed);
    struct Found {
        qsizetype start, length;
        QString spelling;
    };
    QList<Found> found;
    for (qsizetype start = 0; start < text.size(); ++start) {
        if (wordCharacterBefore(text, start) || betweenPairUnits(text, start))
            continue;
        for (const QString &word : words) {
            const qsizetype end = start + word.size();
            if (end > text.size() || matchForm(text.mid(start, word.size())) != matchForm(word))
                continue;
            if (end < text.size() && (betweenPairUnits(text, end) || wordCharacterAt(text, end)))
                continue;
            found.push_back({start, word.size(), word});
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Found &a, const Found &b) { return a.length > b.length; });
    QList<Found> taken;
    for (const Found &f : found) {
        if (std::none_of(taken.begin(), taken.end(), [&](const Found &t) {
                return f.start < t.start + t.length && t.start < f.start + f.length;
            }))
            taken.push_back(f);
    }
    for (const Found &t : taken)
        text.replace(t.start, t.length, t.spelling);
    return text;
}

} // namespace

void TestWordExceptions::afterTheRule_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    const int U = int(CaseMode::Upper), L = int(CaseMode::Lower), P = int(CaseMode::Proper),
              S = int(CaseMode::Sentence);
    const QStringList mc{"McDonald"}, usa{"USA"}, names{"McDonald", "O'Neil", "USA", "iPhone"};

    // Where a word may begin and end.
    QTest::newRow("whole text") << P << mc << "MCDONALD"
                                << "McDonald";
    QTest::newRow("start and end") << P << usa << "usa and usa"
                                   << "USA And USA";
    QTest::newRow("after space") << P << mc << "old mcdonald"
                                 << "Old McDonald";
    QTest::newRow("after tab") << P << mc << "a\tmcdonald"
                               << "A\tMcDonald";
    QTest::newRow("after CR") << P << mc << "a\rmcdonald"
                              << "A\rMcDonald";
    QTest::newRow("after LF") << P << mc << "a\nmcdonald"
                              << "A\nMcDonald";
    QTest::newRow("before CR LF") << P << mc << "mcdonald\r\nmcdonald"
                                  << "McDonald\r\nMcDonald";
    QTest::newRow("no-break space")
        << P << usa << QStringLiteral("a\u00a0usa") << QStringLiteral("A\u00a0USA");
    QTest::newRow("punctuation") << P << names << "(mcdonald), usa! \"iphone\"."
                                 << "(McDonald), USA! \"iPhone\".";
    QTest::newRow("apostrophe after") << P << mc << "mcdonald's farm"
                                      << "McDonald's Farm";
    QTest::newRow("apostrophe inside") << P << names << "o'neil"
                                       << "O'Neil";
    QTest::newRow("apostrophe before") << P << usa << "l'usa"
                                       << "L'USA";
    QTest::newRow("hyphens") << P << mc << "mcdonald-smith smith-mcdonald"
                             << "McDonald-smith Smith-McDonald";
    QTest::newRow("slash") << P << usa << "usa/usa"
                           << "USA/USA";
    QTest::newRow("inside a longer word") << P << mc << "mcdonaldson"
                                          << "Mcdonaldson";
    QTest::newRow("word inside") << P << usa << "busan usability"
                                 << "Busan Usability";
    QTest::newRow("digit after") << P << usa << "usa2"
                                 << "Usa2";
    QTest::newRow("digit before") << P << usa << "2usa"
                                  << "2usa";
    QTest::newRow("non-ASCII letter next to it")
        << P << usa << QStringLiteral("éusa usaé") << QStringLiteral("Éusa Usaé");
    QTest::newRow("combining mark after")
        << P << names << QStringLiteral("iphone\u0301") << QStringLiteral("Iphone\u0301");
    QTest::newRow("letter outside the BMP before")
        << P << usa << QStringLiteral("\U00010428usa") << QStringLiteral("\U00010400usa");
    QTest::newRow("emoji before") << P << usa << QStringLiteral("😀usa") << QStringLiteral("😀USA");
    QTest::newRow("across the 64th unit") << P << mc << QString(60, u'a') + " mcdonald's"
                                          << "A" + QString(59, u'a') + " McDonald's";
    QTest::newRow("word beginning with a sign")
        << P << QStringList{"#HashTag"} << "a #hashtag, a#hashtag"
        << "A #HashTag, A#hashtag";
    QTest::newRow("any mix of capitals") << P << mc << "mCdOnAlD"
                                         << "McDonald";
    QTest::newRow("already as listed") << P << usa << "Usa"
                                       << "USA";

    // The modes: Sentence as Proper, Upper and Lower ignore the list.
    QTest::newRow("sentence") << S << names << "IPHONE sold in usa by mcdonald's"
                              << "iPhone sold in USA by McDonald's";
    QTest::newRow("upper ignores") << U << names << "mcdonald's iphone"
                                   << "MCDONALD'S IPHONE";
    QTest::newRow("lower ignores") << L << names << "USA"
                                   << "usa";

    // Overlapping words: the longer wins, whether they begin together or not.
    QTest::newRow("same start, longer wins")
        << P << QStringList{"van", "van der Berg"} << "VAN DER BERG and van"
        << "van der Berg And van";
    QTest::newRow("same start, order of the list does not matter")
        << P << QStringList{"van der Berg", "van"} << "van der berg"
        << "van der Berg";
    QTest::newRow("later start, longer wins") << P << QStringList{"a-B", "b-C-d"} << "a-b-c-d"
                                              << "A-b-C-d";
    QTest::newRow("same length, earlier wins") << P << QStringList{"a-B", "b-C"} << "a-b-c"
                                               << "a-B-c";
    QTest::newRow("same length, earlier wins, beginning with a sign")
        << P << QStringList{"b-CD", "#a-B"} << "#a-b-cd"
        << "#a-B-cd";
    QTest::newRow("shorter that does not overlap the winner stays")
        << P << QStringList{"x Y z", "z W v U", "X y"} << "x y z w v u"
        << "X y z W v U";
    QTest::newRow("word within a listed phrase")
        << P << QStringList{"de", "Rio de Janeiro"} << "rio de janeiro de"
        << "Rio de Janeiro de";

    // Non-ASCII words.
    const QStringList places{QStringLiteral("Ångström"), QStringLiteral("Ærøskøbing"),
                             QStringLiteral("McÉwan")};
    QTest::newRow("non-ASCII, sentence")
        << S << places << QStringLiteral("10 ÅNGSTRÖM FROM ÆRØSKØBING")
        << QStringLiteral("10 Ångström from Ærøskøbing");
    QTest::newRow("non-ASCII, capital inside")
        << P << places << QStringLiteral("ian mcéwan") << QStringLiteral("Ian McÉwan");
    QTest::newRow("non-ASCII, part of a word")
        << S << QStringList{QStringLiteral("ÆRØ")} << QStringLiteral("ærøskøbing ærø")
        << QStringLiteral("Ærøskøbing ÆRØ");
    QTest::newRow("non-ASCII, greek") << P << QStringList{QStringLiteral("ΟΗΕ")}
                                      << QStringLiteral("ο οηε") << QStringLiteral("Ο ΟΗΕ");
    QTest::newRow("non-ASCII, final sigma")
        << P << QStringList{QStringLiteral("ΑΝΔΡΈΑΣ")} << QStringLiteral("άγιος ανδρέας")
        << QStringLiteral("Άγιος ΑΝΔΡΈΑΣ");
    QTest::newRow("non-ASCII, listed with final sigma")
        << S << QStringList{QStringLiteral("ΆγιοςΑ")} << QStringLiteral("αγιοσα άγιοσα")
        << QStringLiteral("Αγιοσα ΆγιοςΑ");
    QTest::newRow("non-ASCII, dotted capital I")
        << P << QStringList{QStringLiteral("İzmir")} << QStringLiteral("IZMIR izmir")
        << QStringLiteral("İzmir İzmir");
    QTest::newRow("non-ASCII, beyond the first plane")
        << P << QStringList{QStringLiteral("\U00010428\U00010400")}
        << QStringLiteral("\U00010400\U00010400 x") << QStringLiteral("\U00010428\U00010400 X");

    // The list as it stands in the file: blanks, empty lines and duplicates.
    QTest::newRow("blanks around, empty entries") << P << QStringList{"", "  USA\t", "   "} << "usa"
                                                  << "USA";
    QTest::newRow("duplicate in other case: first wins")
        << P << QStringList{"USA", "usa", "Usa"} << "usa"
        << "USA";
}

void TestWordExceptions::afterTheRule()
{
    QFETCH(int, mode);
    QFETCH(QStringList, words);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    const WordExceptions list(words);
    QCOMPARE(ApplyCaseMode(CaseMode(mode), input, &list), expected);
}

void TestWordExceptions::emptyListChangesNothing()
{
    const QStringList samples{"",
                              "MCDONALD'S farm",
                              "o'neil usa",
                              "a\tb\rc\nd",
                              QStringLiteral("İSTANBUL ærøskøbing 😀x"),
                              QStringLiteral("e\u0301te\u0301")};
    const WordExceptions none, blanks(QStringList{"", "  ", "\t"});
    QVERIFY(none.isEmpty());
    QVERIFY(blanks.isEmpty());
    for (CaseMode mode : {CaseMode::Upper, CaseMode::Lower, CaseMode::Proper, CaseMode::Sentence}) {
        QVERIFY(!none.appliesTo(mode));
        for (const QString &text : samples) {
            const QString plain = ApplyCaseMode(mode, text);
            QCOMPARE(ApplyCaseMode(mode, text, &none), plain);
            QCOMPARE(ApplyCaseMode(mode, text, &blanks), plain);
        }
    }
    const WordExceptions some(QStringList{"USA"});
    QVERIFY(some.appliesTo(CaseMode::Proper));
    QVERIFY(some.appliesTo(CaseMode::Sentence));
    QVERIFY(!some.appliesTo(CaseMode::Upper));
    QVERIFY(!some.appliesTo(CaseMode::Lower));
}

void TestWordExceptions::cleanedList()
{
    QCOMPARE(WordExceptions::Cleaned({" McDonald ", "", "USA", "\t", "usa", "McDonald", "O'Neil",
                                      QStringLiteral("ÅNGSTRÖM"), QStringLiteral("ångström")}),
             QStringList({"McDonald", "USA", "O'Neil", QStringLiteral("ÅNGSTRÖM")}));
    QCOMPARE(WordExceptions(QStringList{" b ", "a", "B"}).words(), QStringList({"b", "a"}));
}

void TestWordExceptions::previewList()
{
    QTreeWidget list;
    for (const char *text : {"MCDONALD'S farm", "made in usa", ""})
        list.addTopLevelItem(new QTreeWidgetItem(QStringList{text}));
    const WordExceptions words(QStringList{"McDonald", "USA"});
    ProperCaseList(list, &words);
    QCOMPARE(list.topLevelItem(0)->text(0), "McDonald's Farm");
    QCOMPARE(list.topLevelItem(1)->text(0), "Made In USA");
    SentenceCaseList(list, &words);
    QCOMPARE(list.topLevelItem(0)->text(0), "McDonald's farm");
    QCOMPARE(list.topLevelItem(1)->text(0), "Made in USA");
    QCOMPARE(list.topLevelItem(2)->text(0), "");
}

void TestWordExceptions::sameAsPlainSearch()
{
    // Texts and words of a few characters, so that words occur often, overlap and touch each
    // other and the edges of the 64-unit blocks the search works in. Every other text is
    // ASCII only, which the search takes a shorter way through.
    const QStringList pieces{"a", "b", "c", "A", "B", "i", "1", " ", " ", "'", "-", "\t", "\r\n",
                             "#", "é", "É", "ß", "İ", "😀", "𐐨", "𐐀", "Σ", "σ", "ς", "\u0301",
                             // halves of a pair on their own
                             QString(QChar(0xd83d)), QString(QChar(0xde00))};
    const int asciiPieces = 14;
    QRandomGenerator random(7);
    int choices = 0;
    auto pieceString = [&](int count) {
        QString result;
        for (int i = 0; i < count; ++i)
            result += pieces[random.bounded(choices)];
        return result;
    };
    for (int round = 0; round < 4000; ++round) {
        choices = round % 2 ? int(pieces.size()) : asciiPieces;
        const QString text = pieceString(random.bounded(0, 90));
        // Short words, and pieces of the text up to 20 units long, in other capitals.
        QStringList words;
        for (int w = random.bounded(1, 6); w > 0; --w) {
            if (text.isEmpty() || random.bounded(2))
                words << pieceString(random.bounded(1, 5));
            else
                words << UpperCase(text.mid(random.bounded(text.size()), random.bounded(1, 21)));
        }
        QString applied = text;
        WordExceptions(words).apply(applied);
        QCOMPARE(applied, plainSearch(text, words));
    }
}

void TestWordExceptions::lowerCasingKeepsWordCharacters()
{
    // The search compares a text's runs of word characters with the words' own, before either
    // is folded; that needs a character and its folded form to be alike in this, and of one
    // plane, as the search compares unit by unit.
    for (char32_t c = 0; c < 0x110000; ++c) {
        if (QChar::isSurrogate(c))
            continue;
        const char32_t folded = FoldedCharacter(c);
        QVERIFY2(WordExceptions::IsWordCharacter(c) == WordExceptions::IsWordCharacter(folded),
                 qPrintable(QString::number(c, 16)));
        QVERIFY2(QChar::requiresSurrogates(c) == QChar::requiresSurrogates(folded),
                 qPrintable(QString::number(c, 16)));
    }
}

QTEST_MAIN(TestWordExceptions)
#include "tst_wordexceptions.moc"
