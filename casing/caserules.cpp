// The case rules work in place on their by-value argument: one pass, no reallocation.
#include "casing/caserules.h"

namespace {

inline char16_t upperUnit(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? char16_t(c - 0x20) : c;
    return QChar::toUpper(c);
}

inline char16_t lowerUnit(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? char16_t(c + 0x20) : c;
    return QChar::toLower(c);
}

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
        c = QChar(upperUnit(c.unicode()));
    return text;
}

QString LowerCase(QString text)
{
    for (QChar &c : text)
        c = QChar(lowerUnit(c.unicode()));
    return text;
}

QString ProperCase(QString text)
{
    bool capitalise = true;
    for (QChar &c : text) {
        const char16_t lowered = lowerUnit(c.unicode());
        c = QChar(capitalise ? upperUnit(lowered) : lowered);
        capitalise = isWordSeparator(lowered);
    }
    return text;
}

QString SentenceCase(QString text)
{
    if (text.isEmpty())
        return text;
    // The first unit is upper-cased as it stands, not after lowering: U+0130 stays U+0130.
    const char16_t first = upperUnit(text.at(0).unicode());
    text = LowerCase(std::move(text));
    text[0] = QChar(first);
    return text;
}

QString ApplyCaseMode(CaseMode mode, QString text)
{
    switch (mode) {
    case CaseMode::Upper:
        return UpperCase(std::move(text));
    case CaseMode::Lower:
        return LowerCase(std::move(text));
    case CaseMode::Proper:
        return ProperCase(std::move(text));
    case CaseMode::Sentence:
        return SentenceCase(std::move(text));
    }
    return text;
}
