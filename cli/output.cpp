#include "cli/output.h"

#include <QJsonDocument>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// The first failure to write stdout, as errno gave it; 0 while there was none.
int stdoutFailure = 0;

void Write(std::FILE *stream, const QString &text)
{
    const QByteArray bytes =
        (::isatty(::fileno(stream)) ? Output::ForTerminal(text) : text).toUtf8();
    const bool written =
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size()) &&
        std::fflush(stream) == 0;
    if (!written && stream == stdout && stdoutFailure == 0)
        stdoutFailure = errno != 0 ? errno : EIO;
}

} // namespace

void Output::line(const QString &text) const
{
    if (!json_)
        Write(stdout, text + u'\n');
}

void Output::note(const QString &text) const
{
    Write(stderr, text + u'\n');
}

void Output::object(QJsonObject result, ExitCode code) const
{
    if (!json_)
        return;
    result.insert(QStringLiteral("exitCode"), ToInt(code));
    Write(stdout, QString::fromUtf8(QJsonDocument(result).toJson(QJsonDocument::Compact)) + u'\n');
}

int Output::fail(ExitCode code, const QString &message) const
{
    note(QStringLiteral("recasor: ") + message);
    object({{QStringLiteral("error"), message}}, code);
    return ToInt(code);
}

void Output::Print(const QString &text)
{
    Write(stdout, text);
}

int Output::Checked(int code)
{
    if (std::fflush(stdout) != 0 && stdoutFailure == 0)
        stdoutFailure = errno != 0 ? errno : EIO;
    if (stdoutFailure == 0)
        return code;
    std::fprintf(stderr, "recasor: write error: %s\n", std::strerror(stdoutFailure));
    return ToInt(ExitCode::Failed);
}

QString Output::ForTerminal(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\n' && u != u'\t') || (u >= 0x7f && u <= 0x9f))
            c = u'?';
    }
    return shown;
}
