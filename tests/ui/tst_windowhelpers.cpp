// The shared window helpers, the text of the error report and the real message box with
// details.
#include "db/nullto.h"
#include "jobs/jobtexts.h"
#include "ui/errorreport.h"
#include "ui/messageboxes.h"
#include "ui/windowhelpers.h"

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

class TestWindowHelpers : public QObject
{
    Q_OBJECT

private slots:
    void nullTo();
    void fileExists();
    void titleCut();
    void toolTipsShowMarkupAsText();
    void errorReportText();
    void messageWithDetails();
    void timeLeft_data();
    void timeLeft();
};

void TestWindowHelpers::nullTo()
{
    QCOMPARE(NullTo(QVariant(QMetaType::fromType<QString>()), QString()).toString(), QString());
    QVERIFY(!NullTo(QVariant(QMetaType::fromType<QString>()), QString("")).isNull());
    QCOMPARE(NullTo(QString("abc"), QString()).toString(), "abc");
    QCOMPARE(NullTo(QString(""), QString("x")).toString(), ""); // empty is not NULL
    const QVariant zero = NullTo(0, QString());
    QCOMPARE(zero.typeId(), QMetaType::Int);
    QCOMPARE(zero.toInt(), 0);
}

// A value or a name that looks like markup is shown as it stands, in a tip that Qt takes for
// rich text whatever it holds.
void TestWindowHelpers::toolTipsShowMarkupAsText()
{
    for (const QString text : {"<img src=\"x\"> & <b>bold</b>", "a  b\nc", "&amp; plain"}) {
        const QString tip = PlainToolTip(text);
        QVERIFY(Qt::mightBeRichText(tip));
        QTextDocument shown;
        shown.setHtml(tip);
        QCOMPARE(shown.toPlainText(), text);
    }
    QVERIFY(PlainToolTip(QString()).isEmpty());
}

void TestWindowHelpers::fileExists()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("HAND-M.CUR");
    QVERIFY(!FileExists(file));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(FileExists(file));
    QVERIFY(!FileExists(QString()));
    QVERIFY(!FileExists(dir.filePath("missing/HAND-M.CUR")));
}

void TestWindowHelpers::titleCut()
{
    QCOMPARE(CutTitle("Recasor"), "Recasor");
    const QString forty = QString(40, u'x');
    QCOMPARE(CutTitle(forty), forty);
    QCOMPARE(CutTitle("Recasor, the letter case tool for PostgreSQL databases"),
             "Recasor, the letter case tool for"); // 33 characters, trailing words dropped
    QCOMPARE(CutTitle("Recasor, the letter case tool for you, PostgreSQL"),
             "Recasor, the letter case tool for you,"); // the comma stays with its word
    QCOMPARE(CutTitle(QString(50, u'y')), QString(40, u'y'));

    SetAppTitle();
    QCOMPARE(AppTitle(), "Recasor");
    // Qt's X11 window titles end in the application display name once one is set, so the
    // title must not become it: every box title reaches the title bar as it stands.
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

void TestWindowHelpers::errorReportText()
{
    QCOMPARE(HandlerPath("Form1", "PushButton1_Click"),
             "in Quorlin2021/08/31.Form1.PushButton1_Click ");
    QCOMPARE(ErrorReportText("Form1", "PushButton1_Click", 106, "Type mismatch"),
             "Type mismatch\r\nin Quorlin2021/08/31.Form1.PushButton1_Click at line 106\r\r"
             "Please email screenshot of this message to support@kestrova.com");
}

void TestWindowHelpers::messageWithDetails()
{
    // The reason waits under "Show Details…"; the box keeps the text, title and one button of
    // an ordinary message.
    SetAppTitle();
    MessageBoxes boxes;
    QString text, details, title;
    QMessageBox::StandardButtons buttons;
    QTimer look;
    connect(&look, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        look.stop();
        text = box->text();
        details = box->detailedText();
        title = box->windowTitle();
        buttons = box->standardButtons();
        box->done(QMessageBox::Ok);
    });
    look.start(10);
    boxes.infoWithDetails("Could not connect.", "timeout expired");
    QCOMPARE(text, "Could not connect.");
    QCOMPARE(details, "timeout expired");
    QCOMPARE(title, AppTitle());
    QCOMPARE(buttons, QMessageBox::Ok);
}

void TestWindowHelpers::timeLeft_data()
{
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("left");
    QTest::newRow("too soon") << qint64(1500) << 50 << QString();
    QTest::newRow("too little done") << qint64(60000) << 2 << QString();
    QTest::newRow("a quarter in 10 s") << qint64(10000) << 25 << "about 30 s left";
    QTest::newRow("rounded up") << qint64(2500) << 90 << "about 1 s left";
    QTest::newRow("minutes") << qint64(60000) << 25 << "about 3 min left";
    QTest::newRow("done") << qint64(60000) << 100 << QString();
}

void TestWindowHelpers::timeLeft()
{
    QFETCH(qint64, elapsedMs);
    QFETCH(int, percent);
    QFETCH(QString, left);
    QCOMPARE(TimeLeftText(elapsedMs, percent), left);
}

QTEST_MAIN(TestWindowHelpers)
#include "tst_windowhelpers.moc"
