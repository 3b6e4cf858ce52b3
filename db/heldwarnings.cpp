#include "db/heldwarnings.h"

#include <atomic>

namespace {

thread_local HeldWarnings *innermost = nullptr;

// The handler that was in place when the holding one was put in front of it.
std::atomic<QtMessageHandler> next{nullptr};

void passOn(const HeldWarnings::Message &message)
{
    const QMessageLogContext context(
        message.file.isNull() ? nullptr : message.file.constData(), message.line,
        message.function.isNull() ? nullptr : message.function.constData(),
        message.category.isNull() ? nullptr : message.category.constData());
    if (const QtMessageHandler handler = next.load())
        handler(message.type, context, message.text);
}

void holdingHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const HeldWarnings::Message message{type,
                                        QByteArray(context.file),
                                        QByteArray(context.function),
                                        QByteArray(context.category),
                                        context.line,
                                        text};
    // A critical or fatal message is never expected; it goes on at once.
    if (type == QtWarningMsg && HeldWarnings::Hold(message))
        return;
    passOn(message);
}

} // namespace

void HeldWarnings::Install()
{
    const QtMessageHandler previous = qInstallMessageHandler(holdingHandler);
    if (previous != holdingHandler)
        next.store(previous);
}

HeldWarnings::HeldWarnings() : outer_(innermost)
{
    innermost = this;
}

HeldWarnings::~HeldWarnings()
{
    innermost = outer_;
    for (const Message &message : std::as_const(held_)) {
        if (!Hold(message))
            passOn(message);
    }
}

bool HeldWarnings::Hold(const Message &message)
{
    if (!innermost)
        return false;
    innermost->held_.push_back(message);
    return true;
}
