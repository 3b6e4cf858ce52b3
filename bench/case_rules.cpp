// Times the case rules on their own, with and without word exceptions: each rule converts the
// same values without a list, with an empty list and with a list of 1,000 words, and prints
// the ratios to the conversion without a list, the time to build the list and the peak
// memory.
//
//   case_rules [values [words]]        default: 1000000 values, 1000 words
//
// The values are about 40 characters of words in mixed capitals, some of them non-ASCII, in
// two sets: one where no listed word occurs (the list is only looked up), and one where one
// word in 20 is a listed word (the list also has matches to write). Times are the thread's
// CPU time, the best of 7 passes taken in turns, so that other work on a shared machine
// counts as little as it can.
#include "casing/caserules.h"
#include "casing/wordexceptions.h"
#include "peakmemory.h"

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

// Values with a listed word as one word in listedOneIn, or none when it is 0.
QStringList makeValues(QRandomGenerator &random, qsizetype count, const QStringList &listed,
                       int listedOneIn)
{
    QStringList vocabulary;
    for (int i = 0; i < 2000; ++i)
        vocabulary << syllables(random, 1 + random.bounded(3));
    vocabulary << QStringLiteral("straße") << QStringLiteral("école") << QStringLiteral("ångström")
               << QStringLiteral("smith-jones") << QStringLiteral("o'brien");
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

double timeConversion(const QStringList &values, CaseMode mode, const WordExceptions *words,
                      qint64 *checksum)
{
    qint64 sum = 0;
    const double start = cpuSeconds();
    for (const QString &value : values) {
        const QString converted = ApplyCaseMode(mode, value, words);
        sum += converted.at(0).unicode() + converted.at(converted.size() - 1).unicode();
    }
    *checksum = sum;
    return cpuSeconds() - start;
}

// Prints a line per rule; false when an empty list changed a value.
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
    const QStringList listed = exceptionWords(random, wordCount);
    const double start = cpuSeconds();
    const WordExceptions words(listed);
    out << words.words().size() << " words, the list built in "
        << QString::number((cpuSeconds() - start) * 1000, 'f', 2) << " ms\n";

    for (const int listedOneIn : {0, 20}) {
        const QStringList values = makeValues(random, valueCount, listed, listedOneIn);
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
    out << "\npeak memory " << QString::number(PeakMemoryMiB(), 'f', 1) << " MiB\n";
    return 0;
}
