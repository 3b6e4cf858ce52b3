// "Row Condition": one line for a condition on the rows of the shown table, in SQL, which the
// run, Preview Changes and the list of values then take; "Clear" takes every row again. The
// server checks the condition before the dialog closes: a condition it refuses keeps the dialog
// open, with the server's reason under the line. It opens without a modal loop of its own.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

class RowConditionDialog : public QDialog
{
    Q_OBJECT

public:
    // apply sets the condition, or clears it when given an empty text; it throws with the
    // reason when the condition is refused or cannot be checked.
    RowConditionDialog(const QString &table, const QString &condition,
                       std::function<void(const QString &)> apply, QWidget *parent = nullptr);

    // OK: the condition as written; a line of only spaces clears it.
    void accept() override;
    // "Clear".
    void clear();

    // Why the server refused the last condition; empty when it did not.
    QString refusal() const;

private:
    void apply(const QString &condition);

    std::function<void(const QString &)> apply_;
    QLineEdit *line_;
    QLabel *refusal_;
    QPushButton *clear_;
};
