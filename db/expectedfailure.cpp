#include "db/expectedfailure.h"

namespace {

// The calling thread's markers, innermost first: each knows the one it is nested in.
thread_local ExpectedFailure *innermost = nullptr;

} // namespace

ExpectedFailure::ExpectedFailure(Test test) : test_(test), outer_(innermost)
{
    innermost = this;
}

ExpectedFailure::~ExpectedFailure()
{
    innermost = outer_;
}

bool ExpectedFailure::Covers(const DbError &error)
{
    for (const ExpectedFailure *marker = innermost; marker; marker = marker->outer_) {
        if (marker->test_(error))
            return true;
    }
    return false;
}
