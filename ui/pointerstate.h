// The pointer of a window in its three states: default arrow (0), hourglass (11) while a
// database action runs, and the window's custom pointer (99, the hand) over push buttons.
// It also does the pointer feedback of the controls it watches; that feedback never
// replaces the hourglass.
#pragma once

#include <QCursor>
#include <QObject>
#include <QWidget>
#include <initializer_list>

class PointerState : public QObject
{
    Q_OBJECT

public:
    static constexpr int Default = 0;
    static constexpr int Hourglass = 11;
    static constexpr int Custom = 99;

    explicit PointerState(QWidget &window);
    ~PointerState() override;

    int value() const { return state_; }
    void set(int state);

    // The picture of the custom state; without one the custom state looks like the arrow.
    void setCustomCursor(const QCursor &cursor);
    const QCursor &customCursor() const { return custom_; }

    // Entering one of these controls asks for the hand.
    void watchButtons(std::initializer_list<QWidget *> buttons);
    // Entering one of these controls, or the window's or a frame's background (reached by
    // leaving a watched control), asks for the arrow.
    void watchSurfaces(std::initializer_list<QWidget *> surfaces);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The feedback of the mouse-move handlers: any state but the hourglass may change.
    void feedback(int state);

    QWidget &window_;
    int state_ = Default;
    QCursor custom_{Qt::ArrowCursor};
};

// Hourglass for the life of a database action, and the default arrow after it on every
// path out, a failing one included.
class BusyPointer
{
public:
    explicit BusyPointer(PointerState &pointer) : pointer_(pointer)
    {
        pointer_.set(PointerState::Hourglass);
    }
    ~BusyPointer() { pointer_.set(PointerState::Default); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

private:
    PointerState &pointer_;
};
