#include "ui/flowwindow.h"

#include "ui/windowhelpers.h"

#include <QCloseEvent>
#include <QShowEvent>

void FlowWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!centred_) {
        centred_ = true;
        CentreOnScreen(*this);
    }
    if (QWidget *control = firstControl())
        control->setFocus(Qt::TabFocusReason);
}

void FlowWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    emit closed();
}
