// The case rules work in place on their by-value argument: one pass, no reallocation.
#include "casing/caserules.h"

#include "casing/caseunits.h"
#include "casing/wordexceptions.h"

namespace {

inline bool isWordSeparator(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r';
}

} // namespace

QStringList CaseModeTexts()
{
    return {QStringLiteral("UPPER CASE"), QStringLiteral("lower case"),
            QStringLiteral("Proper Case"), QStringLiteral("Sentence case")};
}

QString CaseModeText(CaseMode mode)
{
    return CaseModeTexts().at(static_cast<int>(mode));
}

std::optional<CaseMode> CaseModeFromText(const QString &modeText)
{
    const QString lowered = LowerCase(modeText);
    if (lowered.contains(u"upper"))
        return CaseMode::Upper;
    if (lowered.contains(u"lower"))
        return CaseMode::Lower;
    if (lowered.contains(u"proper"))
        return CaseMode::Proper;
    if (lowered.contains(u"sentence"))
        return CaseMode::Sentence;
    return std::nullopt;
}

QString UpperCase(QString text)
{
    for (QChar &c : text)
        c = QChar(UpperUnit(c.unicode()));
    return text;
}

QString LowerCase(QString text)
{
    for (QChar &c : text)
        c = QChar(LowerUnit(c.unicode()));
    return text;
}

QString ProperCase(QString text)
{
    bool capitalise = true;
    for (QChar &c : text) {
        const char16_t lowered = LowerUnit(c.unicode());
        c = QChar(capitalise ? UpperUnit(lowered) : lowered);
        capitalise = isWordSeparator(lowered);
    }
    return text;
}

QString SentenceCase(QString text)
{
    if (text.isEmpty())
        return text;
    // The first unit is upper-cased as it stands, not after lowering: U+0130 stays U+0130.
    const char16_t first = UpperUnit(text.at(0).unicode());
    text = LowerCase(std::move(text));
    text[0] = QChar(first);
    return text;
}

QString ApplyCaseMode(CaseMode mode, QString text, const WordExceptions *words)
{
    switch (mode) {
    case CaseMode::Upper:
        return UpperCase(std::move(text));
    case CaseMode::Lower:
        return LowerCase(std::move(text));
    case CaseMode::Proper:
        text = ProperCase(std::move(text));
        break;
    case CaseMode::Sentence:
        text = SentenceCase(std::move(text));
        break;
    }
    if (words)
        words->apply(text);
    return text;
}
