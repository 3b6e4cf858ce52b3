// A database call made while the window keeps going: result, failure, and the window's
// events handled while the call runs.
#include "db/dberror.h"
#include "ui/callrepainting.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QTimer>
#include <atomic>

class TestCallRepainting : public QObject
{
    Q_OBJECT

private slots:
    void resultAndFailureComeBack();
    void windowEventsGoOnWhileTheCallRuns();
};

void TestCallRepainting::resultAndFailureComeBack()
{
    QCOMPARE(CallRepainting([] { return QStringList{"a", "b"}; }), QStringList({"a", "b"}));
    try {
        CallRepainting([]() -> bool { throw DbError("server closed the connection", "08006"); });
        QFAIL("the failure did not come back");
    } catch (const DbError &error) {
        QCOMPARE(error.text(), "server closed the connection");
        QCOMPARE(error.sqlState(), "08006");
    }
}

void TestCallRepainting::windowEventsGoOnWhileTheCallRuns()
{
    // The call waits for a timer of the window's thread: it sees it only if that thread goes
    // on handling events meanwhile.
    std::atomic<bool> fired{false};
    QTimer::singleShot(0, this, [&] { fired = true; });
    const bool seen = CallRepainting([&] {
        const QDeadlineTimer deadline(30000);
        while (!fired && !deadline.hasExpired())
            QThread::msleep(1);
        return fired.load();
    });
    QVERIFY(seen);
}

QTEST_MAIN(TestCallRepainting)
#include "tst_callrepainting.moc"
