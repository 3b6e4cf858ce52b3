// Each language's rules go in two steps around the mode's own rule, which stays as fast as it is:
// a pass before it over the text as it stands, where a letter's context is still there to see
// (Turkish and Lithuanian), and a pass after it (the Dutch IJ, German ß). Greek capitals take a
// rule of their own, ICU's, whose state runs through the text.
#include "casing/caselanguage.h"

#include "casing/caserules.h"
#include "casing/caseunits.h"

#include <array>

namespace {

constexpr char16_t DotAbove = 0x0307, Grave = 0x0300, Acute = 0x0301, Tilde = 0x0303;
constexpr char16_t CapitalIWithDot = 0x0130, DotlessI = 0x0131;
constexpr char16_t SharpS = 0x00df, CapitalSharpS = 0x1e9e;

const QList<CaseLanguageRow> Rows = {
    {CaseLanguage::Any, QString(), QStringLiteral("Any Language (Unicode)"), QStringLiteral("und")},
    {CaseLanguage::Turkish, QStringLiteral("tr"), QStringLiteral("Turkish"),
     QStringLiteral("tr-TR")},
    {CaseLanguage::Azerbaijani, QStringLiteral("az"), QStringLiteral("Azerbaijani"),
     QStringLiteral("az-Latn-AZ")},
    {CaseLanguage::Greek, QStringLiteral("el"), QStringLiteral("Greek"), QStringLiteral("el-GR")},
    {CaseLanguage::Dutch, QStringLiteral("nl"), QStringLiteral("Dutch"), QStringLiteral("nl-NL")},
    {CaseLanguage::Lithuanian, QStringLiteral("lt"), QStringLiteral("Lithuanian"),
     QStringLiteral("lt-LT")},
    {CaseLanguage::German, QStringLiteral("de"), QStringLiteral("German (ß → SS)"),
     QStringLiteral("de-DE")},
    {CaseLanguage::GermanEszett, QStringLiteral("de-eszett"), QStringLiteral("German (ß → ẞ)"),
     QStringLiteral("de-DE")},
};

// How the mode's rule maps the character at a place: all capitals, all small letters, or the
// title case of the first letter of a word (Proper) or of the text (Sentence) and small letters
// after it.
enum class Place { Upper, Lower, Title };

// The place of unit i in the mode's rule; after is whether the unit before i was a separator.
Place placeOf(CaseMode mode, qsizetype i, bool afterSeparator)
{
    switch (mode) {
    case CaseMode::Upper:
        return Place::Upper;
    case CaseMode::Lower:
        return Place::Lower;
    case CaseMode::Proper:
        return i == 0 || afterSeparator ? Place::Title : Place::Lower;
    case CaseMode::Sentence:
        return i == 0 ? Place::Title : Place::Lower;
    }
    return Place::Lower;
}

char32_t codePointAt(const QString &s, qsizetype i)
{
    const char16_t c = s[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s[i + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(c, s[i + 1].unicode());
    return c;
}

// Unicode's Soft_Dotted letters that Lithuanian writes: those whose dot an accent above replaces.
bool isSoftDotted(char32_t c)
{
    switch (c) {
    case 0x0069:
    case 0x006a:
    case 0x012f:
    case 0x0249:
    case 0x0268:
    case 0x029d:
    case 0x02b2:
    case 0x03f3:
    case 0x0456:
    case 0x0458:
    case 0x1d62:
    case 0x1d96:
    case 0x1da4:
    case 0x1da8:
    case 0x1e2d:
    case 0x1ecb:
    case 0x2071:
    case 0x2148:
    case 0x2149:
    case 0x2c7c:
        return true;
    default:
        return false;
    }
}

// The first unit after i that is of combining class 0 or 230 (Above), or the end: SpecialCasing's
// conditions look past the marks of other classes.
qsizetype nextZeroOrAbove(const QString &s, qsizetype i)
{
    qsizetype k = i + 1;
    while (k < s.size()) {
        const int cls = QChar::combiningClass(codePointAt(s, k));
        if (cls == 0 || cls == 230)
            break;
        k += codePointAt(s, k) > 0xffff ? 2 : 1;
    }
    return k;
}

// Turkish and Azerbaijani: i is İ in capitals, I is ı in small letters, and I with a dot above
// is i; every other letter as the rule maps it. Without a dot above, one letter stands for one,
// and the text is written in place.
QString turkishBefore(CaseMode mode, QString text)
{
    if (!text.contains(QChar(DotAbove))) {
        const qsizetype n = text.size();
        char16_t *s = n ? reinterpret_cast<char16_t *>(text.data()) : nullptr;
        bool afterSeparator = false;
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = s[i];
            if (c == u'i' || c == u'I') {
                const bool lower = placeOf(mode, i, afterSeparator) == Place::Lower;
                if (c == u'i' && !lower)
                    s[i] = CapitalIWithDot;
                else if (c == u'I' && lower)
                    s[i] = DotlessI;
            }
            afterSeparator = IsWordSeparator(c);
        }
        return text;
    }
    QString out;
    out.reserve(text.size());
    bool afterSeparator = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const Place place = placeOf(mode, i, afterSeparator);
        afterSeparator = IsWordSeparator(c);
        if (c == u'i' && place != Place::Lower) {
            out += QChar(CapitalIWithDot);
        } else if (c == u'I' && place == Place::Lower) {
            const qsizetype k = nextZeroOrAbove(text, i);
            if (k < text.size() && text[k].unicode() == DotAbove) {
                out += u'i';
                out += QStringView(text).mid(i + 1, k - i - 1);
                i = k;
            } else {
                out += QChar(DotlessI);
            }
        } else {
            out += QChar(c);
        }
    }
    return out;
}

// Lithuanian: a small i, j or į keeps its dot under an accent above, so the dot is written out
// (More_Above), and Ì, Í, Ĩ lower-case to i, the dot and the accent; in capitals and title case
// the dot after such a letter goes (After_Soft_Dotted).
QString lithuanianBefore(CaseMode mode, const QString &text)
{
    // Nothing to do without an accented capital I or a mark above.
    bool any = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x0300 && u < 0x0370) || u == 0x00cc || u == 0x00cd || u == 0x0128) {
            any = true;
            break;
        }
    }
    if (!any)
        return text;
    QString out;
    out.reserve(text.size() + 2);
    bool afterSeparator = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const Place place = placeOf(mode, i, afterSeparator);
        afterSeparator = IsWordSeparator(c);
        out += QChar(c);
        if (place == Place::Lower) {
            const qsizetype k = nextZeroOrAbove(text, i);
            const bool moreAbove =
                k < text.size() && QChar::combiningClass(codePointAt(text, k)) == 230;
            if ((c == u'I' || c == u'J' || c == 0x012e) && moreAbove) {
                out += QChar(DotAbove);
            } else if (c == 0x00cc || c == 0x00cd || c == 0x0128) {
                out.back() = u'i';
                out += QChar(DotAbove);
                out += QChar(c == 0x00cc ? Grave : c == 0x00cd ? Acute : Tilde);
            }
        } else if (isSoftDotted(codePointAt(text, i))) {
            const qsizetype k = nextZeroOrAbove(text, i);
            if (k < text.size() && text[k].unicode() == DotAbove) {
                out += QStringView(text).mid(i + 1, k - i - 1);
                i = k;
            }
        }
    }
    return out;
}

// Dutch: "ij" at the start of a word is one letter, "IJ", in title case; so with an acute on both.
void dutchAfter(CaseMode mode, QString &text)
{
    const QStringView read(text);
    bool afterSeparator = false;
    for (qsizetype i = 0; i < read.size(); ++i) {
        const char16_t c = read[i].unicode();
        const Place place = placeOf(mode, i, afterSeparator);
        afterSeparator = IsWordSeparator(c);
        if (place != Place::Title)
            continue;
        qsizetype j = i + 1;
        bool acute = c == 0x00cd;
        if (c == u'I' && j < read.size() && read[j].unicode() == Acute) {
            acute = true;
            ++j;
        }
        if ((c != u'I' && c != 0x00cd) || j >= read.size() ||
            (read[j].unicode() != u'j' && read[j].unicode() != u'J'))
            continue;
        if (acute && (j + 1 >= read.size() || read[j + 1].unicode() != Acute))
            continue;
        text[j] = u'J';
    }
}

// German: ß in capitals.
void germanAfter(QString &text, bool capitalEszett)
{
    if (capitalEszett) {
        text.replace(QChar(SharpS), QChar(CapitalSharpS));
        return;
    }
    for (qsizetype i = text.indexOf(QChar(SharpS)); i >= 0; i = text.indexOf(QChar(SharpS), i)) {
        if (capitalEszett) {
            text[i] = QChar(CapitalSharpS);
            ++i;
        } else {
            text.replace(i, 1, QStringLiteral("SS"));
            i += 2;
        }
    }
}

// Greek capitals as ICU writes them for Greek (its GreekUpper): without accents or breathings,
// with a dialytika where an accent kept two vowels apart or where one stood, the iota subscript
// as a capital iota after its letter, and the disjunctive "ή" standing alone keeping its tonos.
namespace greek {

enum : quint32 {
    UpperMask = 0x3ff,
    HasVowel = 0x1000,
    HasYpogegrammeni = 0x2000,
    HasAccent = 0x4000,
    HasDialytika = 0x8000,
    HasCombiningDialytika = 0x10000,
    HasOtherDiacritic = 0x20000,
    HasEitherDialytika = HasDialytika | HasCombiningDialytika,
};
enum State : quint32 { AfterCased = 1, AfterVowelWithAccent = 2 };

quint32 diacriticData(char32_t c)
{
    switch (c) {
    case 0x0300:
    case 0x0301:
    case 0x0342:
    case 0x0302:
    case 0x0303:
    case 0x0311:
        return HasAccent;
    case 0x0308:
        return HasCombiningDialytika;
    case 0x0344:
        return HasCombiningDialytika | HasAccent;
    case 0x0345:
        return HasYpogegrammeni;
    case 0x0304:
    case 0x0306:
    case 0x0313:
    case 0x0314:
    case 0x0343:
        return HasOtherDiacritic;
    default:
        return 0;
    }
}

bool isVowel(char16_t upper)
{
    switch (upper) {
    case 0x391:
    case 0x395:
    case 0x397:
    case 0x399:
    case 0x39f:
    case 0x3a5:
    case 0x3a9:
        return true;
    default:
        return false;
    }
}

// A Greek letter's data: its capital without diacritics and what it carried; 0 for any other
// character. From its canonical decomposition: the base letter, then its marks.
quint32 computeLetterData(char32_t c)
{
    const bool greek = (c >= 0x370 && c <= 0x3ff) || (c >= 0x1f00 && c <= 0x1fff) || c == 0x2126;
    if (!greek)
        return 0;
    QString nfd = QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_D);
    const char32_t base = nfd[0].unicode();
    const char32_t upper = UpperCharacter(base);
    if (upper < 0x370 || upper > 0x3ff || !(CaseRecordOf(base).flags & CaseRecord::Cased))
        return 0;
    quint32 data = upper & UpperMask;
    if (isVowel(char16_t(upper)))
        data |= HasVowel;
    for (qsizetype k = 1; k < nfd.size(); ++k) {
        const quint32 mark = diacriticData(nfd[k].unicode());
        // A precomposed dialytika is kept in precomposed form.
        data |= mark == HasCombiningDialytika                 ? quint32(HasDialytika)
                : mark == (HasCombiningDialytika | HasAccent) ? quint32(HasDialytika | HasAccent)
                                                              : mark;
    }
    return data;
}

quint32 letterData(char32_t c)
{
    static const auto table = [] {
        std::array<quint32, 0x100> basic{};
        std::array<quint32, 0x100> extended{};
        for (char32_t c = 0; c < 0x100; ++c) {
            basic[c] = computeLetterData(0x300 + c);
            extended[c] = computeLetterData(0x1f00 + c);
        }
        return std::make_pair(basic, extended);
    }();
    if (c >= 0x300 && c < 0x400)
        return table.first[c - 0x300];
    if (c >= 0x1f00 && c < 0x2000)
        return table.second[c - 0x1f00];
    return c == 0x2126 ? computeLetterData(c) : 0;
}

bool isFollowedByCasedLetter(const QString &s, qsizetype i)
{
    while (i < s.size()) {
        const char32_t c = codePointAt(s, i);
        const quint8 flags = CaseRecordOf(c).flags;
        if (flags & CaseRecord::CaseIgnorable) {
            i += c > 0xffff ? 2 : 1;
            continue;
        }
        return flags & CaseRecord::Cased;
    }
    return false;
}

QString upper(const QString &s)
{
    QString out;
    out.reserve(s.size() + 2);
    quint32 state = 0;
    for (qsizetype i = 0; i < s.size();) {
        const char32_t c = codePointAt(s, i);
        qsizetype next = i + (c > 0xffff ? 2 : 1);
        quint32 nextState = 0;
        const quint8 flags = CaseRecordOf(c).flags;
        if (flags & CaseRecord::CaseIgnorable)
            nextState |= state & AfterCased;
        else if (flags & CaseRecord::Cased)
            nextState |= AfterCased;
        quint32 data = letterData(c);
        if (data == 0) {
            const char32_t u = UpperCharacter(c);
            if (u <= 0xffff) {
                out += QChar(char16_t(u));
            } else {
                out += QChar(QChar::highSurrogate(u));
                out += QChar(QChar::lowSurrogate(u));
            }
            i = next;
            state = nextState;
            continue;
        }
        char16_t up = char16_t(data & UpperMask);
        if ((data & HasVowel) && (state & AfterVowelWithAccent) && (up == 0x399 || up == 0x3a5))
            data |= HasDialytika;
        int ypogegrammeni = (data & HasYpogegrammeni) ? 1 : 0;
        while (next < s.size()) {
            const quint32 mark = diacriticData(s[next].unicode());
            if (mark == 0)
                break;
            data |= mark;
            if (mark & HasYpogegrammeni)
                ++ypogegrammeni;
            ++next;
        }
        if ((data & (HasVowel | HasAccent | HasEitherDialytika)) == (HasVowel | HasAccent))
            nextState |= AfterVowelWithAccent;
        bool addTonos = false;
        if (up == 0x397 && (data & HasAccent) && ypogegrammeni == 0 && !(state & AfterCased) &&
            !isFollowedByCasedLetter(s, next)) {
            // As ICU 72 writes it, the tonos after the capital also where it was precomposed.
            addTonos = true;
        } else if (data & HasDialytika) {
            if (up == 0x399) {
                up = 0x3aa;
                data &= ~quint32(HasEitherDialytika);
            } else if (up == 0x3a5) {
                up = 0x3ab;
                data &= ~quint32(HasEitherDialytika);
            }
        }
        out += QChar(up);
        if (data & HasEitherDialytika)
            out += QChar(char16_t(0x308));
        if (addTonos)
            out += QChar(char16_t(0x301));
        for (; ypogegrammeni > 0; --ypogegrammeni)
            out += QChar(char16_t(0x399));
        i = next;
        state = nextState;
    }
    return out;
}

} // namespace greek

bool hasGreek(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x0370 && u < 0x0400) || (u >= 0x1f00 && u < 0x2000) || u == 0x2126)
            return true;
    }
    return false;
}

} // namespace

const QList<CaseLanguageRow> &CaseLanguages()
{
    return Rows;
}

const CaseLanguageRow &CaseLanguageOf(CaseLanguage language)
{
    for (const CaseLanguageRow &row : Rows) {
        if (row.language == language)
            return row;
    }
    return Rows.first();
}

std::optional<CaseLanguage> CaseLanguageWithCode(const QString &code)
{
    for (const CaseLanguageRow &row : Rows) {
        if (row.code == code)
            return row.language;
    }
    return std::nullopt;
}

QString LanguageCase(CaseMode mode, CaseLanguage language, QString text)
{
    const auto rule = CaseModeOf(mode).rule;
    switch (language) {
    case CaseLanguage::Any:
        return rule(std::move(text));
    case CaseLanguage::Turkish:
    case CaseLanguage::Azerbaijani:
        return rule(turkishBefore(mode, std::move(text)));
    case CaseLanguage::Lithuanian:
        return rule(lithuanianBefore(mode, text));
    case CaseLanguage::Greek:
        return mode == CaseMode::Upper && hasGreek(text) ? greek::upper(text)
                                                         : rule(std::move(text));
    case CaseLanguage::Dutch:
        text = rule(std::move(text));
        if (mode == CaseMode::Proper || mode == CaseMode::Sentence)
            dutchAfter(mode, text);
        return text;
    case CaseLanguage::German:
    case CaseLanguage::GermanEszett:
        text = rule(std::move(text));
        if (mode == CaseMode::Upper)
            germanAfter(text, language == CaseLanguage::GermanEszett);
        return text;
    }
    return rule(std::move(text));
}

bool LanguageChangesAscii(CaseMode mode, CaseLanguage language)
{
    return language == CaseLanguage::Dutch &&
           (mode == CaseMode::Proper || mode == CaseMode::Sentence);
}
