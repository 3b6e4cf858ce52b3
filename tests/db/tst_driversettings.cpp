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

    // The driver names its log after the program and the process.
    const QString pid = QString::number(QCoreApplication::applicationPid());
    auto logs = [&] {
        return QDir(QStringLiteral("/tmp"))
            .entryList({QStringLiteral("psqlodbc_*%1.log").arg(pid)}, QDir::Files);
    };
    {
        DbSession session(TestDatabase::settings());
        session.execute(QStringLiteral("SELECT 1"));
    }
    QCOMPARE(logs(), QStringList());
    QCOMPARE(QFileInfo(system.filePath()).lastModified(), systemChanged);
}

QTEST_GUILESS_MAIN(TestDriverSettings)
#include "tst_driversettings.moc"
