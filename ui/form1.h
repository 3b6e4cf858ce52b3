// The connection window: the five connection values (the one working copy of them, saved on
// every change), "Test Connection", "Help" and "Next >" to the main window. It is the
// start-up window and owns the main window, which it makes on first use.
#pragma once

#include "db/connectionsettings.h"
#include "ui/pointerstate.h"

#include <QWidget>
#include <memory>

class Form2;
class Messages;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class Form1 : public QWidget
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

    // The main window, once it has been made (null before).
    Form2 *mainWindow() const { return form2_.get(); }
    PointerState &pointer() { return pointer_; }

signals:
    // The main window has just been made, before its load step: the menus' commands are
    // attached to it here.
    void mainWindowMade(Form2 &window);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

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
    // Shows the main window, making and loading it the first time; true when it was made now.
    bool showMainWindow();

    Messages &messages_;
    QString programFolder_;
    PointerState pointer_;
    std::unique_ptr<Form2> form2_;
    bool centred_ = false;

    QGroupBox *Frame1;
    QLabel *Label2, *Label3, *Label1, *Label4, *Label6;
    QLineEdit *Text1, *Text2, *Text3, *Text4, *Text5;
    QPushButton *PushButton5, *PushButton1, *PushButton3;
};
