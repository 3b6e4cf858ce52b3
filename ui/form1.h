// The connection window: the five connection values (the one working copy of them, saved on
// every change), "Test Connection", "Help" and "Next >" to the main window. It is the
// start-up window; it says when its values connect and when it is closed, and the window flow
// of the program decides what shows next.
#pragma once

#include "db/connectionsettings.h"
#include "ui/flowwindow.h"
#include "ui/pointerstate.h"

class Messages;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class Form1 : public FlowWindow
{
    Q_OBJECT

public:
    explicit Form1(Messages &messages, QString programFolder = QString());
    ~Form1() override;

    // The start-up sequence: skin, caption, cursor, the stored values into the boxes, and the
    // main window at once when they connect; otherwise this window shows and waits.
    void Form_Load();

    void PushButton5_Click(); // "Test Connection"
    void PushButton1_Click(); // "Help"
    void PushButton3_Click(); // "Next >"

    // The connection values as the boxes hold them now.
    ConnectionSettings settings() const;

    PointerState &pointer() { return pointer_; }

signals:
    // The values in the boxes connect: the main window is to be shown, made and loaded the
    // first time (start-up, "Next >").
    void connected();
    // "Next >" has shown the main window and hidden this one: the main window is to fill
    // itself again from the values in the boxes.
    void mainWindowLoadRequested();

protected:
    QWidget *firstControl() const override;

private:
    // Each box saves its text under its key whenever the text changes.
    void Text1_Change();
    void Text2_Change();
    void Text3_Change();
    void Text4_Change();
    void Text5_Change();
    void save(const QString &key, const QString &value);

    void buildLayout();
    // The silent connection check on the values in the boxes.
    bool canConnect();

    Messages &messages_;
    QString programFolder_;
    PointerState pointer_;

    QGroupBox *Frame1;
    QLabel *Label2, *Label3, *Label1, *Label4, *Label6;
    QLineEdit *Text1, *Text2, *Text3, *Text4, *Text5;
    QPushButton *PushButton5, *PushButton1, *PushButton3;
};
