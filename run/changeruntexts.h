// What a change run's end says, made from its summary, in the windows' closing messages and on
// the command line alike; each names the way its user takes a run back.
#pragma once

#include <QString>
#include <QStringList>

// A run that ended before it was complete: how ("was stopped", "ended"), the rows it wrote, and
// that `undo` (the window's menu entry or the command) takes them back.
QString EndedEarlyText(const QString &how, qint64 rowsWritten, const QString &undo);

struct ChangeRunSummary;

// The rows the server refused, which keep their old letter case, and each of its texts with its
// rows, the five most frequent and how many more; empty when it refused none.
QString RefusedText(const ChangeRunSummary &summary);

// The rows left as they were because another client changed them; empty for none.
QString LeftChangedText(qint64 rows);

// The values the change's options left as written, as a clause: "1,234 mixed-case values left
// as written", "3 values left as written at your choice"; empty for none.
QString LeftMixedText(qint64 values);
QString KeptText(qint64 values);

// A superuser runs a table that roles who are no superusers own, or whose triggers they own:
// their code runs with the superuser's rights.
QString UntrustedOwnersText(const QStringList &owners);

struct RelationLeft;

// A table of the tree whose rows live on another server and were left as they were, and why.
QString RelationLeftText(const RelationLeft &left);
