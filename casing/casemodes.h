// The table of the case modes: everything the program knows of a mode stands in its row, and
// every place that offers, parses, applies, reports or records a mode takes it from there. A
// fifth mode is a value of the enum, a row of the table and its rule.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

enum class CaseMode { Upper, Lower, Proper, Sentence };

struct CaseModeRow {
    CaseMode mode;
    // The mode drop-down's text, also the journal's record of the mode: "UPPER CASE".
    QString text;
    // The mode word, which picks the mode from a mode text and names it on the command line.
    QString word;
    // The rule (caserules.h).
    QString (*rule)(QString text);
    bool nameRules = false; // the name rules may follow the rule
    bool wordList = false;  // the word exceptions apply after the rule
    // How the server tells of a value of ASCII characters only whether the rule changes it: the
    // rule is the "C" collation's upper or lower case mapping there, which the server applies
    // faster than any pattern; or a POSIX regular expression that such a value matches exactly
    // when the rule changes it. Neither: every value goes to the rule itself.
    enum class AsciiMapping { None, Upper, Lower };
    AsciiMapping asciiMapping = AsciiMapping::None;
    QString asciiChanges;
    // The report's line labels of the main window: the load step that offers the mode, the
    // change run's write (its Execute), and the conversion of the preview list after a run.
    int offerStep = 0;
    int writeStep = 0;
    int listStep = 0;
};

// The rows, in the order in which the modes are offered and tested.
const QList<CaseModeRow> &CaseModes();
const CaseModeRow &CaseModeOf(CaseMode mode);

// Display texts of the modes, in the table's order.
QStringList CaseModeTexts();
QString CaseModeText(CaseMode mode);
// The mode words, in the table's order: "upper", "lower", ...
QStringList CaseModeWords();

// The first mode in the table's order whose word the text contains, in any mix of capitals;
// none when the text holds no mode word. The main window picks its mode so.
std::optional<CaseMode> CaseModeFromText(const QString &modeText);

// The mode whose display text the text is, exactly: the journal records a mode so.
std::optional<CaseMode> CaseModeWithText(const QString &text);
// The mode whose word the text is, exactly: the command line names a mode so.
std::optional<CaseMode> CaseModeWithWord(const QString &word);
