// A CSV file as Python's csv module reads it: the lines and their fields, exactly, the byte
// order mark taken off. Empty, with the failure, when it cannot be read.
#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QList>
#include <QProcess>
#include <QStringList>

inline QList<QStringList> ReadCsvWithPython(const QString &path, QString *failure = nullptr)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv, json, sys\n"
                                 "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                                 "    print(json.dumps(list(csv.reader(f))))"),
                  path});
    QList<QStringList> lines;
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        if (failure)
            *failure = QString::fromUtf8(python.readAllStandardError());
        return lines;
    }
    for (const QJsonValue &row : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        QStringList fields;
        for (const QJsonValue &field : row.toArray())
            fields << field.toString();
        lines << fields;
    }
    return lines;
}
