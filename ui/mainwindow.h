// The main window: the tables of the database, the fields of the chosen table, a preview of
// a field's first values, the mode, and "Start Changing", which rewrites every selected field
// on a thread of its own while the window stays responsive.
#pragma once

#include "db/connectionsettings.h"
#include "db/tableref.h"
#include "jobs/casechange.h"
#include "run/changerun.h"
#include "ui/flowwindow.h"
#include "ui/jobhost.h"
#include "ui/pointerstate.h"

#include <QPointer>
#include <functional>
#include <optional>

class Messages;
class QAction;
class QComboBox;
class QGroupBox;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class StatusLine;

// The main window's object name, by which its reports name it.
inline const QString MainWindowName = QStringLiteral("Form2");

class MainWindow : public FlowWindow
{
    Q_OBJECT

public:
    // connection gives the connection values as they stand at the moment it is called; every
    // database action asks for them when it starts.
    MainWindow(Messages &messages, std::function<ConnectionSettings()> connection,
               QString programFolder);
    ~MainWindow() override;

    // The load step: colours, icon, cursor, caption, the tables of the current connection,
    // the fields of the first one with the preview of its first field, the modes, the columns.
    void load();

    // Field listing of the table selected in tableList_, then the preview of its first field.
    // Throws on failure; the caller reports it.
    void listFields();
    // Preview of the field selected in fieldList_. Throws on failure.
    void previewField();

    void startChanging();     // "Start Changing"
    void selectAllFields();   // "Select All Fields"
    void unselectAllFields(); // "Unselect All Fields"
    void setupConnection();   // "Setup Connection"
    // "Refresh" (F5): the tables, the fields and the values read again; the table shown and its
    // selected fields stay where they still exist.
    void refresh();

    bool isChanging() const { return jobs_.running<ChangeRun>(); }

    // What the window shows and the user chose: the connection values, the table whose fields
    // are listed, the selected fields in list order, the mode text.
    ConnectionSettings connectionSettings() const;
    std::optional<TableRef> shownTable() const { return fieldsTable_; }
    QStringList selectedFields() const;
    QString modeText() const;

    // The row condition of the shown table (RowCondition), which the run, Preview Changes and
    // the list of values take: empty for every row. It holds until it is cleared or another
    // table is listed.
    QString rowCondition() const { return rowCondition_; }
    // Sets it, or clears it with an empty text, once the server has checked it on the shown
    // table; the list of values then shows the rows it picks. Throws ConditionRefused with the
    // server's reason, or another failure, and then nothing changes.
    void setRowCondition(const QString &condition);

    // Starts a change run of these fields of the shown table, by its row condition, leaving the
    // values kept as written; false when none started.
    bool startChangeRun(const QStringList &fields, std::optional<CaseMode> mode,
                        const QStringList &kept = {});

    // Where every job of the window runs (the change run, a preview, an undo): while one goes
    // the window is busy with it, and the status line then says how it ended.
    JobHost &jobs() { return jobs_; }
    bool isBusy() const { return jobs_.busy(); }

    // "Stop" of the Change menu: enabled only while a job goes. Commands added to the Change
    // menu go before it.
    QAction *stopAction() const { return stopAction_; }
    void stop();
    // Stops the job that is going and waits for its thread: the program is ending.
    void stopJobAndWait();

    PointerState &pointer() { return pointer_; }

    // The line below the controls that says how the last task ended, and a task's waits on
    // other clients' locks.
    StatusLine &statusLine() { return *statusLine_; }

    // The menu bar's command menus, for the features that add their commands there.
    QMenu *changeMenu() const { return changeMenu_; }
    QMenu *helpMenu() const { return helpMenu_; }

signals:
    // A change run has ended and the window has shown its outcome.
    void changeRunEnded();
    // "Setup Connection": the connection window is to be shown.
    void setupRequested();

protected:
    QWidget *firstControl() const override;

private:
    void buildLayout();
    // Fills the empty table list and makes current the table to keep, else the first.
    void fillTables(const QList<TableRef> &tables, const std::optional<TableRef> &keep);
    void buildMenus();
    void connectLists();
    // The user's own click on a list: the listing under a report of its own.
    void userListing(const QString &handler, void (MainWindow::*listing)());
    void changeRunFinished(const ChangeRunSummary &summary);
    void updatePreviewAfterRun(const ChangeRunSummary &summary);
    void setRunning(bool running);
    // Puts the table list's selection back on the table whose fields are shown.
    void reselectShownTable();
    void setAllFieldsSelected(const QString &handler, bool selected);
    // The values of the field, of the rows the condition picks, in the list of values.
    void showValues(const TableRef &table, const QString &field, const QString &condition);
    // The status line and the title of the list of values say the row condition.
    void showRowCondition();

    // Where an entry of the table list keeps its table.
    static constexpr int TableRole = Qt::UserRole;

    Messages &messages_;
    std::function<ConnectionSettings()> connection_;
    QString programFolder_;
    PointerState pointer_;
    JobHost jobs_;
    bool listing_ = false;

    // The table whose fields fieldList_ shows, and the table and field valueList_ previews.
    std::optional<TableRef> fieldsTable_;
    std::optional<TableRef> previewTable_;
    QString previewField_;
    QString rowCondition_;
    // What the running change run works on.
    CaseChange run_; // with the word exceptions as stored when the run started
    QPointer<QWidget> focusBeforeRun_;

    QMenuBar *menuBar_;
    QMenu *changeMenu_, *helpMenu_;
    QAction *stopAction_;
    // The area below the menu bar, which holds the window's controls at their places.
    QWidget *clientArea_;
    QTreeWidget *tableList_, *fieldList_, *valueList_;
    QPushButton *selectAllButton_, *unselectAllButton_, *startButton_, *setupButton_;
    QGroupBox *modeFrame_;
    QComboBox *modeBox_;
    QProgressBar *progressBar_;
    StatusLine *statusLine_;
};
