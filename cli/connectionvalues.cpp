#include "cli/connectionvalues.h"

#include "cli/pgpass.h"
#include "keyring/keyringpassword.h"
#include "settings/settingsstore.h"

#include <QFile>

#include <csignal>
#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal as it was before the prompt turned its echo off, for a Ctrl+C at the prompt.
termios echoing{};

void RestoreEchoAndEnd(int signal)
{
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoing);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

QString Stored(const QString &key, const QString &defaultValue = QString())
{
    return SettingsStore::Get(SettingsKeys::Application, SettingsKeys::Section, key, defaultValue);
}

} // namespace

ConnectionSettings ConnectionValues::Target(const CommandRequest &request)
{
    ConnectionSettings values;
    values.server =
        request.host.value_or(Stored(SettingsKeys::Server, SettingsKeys::DefaultServer));
    values.port = request.port.value_or(Stored(SettingsKeys::Port, SettingsKeys::DefaultPort));
    values.user = request.user.value_or(Stored(SettingsKeys::User));
    values.database = request.database.value_or(Stored(SettingsKeys::Database));
    return values;
}

ConnectionSettings ConnectionValues::Of(const CommandRequest &request,
                                        const std::function<void(const QString &)> &warn)
{
    ConnectionSettings values = Target(request);

    if (const QString environment = qEnvironmentVariable("PGPASSWORD"); !environment.isEmpty()) {
        values.password = environment;
        return values;
    }
    QString warning;
    const std::optional<QString> filed = PgPass::Find(PgPass::DefaultFile(), values, warning);
    if (!warning.isEmpty())
        warn(warning);
    // The password file is read here, once: libpq, under the driver, would read it again for a
    // session without a password, and warn a second time of a file it may not use.
    qputenv("PGPASSFILE", QByteArrayLiteral("/dev/null/recasor-read-the-password-file-itself"));
    if (filed) {
        values.password = *filed;
        return values;
    }
    // The keyring is asked only on a session bus that is named (never by a cron job, which has
    // none), and waited for no longer than its limit: an unlock dialog left open, or a bus that
    // does not answer, costs those seconds and no more.
    const KeyringAnswer keyring = KeyringPassword::ReadWaiting(
        {values.server, values.port, values.user, values.database}, KeyringLimit);
    if (keyring.outcome == KeyringAnswer::Outcome::Found) {
        values.password = keyring.password;
        return values;
    }
    if (keyring.outcome == KeyringAnswer::Outcome::NoAnswer)
        warn(QStringLiteral("recasor: the system keyring did not answer within %1 s; it was "
                            "skipped")
                 .arg(KeyringLimit.count()));
    values.password = Stored(SettingsKeys::Password);
    if (!values.password.isEmpty()) {
        // A password in a file that others may read is no secret; it is used all the same, as
        // the window does, and said once.
        const QString settings = SettingsStore::FilePath(SettingsKeys::Application);
        if (QFile::permissions(settings) & (QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteGroup | QFileDevice::WriteOther))
            warn(QStringLiteral("WARNING: settings file \"%1\" holds the password and has group "
                                "or world access; permissions should be u=rw (0600) or less")
                     .arg(settings));
        return values;
    }
    values.password = Prompt(values).value_or(QString());
    return values;
}

std::optional<QString> ConnectionValues::Prompt(const ConnectionSettings &values)
{
    if (!::isatty(STDIN_FILENO))
        return std::nullopt;
    std::fprintf(stderr, "Password for user %s: ", values.user.toLocal8Bit().constData());
    std::fflush(stderr);
    const bool terminal = ::tcgetattr(STDIN_FILENO, &echoing) == 0;
    const auto before = std::signal(SIGINT, RestoreEchoAndEnd);
    if (terminal) {
        termios quiet = echoing;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
        line += char(c);
    if (terminal)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoing);
    std::signal(SIGINT, before);
    std::fputc('\n', stderr);
    return QString::fromLocal8Bit(line);
}
