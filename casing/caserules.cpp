// The case rules work in place on their by-value argument: one pass, no reallocation. ASCII
// units are mapped where they stand; any other character goes through the tables.
#include "casing/caserules.h"

#include "casing/caseunits.h"
#include "casing/wordexceptions.h"

namespace {

inline bool isWordSeparator(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r';
}

inline char16_t asciiUpper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? char16_t(c - 0x20) : c;
}

inline char16_t asciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 0x20) : c;
}

// Unicode's Final_Sigma condition for the capital sigma at unit i: a cased letter before it,
// past any case-ignorable characters ("ΑΣ", "Α'Σ"), and none after it past such characters.
// The characters before it may be converted already; conversion keeps both properties, as the
// table generator makes sure.
bool isFinalSigma(const char16_t *s, qsizetype n, qsizetype i)
{
    for (qsizetype k = i;;) {
        if (k == 0)
            return false;
        char32_t c = s[--k];
        if (QChar::isLowSurrogate(c) && k > 0 && QChar::isHighSurrogate(s[k - 1]))
            c = QChar::surrogateToUcs4(s[--k], char16_t(c));
        const quint8 flags = CaseRecordOf(c).flags;
        if (flags & CaseRecord::Cased)
            break;
        if (!(flags & CaseRecord::CaseIgnorable))
            return false;
    }
    for (qsizetype k = i + 1; k < n; ++k) {
        char32_t c = s[k];
        if (QChar::isHighSurrogate(c) && k + 1 < n && QChar::isLowSurrogate(s[k + 1]))
            c = QChar::surrogateToUcs4(char16_t(c), s[++k]);
        const quint8 flags = CaseRecordOf(c).flags;
        if (flags & CaseRecord::Cased)
            return false;
        if (!(flags & CaseRecord::CaseIgnorable))
            return true;
    }
    return true;
}

enum class Mapping { Upper, Lower, Title };

template <Mapping M>
inline char32_t mapped(char32_t c)
{
    if constexpr (M == Mapping::Upper)
        return UpperCharacter(c);
    else if constexpr (M == Mapping::Lower)
        return LowerCharacter(c);
    else
        return TitleCharacter(c);
}

// Maps the character beyond ASCII that begins at unit i and gives the unit where it ends: i,
// or i + 1 for a surrogate pair. A surrogate without its other half stays as it is.
template <Mapping M>
qsizetype mapOther(char16_t *s, qsizetype n, qsizetype i)
{
    const char16_t c = s[i];
    if (!QChar::isSurrogate(c)) {
        if (M == Mapping::Lower && c == CapitalSigma)
            s[i] = isFinalSigma(s, n, i) ? FinalSigma : SmallSigma;
        else
            s[i] = char16_t(mapped<M>(c));
        return i;
    }
    if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
        const char32_t to = mapped<M>(QChar::surrogateToUcs4(c, s[i + 1]));
        s[i] = QChar::highSurrogate(to);
        s[i + 1] = QChar::lowSurrogate(to);
        return i + 1;
    }
    return i;
}

void lowerFrom(char16_t *s, qsizetype n, qsizetype i)
{
    for (; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x80)
            s[i] = asciiLower(c);
        else
            i = mapOther<Mapping::Lower>(s, n, i);
    }
}

// The text's units, for writing in place; null for an empty text.
char16_t *unitsOf(QString &text)
{
    return text.isEmpty() ? nullptr : reinterpret_cast<char16_t *>(text.data());
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
    const qsizetype n = text.size();
    char16_t *s = unitsOf(text);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x80)
            s[i] = asciiUpper(c);
        else
            i = mapOther<Mapping::Upper>(s, n, i);
    }
    return text;
}

QString LowerCase(QString text)
{
    lowerFrom(unitsOf(text), text.size(), 0);
    return text;
}

QString ProperCase(QString text)
{
    const qsizetype n = text.size();
    char16_t *s = unitsOf(text);
    bool capitalise = true;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x80) {
            s[i] = capitalise ? asciiUpper(c) : asciiLower(c);
            capitalise = isWordSeparator(c);
        } else {
            i = capitalise ? mapOther<Mapping::Title>(s, n, i) : mapOther<Mapping::Lower>(s, n, i);
            capitalise = false;
        }
    }
    return text;
}

QString SentenceCase(QString text)
{
    const qsizetype n = text.size();
    char16_t *s = unitsOf(text);
    if (n == 0)
        return text;
    // The first character is title-cased as it stands, not after lowering: "İ" keeps its dot.
    qsizetype rest = 1;
    if (s[0] < 0x80)
        s[0] = asciiUpper(s[0]);
    else
        rest = mapOther<Mapping::Title>(s, n, 0) + 1;
    lowerFrom(s, n, rest);
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

QString CaseRulesUnicodeVersion()
{
    return QString::fromLatin1(CaseTablesUnicodeVersion);
}
