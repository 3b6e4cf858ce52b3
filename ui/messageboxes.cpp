#include "ui/messageboxes.h"

#include "ui/errorreport.h"
#include "ui/windowhelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

namespace {

void showBox(QMessageBox::Icon icon, const QString &title, const QString &text,
             const QString &details = QString())
{
    QMessageBox box(icon, title, MessageBoxes::DisplayText(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    if (!details.isEmpty())
        box.setDetailedText(details);
    box.exec();
}

} // namespace

void MessageBoxes::info(const QString &text)
{
    showBox(QMessageBox::NoIcon, AppTitle(), text);
}

void MessageBoxes::infoWithDetails(const QString &text, const QString &details)
{
    showBox(QMessageBox::NoIcon, AppTitle(), text, details);
}

bool MessageBoxes::confirm(const QString &text, const QString &accept)
{
    QMessageBox box(QMessageBox::Question, AppTitle(), DisplayText(text),
                    QMessageBox::Ok | QMessageBox::Cancel, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    if (!accept.isEmpty())
        box.button(QMessageBox::Ok)->setText(accept);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

Messages::Unsaved MessageBoxes::askToSave(const QString &text)
{
    QMessageBox box(QMessageBox::Question, AppTitle(), DisplayText(text),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return Unsaved::Save;
    case QMessageBox::Discard:
        return Unsaved::Discard;
    default:
        return Unsaved::Cancel;
    }
}

void MessageBoxes::report(const QString &window, const QString &handler, int line,
                          const QString &failure)
{
    showBox(QMessageBox::Warning, ErrorReportTitle,
            ErrorReportText(window, handler, line, failure));
}

QString MessageBoxes::DisplayText(const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');
    return shown;
}
