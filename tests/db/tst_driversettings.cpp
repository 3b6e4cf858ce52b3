// The driver's communication log stays off for the program's own sessions, and the system's
// driver entries stay as they are. A program of its own: the driver reads its entries once, at
// the first session of the process.
#include "db/dbsession.h"
#include "db/driversettings.h"
#include "testdatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTest>

class TestDriverSettings : public QObject
{
    Q_OBJECT

private slots:
    void noCommunicationLog();
};

void TestDriverSettings::noCommunicationLog()
{
    REQUIRE_TEST_DATABASE();
    const QFileInfo system(QStringLiteral("/etc/odbcinst.ini"));
    if (!system.exists())
        QSKIP("no system driver entries to copy");
    const QDateTime systemChanged = system.lastModified();
    const QString folder = UsePrivateDriverSettings();
    QVERIFY(!folder.isEmpty());
    QVERIFY(QFile::exists(folder + QStringLiteral("/odbcinst.ini")));

    // The driver names its log after the program, the user and the process. A log left by an
    // earlier run of this program whose number ended the same way is not this one's.
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const QString pid = QString::number(QCoreApplication::applicationPid());
    QDir temp(QStringLiteral("/tmp"));
    auto logs = [&] {
        return temp.entryList({QStringLiteral("psqlodbc_%1_*%2.log").arg(program, pid)},
                              QDir::Files);
    };
    for (const QString &stale : logs())
        temp.remove(stale);
    {
        DbSession session(TestDatabase::settings());
        session.execute(QStringLiteral("SELECT 1"));
    }
    QCOMPARE(logs(), QStringList());
    QCOMPARE(QFileInfo(system.filePath()).lastModified(), systemChanged);
}

QTEST_GUILESS_MAIN(TestDriverSettings)
#include "tst_driversettings.moc"
