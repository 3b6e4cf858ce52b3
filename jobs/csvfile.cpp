#include "jobs/csvfile.h"

CsvFile::CsvFile(const QString &path, const QStringList &header) : file_(path)
{
    if (!file_.open(QIODevice::WriteOnly))
        fail();
    if (file_.write("\xEF\xBB\xBF") != 3)
        fail();
    write(header);
}

void CsvFile::write(const QStringList &fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString &field : fields)
        quoted << Field(field);
    const QByteArray bytes = (quoted.join(u',') + QStringLiteral("\r\n")).toUtf8();
    if (file_.write(bytes) != bytes.size())
        fail();
}

void CsvFile::commit()
{
    if (!file_.commit())
        fail();
}

QString CsvFile::Field(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

void CsvFile::fail()
{
    throw CsvFileError(QStringLiteral("%1: %2").arg(file_.fileName(), file_.errorString()));
}
