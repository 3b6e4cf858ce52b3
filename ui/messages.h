// The one way the windows speak to the user in a message box. The windows only ever call
// this interface, so that tests can put a recorder in place of modal boxes.
#pragma once

#include <QString>

class Messages
{
public:
    virtual ~Messages() = default;

    // An ordinary message: OK button, no icon, the application title.
    virtual void info(const QString &text) = 0;

    // The same message with the reason behind it as the box's detailed text, which the user
    // opens with "Show Details…"; the text and the button are those of info().
    virtual void infoWithDetails(const QString &text, const QString &details) = 0;

    // A question before an action that changes data: OK, or the accept text when given, as the
    // default button (Return) and Cancel (Esc), the application title. True when the user chose
    // the default button.
    virtual bool confirm(const QString &text, const QString &accept = QString()) = 0;

    // Whether to keep edits that closing would throw away: Save (the default button, Return),
    // Discard, or Cancel (Esc), which keeps the window open.
    enum class Unsaved { Save, Discard, Cancel };
    virtual Unsaved askToSave(const QString &text) = 0;

    // The error report of a guarded handler: "Application Error", warning icon, the text of
    // ErrorReportText.
    virtual void report(const QString &window, const QString &handler, int line,
                        const QString &failure) = 0;
};
