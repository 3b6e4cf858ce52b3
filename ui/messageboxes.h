// The real message boxes behind the Messages interface: modal, OK button only (OK and Cancel
// for a question).
#pragma once

#include "ui/messages.h"

class MessageBoxes : public Messages
{
public:
    void info(const QString &text) override;
    void infoWithDetails(const QString &text, const QString &details) override;
    bool confirm(const QString &text, const QString &accept = QString()) override;
    Unsaved askToSave(const QString &text) override;
    void report(const QString &window, const QString &handler, int line,
                const QString &failure) override;

    // The message text as a box shows it: the CR LF and CR line ends of the exact texts
    // become line breaks, because a label draws a lone CR as nothing.
    static QString DisplayText(const QString &text);
};
