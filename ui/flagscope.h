// Sets a flag for the lifetime of a scope and clears it on every path out of it: the main window
// marks the time in which it fills its own lists, whose changes are then not the user's.
#pragma once

class FlagScope
{
public:
    explicit FlagScope(bool &flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope &) = delete;
    FlagScope &operator=(const FlagScope &) = delete;

private:
    bool &flag_;
};
