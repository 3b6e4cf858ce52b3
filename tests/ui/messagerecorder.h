// A Messages that records what the windows would show instead of opening modal boxes.
#pragma once

#include "ui/errorreport.h"
#include "ui/messages.h"

#include <QList>
#include <QString>
#include <functional>

struct RecordedReport {
    QString window;
    QString handler;
    int line = 0;
    QString failure;
    QString text; // the exact report text
};

class MessageRecorder : public Messages
{
public:
    void info(const QString &text) override
    {
        infos.append(text);
        if (onInfo)
            onInfo(text);
    }

    void infoWithDetails(const QString &text, const QString &details) override
    {
        infoDetails.append(details);
        info(text);
    }

    bool confirm(const QString &text, const QString &accept = QString()) override
    {
        confirms.append(text);
        confirmAccepts.append(accept);
        return confirmAnswer;
    }

    Unsaved askToSave(const QString &text) override
    {
        confirms.append(text);
        confirmAccepts.append(QString());
        return saveAnswer;
    }

    void report(const QString &window, const QString &handler, int line,
                const QString &failure) override
    {
        reports.append(
            {window, handler, line, failure, ErrorReportText(window, handler, line, failure)});
    }

    void clear()
    {
        infos.clear();
        infoDetails.clear();
        confirms.clear();
        confirmAccepts.clear();
        reports.clear();
    }

    QStringList infos;
    QStringList infoDetails; // the detailed texts of the messages of infos that have one
    QStringList confirms;
    QStringList confirmAccepts;           // the accept button's text of each question; empty for OK
    bool confirmAnswer = true;            // what the user "chooses" in a question
    Unsaved saveAnswer = Unsaved::Cancel; // ... and in the question about unsaved edits
    QList<RecordedReport> reports;
    // Called while a message "is shown": lets a test look at the window at that moment.
    std::function<void(const QString &)> onInfo;
};
