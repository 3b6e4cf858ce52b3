// The static layout of both windows: sizes, places, captions, fonts, colours, tab order and
// the options of the lists, the mode list and the progress bar, against the layout tables.
#include "messagerecorder.h"

#include "ui/connectionwindow.h"
#include "ui/mainwindow.h"
#include "ui/windowhelpers.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

struct Expected {
    const char *name;
    QRect pixels; // left, top, width, height in the container
    const char *text;
    qreal points;
    bool bold;
};

QString textOf(QWidget *control)
{
    if (auto *label = qobject_cast<QLabel *>(control))
        return label->text();
    if (auto *box = qobject_cast<QGroupBox *>(control))
        return box->title();
    if (auto *button = qobject_cast<QPushButton *>(control))
        return button->text();
    if (auto *bar = qobject_cast<QProgressBar *>(control))
        return bar->text();
    return {};
}

void checkControls(QWidget &window, const QList<Expected> &table)
{
    for (const Expected &e : table) {
        auto *control = window.findChild<QWidget *>(QLatin1String(e.name));
        QVERIFY2(control, e.name);
        QCOMPARE(control->geometry(), e.pixels);
        if (e.text)
            QCOMPARE(textOf(control), QString::fromUtf8(e.text));
        QCOMPARE(control->font().family(), "Arial");
        QCOMPARE(control->font().pointSizeF(), e.points);
        QCOMPARE(control->font().bold(), e.bold);
        QCOMPARE(control->font().italic(), false);
        QCOMPARE(control->font().underline(), false);
    }
}

// The controls that Tab visits, in order, starting at the first one given.
QStringList tabOrder(QWidget &window, const QString &first, int count)
{
    QWidget *control = window.findChild<QWidget *>(first);
    QStringList order;
    while (control && order.size() < count) {
        if ((control->focusPolicy() & Qt::TabFocus) && !control->objectName().isEmpty() &&
            control != &window)
            order << control->objectName();
        control = control->nextInFocusChain();
    }
    return order;
}

void checkFixedWindow(QWidget &window, QSize client)
{
    QCOMPARE(window.size(), client);
    QCOMPARE(window.minimumSize(), client);
    QCOMPARE(window.maximumSize(), client);
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(window.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(window.windowFlags() & Qt::WindowSystemMenuHint);
}

} // namespace

class TestWindowLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void connectionWindow();
    void connectionWindowColours();
    void mainWindow();
    void mainWindowLists();
    void windowsOpenCentredWithFocusOnFirstControl();
    void skinFileGivesButtonFace();

private:
    QTemporaryDir folder_;
    MessageRecorder messages_;
};

void TestWindowLayout::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", folder_.filePath("config").toUtf8());
}

void TestWindowLayout::connectionWindow()
{
    ConnectionWindow form1(messages_, folder_.path());
    checkFixedWindow(form1, {536, 242});
    QCOMPARE(form1.font().family(), "Arial");
    QCOMPARE(form1.font().pointSizeF(), 9.0);
    QVERIFY(!form1.font().bold());
    checkControls(form1, {
                             {"Frame1", {8, 8, 520, 189}, "PostgreSQL Database", 9, true},
                             {"Label2", {16, 27, 73, 17}, "Server:", 9, true},
                             {"Text1", {88, 24, 305, 22}, nullptr, 9, true},
                             {"Label3", {400, 27, 33, 17}, "Port:", 9, true},
                             {"Text2", {431, 24, 73, 22}, nullptr, 9, true},
                             {"Label1", {16, 59, 73, 17}, "Username:", 9, true},
                             {"Text3", {88, 56, 417, 22}, nullptr, 9, true},
                             {"Label4", {16, 91, 73, 17}, "Password:", 9, true},
                             {"Text4", {88, 88, 417, 22}, nullptr, 9, true},
                             {"Label6", {16, 123, 73, 17}, "Database:", 9, true},
                             {"Text5", {88, 120, 417, 22}, nullptr, 9, true},
                             {"PushButton5", {16, 152, 240, 27}, "Test Connection", 11.25, true},
                             {"PushButton1", {264, 152, 240, 27}, "Help", 11.25, true},
                             {"PushButton3", {8, 206, 520, 27}, "Next >", 11.25, true},
                         });
    // The frame holds the labels, the boxes and two buttons; "Next >" lies below it.
    auto *frame = form1.findChild<QGroupBox *>("Frame1");
    for (const char *name : {"Label2", "Text1", "Text5", "PushButton5", "PushButton1"})
        QCOMPARE(form1.findChild<QWidget *>(name)->parentWidget(), frame);
    QCOMPARE(form1.findChild<QWidget *>("PushButton3")->parentWidget(), &form1);
    for (const char *name : {"Text1", "Text2", "Text3", "Text4", "Text5"})
        QVERIFY(form1.findChild<QLineEdit *>(name)->text().isEmpty());
    QCOMPARE(tabOrder(form1, "Text1", 9),
             QStringList({"Text1", "Text2", "Text3", "Text4", "Text5", "PushButton5", "PushButton1",
                          "PushButton3", "Text1"}));
    auto *password = form1.findChild<QLineEdit *>("Text4");
    password->setText("s3cret");
    QCOMPARE(password->text(), "s3cret");
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QCOMPARE(password->displayText(), "******");
}

void TestWindowLayout::connectionWindowColours()
{
    ConnectionWindow form1(messages_, folder_.path());
    const QColor white(Qt::white);
    QCOMPARE(form1.palette().color(QPalette::Window), white);
    QVERIFY(form1.autoFillBackground());
    for (const char *name : {"Frame1", "Label1", "Label2", "Label3", "Label4", "Label6"})
        QCOMPARE(form1.findChild<QWidget *>(name)->palette().color(QPalette::Window), white);
    for (const char *name : {"PushButton1", "PushButton3", "PushButton5"}) {
        const QPalette palette = form1.findChild<QWidget *>(name)->palette();
        QCOMPARE(palette.color(QPalette::Button), white);
        QCOMPARE(palette.color(QPalette::ButtonText),
                 QApplication::palette().color(QPalette::ButtonText));
    }
}

void TestWindowLayout::mainWindow()
{
    ConnectionWindow form1(messages_, folder_.path());
    MainWindow form2(
        messages_, [&form1] { return form1.settings(); }, folder_.path());
    // The client area keeps its size between the menu bar and the status line, which add their
    // heights to the window.
    auto *menuBar = form2.findChild<QWidget *>("MenuBar");
    auto *statusLine = form2.findChild<QWidget *>("StatusLine");
    QVERIFY(menuBar);
    QVERIFY(statusLine);
    const int menuHeight = menuBar->height();
    const int statusHeight = statusLine->height();
    QVERIFY(menuHeight > 0);
    QVERIFY(statusHeight >= statusLine->fontMetrics().height());
    checkFixedWindow(form2, {616, 503 + menuHeight + statusHeight});
    QCOMPARE(form2.findChild<QWidget *>("ClientArea")->geometry(), QRect(0, menuHeight, 616, 503));
    QCOMPARE(statusLine->geometry(), QRect(0, menuHeight + 503, 616, statusHeight));
    QCOMPARE(form2.font().family(), "Arial");
    QCOMPARE(form2.font().pointSizeF(), 9.0);
    QVERIFY(form2.font().bold());
    QCOMPARE(form2.palette().color(QPalette::Window), QColor(Qt::white));
    checkControls(
        form2,
        {
            {"ListView1", {8, 8, 296, 181}, nullptr, 9, true},
            {"ListView2", {312, 8, 296, 149}, nullptr, 9, true},
            {"PushButton2", {312, 161, 137, 27}, "Select All Fields", 11.25, true},
            {"PushButton3", {456, 161, 152, 27}, "Unselect All Fields", 11.25, true},
            {"ListView3", {8, 193, 600, 181}, nullptr, 9, true},
            {"Frame1", {8, 376, 600, 53}, "Change all records in selected field(s) to:", 9, true},
            {"Combo1", {16, 20, 568, 23}, nullptr, 9, true},
            {"PushButton1", {8, 437, 296, 27}, "Start Changing", 11.25, true},
            {"PushButton5", {312, 437, 296, 27}, "Setup Connection", 11.25, true},
            {"ProgressBar1", {8, 471, 600, 27}, "Progress Bar", 9, true},
        });
    QCOMPARE(form2.findChild<QWidget *>("Combo1")->parentWidget(),
             form2.findChild<QWidget *>("Frame1"));

    auto *combo = form2.findChild<QComboBox *>("Combo1");
    QVERIFY(!combo->isEditable());
    auto *bar = form2.findChild<QProgressBar *>("ProgressBar1");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);
    QVERIFY(bar->isTextVisible());
    QCOMPARE(tabOrder(form2, "PushButton1", 9),
             QStringList({"PushButton1", "PushButton5", "Combo1", "ListView1", "ListView2",
                          "PushButton2", "PushButton3", "ListView3", "PushButton1"}));
}

void TestWindowLayout::mainWindowLists()
{
    ConnectionWindow form1(messages_, folder_.path());
    MainWindow form2(
        messages_, [&form1] { return form1.settings(); }, folder_.path());
    for (const char *name : {"ListView1", "ListView2", "ListView3"}) {
        auto *list = form2.findChild<QTreeWidget *>(name);
        QCOMPARE(list->columnCount(), 1);
        QVERIFY(!list->isHeaderHidden());
        QVERIFY(!list->rootIsDecorated());
        QVERIFY(!list->isSortingEnabled());
        QCOMPARE(list->topLevelItemCount(), 0);
        QCOMPARE(list->toolTip(), "Move | line to right and out of window to reveal full names.");
    }
    QCOMPARE(form2.findChild<QTreeWidget *>("ListView1")->selectionMode(),
             QAbstractItemView::SingleSelection);
    QCOMPARE(form2.findChild<QTreeWidget *>("ListView2")->selectionMode(),
             QAbstractItemView::ExtendedSelection);
    QCOMPARE(form2.findChild<QTreeWidget *>("ListView3")->selectionMode(),
             QAbstractItemView::SingleSelection);
}

void TestWindowLayout::windowsOpenCentredWithFocusOnFirstControl()
{
    ConnectionWindow form1(messages_, folder_.path());
    MainWindow form2(
        messages_, [&form1] { return form1.settings(); }, folder_.path());
    for (QWidget *window : {static_cast<QWidget *>(&form1), static_cast<QWidget *>(&form2)}) {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QPoint screenCentre = window->screen()->availableGeometry().center();
        const QPoint windowCentre = window->frameGeometry().center();
        QVERIFY2((screenCentre - windowCentre).manhattanLength() <= 1,
                 qPrintable(window->objectName()));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        const char *first = window == &form1 ? "Text1" : "PushButton1";
        QCOMPARE(QApplication::focusWidget(), window->findChild<QWidget *>(first));
        window->hide();
    }
}

void TestWindowLayout::skinFileGivesButtonFace()
{
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    ConnectionWindow plain(messages_, folder_.path());
    ApplySkin(plain, folder_.path());
    QCOMPARE(plain.palette().color(QPalette::Window), QColor(Qt::white));

    QTemporaryDir skinned;
    QVERIFY(QDir(skinned.path()).mkpath("x"));
    QFile skin(skinned.filePath("x/o.cjs"));
    QVERIFY(skin.open(QIODevice::WriteOnly));
    skin.close();
    ConnectionWindow form1(messages_, skinned.path());
    ApplySkin(form1, skinned.path());
    QCOMPARE(form1.palette().color(QPalette::Window), buttonFace);
    for (const char *name : {"Frame1", "Label1", "Label2", "Label3", "Label4", "Label6"})
        QCOMPARE(form1.findChild<QWidget *>(name)->palette().color(QPalette::Window), buttonFace);
    // Text boxes and push buttons keep their own colours.
    QCOMPARE(form1.findChild<QWidget *>("PushButton3")->palette().color(QPalette::Button),
             QColor(Qt::white));
    QCOMPARE(form1.findChild<QWidget *>("Text1")->palette().color(QPalette::Window),
             QApplication::palette().color(QPalette::Window));
}

QTEST_MAIN(TestWindowLayout)
#include "tst_windowlayout.moc"
