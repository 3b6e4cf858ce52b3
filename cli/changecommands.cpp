#include "cli/changecommands.h"

#include "cli/commandcontext.h"
#include "cli/jobdriver.h"
#include "cli/targetcheck.h"
#include "jobs/jobtexts.h"
#include "jobs/storedcasechange.h"
#include "preview/changepreview.h"
#include "run/changerun.h"
#include "run/changeruntexts.h"

namespace {

const QString UndoName = QStringLiteral("recasor undo");

// A value as one line of a terminal: in double quotes, with its line breaks, tabs, quotes and
// backslashes escaped, so that a value that spans lines cannot pass for other output.
QString Quoted(const QString &value)
{
    QString text;
    text.reserve(value.size() + 2);
    for (const QChar c : value) {
        if (c == u'\n')
            text += QStringLiteral("\\n");
        else if (c == u'\r')
            text += QStringLiteral("\\r");
        else if (c == u'\t')
            text += QStringLiteral("\\t");
        else if (c == u'"' || c == u'\\')
            text += u'\\' + QString(c);
        else
            text += c;
    }
    return u'"' + text + u'"';
}

QJsonArray LeftAloneJson(const QList<FieldKind> &fields)
{
    QJsonArray list;
    for (const FieldKind &field : fields)
        list.append(QJsonObject{{QStringLiteral("field"), field.name},
                                {QStringLiteral("type"), field.type},
                                {QStringLiteral("reason"), field.leftAloneReason()}});
    return list;
}

QJsonObject RequestJson(const CommandContext &context, const QString &command,
                        const CaseChange &change)
{
    return {{QStringLiteral("command"), command},
            {QStringLiteral("table"), TableJson(context.request.table)},
            {QStringLiteral("fields"), QJsonArray::fromStringList(context.request.fields)},
            {QStringLiteral("mode"), CaseModeText(*context.request.mode)},
            {QStringLiteral("leaveMixedCase"), change.leaveMixedCase},
            {QStringLiteral("keptValues"), QJsonArray::fromStringList(change.keptValues)},
            {QStringLiteral("condition"), change.condition},
            {QStringLiteral("language"), CaseLanguageOf(change.language).code}};
}

// The checks that end bad input before the job starts, and the change as the window builds it.
CaseChange CheckedChange(const CommandContext &context)
{
    TargetCheck::Connection(context.values);
    TargetCheck::Table(context.values, context.request.table);
    TargetCheck::Fields(context.values, context.request.table, context.request.fields);
    TargetCheck::Condition(context.values, context.request.table, context.request.condition);
    CaseChange change =
        StoredCaseChange(context.request.table, context.request.fields, context.request.mode);
    change.leaveMixedCase = change.leaveMixedCase || context.request.leaveMixedCase;
    change.keptValues = context.request.keptValues;
    change.condition = context.request.condition;
    if (context.request.language)
        change.language = *context.request.language;
    return change;
}

// A change's new value, or why the value stays as written.
QString LeftText(const PreviewChange &change)
{
    switch (change.left) {
    case LeftAs::MixedCase:
        return QStringLiteral("(left as written: mixed case)");
    case LeftAs::Kept:
        return QStringLiteral("(left as written: kept)");
    case LeftAs::Converted:
        break;
    }
    return Quoted(change.newValue);
}

void PrintCounts(const Output &out, const PreviewResult &result, int limit)
{
    out.line(QStringLiteral("%1  %2  %3  %4  %5")
                 .arg(QStringLiteral("Field"), -24)
                 .arg(QStringLiteral("Rows read"), 14)
                 .arg(QStringLiteral("Rows changing"), 14)
                 .arg(QStringLiteral("Values changing"), 15)
                 .arg(QStringLiteral("Left as written"), 15));
    // The name is padded, not put in by arg(): a name may hold "%2" itself.
    for (const FieldCounts &field : result.counted)
        out.line(field.name.leftJustified(24) +
                 QStringLiteral("  %1  %2  %3  %4")
                     .arg(GroupedCount(field.rowsRead), 14)
                     .arg(GroupedCount(field.rowsChanging), 14)
                     .arg(GroupedCount(field.valuesChanging), 15)
                     .arg(GroupedCount(field.valuesLeftMixed + field.valuesKept), 15));
    if (const QString leftAlone = LeftAloneText(result.leftAlone); !leftAlone.isEmpty())
        out.line(leftAlone);
    if (const QString growing = GrowingText(result.valuesGrowing()); !growing.isEmpty())
        out.line(growing);
    const qsizetype shown = qMin<qsizetype>(limit, result.changes.size());
    if (shown == 0)
        return;
    out.line();
    out.line(QStringLiteral("The %1 most frequent changes (rows, field, old value -> new value):")
                 .arg(GroupedCount(shown)));
    for (qsizetype i = 0; i < shown; ++i) {
        const PreviewChange &change = result.changes[i];
        out.line(QStringLiteral("%1  %2  %3 -> %4")
                     .arg(GroupedCount(change.rows), 10)
                     .arg(change.field, Quoted(change.oldValue), LeftText(change)));
    }
}

QJsonObject PreviewJson(const CommandContext &context, const CaseChange &change,
                        const PreviewResult &result)
{
    QJsonObject json = RequestJson(context, QStringLiteral("preview"), change);
    QJsonArray counts;
    for (const FieldCounts &field : result.counted)
        counts.append(QJsonObject{{QStringLiteral("field"), field.name},
                                  {QStringLiteral("rowsRead"), field.rowsRead},
                                  {QStringLiteral("rowsChanging"), field.rowsChanging},
                                  {QStringLiteral("valuesChanging"), field.valuesChanging},
                                  {QStringLiteral("valuesLeftMixed"), field.valuesLeftMixed},
                                  {QStringLiteral("valuesKept"), field.valuesKept},
                                  {QStringLiteral("valuesGrowing"), field.valuesGrowing}});
    QJsonArray changes;
    for (qsizetype i = 0; i < qMin<qsizetype>(context.request.limit, result.changes.size()); ++i)
        changes.append(QJsonObject{
            {QStringLiteral("field"), result.changes[i].field},
            {QStringLiteral("old"), result.changes[i].oldValue},
            {QStringLiteral("new"), result.changes[i].newValue},
            {QStringLiteral("rows"), result.changes[i].rows},
            {QStringLiteral("leftAsWritten"), result.changes[i].left != LeftAs::Converted}});
    json.insert(QStringLiteral("counts"), counts);
    json.insert(QStringLiteral("leftAlone"), LeftAloneJson(result.leftAlone));
    json.insert(QStringLiteral("changes"), changes);
    json.insert(QStringLiteral("stopped"), result.stopped);
    return json;
}

// What a run did, as lines of the text result: what is true of a run that failed too, and no
// count of a run that failed before it had one.
void PrintRun(const Output &out, const ChangeRunSummary &summary, qint64 elapsedMs)
{
    const bool failed = summary.endedEarly && !summary.stopped;
    if (!failed || summary.rowsRead > 0)
        out.line(QStringLiteral("Rows read: ") + GroupedCount(summary.rowsRead));
    if (!failed || summary.rowsWritten > 0)
        out.line(QStringLiteral("Rows written: ") + GroupedCount(summary.rowsWritten));
    if (const QString refused = RefusedText(summary); !refused.isEmpty())
        out.line(refused);
    if (const QString left = LeftChangedText(summary.rowsLeftChanged); !left.isEmpty())
        out.line(left);
    for (const QString &left :
         {LeftMixedText(summary.valuesLeftMixed), KeptText(summary.valuesKept)})
        if (!left.isEmpty())
            out.line(left.left(1).toUpper() + left.mid(1) + u'.');
    if (const QString leftAlone = LeftAloneText(summary.leftAlone); !leftAlone.isEmpty())
        out.line(leftAlone);
    for (const RelationLeft &left : summary.relationsLeft)
        out.line(RelationLeftText(left));
    out.line(QStringLiteral("Time: ") + ElapsedText(elapsedMs));
}

// How a run ended, as the exit code: stopped or failed, done with rows that keep their old case,
// or done.
ExitCode RunOutcome(const Output &out, const ChangeRunSummary &summary)
{
    if (summary.stopped) {
        out.note(EndedEarlyText(QStringLiteral("was stopped"), summary.rowsWritten, UndoName));
        return ExitCode::Failed;
    }
    if (summary.endedEarly) {
        out.note(QStringLiteral("recasor: the change run failed: ") + summary.firstError);
        out.note(summary.rowsWritten > 0
                     ? EndedEarlyText(QStringLiteral("ended"), summary.rowsWritten, UndoName)
                     : QStringLiteral("Nothing was written."));
        return ExitCode::Failed;
    }
    if (summary.rowsWritten > 0)
        out.line(UndoName + QStringLiteral(" takes the run back."));
    // Rows left on another server are part of the table not converted: the run did not do
    // what it was asked.
    if (!summary.relationsLeft.isEmpty()) {
        out.note(QStringLiteral("recasor: part of the table was left as it was; the lines above "
                                "say which"));
        return ExitCode::Failed;
    }
    return summary.rowsRefused > 0 || summary.rowsLeftChanged > 0 ? ExitCode::Refused
                                                                  : ExitCode::Done;
}

} // namespace

int CommandPreview(const CommandContext &context)
{
    const CaseChange change = CheckedChange(context);
    qint64 elapsedMs = 0;
    const PreviewResult result = DriveJob<ChangePreview, PreviewResult>(
        new ChangePreview(context.values, change), context.values, change.table, elapsedMs);
    if (!result.error.isEmpty())
        return context.out.fail(ExitCode::Failed,
                                QStringLiteral("the preview failed: ") + result.error);
    if (result.stopped)
        return context.out.fail(ExitCode::Failed, QStringLiteral("the preview was stopped"));
    PrintCounts(context.out, result, context.request.limit);
    context.out.line(QStringLiteral("Time: ") + ElapsedText(elapsedMs));
    QJsonObject json = PreviewJson(context, change, result);
    json.insert(QStringLiteral("seconds"), elapsedMs / 1000.0);
    context.out.object(json, ExitCode::Done);
    return ToInt(ExitCode::Done);
}

int CommandChange(const CommandContext &context)
{
    const CaseChange change = CheckedChange(context);
    qint64 elapsedMs = 0;
    const ChangeRunSummary summary = DriveJob<ChangeRun, ChangeRunSummary>(
        new ChangeRun(context.values, change), context.values, change.table, elapsedMs,
        [](ChangeRun &run, QObject &context, ProgressPrinter &progress) {
            QObject::connect(
                &run, &ChangeRun::cautioned, &context, [&progress](const QStringList &owners) {
                    progress.say(QStringLiteral("recasor: ") + UntrustedOwnersText(owners));
                });
        });
    PrintRun(context.out, summary, elapsedMs);
    const ExitCode code = RunOutcome(context.out, summary);
    QJsonObject json = RequestJson(context, QStringLiteral("change"), change);
    json.insert(QStringLiteral("rowsRead"), summary.rowsRead);
    json.insert(QStringLiteral("rowsChanging"), summary.rowsChanging);
    json.insert(QStringLiteral("valuesChanged"), summary.valuesChanged);
    json.insert(QStringLiteral("rowsWritten"), summary.rowsWritten);
    json.insert(QStringLiteral("rowsRefused"), summary.rowsRefused);
    json.insert(QStringLiteral("valuesRefused"), summary.valuesNotWritten);
    QJsonArray refusals;
    for (const Refusal &refusal : summary.refusals)
        refusals.append(QJsonObject{{QStringLiteral("text"), refusal.text},
                                    {QStringLiteral("rows"), refusal.rows}});
    json.insert(QStringLiteral("refusals"), refusals);
    json.insert(QStringLiteral("rowsLeftChanged"), summary.rowsLeftChanged);
    json.insert(QStringLiteral("valuesLeftMixed"), summary.valuesLeftMixed);
    json.insert(QStringLiteral("valuesKept"), summary.valuesKept);
    json.insert(QStringLiteral("error"), summary.firstError);
    json.insert(QStringLiteral("leftAlone"), LeftAloneJson(summary.leftAlone));
    QJsonArray relationsLeft;
    for (const RelationLeft &left : summary.relationsLeft)
        relationsLeft.append(QJsonObject{{QStringLiteral("table"), left.name},
                                         {QStringLiteral("rows"), left.rows},
                                         {QStringLiteral("reason"), left.reason}});
    json.insert(QStringLiteral("relationsLeft"), relationsLeft);
    json.insert(QStringLiteral("untrustedOwners"),
                QJsonArray::fromStringList(summary.untrustedOwners));
    json.insert(QStringLiteral("stopped"), summary.stopped);
    json.insert(QStringLiteral("endedEarly"), summary.endedEarly);
    json.insert(QStringLiteral("seconds"), elapsedMs / 1000.0);
    context.out.object(json, code);
    return ToInt(code);
}
