// Marks, on the thread that makes it and for as long as it lives, the failures of statements
// that the code around it expects and handles itself: a value the server refuses during a
// change run, a deadlock that is retried. The session leaves out the driver's warning of such a
// failure (HeldWarnings); the warnings of every other failure still reach the terminal.
#pragma once

#include "db/dberror.h"

class ExpectedFailure
{
public:
    // Whether a failure is one that the marking code handles.
    using Test = bool (*)(const DbError &error);

    explicit ExpectedFailure(Test test);
    ~ExpectedFailure();

    ExpectedFailure(const ExpectedFailure &) = delete;
    ExpectedFailure &operator=(const ExpectedFailure &) = delete;

    // Whether a marker of the calling thread expects the failure.
    static bool Covers(const DbError &error);

private:
    Test test_;
    ExpectedFailure *outer_;
};
