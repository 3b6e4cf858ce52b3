// The four case rules and the choice of a mode from the mode text.
#include "casing/caserules.h"
#include "casing/caseunits.h"
#include "casing/wordexceptions.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <array>

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
    void everyCharacterAsUnicodeData();
    void finalSigmaIsTheOnlyContext();
    void sameAsCharacterByCharacter();
    void longTexts();
    void oneCase_data();
    void oneCase();
    void leftAsWritten_data();
    void leftAsWritten();
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

    // Turkish and Azerbaijani dotted capital I: small "i" in lower case; a capital that starts
    // a word keeps its dot.
    QTest::newRow("turkish İ, lower")
        << L << QStringLiteral("BAF İLÇESI") << QStringLiteral("baf ilçesi");
    QTest::newRow("turkish İ, proper")
        << P << QStringLiteral("BAF İLÇESI") << QStringLiteral("Baf İlçesi");
    QTest::newRow("turkish İ, sentence")
        << S << QStringLiteral("İLÇESI BAF") << QStringLiteral("İlçesi baf");
    // Title case, not upper case, for the letter that starts a word.
    QTest::newRow("georgian, proper")
        << P << QStringLiteral("აალენი ქუთაისი") << QStringLiteral("აალენი ქუთაისი");
    QTest::newRow("georgian, sentence")
        << S << QStringLiteral("აალენი") << QStringLiteral("აალენი");
    QTest::newRow("georgian capitals, lower")
        << L << QStringLiteral("ᲐᲐᲚᲔᲜᲘ") << QStringLiteral("აალენი");
    QTest::newRow("digraph, proper")
        << P << QStringLiteral("ǆemal ǄEMAL") << QStringLiteral("ǅemal ǅemal");
    QTest::newRow("digraph, sentence")
        << S << QStringLiteral("ǉUBLJANA") << QStringLiteral("ǈubljana");
    QTest::newRow("digraph, upper") << U << QStringLiteral("ǅemal") << QStringLiteral("ǄEMAL");
    QTest::newRow("digraph, lower") << L << QStringLiteral("ǅEMAL") << QStringLiteral("ǆemal");
    // Final sigma.
    QTest::newRow("greek, lower") << L << QStringLiteral("ΆΓΙΟΣ ΑΝΔΡΈΑΣ")
                                  << QStringLiteral("άγιος ανδρέας");
    QTest::newRow("greek, proper")
        << P << QStringLiteral("ΆΓΙΟΣ ΑΝΔΡΈΑΣ") << QStringLiteral("Άγιος Ανδρέας");
    QTest::newRow("sigma at the end of the text")
        << L << QStringLiteral("ΟΔΟΣ") << QStringLiteral("οδος");
    QTest::newRow("sigma before a space")
        << L << QStringLiteral("ΟΔΟΣ ΝΕΑ") << QStringLiteral("οδος νεα");
    QTest::newRow("sigma before punctuation")
        << L << QStringLiteral("ΟΔΟΣ, ΝΕΟΣ! (ΚΑΛΟΣ)") << QStringLiteral("οδος, νεος! (καλος)");
    QTest::newRow("sigma alone") << L << QStringLiteral("Σ") << QStringLiteral("σ");
    QTest::newRow("sigma alone, words") << L << QStringLiteral("Σ Α Σ") << QStringLiteral("σ α σ");
    QTest::newRow("sigma at both ends") << L << QStringLiteral("ΣΑΣ") << QStringLiteral("σας");
    QTest::newRow("sigma at both ends, proper")
        << P << QStringLiteral("ΣΑΣ ΣΑΣ") << QStringLiteral("Σας Σας");
    QTest::newRow("sigma at both ends, sentence")
        << S << QStringLiteral("ΣΑΣ ΣΑΣ") << QStringLiteral("Σας σας");
    QTest::newRow("sigma inside a word")
        << L << QStringLiteral("ΣΙΣΥΦΟΣ") << QStringLiteral("σισυφος");
    QTest::newRow("sigma after a digit") << L << QStringLiteral("1Σ") << QStringLiteral("1σ");
    // Case-ignorable characters (marks, apostrophes, full stops) are looked past.
    QTest::newRow("sigma before a mark at the end")
        << L << QStringLiteral("ΑΣ\u0301") << QStringLiteral("ας\u0301");
    QTest::newRow("sigma after a mark")
        << L << QStringLiteral("Ά\u0301Σ Α") << QStringLiteral("ά\u0301ς α");
    QTest::newRow("sigma before a full stop and a letter")
        << L << QStringLiteral("ΑΣ.Α ΑΣ.") << QStringLiteral("ασ.α ας.");
    QTest::newRow("sigma after a letter beyond the first plane")
        << L << QStringLiteral("\U00010400Σ") << QStringLiteral("\U00010428ς");
    // Greek letters with a subscript iota.
    QTest::newRow("subscript iota, upper")
        << U << QStringLiteral("ᾳ ῃ ῳ ᾀ ᾷ") << QStringLiteral("ᾼ ῌ ῼ ᾈ ᾷ");
    QTest::newRow("subscript iota, lower")
        << L << QStringLiteral("ᾼ ῌ ῼ ᾈ") << QStringLiteral("ᾳ ῃ ῳ ᾀ");
    // Letters beyond the first plane: Adlam, Deseret, Osage.
    QTest::newRow("adlam, lower") << L << QStringLiteral("𞤀𞤣𞤤𞤢𞤥")
                                  << QStringLiteral("𞤢𞤣𞤤𞤢𞤥");
    QTest::newRow("adlam, upper") << U << QStringLiteral("𞤢𞤣𞤤𞤢𞤥")
                                  << QStringLiteral("𞤀𞤁𞤂𞤀𞤃");
    QTest::newRow("adlam, proper") << P << QStringLiteral("𞤀𞤁𞤂 𞤢𞤣𞤤")
                                   << QStringLiteral("𞤀𞤣𞤤 𞤀𞤣𞤤");
    QTest::newRow("deseret, sentence") << S << QStringLiteral("𐐨𐐀 𐐀") << QStringLiteral("𐐀𐐨 𐐨");
    QTest::newRow("osage, lower") << L << QStringLiteral("𐒰𐓏") << QStringLiteral("𐓘𐓷");
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
    QTest::newRow("lone high surrogate before a pair")
        << QString(QChar(0xD801)) + QStringLiteral("\U00010428x");
    QTest::newRow("low surrogate after a pair")
        << QStringLiteral("\U00010428") + QString(QChar(0xDC00)) + QStringLiteral("\U00010400");
    QTest::newRow("controls") << QStringLiteral("a\u0001b\u001fc\u007f");
}

void TestCaseRules::unicodeKeepsLength()
{
    QFETCH(QString, text);
    for (CaseMode mode : {CaseMode::Upper, CaseMode::Lower, CaseMode::Proper, CaseMode::Sentence}) {
        const QString converted = ApplyCaseMode(mode, text);
        QCOMPARE(converted.size(), text.size());
        // A pair stays a pair, and a surrogate without its other half stays as it is.
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            const bool paired =
                c.isHighSurrogate()
                    ? i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
                    : c.isLowSurrogate() && i > 0 && text.at(i - 1).isHighSurrogate();
            QCOMPARE(converted.at(i).isHighSurrogate(), c.isHighSurrogate());
            QCOMPARE(converted.at(i).isLowSurrogate(), c.isLowSurrogate());
            if (c.isSurrogate() && !paired)
                QCOMPARE(converted.at(i), c);
        }
    }
}

void TestCaseRules::unicodeMapping()
{
    // Simple mappings only: one character to one.
    QCOMPARE(UpperCase(QStringLiteral("straße")), QStringLiteral("STRAßE")); // not "STRASSE"
    QCOMPARE(UpperCase(QStringLiteral("ŉ ǰ ﬀ")), QStringLiteral("ŉ ǰ ﬀ"));
    QCOMPARE(UpperCase(QStringLiteral("ıi")), QStringLiteral("II"));
    QCOMPARE(LowerCase(QStringLiteral("İI")), QStringLiteral("ii"));
    QCOMPARE(ProperCase(QStringLiteral("éCOLE ÉLÈVE")), QStringLiteral("École Élève"));
    QCOMPARE(SentenceCase(QStringLiteral("İSTANBUL")), QStringLiteral("İstanbul"));
    QCOMPARE(ProperCase(QStringLiteral("İSTANBUL")), QStringLiteral("İstanbul"));
    QCOMPARE(UpperCase(QStringLiteral("😀x")), QStringLiteral("😀X"));
    QCOMPARE(CaseModeFromText(QStringLiteral("İ LOWER")), CaseMode::Lower);
}

namespace {

QString textOf(char32_t c)
{
    if (c < 0x10000)
        return QString(QChar(char16_t(c)));
    return QString::fromUcs4(&c, 1);
}

QString hexOf(char32_t c)
{
    return QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
}

QByteArray unicodeFile(const char *name, QFile &file)
{
    file.setFileName(QStringLiteral(UNICODE_DATA_DIR "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return "cannot read " + file.fileName().toUtf8() + " (Debian package unicode-data)";
    return {};
}

} // namespace

void TestCaseRules::everyCharacterAsUnicodeData()
{
    // Each character alone goes through the rules as UnicodeData.txt maps it: upper case (field
    // 12), lower case (13) and, in Proper and Sentence case, title case (14, or else 12). A
    // character without a mapping stays as it is.
    QFile file;
    const QByteArray problem = unicodeFile("UnicodeData.txt", file);
    QVERIFY2(problem.isEmpty(), problem.constData());
    QHash<char32_t, std::array<char32_t, 3>> mappings;
    while (!file.atEnd()) {
        const QList<QByteArray> f = file.readLine().trimmed().split(';');
        if (f.size() < 15)
            continue;
        const char32_t c = f[0].toUInt(nullptr, 16);
        auto field = [&](int i, char32_t fallback) {
            return f[i].isEmpty() ? fallback : char32_t(f[i].toUInt(nullptr, 16));
        };
        const char32_t upper = field(12, c);
        mappings.insert(c, {upper, field(13, c), field(14, upper)});
    }
    QVERIFY(mappings.size() > 30000);

    QStringList wrong;
    qsizetype mapped = 0;
    for (char32_t c = 0; c < 0x110000; ++c) {
        const std::array<char32_t, 3> expected = mappings.value(c, {c, c, c});
        mapped += expected != std::array<char32_t, 3>{c, c, c};
        const QString text = textOf(c);
        const QString results[] = {UpperCase(text), LowerCase(text), ProperCase(text),
                                   SentenceCase(text)};
        const char32_t wanted[] = {expected[0], expected[1], expected[2], expected[2]};
        for (int rule = 0; rule < 4; ++rule) {
            if (results[rule] != textOf(wanted[rule]))
                wrong << QStringLiteral("%1 by %2").arg(hexOf(c)).arg(rule);
        }
    }
    QVERIFY(mapped > 2800);
    QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("%1 wrong (rule 0 upper, 1 lower, 2 "
                                                        "proper, 3 sentence), the first: %2")
                                             .arg(wrong.size())
                                             .arg(wrong.mid(0, 10).join(u", "))));
}

void TestCaseRules::finalSigmaIsTheOnlyContext()
{
    // Of the conditional mappings of SpecialCasing.txt, those of no language are the ones the
    // rules heed, and they must all be Final_Sigma: at the end of a word after a cased letter,
    // lower case gives the file's mapping. The rules follow the file's version of Unicode.
    QFile file;
    const QByteArray problem = unicodeFile("SpecialCasing.txt", file);
    QVERIFY2(problem.isEmpty(), problem.constData());
    const QByteArray first = file.readLine().trimmed();
    QCOMPARE(first, "# SpecialCasing-" + CaseRulesUnicodeVersion().toLatin1() + ".txt");
    int contexts = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        const QList<QByteArray> f = line.left(line.indexOf('#')).split(';');
        if (f.size() < 5 || f[4].trimmed().isEmpty())
            continue;
        const QList<QByteArray> conditions = f[4].simplified().split(' ');
        if (conditions[0] == conditions[0].toLower())
            continue; // a language: "tr", "lt"
        QCOMPARE(conditions, QList<QByteArray>{"Final_Sigma"});
        const char32_t c = f[0].trimmed().toUInt(nullptr, 16);
        const QList<QByteArray> lower = f[1].simplified().split(' ');
        QCOMPARE(lower.size(), 1);
        QCOMPARE(LowerCase(QStringLiteral("Α") + textOf(c)),
                 QStringLiteral("α") + textOf(lower[0].toUInt(nullptr, 16)));
        ++contexts;
    }
    QVERIFY(contexts > 0);
}

namespace {

// The lower case of the character at i of a text of whole characters, with the sigma's context
// read from the text as it stands.
char32_t lowerAt(const QList<uint> &text, qsizetype i)
{
    if (text[i] != CapitalSigma)
        return LowerCharacter(text[i]);
    auto casedNext = [&](qsizetype from, int step) {
        for (qsizetype k = from; k >= 0 && k < text.size(); k += step) {
            const quint8 flags = CaseRecordOf(text[k]).flags;
            if (flags & CaseRecord::Cased)
                return true;
            if (!(flags & CaseRecord::CaseIgnorable))
                return false;
        }
        return false;
    };
    return casedNext(i - 1, -1) && !casedNext(i + 1, 1) ? FinalSigma : SmallSigma;
}

// A rule as it is stated, one character after another.
QString byCharacters(CaseMode mode, const QString &input)
{
    const QList<uint> text = input.toUcs4();
    QList<uint> out;
    bool capitalise = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        switch (mode) {
        case CaseMode::Upper:
            out << UpperCharacter(c);
            break;
        case CaseMode::Lower:
            out << lowerAt(text, i);
            break;
        case CaseMode::Proper:
            out << (capitalise ? TitleCharacter(c) : lowerAt(text, i));
            capitalise = c == u' ' || c == u'\t' || c == u'\r';
            break;
        case CaseMode::Sentence:
            out << (i == 0 ? TitleCharacter(c) : lowerAt(text, i));
            break;
        }
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(out.constData()), out.size());
}

} // namespace

void TestCaseRules::sameAsCharacterByCharacter()
{
    // ASCII goes four units at a time where four are ASCII, so texts of pieces of every kind,
    // where separators, letters of other planes and sigmas fall on every place of a block.
    const QStringList pieces{"a",
                             "B",
                             "z",
                             "Z",
                             "@",
                             "[",
                             "`",
                             "{",
                             " ",
                             "\t",
                             "\r",
                             "\n",
                             "'",
                             ".",
                             "1",
                             "-",
                             "ab",
                             "CD",
                             "   ",
                             "xY z",
                             QStringLiteral("é"),
                             QStringLiteral("É"),
                             QStringLiteral("İ"),
                             QStringLiteral("ß"),
                             QStringLiteral("Σ"),
                             QStringLiteral("σ"),
                             QStringLiteral("ǆ"),
                             QStringLiteral("ა"),
                             QStringLiteral("Ა"),
                             QStringLiteral("\U00010400"),
                             QStringLiteral("\U00010428"),
                             QStringLiteral("😀"),
                             QStringLiteral("\u0301"),
                             QStringLiteral("ᾳ")};
    QRandomGenerator random(11);
    for (int round = 0; round < 20000; ++round) {
        QString text;
        // Every other text is ASCII only.
        const int choices = round % 2 ? int(pieces.size()) : 20;
        for (int i = random.bounded(0, 30); i > 0; --i)
            text += pieces[random.bounded(choices)];
        for (CaseMode mode :
             {CaseMode::Upper, CaseMode::Lower, CaseMode::Proper, CaseMode::Sentence})
            QCOMPARE(ApplyCaseMode(mode, text), byCharacters(mode, text));
    }
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

void TestCaseRules::oneCase_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("oneCase");

    QTest::newRow("ASCII capitals") << "IBM RESEARCH" << true;
    QTest::newRow("ASCII small") << "ibm research" << true;
    QTest::newRow("ASCII mixed") << "McDonald's" << false;
    QTest::newRow("one small letter among capitals") << "iPHONE" << false;
    QTest::newRow("ASCII no letter") << "12-34 / 56" << true;
    QTest::newRow("accents, capitals") << QStringLiteral("ÉCOLE ÇA ÅSA") << true;
    QTest::newRow("accents, mixed") << QStringLiteral("École") << false;
    QTest::newRow("combining mark on a capital") << QStringLiteral("ÉCOLE") << true;
    QTest::newRow("sharp s among small") << QStringLiteral("straße") << true;
    QTest::newRow("sharp s among capitals") << QStringLiteral("STRAßE") << false;
    QTest::newRow("capital sharp s") << QStringLiteral("STRAẞE") << true;
    QTest::newRow("Greek capitals") << QStringLiteral("ΑΘΗΝΑ") << true;
    QTest::newRow("Greek small, final sigma") << QStringLiteral("αθήνας") << true;
    QTest::newRow("Greek mixed") << QStringLiteral("Αθήνα") << false;
    QTest::newRow("Greek ypogegrammeni is a mark") << QStringLiteral("ΑΘΗΝΑ\u0345") << true;
    QTest::newRow("Cyrillic capitals") << QStringLiteral("МОСКВА") << true;
    QTest::newRow("Cyrillic mixed") << QStringLiteral("Москва") << false;
    QTest::newRow("title-case digraph counts as capital") << QStringLiteral("ǅAKOVICA") << true;
    QTest::newRow("title-case digraph among small") << QStringLiteral("ǅakovica") << false;
    QTest::newRow("Georgian Mkhedruli is caseless") << QStringLiteral("თბილისი") << true;
    QTest::newRow("Georgian Mtavruli capitals") << QStringLiteral("ᲗᲑᲘᲚᲘᲡᲘ") << true;
    QTest::newRow("Georgian caseless beside Latin") << QStringLiteral("თბილისი Tbilisi") << false;
    QTest::newRow("CJK") << QStringLiteral("東京都") << true;
    QTest::newRow("CJK beside capitals") << QStringLiteral("東京 TOKYO") << true;
    QTest::newRow("Arabic") << QStringLiteral("القاهرة") << true;
    QTest::newRow("modifier letter does not count") << QStringLiteral("Tʰ") << true;
    QTest::newRow("Deseret mixed (outside the BMP)") << QStringLiteral("𐐀𐐨") << false;
    QTest::newRow("Deseret capitals (outside the BMP)") << QStringLiteral("𐐀𐐁") << true;
    QTest::newRow("digits only") << "0123456789" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("NULL") << QString() << true;
}

void TestCaseRules::oneCase()
{
    QFETCH(QString, text);
    QFETCH(bool, oneCase);
    QCOMPARE(IsInOneCase(text), oneCase);
}

void TestCaseRules::leftAsWritten_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("leaveMixed");
    QTest::addColumn<QStringList>("kept");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("left");

    const int U = int(CaseMode::Upper), P = int(CaseMode::Proper), S = int(CaseMode::Sentence);
    const int C = int(LeftAs::Converted), M = int(LeftAs::MixedCase), K = int(LeftAs::Kept);
    QTest::newRow("option off") << P << false << QStringList() << "iPhone 15"
                                << "Iphone 15" << C;
    QTest::newRow("mixed, proper") << P << true << QStringList() << "iPhone 15"
                                   << "iPhone 15" << M;
    QTest::newRow("mixed, upper too") << U << true << QStringList() << "van Gogh"
                                      << "van Gogh" << M;
    QTest::newRow("capitals converted") << P << true << QStringList() << "IBM RESEARCH"
                                        << "Ibm Research" << C;
    QTest::newRow("mixed and already right") << P << true << QStringList() << "Van Gogh"
                                             << "Van Gogh" << C;
    QTest::newRow("kept value") << S << false << QStringList{"ABC def"} << "ABC def"
                                << "ABC def" << K;
    QTest::newRow("kept only as a whole value") << U << false << QStringList{"abc"} << "abc def"
                                                << "ABC DEF" << C;
    QTest::newRow("kept by exact text, not case") << U << false << QStringList{"abc"} << "Abc"
                                                  << "ABC" << C;
    QTest::newRow("kept and mixed: kept") << U << true << QStringList{"eBay"} << "eBay"
                                          << "eBay" << K;
}

void TestCaseRules::leftAsWritten()
{
    QFETCH(int, mode);
    QFETCH(bool, leaveMixed);
    QFETCH(QStringList, kept);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QFETCH(int, left);
    const WordExceptions options({}, false, leaveMixed, kept);
    QCOMPARE(ApplyCaseMode(CaseMode(mode), input, &options), expected);
    QCOMPARE(int(LeftAsWritten(CaseMode(mode), input, &options)), left);
}

QTEST_APPLESS_MAIN(TestCaseRules)
#include "tst_caserules.moc"
