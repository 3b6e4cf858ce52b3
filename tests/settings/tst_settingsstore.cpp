// The settings store, pointed at a throwaway configuration folder.
#include "settings/settingsstore.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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
    void exceptionWordsRoundTrip_data();
    void exceptionWordsRoundTrip();
    void exceptionWordsBesideConnectionValues();
    void exceptionWordsWrittenByHand();
    void emptyExceptionListLeavesNoKey();
    void homeFromThePasswordDatabase();

private:
    QByteArray fileContents() const;
    void saveConnectionValues();
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

QByteArray TestSettingsStore::fileContents() const
{
    QFile file(SettingsStore::FilePath(Application));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestSettingsStore::saveConnectionValues()
{
    for (const auto &[key, value] : {std::pair{Server, "db.example.org"},
                                     {Port, "5433"},
                                     {User, "me"},
                                     {Password, "it's \"secret\", 100%"},
                                     {Database, "shop"}})
        QVERIFY(SettingsStore::Save(Application, Section, key, QString::fromUtf8(value)));
}

void TestSettingsStore::exceptionWordsRoundTrip_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::newRow("names") << QStringList{"McDonald", "O'Neil", "USA", "iPhone"};
    QTest::newRow("one word") << QStringList{"iPhone"};
    QTest::newRow("non-ascii") << QStringList{QStringLiteral("Ångström"),
                                              QStringLiteral("Ærøskøbing"), QStringLiteral("東京")};
    QTest::newRow("ini syntax") << QStringList{"a, b", "\"quoted\"", "@at",         "semi;colon",
                                               "x=y",  "[Recasor]",  "back\\slash", "van der Berg"};
}

void TestSettingsStore::exceptionWordsRoundTrip()
{
    QFETCH(QStringList, words);
    QVERIFY(SettingsStore::SaveExceptionWords(words));
    QCOMPARE(SettingsStore::ExceptionWords(), words);
    // A new reader of the file, as after a restart.
    QSettings settings(SettingsStore::FilePath(Application), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("Recasor Exceptions/Words")).toStringList(), words);
}

void TestSettingsStore::exceptionWordsBesideConnectionValues()
{
    saveConnectionValues();
    const QByteArray before = fileContents();
    QVERIFY(SettingsStore::SaveExceptionWords({"McDonald", "O'Neil", "USA"}));

    // The connection values' section stays as it was, byte for byte, and the list has a
    // section of its own, in the form QSettings writes and reads, headed with its blank.
    const QByteArray after = fileContents();
    QVERIFY2(after.startsWith(before), after.constData());
    QCOMPARE(after.mid(before.size()), "\n[Recasor Exceptions]\nWords=McDonald, O'Neil, USA\n");
    struct stat info {
    };
    QCOMPARE(::stat(QFile::encodeName(SettingsStore::FilePath(Application)).constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0600));

    // Typing in the connection window saves a value at a time: the list and its heading stay.
    QVERIFY(SettingsStore::Save(Application, Section, Server, QStringLiteral("other")));
    QVERIFY2(fileContents().endsWith("\n[Recasor Exceptions]\nWords=McDonald, O'Neil, USA\n"),
             fileContents().constData());
    QCOMPARE(SettingsStore::ExceptionWords(), QStringList({"McDonald", "O'Neil", "USA"}));
    QCOMPARE(SettingsStore::Get(Application, Section, Server), QStringLiteral("other"));
    QCOMPARE(SettingsStore::Get(Application, Section, Password),
             QStringLiteral("it's \"secret\", 100%"));
}

void TestSettingsStore::exceptionWordsWrittenByHand()
{
    QFile file(SettingsStore::FilePath(Application));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Recasor]\nPostgreSQLServer=db\n\n[Recasor Exceptions]\n"
               "Words=McDonald, O'Neil, USA, \xc3\x85ngstr\xc3\xb6m\n");
    file.close();
    QCOMPARE(SettingsStore::ExceptionWords(),
             QStringList({"McDonald", "O'Neil", "USA", QStringLiteral("Ångström")}));
    QCOMPARE(SettingsStore::Get(Application, Section, Server), QStringLiteral("db"));
    QVERIFY(!SettingsStore::NameRules()); // off unless stored

    // The name rules' option beside the words, as a hand may write it.
    QVERIFY(file.open(QIODevice::Append));
    file.write("NameRules=True\n");
    file.close();
    QVERIFY(SettingsStore::NameRules());
    QCOMPARE(SettingsStore::ExceptionWords().size(), 4);
    QVERIFY(SettingsStore::SaveNameRules(false));
    QVERIFY(!SettingsStore::NameRules());
    QVERIFY(SettingsStore::SaveNameRules(true));
    QVERIFY2(fileContents().endsWith("\n[Recasor Exceptions]\nNameRules=true\n"
                                     "Words=McDonald, O'Neil, USA, \xc3\x85ngstr\xc3\xb6m\n"),
             fileContents().constData());
    QVERIFY(SettingsStore::NameRules());
}

void TestSettingsStore::emptyExceptionListLeavesNoKey()
{
    QVERIFY(SettingsStore::ExceptionWords().isEmpty()); // nothing stored yet
    saveConnectionValues();
    const QByteArray before = fileContents();
    QVERIFY(SettingsStore::SaveExceptionWords({"USA"}));
    QVERIFY(SettingsStore::SaveExceptionWords({}));
    QCOMPARE(fileContents(), before);
    QVERIFY(SettingsStore::ExceptionWords().isEmpty());
}

// Without HOME the settings and the journal go under the user's home of the password database,
// not under the root; a HOME that is set stays.
void TestSettingsStore::homeFromThePasswordDatabase()
{
    const QByteArray before = qgetenv("HOME");
    qputenv("HOME", "/somewhere/else");
    SettingsStore::TakeHomeFromThePasswordDatabase();
    QCOMPARE(qgetenv("HOME"), QByteArray("/somewhere/else"));
    qunsetenv("HOME");
    SettingsStore::TakeHomeFromThePasswordDatabase();
    const passwd *entry = ::getpwuid(::getuid());
    QVERIFY(entry);
    QCOMPARE(qgetenv("HOME"), QByteArray(entry->pw_dir));
    qputenv("HOME", before);
}

QTEST_APPLESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
