// Times the case rules on their own. First against the rules as they were when they mapped
// each UTF-16 unit by Qt's one-to-one mapping (kept here as the reference), on values of ASCII
// only, of Latin letters with some accents, and of other scripts (Greek, Cyrillic, Georgian,
// Turkish, Adlam), as the time per value and the ratio to the reference. Then with and without
// word exceptions: each rule converts the same values without a list, with an empty list and
// with a list of 1,000 words, and prints the ratios to the conversion without a list, the time
// to build the list and the peak memory. Last, Proper Case on names in capitals without and with
// the name rules, and the ratio. Then the rules of each language (caselanguage.h) on names of
// real places of that language, two or three to a value, in each mode against Any Language on the
// same values, and Any Language against the mode's rule called directly, as it was before the
// languages.
//
//   case_rules [values [words]]        default: 1000000 values, 1000 words
//
// The values are about 40 characters of words in mixed capitals. For the word exceptions they
// come in two sets: one where no listed word occurs (the list is only looked up), and one where
// one word in 20 is a listed word (the list also has matches to write). Times are the thread's
// CPU time, the best of 7 passes taken in turns, so that other work on a shared machine
// counts as little as it can.
#include "casing/caselanguage.h"
#include "casing/caserules.h"
#include "casing/wordexceptions.h"
#include "peakmemory.h"
#include "placenames.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTextStream>

#include <algorithm>
#include <ctime>

namespace {

constexpr int Rounds = 7;

QString syllables(QRandomGenerator &random, int count)
{
    static const char *const parts[] = {"ka",  "lo",  "mi", "ne",  "ru",  "sta",
                                        "ver", "don", "al", "ber", "tin", "gor",
                                        "ell", "son", "ma", "ri",  "quo", "zen"};
    QString word;
    for (int i = 0; i < count; ++i)
        word += QLatin1String(parts[random.bounded(int(std::size(parts)))]);
    return word;
}

// Words spelt as people write names, brands and abbreviations, none of them a word that the
// values are made of otherwise.
QStringList exceptionWords(QRandomGenerator &random, int count)
{
    QStringList words{"McDonald", "O'Neil", "USA", "iPhone", QStringLiteral("Ærøskøbing")};
    while (words.size() < count) {
        QString stem = syllables(random, 1 + random.bounded(3));
        switch (random.bounded(5)) {
        case 0:
            words << QStringLiteral("Mc") + stem.left(1).toUpper() + stem.mid(1);
            break;
        case 1:
            words << QStringLiteral("O'") + stem.left(1).toUpper() + stem.mid(1);
            break;
        case 2: {
            // Abbreviations of consonants, which no word of the values spells.
            static const char consonants[] = "BCDFGHJKLMNPQRSTVWXZ";
            QString abbreviation;
            for (int i = 0; i < 3; ++i)
                abbreviation += QLatin1Char(consonants[random.bounded(20)]);
            words << abbreviation;
            break;
        }
        case 3:
            words << QStringLiteral("i") + stem.left(1).toUpper() + stem.mid(1);
            break;
        default:
            words << stem + QStringLiteral("X");
            break;
        }
        words.removeDuplicates();
    }
    return words;
}

QString mixedCase(QRandomGenerator &random, const QString &word)
{
    switch (random.bounded(3)) {
    case 0:
        return word.toUpper();
    case 1:
        return word.toLower();
    default:
        return word.left(1).toUpper() + word.mid(1).toLower();
    }
}

QStringList asciiVocabulary(QRandomGenerator &random)
{
    QStringList vocabulary;
    for (int i = 0; i < 2000; ++i)
        vocabulary << syllables(random, 1 + random.bounded(3));
    return vocabulary;
}

QStringList latinVocabulary(QRandomGenerator &random)
{
    return asciiVocabulary(random)
           << QStringLiteral("straße") << QStringLiteral("école") << QStringLiteral("ångström")
           << QStringLiteral("smith-jones") << QStringLiteral("o'brien");
}

QStringList otherScripts()
{
    return {QStringLiteral("άγιος"),
            QStringLiteral("ανδρέας"),
            QStringLiteral("θεσσαλονίκη"),
            QStringLiteral("οδός"),
            QStringLiteral("σοφία"),
            QStringLiteral("москва"),
            QStringLiteral("улица"),
            QStringLiteral("проспект"),
            QStringLiteral("თბილისი"),
            QStringLiteral("ქუთაისი"),
            QStringLiteral("ilçesi"),
            QStringLiteral("istanbul"),
            QStringLiteral("𞤢𞤣𞤤𞤢𞤥"),
            QStringLiteral("𞤆𞤵𞤤𞤢𞤪")};
}

// Values of words of the vocabulary, with a listed word as one word in listedOneIn, or none
// when it is 0.
QStringList makeValues(QRandomGenerator &random, qsizetype count, const QStringList &vocabulary,
                       const QStringList &listed = {}, int listedOneIn = 0)
{
    QStringList values;
    values.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        QString value;
        while (value.size() < 36) {
            if (!value.isEmpty())
                value += u' ';
            const QString &word = listedOneIn && random.bounded(listedOneIn) == 0
                                      ? listed[random.bounded(int(listed.size()))]
                                      : vocabulary[random.bounded(int(vocabulary.size()))];
            value += mixedCase(random, word);
        }
        values << value;
    }
    return values;
}

// One pass over all values, in seconds; the sum of the first and last units of the results
// keeps the conversion from being left out.
double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

template <typename Convert>
double timeConversion(const QStringList &values, Convert convert, qint64 *checksum)
{
    qint64 sum = 0;
    const double start = cpuSeconds();
    for (const QString &value : values) {
        const QString converted = convert(value);
        sum += converted.at(0).unicode() + converted.at(converted.size() - 1).unicode();
    }
    *checksum = sum;
    return cpuSeconds() - start;
}

double timeConversion(const QStringList &values, CaseMode mode, const WordExceptions *words,
                      qint64 *checksum)
{
    return timeConversion(
        values, [&](const QString &value) { return ApplyCaseMode(mode, value, words); }, checksum);
}

// The rules as they were: each UTF-16 unit on its own, by Qt's one-to-one mapping.
namespace unitRules {

char16_t upper(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? char16_t(c - 0x20) : c;
    return QChar::toUpper(c);
}

char16_t lower(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? char16_t(c + 0x20) : c;
    return QChar::toLower(c);
}

// As the rules were written then.
QString upperCase(QString text)
{
    for (QChar &c : text)
        c = QChar(upper(c.unicode()));
    return text;
}

QString lowerCase(QString text)
{
    for (QChar &c : text)
        c = QChar(lower(c.unicode()));
    return text;
}

QString properCase(QString text)
{
    bool capitalise = true;
    for (QChar &c : text) {
        const char16_t lowered = lower(c.unicode());
        c = QChar(capitalise ? upper(lowered) : lowered);
        capitalise = lowered == u' ' || lowered == u'\t' || lowered == u'\r';
    }
    return text;
}

QString sentenceCase(QString text)
{
    if (text.isEmpty())
        return text;
    const char16_t first = upper(text.at(0).unicode());
    text = lowerCase(std::move(text));
    text[0] = QChar(first);
    return text;
}

QString apply(CaseMode mode, QString text)
{
    switch (mode) {
    case CaseMode::Upper:
        return upperCase(std::move(text));
    case CaseMode::Lower:
        return lowerCase(std::move(text));
    case CaseMode::Proper:
        return properCase(std::move(text));
    case CaseMode::Sentence:
        return sentenceCase(std::move(text));
    }
    return text;
}

} // namespace unitRules

// Prints a line per rule: the time per value of the rules and of the unit-by-unit reference,
// and their ratio.
void timeAgainstUnitRules(QTextStream &out, const QString &name, const QStringList &values)
{
    qint64 characters = 0, changed = 0;
    for (const QString &value : values)
        characters += value.size();
    const double count = double(values.size());
    out << "\n"
        << values.size() << " values of " << QString::number(characters / count, 'f', 1)
        << " units, " << name << "\nrule\trules ns/value\tunit by unit ns/value\tratio\tvalues "
        << "that come out otherwise\n";
    for (CaseMode mode : {CaseMode::Upper, CaseMode::Lower, CaseMode::Proper, CaseMode::Sentence}) {
        double rules = 1e9, reference = 1e9;
        qint64 sum = 0;
        auto byUnits = [mode](const QString &value) { return unitRules::apply(mode, value); };
        for (int round = 0; round < Rounds; ++round) {
            rules = std::min(rules, timeConversion(values, mode, nullptr, &sum));
            reference = std::min(reference, timeConversion(values, byUnits, &sum));
        }
        changed = 0;
        for (const QString &value : values)
            changed += ApplyCaseMode(mode, value) != unitRules::apply(mode, value);
        out << CaseModeText(mode) << '\t' << QString::number(rules / count * 1e9, 'f', 1) << '\t'
            << QString::number(reference / count * 1e9, 'f', 1) << '\t'
            << QString::number(rules / reference, 'f', 2) << '\t' << changed << '\n';
        out.flush();
    }
}

// Names in capitals of two to four words, as name columns hold them: given names, family names,
// some with "Mc", "O'", a hyphen, a particle or a numeral, about 20 characters.
QStringList nameValues(QRandomGenerator &random, qsizetype count)
{
    static const char *const given[] = {"JOHN", "MARIA",  "LUDWIG", "ANNA", "JEAN-PAUL", "HENRY",
                                        "SEAN", "FATIMA", "PIETER", "JOSÉ", "IAN",       "LIV"};
    static const char *const middle[] = {"VAN", "DE", "VON DER", "DA", "BIN", "MARIE", "LEE", "D'"};
    static const char *const family[] = {"SMITH",     "MCCARTNEY", "O'NEILL",   "ZETA-JONES",
                                         "BEETHOVEN", "GARCÍA",    "MACMILLAN", "AL-ASSAD",
                                         "NGUYEN",    "MÜLLER",    "DIXON",     "KOWALSKI"};
    static const char *const suffix[] = {"III", "VIII", "JR.", "XIV"};
    QStringList values;
    values.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        QString value = QString::fromUtf8(given[random.bounded(int(std::size(given)))]);
        if (random.bounded(3) == 0)
            value += u' ' + QString::fromUtf8(middle[random.bounded(int(std::size(middle)))]);
        if (!value.endsWith(u'\''))
            value += u' ';
        value += QString::fromUtf8(family[random.bounded(int(std::size(family)))]);
        if (random.bounded(10) == 0)
            value += u' ' + QString::fromUtf8(suffix[random.bounded(int(std::size(suffix)))]);
        values << value;
    }
    return values;
}

// Proper Case alone and with the name rules, taking turns.
void timeNameRules(QTextStream &out, const QStringList &values)
{
    qint64 characters = 0, changed = 0;
    for (const QString &value : values)
        characters += value.size();
    const WordExceptions none, nameRules({}, true);
    double plain = 1e9, named = 1e9;
    qint64 plainSum = 0, namedSum = 0;
    for (int round = 0; round < Rounds; ++round) {
        plain = std::min(plain, timeConversion(values, CaseMode::Proper, &none, &plainSum));
        named = std::min(named, timeConversion(values, CaseMode::Proper, &nameRules, &namedSum));
    }
    for (const QString &value : values)
        changed += ApplyCaseMode(CaseMode::Proper, value, &nameRules) !=
                   ApplyCaseMode(CaseMode::Proper, value);
    const double count = double(values.size());
    out << "\n"
        << values.size() << " names in capitals of " << QString::number(characters / count, 'f', 1)
        << " units\n"
        << "Proper Case ns/value\twith name rules ns/value\tratio\tvalues the rules change\n"
        << QString::number(plain / count * 1e9, 'f', 1) << '\t'
        << QString::number(named / count * 1e9, 'f', 1) << '\t'
        << QString::number(named / plain, 'f', 2) << '\t' << changed << '\n';
    out.flush();
}

// Prints a line per rule; false when an empty list changed a value.
// Values of two or three of the language's names, upper-case, lower-case and as written in turns.
QStringList languageValues(QRandomGenerator &random, qsizetype count, const QStringList &names)
{
    QStringList values;
    values.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        QString value = names[random.bounded(int(names.size()))];
        for (int k = random.bounded(1, 3); k > 0; --k)
            value += u' ' + names[random.bounded(int(names.size()))];
        values << (i % 3 == 0 ? value.toUpper() : i % 3 == 1 ? value.toLower() : value);
    }
    return values;
}

void timeLanguages(QTextStream &out, qsizetype count)
{
    const std::pair<CaseLanguage, const QStringList *> languages[] = {
        {CaseLanguage::Turkish, &PlaceNames::Turkish},
        {CaseLanguage::Azerbaijani, &PlaceNames::Azerbaijani},
        {CaseLanguage::Greek, &PlaceNames::Greek},
        {CaseLanguage::Dutch, &PlaceNames::Dutch},
        {CaseLanguage::Lithuanian, &PlaceNames::Lithuanian},
        {CaseLanguage::German, &PlaceNames::German}};
    out << "\nlanguage\tmode\tas before ns/value\tAny ns/value\tAny / before\t"
           "language ns/value\tlanguage / Any\n";
    QRandomGenerator random(20240613);
    const WordExceptions any;
    for (const auto &[language, names] : languages) {
        const QStringList values = languageValues(random, count, *names);
        const WordExceptions rules({}, false, false, {}, language);
        for (const CaseModeRow &modeRow : CaseModes()) {
            const CaseMode mode = modeRow.mode;
            const CaseModeRow &row = modeRow;
            double direct = 1e9, anyTime = 1e9, languageTime = 1e9;
            qint64 sum = 0;
            for (int round = 0; round < Rounds; ++round) {
                // What the conversion of a value was before the languages: the options' checks,
                // the rule, and the word list.
                direct = std::min(direct, timeConversion(
                                              values,
                                              [&](QString value) {
                                                  const CaseModeRow &row = CaseModeOf(mode);
                                                  if (any.keeps(value) ||
                                                      (any.leaveMixedCase() && !IsInOneCase(value)))
                                                      return value;
                                                  value = row.rule(std::move(value));
                                                  if (row.wordList)
                                                      any.apply(value);
                                                  return value;
                                              },
                                              &sum));
                anyTime = std::min(anyTime, timeConversion(values, row.mode, &any, &sum));
                languageTime =
                    std::min(languageTime, timeConversion(values, row.mode, &rules, &sum));
            }
            const double n = double(values.size());
            out << CaseLanguageOf(language).code << '\t' << row.word << '\t'
                << QString::number(direct / n * 1e9, 'f', 1) << '\t'
                << QString::number(anyTime / n * 1e9, 'f', 1) << '\t'
                << QString::number(anyTime / direct, 'f', 2) << '\t'
                << QString::number(languageTime / n * 1e9, 'f', 1) << '\t'
                << QString::number(languageTime / anyTime, 'f', 2) << '\n';
            out.flush();
        }
    }
}

bool timeRules(QTextStream &out, const QStringList &values, const WordExceptions &words)
{
    const WordExceptions none;
    for (CaseMode mode : {CaseMode::Upper, CaseMode::Lower, CaseMode::Proper, CaseMode::Sentence}) {
        // The three take turns, so that a slower moment of a busy machine does not fall on
        // one of them alone; each keeps its best pass.
        double plain = 1e9, empty = 1e9, withList = 1e9;
        qint64 plainSum = 0, emptySum = 0, listSum = 0;
        for (int round = 0; round < Rounds; ++round) {
            plain = std::min(plain, timeConversion(values, mode, nullptr, &plainSum));
            empty = std::min(empty, timeConversion(values, mode, &none, &emptySum));
            withList = std::min(withList, timeConversion(values, mode, &words, &listSum));
        }
        if (emptySum != plainSum) {
            out << "an empty list changed a value\n";
            return false;
        }
        qsizetype changed = 0;
        for (const QString &value : values)
            changed += ApplyCaseMode(mode, value, &words) != ApplyCaseMode(mode, value);
        out << CaseModeText(mode) << '\t' << QString::number(plain, 'f', 3) << '\t'
            << QString::number(empty, 'f', 3) << '\t' << QString::number(empty / plain, 'f', 2)
            << '\t' << QString::number(withList, 'f', 3) << '\t'
            << QString::number(withList / plain, 'f', 2) << '\t' << changed << '\n';
        out.flush();
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qsizetype valueCount = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const int wordCount = argc > 2 ? QByteArray(argv[2]).toInt() : 1000;
    QTextStream out(stdout);

    QRandomGenerator random(20240610);
    out << "Unicode " << CaseRulesUnicodeVersion() << '\n';
    {
        QRandomGenerator own(20240611);
        timeAgainstUnitRules(out, QStringLiteral("ASCII only"),
                             makeValues(own, valueCount, asciiVocabulary(own)));
        timeAgainstUnitRules(out, QStringLiteral("Latin, 3 words in 2,005 with accents"),
                             makeValues(own, valueCount, latinVocabulary(own)));
        timeAgainstUnitRules(out, QStringLiteral("Greek, Cyrillic, Georgian, Turkish, Adlam"),
                             makeValues(own, valueCount, otherScripts()));
    }

    const QStringList listed = exceptionWords(random, wordCount);
    const double start = cpuSeconds();
    const WordExceptions words(listed);
    out << words.words().size() << " words, the list built in "
        << QString::number((cpuSeconds() - start) * 1000, 'f', 2) << " ms\n";

    for (const int listedOneIn : {0, 20}) {
        const QStringList values =
            makeValues(random, valueCount, latinVocabulary(random), listed, listedOneIn);
        qint64 characters = 0;
        for (const QString &value : values)
            characters += value.size();
        out << "\n"
            << valueCount << " values of "
            << QString::number(double(characters) / valueCount, 'f', 1) << " characters, "
            << (listedOneIn ? QStringLiteral("one word in %1 a listed word").arg(listedOneIn)
                            : QStringLiteral("no listed word"))
            << "\nrule\tno list s\tempty list s\tratio\t" << words.words().size()
            << " words s\tratio\tvalues the list changes\n";
        out.flush();
        if (!timeRules(out, values, words))
            return 1;
    }
    {
        QRandomGenerator own(20240612);
        timeNameRules(out, nameValues(own, valueCount));
    }
    timeLanguages(out, valueCount);
    out << "\npeak memory " << QString::number(PeakMemoryMiB(), 'f', 1) << " MiB\n";
    return 0;
}
