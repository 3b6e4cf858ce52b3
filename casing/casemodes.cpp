#include "casing/casemodes.h"

#include "casing/caserules.h"

const QList<CaseModeRow> &CaseModes()
{
    using Ascii = CaseModeRow::AsciiMapping;
    static const QList<CaseModeRow> modes = {
        {CaseMode::Upper, QStringLiteral("UPPER CASE"), QStringLiteral("upper"), UpperCase, false,
         false, Ascii::Upper, QString(), 116, 148, 194},
        {CaseMode::Lower, QStringLiteral("lower case"), QStringLiteral("lower"), LowerCase, false,
         false, Ascii::Lower, QString(), 118, 158, 198},
        {CaseMode::Proper, QStringLiteral("Proper Case"), QStringLiteral("proper"), ProperCase,
         true, true, Ascii::None, QStringLiteral("(^|[ \\t\\r])[a-z]|[^ \\t\\r][A-Z]"), 120, 168,
         202},
        {CaseMode::Sentence, QStringLiteral("Sentence case"), QStringLiteral("sentence"),
         SentenceCase, false, true, Ascii::None, QStringLiteral("^[a-z]|.[A-Z]"), 122, 178, 206},
    };
    return modes;
}

const CaseModeRow &CaseModeOf(CaseMode mode)
{
    for (const CaseModeRow &row : CaseModes()) {
        if (row.mode == mode)
            return row;
    }
    Q_UNREACHABLE(); // every mode has its row
}

QStringList CaseModeTexts()
{
    QStringList texts;
    for (const CaseModeRow &row : CaseModes())
        texts << row.text;
    return texts;
}

QString CaseModeText(CaseMode mode)
{
    return CaseModeOf(mode).text;
}

QStringList CaseModeWords()
{
    QStringList words;
    for (const CaseModeRow &row : CaseModes())
        words << row.word;
    return words;
}

std::optional<CaseMode> CaseModeFromText(const QString &modeText)
{
    // Containment, not equality, and the first word in the table's order wins: "upper and lower"
    // is Upper.
    const QString lowered = LowerCase(modeText);
    for (const CaseModeRow &row : CaseModes()) {
        if (lowered.contains(row.word))
            return row.mode;
    }
    return std::nullopt;
}

std::optional<CaseMode> CaseModeWithText(const QString &text)
{
    for (const CaseModeRow &row : CaseModes()) {
        if (text == row.text)
            return row.mode;
    }
    return std::nullopt;
}

std::optional<CaseMode> CaseModeWithWord(const QString &word)
{
    for (const CaseModeRow &row : CaseModes()) {
        if (word == row.word)
            return row.mode;
    }
    return std::nullopt;
}
