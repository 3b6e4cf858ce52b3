// The journal of change runs on its own: the run's facts back as recorded, the last run of a
// database and of no other of its name, runs that go on and files that cannot be read, journals
// of the first layout, writers side by side, pending chunks, the modes of the folder and files
// (and of a folder that is there already), a folder that cannot be made or written, and only the
// last 20 runs kept, but never one that has not ended.
#include "journal/changejournal.h"
#include "journal/journalpacking.h"
#include "journal/journalreader.h"
#include "journal/journalwriter.h"
#include "journal/runtexts.h"
#include "journalledrun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const DatabaseIdentity Shop{"7716648289516191999", 16384};

JournalRun runOf(const QString &database, const DatabaseIdentity &identity = {})
{
    JournalRun run;
    run.server = "db.example";
    run.port = "5432";
    run.database = database;
    run.databaseIdentity = identity;
    run.table = {"sales", "Cust\"omers"};
    run.fields = {"name", "city"};
    run.mode = CaseMode::Proper;
    return run;
}

void recordRows(const JournalRun &run, int rows)
{
    QList<QString> identities, olds, news;
    for (int i = 0; i < rows; ++i) {
        identities << QString::number(i);
        olds << QStringLiteral("value %1").arg(i);
        news << QStringLiteral("Value %1").arg(i);
    }
    JournalWriter(run).record("name", "\"sales\".\"Cust\"\"omers\"", identities, olds, news);
}

// A run begun and ended, as a run that is over leaves its journal.
JournalRun begun(const JournalRun &facts, int rows = 0)
{
    RunLock lock;
    JournalRun run = ChangeJournal::Begin(facts, lock);
    if (rows > 0)
        recordRows(run, rows);
    ChangeJournal::End(run);
    return run;
}

int modeOf(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777)
                                                                     : -1;
}

} // namespace

Q_DECLARE_METATYPE(DatabaseIdentity)

class TestChangeJournal : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void factsComeBackAsRecorded();
    void newValuesComeBackExactly_data();
    void newValuesComeBackExactly();
    void lastIsTheNewestRunOfTheDatabaseToUndo();
    void offeredOnlyInTheDatabaseItWrote_data();
    void offeredOnlyInTheDatabaseItWrote();
    void journalOfTheFirstLayoutIsReadAndUndone();
    void journalWrittenBeforeTheRoomsIsRead();
    void writersAppendSideBySide();
    void folderAndFilesAreTheUsersAlone();
    void folderThatIsThereKeepsItsMode_data();
    void folderThatIsThereKeepsItsMode();
    void writingFailsWhereTheJournalCannotBeWritten();
    void whatAnUndoMeetsInTheJournal_data();
    void whatAnUndoMeetsInTheJournal();
    void whatBecameOfTheRun_data();
    void whatBecameOfTheRun();
    void pendingChunksUntilTheirCommitReturns();
    void theLimitKeepsWhatIsNotOver_data();
    void theLimitKeepsWhatIsNotOver();

private:
    std::unique_ptr<QTemporaryDir> data_;
};

void TestChangeJournal::init()
{
    data_ = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", data_->path().toUtf8());
}

void TestChangeJournal::factsComeBackAsRecorded()
{
    QCOMPARE(ChangeJournal::Folder(), data_->path() + "/Recasor");
    JournalRun run = runOf("shop", Shop);
    run.exceptionWords = {"McDonald", "iPhone"};
    run.nameRules = true;
    run.identity.key = {{"id", "\"pg_catalog\".\"int4\""}, {"Kéy \"2\"", "\"public\".\"code\""}};
    RunLock lock;
    run = ChangeJournal::Begin(run, lock);
    QVERIFY(lock.held());
    QVERIFY(ChangeJournal::Entries().value(0).run.value_or(JournalRun{}).inProgress());
    QVERIFY(run.id > 0);
    QVERIFY(run.started.isValid());
    recordRows(run, 3);
    run.rowsRead = 10;
    run.valuesChanged = 4;
    run.rowsWritten = 3;
    run.valuesNotWritten = 1;
    ChangeJournal::End(run);
    lock.release();

    const JournalRun back = ChangeJournal::Read(run.file);
    QCOMPARE(back.id, run.id);
    QCOMPARE(back.database, "shop");
    QVERIFY(back.databaseIdentity == Shop);
    QCOMPARE(back.table, run.table);
    QCOMPARE(back.fields, run.fields);
    QCOMPARE(back.mode, CaseMode::Proper);
    QCOMPARE(back.exceptionWords, run.exceptionWords);
    QVERIFY(back.nameRules);
    QCOMPARE(back.started, run.started);
    QVERIFY(back.identity == run.identity);
    QCOMPARE(back.rowsRead, 10);
    QCOMPARE(back.valuesChanged, 4);
    QCOMPARE(back.rowsWritten, 3);
    QCOMPARE(back.valuesNotWritten, 1);
    QVERIFY(!back.endedWhole);
    QVERIFY(back.ended);
    // The chunk's commit was never said to have returned.
    QCOMPARE(back.rowsRecorded, 0);
    QCOMPARE(back.rowsPending, 3);

    JournalReader reader(back);
    const std::optional<JournalChunk> chunk = reader.next();
    QVERIFY(chunk);
    QCOMPARE(chunk->relationSql, "\"sales\".\"Cust\"\"omers\"");
    QCOMPARE(chunk->fields[0].olds.split(chunk->delimiter),
             (QStringList{"value 0", "value 1", "value 2"}));
    QVERIFY(!reader.next());
}

void TestChangeJournal::newValuesComeBackExactly_data()
{
    QTest::addColumn<QString>("olds");
    QTest::addColumn<QString>("news");
    QTest::newRow("case changes") << "abc\x1f"
                                     "École 東京\x1f"
                                     "x"
                                  << "ABC\x1f"
                                     "école 東京\x1f"
                                     "X";
    QTest::newRow("nothing changed") << "abc"
                                     << "abc";
    QTest::newRow("other length") << "ß\x1f"
                                     "ab"
                                  << "SS\x1f"
                                     "AB";
    QTest::newRow("changed surrogate") << QStringLiteral("a𐐨") << QStringLiteral("A𐐀");
    QTest::newRow("empty") << ""
                           << "";
}

void TestChangeJournal::newValuesComeBackExactly()
{
    QFETCH(QString, olds);
    QFETCH(QString, news);
    const QByteArray packed = JournalPacking::PackNews(olds, news);
    QCOMPARE(JournalPacking::UnpackNews(olds, packed).value_or("<damaged>"), news);
}

void TestChangeJournal::lastIsTheNewestRunOfTheDatabaseToUndo()
{
    const JournalRun first = begun(runOf("shop"), 2);
    const JournalRun other = begun(runOf("other"), 2);
    begun(runOf("shop")); // changed nothing
    ConnectionSettings shop{"db.example", "5432", "anyone", "", "shop"};

    QCOMPARE(ChangeJournal::Last(shop).value_or(JournalRun{}).id, first.id);
    ChangeJournal::MarkUndone(first);
    QVERIFY(!ChangeJournal::Last(shop));
    shop.database = "other";
    QCOMPARE(ChangeJournal::Last(shop).value_or(JournalRun{}).id, other.id);
    shop.port = "5433";
    QVERIFY(!ChangeJournal::Last(shop));
}

void TestChangeJournal::offeredOnlyInTheDatabaseItWrote_data()
{
    QTest::addColumn<DatabaseIdentity>("recorded");
    QTest::addColumn<DatabaseIdentity>("current");
    QTest::addColumn<bool>("offered");
    QTest::newRow("same database") << Shop << Shop << true;
    QTest::newRow("dropped and made again")
        << Shop << DatabaseIdentity{Shop.systemIdentifier, 16390} << false;
    QTest::newRow("another server")
        << Shop << DatabaseIdentity{"7716648289516192000", 16384} << false;
    QTest::newRow("server not readable now")
        << Shop << DatabaseIdentity{"", Shop.databaseOid} << false;
    QTest::newRow("server never readable")
        << DatabaseIdentity{"", 16384} << DatabaseIdentity{"", 16384} << true;
    QTest::newRow("not recorded") << DatabaseIdentity{} << Shop << true;
}

void TestChangeJournal::offeredOnlyInTheDatabaseItWrote()
{
    QFETCH(DatabaseIdentity, recorded);
    QFETCH(DatabaseIdentity, current);
    QFETCH(bool, offered);
    begun(runOf("shop", recorded), 1);
    const std::optional<JournalRun> last =
        ChangeJournal::Last({"db.example", "5432", "anyone", "", "shop"}, current);
    QCOMPARE(bool(last), offered);
}

void TestChangeJournal::journalOfTheFirstLayoutIsReadAndUndone()
{
    const JournalRun run = begun(runOf("shop", Shop), 3);
    JournalWriter(run).record("city", "\"t\"", {"9"}, {"x"}, {"X"});
    JournalWriter(run).record("zip", "\"t\"", {"9"}, {"ab1"}, {"AB1"});
    // An undo of that version marked the newest chunk undone and ended.
    const QString failure = JournalledRun::MakeFirstLayout(
        run.file, {"UPDATE run SET undone_from = (SELECT max(seq) FROM change)"});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));

    JournalRun back = ChangeJournal::Read(run.file);
    QVERIFY(!back.databaseIdentity.known());
    QCOMPARE(back.rowsPending, 5);
    const ConnectionSettings shop{"db.example", "5432", "anyone", "", "shop"};
    QCOMPARE(ChangeJournal::Last(shop, Shop).value_or(JournalRun{}).id, run.id);

    // An undo that ends after one chunk keeps its count in the old file, and the next one goes
    // on with the chunk after it.
    {
        JournalReader reader(back);
        QCOMPARE(reader.rowsRestoredEarlier(), 0);
        QCOMPARE(reader.rowsLeft(), 4);
        const std::optional<JournalChunk> chunk = reader.next();
        QCOMPARE(chunk.value_or(JournalChunk{}).fields.value(0).name, "city");
        QVERIFY(reader.markUndone(chunk->seq, 1));
    }
    back = ChangeJournal::Read(run.file);
    QCOMPARE(back.rowsRestoredEarlier, 1);
    JournalReader reader(back);
    QCOMPARE(reader.rowsRestoredEarlier(), 1);
    QCOMPARE(reader.rowsLeft(), 3);
    QCOMPARE(reader.next().value_or(JournalChunk{}).fields.value(0).name, "name");
    QVERIFY(!reader.next());
}

void TestChangeJournal::journalWrittenBeforeTheRoomsIsRead()
{
    // A run's file as the program wrote it before its code was parted into rooms: Proper Case
    // of a table with a key, three rows written.
    const QString file = data_->path() + "/run-1.sqlite";
    QVERIFY(
        QFile::copy(QStringLiteral(JOURNAL_DATA_DIR "/run-written-before-the-rooms.sqlite"), file));
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    const JournalRun run = ChangeJournal::Read(file);
    QCOMPARE(run.table, (TableRef{"public", "journal_sample"}));
    QCOMPARE(run.fields, QStringList{"name"});
    QCOMPARE(run.mode, CaseMode::Proper);
    QVERIFY(!run.nameRules); // a file without the option's column: it was off
    QVERIFY(run.databaseIdentity.known());
    QCOMPARE(run.identity.key.size(), 1);
    QCOMPARE(run.rowsWritten, 3);
    QCOMPARE(run.rowsRecorded, 3);
    QVERIFY(run.endedWhole);
    JournalReader reader(run);
    const std::optional<JournalChunk> chunk = reader.next();
    QVERIFY(chunk);
    QStringList olds = chunk->fields[0].olds.split(chunk->delimiter);
    QStringList news = chunk->fields[0].news.split(chunk->delimiter);
    olds.sort();
    news.sort();
    QCOMPARE(olds, (QStringList{"o'neil mcdonald", QStringLiteral("smile 😀 ΆΓΙΟΣ"),
                                QStringLiteral("ÉCOLE straße")}));
    QCOMPARE(news, (QStringList{"O'neil Mcdonald", QStringLiteral("Smile 😀 Άγιος"),
                                QStringLiteral("École Straße")}));
    QVERIFY(!reader.next());
}

void TestChangeJournal::writersAppendSideBySide()
{
    const JournalRun run = begun(runOf("shop"));
    QString failures;
    auto write = [&] {
        try {
            JournalWriter writer(run);
            for (int i = 0; i < 40; ++i) {
                writer.record("name", "\"t\"", {"1", "2"}, {"a", "b"}, {"A", "B"});
                if (i % 2 == 0)
                    writer.committed();
            }
        } catch (const JournalError &error) {
            failures += error.text();
        }
    };
    std::thread one(write), two(write);
    one.join();
    two.join();
    QVERIFY2(failures.isEmpty(), qPrintable(failures));
    QCOMPARE(ChangeJournal::Read(run.file).rowsRecorded, 2 * 20 * 2);
    QCOMPARE(ChangeJournal::Read(run.file).rowsPending, 2 * 20 * 2);
}

void TestChangeJournal::folderAndFilesAreTheUsersAlone()
{
    // Whatever the process's umask lets through.
    const mode_t umaskBefore = ::umask(0);
    const JournalRun run = begun(runOf("shop"));
    {
        JournalWriter writer(run);
        writer.record("name", "\"t\"", {"1"}, {"a"}, {"A"});
        QCOMPARE(modeOf(ChangeJournal::Folder()), 0700);
        for (const char *suffix : {"", "-wal", "-shm", ".lock"}) {
            QVERIFY2(QFile::exists(run.file + suffix), qPrintable(suffix));
            QCOMPARE(modeOf(run.file + suffix), 0600);
        }
    }
    ::umask(umaskBefore);
}

void TestChangeJournal::folderThatIsThereKeepsItsMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("0750") << 0750;
    QTest::newRow("0711") << 0711;
    QTest::newRow("0500, not writable") << 0500;
}

void TestChangeJournal::folderThatIsThereKeepsItsMode()
{
    QFETCH(int, mode);
    const QString folder = ChangeJournal::Folder();
    const QByteArray name = QFile::encodeName(folder);
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(::chmod(name.constData(), mode_t(mode)), 0);
    // Permission bits do not stop root.
    const bool writable = (mode & 0200) || ::geteuid() == 0;
    try {
        const JournalRun run = begun(runOf("shop"));
        QVERIFY2(writable, "the journal was written into a folder that its user made read-only");
        QCOMPARE(modeOf(run.file), 0600);
    } catch (const JournalError &error) {
        QVERIFY2(!writable, qPrintable(error.text()));
        QCOMPARE(error.text(),
                 "The journal could not be written: " + folder + ": Permission denied.");
        QVERIFY(QDir(folder).isEmpty());
    }
    QCOMPARE(modeOf(folder), mode);
    ::chmod(name.constData(), 0700);
    if (!(mode & 0200) && writable)
        QSKIP("Run as root, whom permission bits do not stop: the refusal of a folder that "
              "cannot be written is tested below a regular file only.");
}

void TestChangeJournal::writingFailsWhereTheJournalCannotBeWritten()
{
    // A run's file that is gone is not made again by SQLite (with modes of its own).
    const JournalRun run = begun(runOf("shop"));
    QVERIFY(QFile::remove(run.file));
    QVERIFY_THROWS_EXCEPTION(JournalError, JournalWriter{run});
    QVERIFY(!QFile::exists(run.file));

    // Below a regular file no folder can be made, whoever runs the test.
    QFile file(data_->filePath("plain-file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("XDG_DATA_HOME", file.fileName().toUtf8() + "/data");
    try {
        begun(runOf("shop"));
        QFAIL("Begin did not fail");
    } catch (const JournalError &error) {
        QVERIFY2(error.text().startsWith("The journal could not be written: "),
                 qPrintable(error.text()));
    }
}

void TestChangeJournal::whatAnUndoMeetsInTheJournal_data()
{
    QTest::addColumn<QString>("newest"); // what becomes of the newest run of the database
    QTest::addColumn<QString>("last");   // what Last() then gives: its run, the older, or damage
    QTest::newRow("ended") << "ended"
                           << "newest";
    QTest::newRow("goes on") << "goes on"
                             << "newest in progress";
    QTest::newRow("its process died") << "died"
                                      << "newest";
    QTest::newRow("being undone") << "undoing"
                                  << "newest";
    QTest::newRow("empty file") << "emptied"
                                << "damaged";
    QTest::newRow("scrambled file") << "scrambled"
                                    << "damaged";
    QTest::newRow("file being made") << "being made"
                                     << "older";
}

// Two runs of the database, the older one ended; the newer as the row says. An undo that names
// no run takes the newest, also when it cannot be undone now, and never the run before in its
// place.
void TestChangeJournal::whatAnUndoMeetsInTheJournal()
{
    QFETCH(QString, newest);
    QFETCH(QString, last);
    const ConnectionSettings shop{"db.example", "5432", "anyone", "", "shop"};
    const JournalRun older = begun(runOf("shop", Shop), 2);
    RunLock lock;
    JournalRun run = ChangeJournal::Begin(runOf("shop", Shop), lock);
    recordRows(run, 2);
    if (newest != "goes on" && newest != "being made") {
        if (newest != "died")
            ChangeJournal::End(run);
        lock.release();
    }
    std::optional<RunLock> undo;
    if (newest == "undoing")
        undo = RunLock::Take(run.file, RunLock::Work::Undo);
    if (newest == "emptied" || newest == "scrambled" || newest == "being made") {
        QFile file(run.file);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (newest == "scrambled")
            file.write(QByteArray(8192, 'x'));
        file.close();
        QFile::remove(run.file + "-wal");
        QFile::remove(run.file + "-shm");
    }

    const QList<JournalEntry> entries = ChangeJournal::Entries();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0].id, run.id);
    QCOMPARE(bool(entries[0].run), last != "damaged" && last != "older");
    QCOMPARE(entries[0].damage.isEmpty(), bool(entries[0].run));
    QCOMPARE(ChangeJournal::Runs().size(), entries[0].run ? 2 : 1);
    try {
        const std::optional<JournalRun> found = ChangeJournal::Last(shop, Shop);
        QVERIFY2(last != "damaged", "a file that cannot be read was passed over");
        QCOMPARE(found.value_or(JournalRun{}).id, last == "older" ? older.id : run.id);
        QCOMPARE(found->inProgress(), last == "newest in progress");
        QCOMPARE(found->holder.has_value(), newest == "goes on" || newest == "undoing");
    } catch (const UnreadableJournal &error) {
        QVERIFY2(last == "damaged", qPrintable(error.text()));
        QCOMPARE(error.file(), run.file);
        QCOMPARE(error.why(), entries[0].damage);
        QVERIFY_THROWS_EXCEPTION(UnreadableJournal, ChangeJournal::Run(run.id, shop));
    }
}

void TestChangeJournal::whatBecameOfTheRun_data()
{
    QTest::addColumn<QString>("end");   // how the run of two chunks ended, and what came after
    QTest::addColumn<QString>("state"); // what the history and `runs` say of it
    QTest::addColumn<QString>("why");   // why it failed, as they give it
    QTest::newRow("ended whole") << "whole"
                                 << "done" << "";
    QTest::newRow("stopped") << "stopped"
                             << "stopped" << "";
    QTest::newRow("failed") << "failed"
                            << "failed" << "permission denied for table \"t\"";
    QTest::newRow("its process died") << "died"
                                      << "failed" << "The program ended before the run did.";
    QTest::newRow("goes on") << "goes on"
                             << "in progress" << "";
    QTest::newRow("being undone") << "undoing"
                                  << "being undone" << "";
    QTest::newRow("undone") << "undone"
                            << "undone" << "";
    QTest::newRow("an undo ended early") << "partly undone"
                                         << "partly undone (1 of 3 rows)" << "";
}

// The state is read back from the journal, by another process as much as by the run's own.
void TestChangeJournal::whatBecameOfTheRun()
{
    QFETCH(QString, end);
    QFETCH(QString, state);
    QFETCH(QString, why);
    RunLock lock;
    JournalRun run = ChangeJournal::Begin(runOf("shop", Shop), lock);
    {
        JournalWriter writer(run);
        writer.record("name", "\"t\"", {"1", "2"}, {"a", "b"}, {"A", "B"});
        writer.record("name", "\"t\"", {"3"}, {"c"}, {"C"});
    }
    run.endedWhole = end != "stopped" && end != "failed";
    run.stopped = end == "stopped";
    if (end == "failed")
        run.failure = why;
    if (end != "died" && end != "goes on")
        ChangeJournal::End(run);
    if (end != "goes on")
        lock.release();
    std::optional<RunLock> undo;
    if (end == "undoing")
        undo = RunLock::Take(run.file, RunLock::Work::Undo);
    if (end == "undone")
        ChangeJournal::MarkUndone(run);
    if (end == "partly undone") {
        JournalReader reader(ChangeJournal::Read(run.file));
        const std::optional<JournalChunk> newest = reader.next();
        QVERIFY(newest);
        QVERIFY(reader.markUndone(newest->seq, 1));
    }

    const QList<JournalEntry> entries = ChangeJournal::Entries();
    QCOMPARE(entries.size(), 1);
    QVERIFY(entries[0].run);
    QCOMPARE(RunStateText(*entries[0].run), state);
    QCOMPARE(RunFailureText(*entries[0].run), why);
}

void TestChangeJournal::pendingChunksUntilTheirCommitReturns()
{
    const JournalRun run = begun(runOf("shop"));
    {
        JournalWriter writer(run);
        writer.record("name", "\"t\"", {"1", "2"}, {"a", "b"}, {"A", "B"});
        writer.committed();
        writer.record("name", "\"t\"", {"3"}, {"c"}, {"C"});
        writer.record("name", "\"t\"", {"4"}, {"d"}, {"D"});
        writer.forget(); // the server refused the commit
    }
    const JournalRun back = ChangeJournal::Read(run.file);
    QCOMPARE(back.rowsRecorded, 2);
    QCOMPARE(back.rowsPending, 1);
    JournalReader reader(back);
    QCOMPARE(reader.next().value_or(JournalChunk{}).pending, true);
    QCOMPARE(reader.next().value_or(JournalChunk{}).pending, false);
}

void TestChangeJournal::theLimitKeepsWhatIsNotOver_data()
{
    QTest::addColumn<QString>("oldest"); // the oldest run of 23
    QTest::addColumn<bool>("kept");
    QTest::newRow("ended") << "ended" << false;
    QTest::newRow("goes on") << "goes on" << true;
    QTest::newRow("its process died") << "died" << true;
    QTest::newRow("died, then undone") << "undone" << false;
    QTest::newRow("being undone") << "undoing" << true;
    QTest::newRow("file that cannot be read") << "scrambled" << false;
}

// 23 runs, of which the limit removes the oldest three, or the three oldest it may: the oldest as
// the row says. An undo of a removed run can say why it is not there.
void TestChangeJournal::theLimitKeepsWhatIsNotOver()
{
    QFETCH(QString, oldest);
    QFETCH(bool, kept);
    RunLock lock;
    JournalRun first = ChangeJournal::Begin(runOf("shop"), lock);
    recordRows(first, 1);
    if (oldest != "goes on") {
        if (oldest != "died" && oldest != "undone")
            ChangeJournal::End(first);
        if (oldest == "undone")
            ChangeJournal::MarkUndone(first);
        lock.release();
    }
    std::optional<RunLock> undo;
    if (oldest == "undoing")
        undo = RunLock::Take(first.file, RunLock::Work::Undo);
    if (oldest == "scrambled") {
        QFile file(first.file);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(8192, 'x'));
    }
    QList<qint64> ids{first.id};
    for (int i = 1; i < ChangeJournal::KeptRuns + 3; ++i)
        ids << begun(runOf("shop"), 1).id;

    QList<qint64> expected = kept ? ids.first(1) + ids.mid(4) : ids.mid(3);
    QList<qint64> removed = kept ? ids.mid(1, 3) : ids.first(3);
    QList<qint64> found;
    for (const JournalEntry &entry : ChangeJournal::Entries())
        found.prepend(entry.id);
    QCOMPARE(found, expected);
    for (const qint64 id : removed) {
        QVERIFY(ChangeJournal::RemovedByLimit(id));
        QVERIFY(!QFile::exists(QStringLiteral("%1/run-%2.sqlite.lock")
                                   .arg(ChangeJournal::Folder(), QString::number(id))));
    }
    QVERIFY(!ChangeJournal::RemovedByLimit(ids.last()));
}

QTEST_GUILESS_MAIN(TestChangeJournal)
#include "tst_changejournal.moc"
