// The guarded-handler helper: reports and carries on, the condition rule, the failure texts.
#include "messagerecorder.h"

#include "db/dberror.h"
#include "ui/guardedhandler.h"

#include <QTest>
#include <stdexcept>

class TestGuardedHandler : public QObject
{
    Q_OBJECT

private slots:
    void failingStepIsReportedAndHandlerGoesOn();
    void twoFailuresGiveTwoReportsInOrder();
    void failingConditionRunsItsBranch();
    void failureTexts();
};

void TestGuardedHandler::failingStepIsReportedAndHandlerGoesOn()
{
    MessageRecorder messages;
    GuardedHandler h(messages, "Form1", "PushButton1_Click");
    QStringList ran;
    QVERIFY(!h.step(100, [&] {
        ran << "100";
        throw std::runtime_error("Type mismatch");
    }));
    QVERIFY(h.step(102, [&] { ran << "102"; }));
    QCOMPARE(ran, QStringList({"100", "102"}));
    QCOMPARE(messages.reports.size(), 1);
    QCOMPARE(messages.reports[0].text,
             "Type mismatch\r\nin Quorlin2021/08/31.Form1.PushButton1_Click at line 100\r\r"
             "Please email screenshot of this message to support@kestrova.com");
    QVERIFY(messages.infos.isEmpty());
}

void TestGuardedHandler::twoFailuresGiveTwoReportsInOrder()
{
    MessageRecorder messages;
    GuardedHandler h(messages, "Form2", "Form_Load");
    h.step(112, [] { throw DbError("could not connect to server"); });
    h.step(114, [] { throw std::runtime_error("No table is selected."); });
    QCOMPARE(messages.reports.size(), 2);
    QCOMPARE(messages.reports[0].line, 112);
    QCOMPARE(messages.reports[0].failure, "could not connect to server");
    QCOMPARE(messages.reports[1].line, 114);
    QCOMPARE(messages.reports[1].handler, "Form_Load");
}

void TestGuardedHandler::failingConditionRunsItsBranch()
{
    MessageRecorder messages;
    GuardedHandler h(messages, "Form1", "Form_Load");
    bool branch = false;
    if (h.condition(138, []() -> bool { throw std::runtime_error("broken check"); }))
        branch = true;
    QVERIFY(branch);
    QCOMPARE(messages.reports.size(), 1);
    QCOMPARE(messages.reports[0].line, 138);
}

void TestGuardedHandler::failureTexts()
{
    // The driver's text comes through whole, characters beyond ASCII included.
    const QString text = QString::fromUtf8("relation \"städte\" does not exist");
    QCOMPARE(GuardedHandler::FailureText(std::make_exception_ptr(DbError(text, "42P01"))), text);
    QCOMPARE(GuardedHandler::FailureText(std::make_exception_ptr(std::runtime_error("Overflow"))),
             "Overflow");
    QCOMPARE(GuardedHandler::FailureText(std::make_exception_ptr(42)), "Unknown failure.");
}

QTEST_MAIN(TestGuardedHandler)
#include "tst_guardedhandler.moc"
