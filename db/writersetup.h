// How a session that writes many rows with one statement is set up, for the change run's writers
// and the undo's alike: a statement's pairs of values are hashed in memory, not sorted on disk;
// compiling each statement to machine code costs more than it saves; a plan made for the bound
// values would split them once more while planning, only to count them; and a chunk's commit
// does not wait for the disk, which a run of many chunks would otherwise wait on once per chunk.
// Everything the writers committed is made durable at once when the work ends (WithDurableCommits
// below), as the server's own UPDATE of the whole table is by its one commit; a crash of the
// server before then loses at most the last moments' chunks, which the journal may list but
// which an undo then finds as they were.
#pragma once

#include "db/dbsession.h"

#include <QStringList>

inline const QStringList &WriterSetup()
{
    static const QStringList setup = {QStringLiteral("SET work_mem = '64MB'"),
                                      QStringLiteral("SET jit = off"),
                                      QStringLiteral("SET plan_cache_mode = force_generic_plan"),
                                      QStringLiteral("SET synchronous_commit = off")};
    return setup;
}

// Does the work of writers set up so, then waits on session until what they committed is
// durable. Where the work fails or stops, what it committed is made durable as far as the
// server can still be reached, and the work's own failure goes on; where it succeeds, a failure
// to make its commits durable is the failure (DbError).
template <typename Work>
void WithDurableCommits(DbSession &session, Work &&work)
{
    try {
        work();
    } catch (...) {
        try {
            session.awaitDurableCommits();
        } catch (const DbError &) {
            // The server is gone or refuses; the work's own failure says so.
        }
        throw;
    }
    session.awaitDurableCommits();
}
