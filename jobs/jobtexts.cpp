#include "jobs/jobtexts.h"

#include "db/lockwaitwatcher.h"

#include <QLocale>

QString GroupedCount(qint64 n)
{
    return QLocale(QLocale::English).toString(n);
}

QString ElapsedText(qint64 ms)
{
    if (ms < 10000)
        return QString::number(ms / 1000.0, 'f', 1) + QStringLiteral(" s");
    const qint64 s = ms / 1000;
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}

namespace {

// How long a statement has waited: "9 s", "2 min 5 s".
QString WaitedText(const LockWait &wait)
{
    const qint64 s = wait.waitedMs / 1000;
    return s < 60 ? QStringLiteral("%1 s").arg(s) : ElapsedText(wait.waitedMs);
}

// Who holds the lock: "session 22718 (user alice, application "psql")", or without the
// application.
QString HolderText(const LockWait &wait, bool withApplication)
{
    if (wait.holderPid == 0)
        return QStringLiteral("a prepared transaction");
    QString holder = QStringLiteral("session %1 (user %2").arg(wait.holderPid).arg(wait.holderUser);
    if (withApplication && !wait.holderApplication.isEmpty())
        holder += QStringLiteral(", application \"%1\"").arg(wait.holderApplication);
    return holder + u')';
}

} // namespace

QString LockWaitText(const LockWait &wait, const TableRef &taskTable, const QString &howToStop)
{
    const TableRef &table = wait.table.name.isEmpty() ? taskTable : wait.table;
    const QString on =
        table.name.isEmpty() ? QString() : QStringLiteral(" on ") + table.displayName();
    return QStringLiteral("Waiting %1 for a lock%2 held by %3; %4.")
        .arg(WaitedText(wait), on, HolderText(wait, true), howToStop);
}

QString LockWaitShortText(const LockWait &wait)
{
    return QStringLiteral("Waiting %1 for a lock held by %2")
        .arg(WaitedText(wait), HolderText(wait, false));
}

QString ChangeWording(CaseMode mode, bool nameRules, CaseLanguage language)
{
    QString text = CaseModeText(mode);
    if (nameRules && CaseModeOf(mode).nameRules)
        text += QStringLiteral(" with name rules");
    if (language != CaseLanguage::Any)
        text += QStringLiteral(" in ") + CaseLanguageOf(language).text;
    return text;
}

QString TimeLeftText(qint64 elapsedMs, int percent)
{
    // A few seconds and a few percent make an estimate worth showing.
    if (percent < 3 || percent >= 100 || elapsedMs < 2000)
        return QString();
    const qint64 left = (elapsedMs * (100 - percent) / percent + 999) / 1000;
    if (left < 120)
        return QStringLiteral("about %1 s left").arg(left);
    return QStringLiteral("about %1 min left").arg((left + 30) / 60);
}

QString RowsDoneText(qint64 done, qint64 total, bool estimated)
{
    if (total <= 0)
        return done == 1 ? QStringLiteral("1 row") : GroupedCount(done) + QStringLiteral(" rows");
    // An estimate to three figures: its last ones would only flicker.
    if (estimated) {
        qint64 unit = 1;
        while (total / unit >= 1000)
            unit *= 10;
        total = qMax(done, (total + unit / 2) / unit * unit);
    }
    return QStringLiteral("%1 of %2%3 %4")
        .arg(GroupedCount(done), estimated ? QStringLiteral("about ") : QString(),
             GroupedCount(total), total == 1 ? QStringLiteral("row") : QStringLiteral("rows"));
}
