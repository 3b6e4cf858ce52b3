// The main window's controls, at their places below the menu bar, and its menus.
#include "ui/mainwindow.h"

#include "ui/controls.h"
#include "ui/statusline.h"
#include "ui/windowhelpers.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

void MainWindow::buildLayout()
{
    setObjectName(QStringLiteral("Form2"));
    setFont(ArialFont(9, true));
    SetBackground(*this, Qt::white);

    // The menu bar stands above the client area and the status line below it; the client area
    // keeps the window's size and the controls' places, and the window grows by their heights.
    buildMenus();
    clientArea_ = new QWidget(this);
    clientArea_->setObjectName(QStringLiteral("ClientArea"));
    statusLine_ = new StatusLine(this);
    const int menuHeight = menuBar_->sizeHint().height();
    const int statusHeight = statusLine_->sizeHint().height();
    menuBar_->setGeometry(0, 0, Twips(9240), menuHeight);
    clientArea_->setGeometry(0, menuHeight, Twips(9240), Twips(7545));
    statusLine_->setGeometry(0, menuHeight + Twips(7545), Twips(9240), statusHeight);
    MakeFixedWindow(*this, 9240, 7545);
    setFixedSize(Twips(9240), Twips(7545) + menuHeight + statusHeight);
    QWidget *const area = clientArea_;

    tableList_ = MakeListView(area, "ListView1", false, 120, 120, 4440, 2715);
    fieldList_ = MakeListView(area, "ListView2", true, 4680, 120, 4440, 2235);

    auto button = [&](const char *name, const QString &text, int left, int top, int width) {
        return MakePushButton(area, name, text, left, top, width, 405);
    };
    selectAllButton_ = button("PushButton2", QStringLiteral("Select All Fields"), 4680, 2415, 2055);
    unselectAllButton_ =
        button("PushButton3", QStringLiteral("Unselect All Fields"), 6840, 2415, 2280);

    valueList_ = MakeListView(area, "ListView3", false, 120, 2895, 9000, 2715);

    modeFrame_ = new QGroupBox(QStringLiteral("Change all records in selected field(s) to:"), area);
    modeFrame_->setObjectName(QStringLiteral("Frame1"));
    PlaceTwips(*modeFrame_, 120, 5640, 9000, 800);
    modeBox_ = new QComboBox(modeFrame_);
    modeBox_->setObjectName(QStringLiteral("Combo1"));
    modeBox_->setEditable(false);
    PlaceTwips(*modeBox_, 240, 300, 8520, 345);

    startButton_ = button("PushButton1", QStringLiteral("Start Changing"), 120, 6555, 4440);
    setupButton_ = button("PushButton5", QStringLiteral("Setup Connection"), 4680, 6555, 4440);

    progressBar_ = new QProgressBar(area);
    progressBar_->setObjectName(QStringLiteral("ProgressBar1"));
    PlaceTwips(*progressBar_, 120, 7065, 9000, 405);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setFormat(QStringLiteral("Progress Bar"));
    progressBar_->setTextVisible(true);
    progressBar_->setAlignment(Qt::AlignCenter);
    QPalette palette = progressBar_->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Window, Qt::white);
    progressBar_->setPalette(palette);

    setTabOrder(startButton_, setupButton_);
    setTabOrder(setupButton_, modeBox_);
    setTabOrder(modeBox_, tableList_);
    setTabOrder(tableList_, fieldList_);
    setTabOrder(fieldList_, selectAllButton_);
    setTabOrder(selectAllButton_, unselectAllButton_);
    setTabOrder(unselectAllButton_, valueList_);
}

void MainWindow::buildMenus()
{
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("MenuBar"));
    menuBar_->setNativeMenuBar(false);
    // Menus speak in the desktop's own font, not in the window's bold Arial.
    menuBar_->setFont(DesktopFont());
    QMenu *file = menuBar_->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("FileMenu"));
    // Quit does what closing the window does, also while a task goes on.
    QAction *quit = file->addAction(QStringLiteral("&Quit"));
    quit->setObjectName(QStringLiteral("QuitAction"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);
    changeMenu_ = menuBar_->addMenu(QStringLiteral("&Change"));
    changeMenu_->setObjectName(QStringLiteral("ChangeMenu"));
    stopAction_ = changeMenu_->addAction(QStringLiteral("Stop"));
    stopAction_->setObjectName(QStringLiteral("StopAction"));
    stopAction_->setShortcut(Qt::Key_Escape);
    stopAction_->setEnabled(false);
    connect(stopAction_, &QAction::triggered, this, &MainWindow::stop);
    QMenu *view = menuBar_->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("ViewMenu"));
    QAction *refresh = view->addAction(QStringLiteral("&Refresh"));
    refresh->setObjectName(QStringLiteral("RefreshAction"));
    refresh->setShortcut(Qt::Key_F5);
    connect(refresh, &QAction::triggered, this, &MainWindow::refresh);
    helpMenu_ = menuBar_->addMenu(QStringLiteral("&Help"));
    helpMenu_->setObjectName(QStringLiteral("HelpMenu"));
}
