#include "ui/pointerstate.h"

#include <QEvent>
#include <QGuiApplication>

namespace {
const char *const KindProperty = "recasorPointerKind";
}

PointerState::PointerState(QWidget &window) : QObject(&window), window_(window)
{
    window_.installEventFilter(this);
    window_.setProperty(KindProperty, Default);
}

PointerState::~PointerState()
{
    if (state_ == Hourglass)
        QGuiApplication::restoreOverrideCursor();
}

void PointerState::set(int state)
{
    if (state == state_)
        return;
    // The hourglass is an application override so that it shows over every control of the
    // window, text boxes and lists included, and at once, without waiting for a repaint.
    if (state_ == Hourglass)
        QGuiApplication::restoreOverrideCursor();
    state_ = state;
    switch (state_) {
    case Hourglass:
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        break;
    case Custom:
        window_.setCursor(custom_);
        break;
    default:
        window_.unsetCursor();
        break;
    }
}

void PointerState::setCustomCursor(const QCursor &cursor)
{
    custom_ = cursor;
    if (state_ == Custom)
        window_.setCursor(custom_);
}

void PointerState::watchButtons(std::initializer_list<QWidget *> buttons)
{
    for (QWidget *button : buttons) {
        button->setProperty(KindProperty, Custom);
        button->installEventFilter(this);
    }
}

void PointerState::watchSurfaces(std::initializer_list<QWidget *> surfaces)
{
    for (QWidget *surface : surfaces) {
        surface->setProperty(KindProperty, Default);
        surface->installEventFilter(this);
    }
}

bool PointerState::eventFilter(QObject *watched, QEvent *event)
{
    // Qt sends no Enter to a parent when the pointer moves from a child onto the parent's own
    // background, so leaving a watched control stands for arriving on that background.
    if (event->type() == QEvent::Enter)
        feedback(watched->property(KindProperty).toInt());
    else if (event->type() == QEvent::Leave && watched != &window_)
        feedback(Default);
    return QObject::eventFilter(watched, event);
}

void PointerState::feedback(int state)
{
    if (state_ != Hourglass)
        set(state);
}
