#include "ui/menucommand.h"

#include <QAction>

MenuCommand::MenuCommand(MainWindow &window, Messages &messages, const QString &text,
                         const QString &name, const QKeySequence &shortcut, QObject *parent)
    : QObject(parent), window_(window), messages_(messages), action_(new QAction(text, this))
{
    action_->setObjectName(name);
    action_->setShortcut(shortcut);
}
