// Runs a blocking database call on a thread of its own and waits for it with the window still
// repainting. Paint and other window-system events go on while the call runs; user input is
// held back until it has returned, so that no click can start a second action in the middle of
// the first, and each action still reads as a plain call that returns or throws.
#pragma once

#include <QEventLoop>
#include <QThread>
#include <exception>
#include <optional>
#include <utility>

// The call runs in the new thread from start to end: a database session it opens is made,
// used and closed there. Its result is returned, its exception rethrown here.
template <typename Call>
auto CallRepainting(Call &&call) -> decltype(call())
{
    std::optional<decltype(call())> result;
    std::exception_ptr failure;
    QThread *const thread = QThread::create([&] {
        try {
            result.emplace(call());
        } catch (...) {
            failure = std::current_exception();
        }
    });
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    // The loop also ends when the program is told to end; the call is waited for all the same,
    // as it refers to this frame.
    thread->wait();
    delete thread;
    if (failure)
        std::rethrow_exception(failure);
    return std::move(*result);
}
