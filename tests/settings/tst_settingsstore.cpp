// The settings store, pointed at a throwaway configuration folder.
#include "settings/settingsstore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace SettingsKeys;

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void defaultsWhenAbsent();
    void roundTrip_data();
    void roundTrip();
    void emptyValueIsNotReplacedByDefault();
    void everySaveReachesTheDisk();
    void fileIsPrivate();
    void onlyAFileIsMadePrivate_data();
    void onlyAFileIsMadePrivate();
    void otherApplicationsAndSectionsStayApart();

private:
    std::unique_ptr<QTemporaryDir> config_;
};

void TestSettingsStore::init()
{
    config_ = std::make_unique<QTemporaryDir>();
    QVERIFY(config_->isValid());
    qputenv("XDG_CONFIG_HOME", config_->path().toLocal8Bit());
}

void TestSettingsStore::defaultsWhenAbsent()
{
    QCOMPARE(SettingsStore::Get(Application, Section, Server, DefaultServer), "localhost");
    QCOMPARE(SettingsStore::Get(Application, Section, Port, DefaultPort), "5432");
    QCOMPARE(SettingsStore::Get(Application, Section, User), QString());
    QVERIFY(!QFile::exists(SettingsStore::FilePath(Application))); // reading writes nothing
}

void TestSettingsStore::roundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "db.example.org";
    QTest::newRow("blanks") << "  padded value  ";
    QTest::newRow("only blanks") << "   ";
    QTest::newRow("separators") << "a;b=c{d}e,f";
    QTest::newRow("quotes and backslashes") << R"(it's "quoted" \n C:\path\ \\)";
    QTest::newRow("ini syntax") << "[Recasor]\nkey=value\r\n#comment";
    QTest::newRow("at sign") << "@Variant(abc)";
    QTest::newRow("non-ascii") << QStringLiteral("Pässwörd ΣΩ 東京 😀");
    QTest::newRow("percent and hash") << "%41 # ; not a comment";
}

void TestSettingsStore::roundTrip()
{
    QFETCH(QString, value);
    QVERIFY(SettingsStore::Save(Application, Section, Password, value));
    QCOMPARE(SettingsStore::Get(Application, Section, Password, QStringLiteral("default")), value);
}

void TestSettingsStore::emptyValueIsNotReplacedByDefault()
{
    QVERIFY(SettingsStore::Save(Application, Section, Server, QString()));
    QCOMPARE(SettingsStore::Get(Application, Section, Server, DefaultServer), QString());
}

void TestSettingsStore::everySaveReachesTheDisk()
{
    for (const char *typed : {"d", "db", "dbx"}) {
        QVERIFY(SettingsStore::Save(Application, Section, Database, typed));
        QFile file(SettingsStore::FilePath(Application));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString contents = QString::fromUtf8(file.readAll());
        QVERIFY2(contents.contains(QStringLiteral("PostgreSQLDatabase=") + QLatin1String(typed)),
                 qPrintable(contents));
    }
}

void TestSettingsStore::fileIsPrivate()
{
    const QString path = SettingsStore::FilePath(Application);
    QVERIFY(SettingsStore::Save(Application, Section, Password, QStringLiteral("secret")));
    struct stat info {
    };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0600));

    // A file that someone made readable to all is made private again by the next save.
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
    QVERIFY(SettingsStore::Save(Application, Section, User, QStringLiteral("me")));
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0600));
    QCOMPARE(SettingsStore::Get(Application, Section, Password), QStringLiteral("secret"));
}

void TestSettingsStore::onlyAFileIsMadePrivate_data()
{
    QTest::addColumn<bool>("folder"); // else a named pipe
    QTest::newRow("folder") << true;
    QTest::newRow("named pipe") << false;
}

void TestSettingsStore::onlyAFileIsMadePrivate()
{
    QFETCH(bool, folder);
    const QByteArray path = QFile::encodeName(SettingsStore::FilePath(Application));
    const mode_t mode = folder ? 0755 : 0644;
    QCOMPARE(folder ? ::mkdir(path.constData(), mode) : ::mkfifo(path.constData(), mode), 0);
    QCOMPARE(::chmod(path.constData(), mode), 0); // whatever the umask
    QVERIFY(!SettingsStore::Save(Application, Section, Password, QStringLiteral("secret")));
    QCOMPARE(SettingsStore::Get(Application, Section, Password, QStringLiteral("none")), "none");
    struct stat info {
    };
    QCOMPARE(::stat(path.constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode);
}

void TestSettingsStore::otherApplicationsAndSectionsStayApart()
{
    QVERIFY(SettingsStore::Save(Application, Section, Server, QStringLiteral("ours")));
    QVERIFY(SettingsStore::Save(Application, QStringLiteral("Other"), Server, QStringLiteral("x")));
    QVERIFY(SettingsStore::Save(QStringLiteral("Else"), Section, Server, QStringLiteral("y")));
    QCOMPARE(SettingsStore::Get(Application, Section, Server), QStringLiteral("ours"));
    QCOMPARE(SettingsStore::FilePath(Application),
             config_->path() + QStringLiteral("/Kestrova.ini"));
}

QTEST_APPLESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
