// What the program's two windows have in common as windows of the flow: each centres itself the
// first time it shows, puts the focus on its first control, and says when the user closes it.
// Nothing can refuse the closing; what follows is the window flow's to decide.
#pragma once

#include <QWidget>

class FlowWindow : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;

signals:
    // The user has closed this window: the program is to end.
    void closed();

protected:
    // The control that takes the focus whenever the window shows.
    virtual QWidget *firstControl() const = 0;

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool centred_ = false;
};
