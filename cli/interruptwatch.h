// Ctrl+C (SIGINT) and SIGTERM while a job runs, turned into a Qt signal on the main thread: the
// handler only writes a byte into a pipe, which a socket notifier reads, so that nothing but
// that write happens inside the handler. Whoever watches then asks the job to stop, as Stop
// does in the window. The signals' former handling comes back when the watch ends.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <memory>

class InterruptWatch : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override;

signals:
    void interrupted();

private:
    static void Handle(int signal);
    void drain();

    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction formerInterrupt_ {
    };
    struct sigaction formerTerminate_ {
    };
};
