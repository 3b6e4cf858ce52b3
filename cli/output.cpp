#include "cli/output.h"

#include <QJsonDocument>
#include <cstdio>

namespace {

void Write(std::FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
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
