// Runs the numbered steps of a guarded handler. A step that fails is reported with the
// handler's name and the step's number, and the handler goes on with its next step, so a
// handler written as a list of steps reads like its own line labels.
#pragma once

#include "ui/messages.h"

#include <QString>
#include <functional>

class GuardedHandler
{
public:
    GuardedHandler(Messages &messages, QString window, QString handler);

    // Runs one step; true when it went through, false when it failed and was reported.
    bool step(int line, const std::function<void()> &action);

    // Runs the condition of a conditional step. A condition that fails is reported and
    // counts as met, so the steps it governs still run.
    bool condition(int line, const std::function<bool()> &test);

    // The text a failure carries: the database driver's own text, the runtime's message.
    static QString FailureText(std::exception_ptr failure);

private:
    void report(int line, std::exception_ptr failure);

    Messages &messages_;
    QString window_;
    QString handler_;
};
