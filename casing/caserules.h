// The product's four case rules and the choice of a rule from the mode text.
// A character here is one code point (a surrogate pair is one letter), mapped by Unicode's
// simple one-to-one case mappings (caseunits.h); a converted text always has the length of its
// source in UTF-16 units. The one context the rules heed is the final sigma: a capital sigma
// that ends a word becomes "ς" when lower-cased, any other "σ".
#pragma once

#include "casing/casemodes.h"

#include <QString>
#include <QStringView>

class WordExceptions;

QString UpperCase(QString text);
QString LowerCase(QString text);
// The letter at the start of the text and after each space, tab or carriage return is written
// in title case as it stands (so "İ" keeps its dot, "ǆ" becomes "ǅ"); every other is lower-cased.
QString ProperCase(QString text);
// Only the first character of the text is written in title case.
QString SentenceCase(QString text);
// Whether the text is written in one case: every cased letter in it a capital (title-case
// letters such as "ǅ" count as capitals), or every one small, or none there at all. Digits,
// marks and the letters of caseless scripts do not count.
bool IsInOneCase(QStringView text);

// Why a text keeps its old form although the rule would change it: the options of the change
// say so (WordExceptions: leave mixed-case values, keep listed values).
enum class LeftAs { Converted, MixedCase, Kept };
// Converted when the rule's own conversion stands, or when it would not change the text at all.
LeftAs LeftAsWritten(CaseMode mode, const QString &text, const WordExceptions *words);

// The text in the mode's rule. After a mode that takes the word list (Proper, Sentence) the
// listed words, if any, get their listed spelling; Upper and Lower mean all capitals and all
// small letters and ignore them. The list's language (caselanguage.h) gives the rule its
// language's rules, which alone may change the text's length. When the list says so, the name rules
// (namerules.h) follow a mode that takes them (Proper Case), before the listed words. The modes'
// table says which. A text that the options leave as written (LeftAsWritten) comes back as it is.
QString ApplyCaseMode(CaseMode mode, QString text, const WordExceptions *words = nullptr);

// The version of Unicode whose mappings the rules follow ("15.0.0").
QString CaseRulesUnicodeVersion();
