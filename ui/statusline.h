// The line under the main window's controls, as the menu bar stands above them. After a task it
// says what the task did, until the next task begins; during a task it says when a statement of
// the task has waited a while for a lock that another client holds, and whose lock it is.
#pragma once

#include "db/connectionsettings.h"
#include "db/lockwaitwatcher.h"
#include "db/tableref.h"

#include <QElapsedTimer>
#include <QLabel>
#include <memory>

class CancelGroup;
class QPushButton;

class StatusLine : public QLabel
{
    Q_OBJECT

public:
    explicit StatusLine(QWidget *parent);

    // A task begins: the last task's line goes, the task's clock starts, and the Stop button
    // shows at the line's right end until the task ends.
    void taskStarted();
    // What the task does, which its progress follows: "Changing customers (name) to UPPER CASE".
    void taskTitle(const QString &title);
    // How far the task is: "<title>: 45% · about 6 s left", once there is enough to tell.
    void taskProgress(int percent);
    // The rows done, and of how many: "<title>: 45% · 450,000 of 1,000,000 rows · …".
    void taskRows(qint64 done, qint64 total, bool estimated);
    // Watches the task's sessions on the server for waits on other clients' locks, until the
    // task ends; the table is the task's.
    void watchLocks(const ConnectionSettings &settings, std::shared_ptr<const CancelGroup> sessions,
                    const TableRef &table);
    // A line that stays while the task goes on, but for a wait on a lock.
    void taskNote(const QString &note);
    qint64 taskElapsedMs() const { return clock_.isValid() ? clock_.elapsed() : 0; }
    // The task has ended: the line says how, until the next task begins.
    void taskEnded(const QString &outcome);

    // The whole line, also when it is too long to be shown whole.
    QString line() const { return line_; }

    // A note that stands before whatever the line says, whether a task goes on or not, until it
    // is set again; empty for none.
    void setStandingNote(const QString &note);

signals:
    // The Stop button was pressed.
    void stopRequested();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // The line, or where it does not fit, the shorter form of it when given, cut at its end if
    // need be; the tool tip then holds the whole line.
    void setLine(const QString &line, const QString &shorter = QString());
    void showTask();
    // The Stop button inside the line's frame, at its right end, as tall as the line.
    void placeStop();
    // The task's progress and note, as the line shows them while no lock is waited for.
    QString taskLine(bool withTitle) const;
    void showWait(quint64 token, const LockWait &wait);
    void waitEnded(quint64 token);

    LockWaitWatcher watcher_;
    quint64 token_ = 0; // of the task's watch; 0 while none
    TableRef table_;
    QElapsedTimer clock_;
    QString line_;
    QString note_; // of the task going on
    QString standing_;
    QString title_;
    int percent_ = -1;
    QString rows_;         // the rows done, as the line says them; empty while none are known
    bool waiting_ = false; // the line says whose lock a statement waits for
    QPushButton *stop_;
    QString shown_;   // what the line says after the standing note
    QString shorter_; // and its shorter form, for a line too long to show
};
