// The product's four case rules and the choice of a rule from the mode text.
// A character here is one UTF-16 code unit: every rule maps unit by unit with the simple
// one-to-one case mapping, so a converted text always has the length of its source.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

enum class CaseMode { Upper, Lower, Proper, Sentence };

class WordExceptions;

// Display texts of the modes, in the order in which the modes are tested and offered.
QStringList CaseModeTexts();
QString CaseModeText(CaseMode mode);

// The first mode whose word ("upper", "lower", "proper", "sentence") the text contains,
// in any mix of capitals; none when the text holds no mode word.
std::optional<CaseMode> CaseModeFromText(const QString &modeText);

QString UpperCase(QString text);
QString LowerCase(QString text);
QString ProperCase(QString text);
QString SentenceCase(QString text);
// The text in the mode's rule. After Proper and Sentence the listed words, if any, get their
// listed spelling; Upper and Lower mean all capitals and all small letters and ignore them.
QString ApplyCaseMode(CaseMode mode, QString text, const WordExceptions *words = nullptr);
