// The rules of the data's language on top of the four case rules (caserules.h), as Unicode's
// SpecialCasing gives them for Turkish, Azerbaijani and Lithuanian, and as CLDR (ICU) does for
// Greek capitals and the Dutch IJ; German writes ß in capitals as "SS", or as "ẞ" when asked.
// "Any Language" is the rules themselves, unchanged. These are the only rules that may change a
// text's length: "SS", a dot above added or taken away, a dialytika.
#pragma once

#include "casing/casemodes.h"

#include <QList>
#include <QString>
#include <optional>

enum class CaseLanguage {
    Any,
    Turkish,
    Azerbaijani,
    Greek,
    Dutch,
    Lithuanian,
    German,
    GermanEszett
};

struct CaseLanguageRow {
    CaseLanguage language;
    // As the settings, the journal and the command line name it: "tr"; empty for Any.
    QString code;
    // As the Language menu shows it: "Turkish".
    QString text;
    // The ICU locale whose case functions follow the same rules ("tr-TR").
    QString icuLocale;
};

// The rows, in the order the menu offers them.
const QList<CaseLanguageRow> &CaseLanguages();
const CaseLanguageRow &CaseLanguageOf(CaseLanguage language);
std::optional<CaseLanguage> CaseLanguageWithCode(const QString &code);

// The text in the mode's rule and the language's: for Any, the mode's rule itself.
QString LanguageCase(CaseMode mode, CaseLanguage language, QString text);

// Whether the language's rules may change a text of ASCII characters only where the mode's own
// rule leaves it as it is ("Ijsland" in Dutch Proper Case): the server then cannot judge such
// values by the rule's ASCII mapping.
bool LanguageChangesAscii(CaseMode mode, CaseLanguage language);
