// The main window's controls, at their places below the menu bar, and its menus.
#include "ui/form2.h"

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

void Form2::buildLayout()
{
    setObjectName(QStringLiteral("Form2"));
    setFont(ArialFont(9, true));
    SetBackground(*this, Qt::white);

    // The menu bar stands above the client area and the status line below it; the client area
    // keeps the window's size and the controls' places, and the window grows by their heights.
    buildMenus();
    ClientArea = new QWidget(this);
    ClientArea->setObjectName(QStringLiteral("ClientArea"));
    statusLine_ = new StatusLine(this);
    const int menuHeight = MenuBar->sizeHint().height();
    const int statusHeight = statusLine_->sizeHint().height();
    MenuBar->setGeometry(0, 0, Twips(9240), menuHeight);
    ClientArea->setGeometry(0, menuHeight, Twips(9240), Twips(7545));
    statusLine_->setGeometry(0, menuHeight + Twips(7545), Twips(9240), statusHeight);
    MakeFixedWindow(*this, 9240, 7545);
    setFixedSize(Twips(9240), Twips(7545) + menuHeight + statusHeight);
    QWidget *const area = ClientArea;

    ListView1 = MakeListView(area, "ListView1", false, 120, 120, 4440, 2715);
    ListView2 = MakeListView(area, "ListView2", true, 4680, 120, 4440, 2235);

    auto button = [&](const char *name, const QString &text, int left, int top, int width) {
        return MakePushButton(area, name, text, left, top, width, 405);
    };
    PushButton2 = button("PushButton2", QStringLiteral("Select All Fields"), 4680, 2415, 2055);
    PushButton3 = button("PushButton3", QStringLiteral("Unselect All Fields"), 6840, 2415, 2280);

    ListView3 = MakeListView(area, "ListView3", false, 120, 2895, 9000, 2715);

    Frame1 = new QGroupBox(QStringLiteral("Change all records in selected field(s) to:"), area);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    PlaceTwips(*Frame1, 120, 5640, 9000, 800);
    Combo1 = new QComboBox(Frame1);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(false);
    PlaceTwips(*Combo1, 240, 300, 8520, 345);

    PushButton1 = button("PushButton1", QStringLiteral("Start Changing"), 120, 6555, 4440);
    PushButton5 = button("PushButton5", QStringLiteral("Setup Connection"), 4680, 6555, 4440);

    ProgressBar1 = new QProgressBar(area);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    PlaceTwips(*ProgressBar1, 120, 7065, 9000, 405);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setFormat(QStringLiteral("Progress Bar"));
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    QPalette palette = ProgressBar1->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Window, Qt::white);
    ProgressBar1->setPalette(palette);

    setTabOrder(PushButton1, PushButton5);
    setTabOrder(PushButton5, Combo1);
    setTabOrder(Combo1, ListView1);
    setTabOrder(ListView1, ListView2);
    setTabOrder(ListView2, PushButton2);
    setTabOrder(PushButton2, PushButton3);
    setTabOrder(PushButton3, ListView3);
}

void Form2::buildMenus()
{
    MenuBar = new QMenuBar(this);
    MenuBar->setObjectName(QStringLiteral("MenuBar"));
    MenuBar->setNativeMenuBar(false);
    // Menus speak in the desktop's own font, not in the window's bold Arial.
    MenuBar->setFont(DesktopFont());
    changeMenu_ = MenuBar->addMenu(QStringLiteral("&Change"));
    changeMenu_->setObjectName(QStringLiteral("ChangeMenu"));
    stopAction_ = changeMenu_->addAction(QStringLiteral("Stop"));
    stopAction_->setObjectName(QStringLiteral("StopAction"));
    stopAction_->setShortcut(Qt::Key_Escape);
    stopAction_->setEnabled(false);
    connect(stopAction_, &QAction::triggered, this, &Form2::Stop_Click);
    helpMenu_ = MenuBar->addMenu(QStringLiteral("&Help"));
    helpMenu_->setObjectName(QStringLiteral("HelpMenu"));
}
