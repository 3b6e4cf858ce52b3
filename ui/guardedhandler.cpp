#include "ui/guardedhandler.h"

#include "db/dberror.h"

#include <exception>

GuardedHandler::GuardedHandler(Messages &messages, QString window, QString handler)
    : messages_(messages), window_(std::move(window)), handler_(std::move(handler))
{
}

bool GuardedHandler::step(int line, const std::function<void()> &action)
{
    try {
        action();
        return true;
    } catch (...) {
        report(line, std::current_exception());
        return false;
    }
}

bool GuardedHandler::condition(int line, const std::function<bool()> &test)
{
    try {
        return test();
    } catch (...) {
        report(line, std::current_exception());
        return true;
    }
}

QString GuardedHandler::FailureText(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const DbError &error) {
        return error.text();
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QStringLiteral("Unknown failure.");
    }
}

void GuardedHandler::report(int line, std::exception_ptr failure)
{
    messages_.report(window_, handler_, line, FailureText(failure));
}
