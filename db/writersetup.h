// How a session that writes many rows with one statement is set up, for the change run's writers
// and the undo's alike: a statement's pairs of values are hashed in memory, not sorted on disk;
// compiling each statement to machine code costs more than it saves; and a plan made for the
// bound values would split them once more while planning, only to count them.
#pragma once

#include <QStringList>

inline const QStringList &WriterSetup()
{
    static const QStringList setup = {QStringLiteral("SET work_mem = '64MB'"),
                                      QStringLiteral("SET jit = off"),
                                      QStringLiteral("SET plan_cache_mode = force_generic_plan")};
    return setup;
}
