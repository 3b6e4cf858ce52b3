#include "ui/rowconditiondialog.h"

#include "db/dberror.h"
#include "db/rowcondition.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

RowConditionDialog::RowConditionDialog(const QString &table, const QString &condition,
                                       std::function<void(const QString &)> apply, QWidget *parent)
    : QDialog(parent), apply_(std::move(apply))
{
    setObjectName(QStringLiteral("RowConditionDialog"));
    setWindowTitle(QStringLiteral("Row Condition"));
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(
        QStringLiteral("Change only the rows of %1 where this SQL condition holds:").arg(table),
        this);
    // The table's name is its owner's to choose: shown as it stands, never as markup.
    caption->setTextFormat(Qt::PlainText);
    caption->setWordWrap(true);
    layout->addWidget(caption);
    line_ = new QLineEdit(condition, this);
    line_->setObjectName(QStringLiteral("ConditionEdit"));
    line_->setPlaceholderText(QStringLiteral("country = 'TR' AND created >= '2024-01-01'"));
    line_->setMinimumWidth(420);
    caption->setBuddy(line_);
    layout->addWidget(line_);
    refusal_ = new QLabel(this);
    refusal_->setObjectName(QStringLiteral("ConditionRefusal"));
    refusal_->setTextFormat(Qt::PlainText);
    refusal_->setWordWrap(true);
    refusal_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    refusal_->setStyleSheet(QStringLiteral("color: #a00000"));
    refusal_->hide();
    layout->addWidget(refusal_);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    clear_ = buttons->addButton(QStringLiteral("C&lear"), QDialogButtonBox::ResetRole);
    clear_->setObjectName(QStringLiteral("ClearButton"));
    clear_->setEnabled(!condition.isEmpty());
    connect(buttons, &QDialogButtonBox::accepted, this, &RowConditionDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &RowConditionDialog::reject);
    connect(clear_, &QPushButton::clicked, this, &RowConditionDialog::clear);
    layout->addWidget(buttons);
}

void RowConditionDialog::accept()
{
    apply(line_->text().trimmed().isEmpty() ? QString() : line_->text());
}

void RowConditionDialog::clear()
{
    line_->clear();
    apply(QString());
}

QString RowConditionDialog::refusal() const
{
    return refusal_->isHidden() ? QString() : refusal_->text();
}

void RowConditionDialog::apply(const QString &condition)
{
    QString reason;
    try {
        apply_(condition);
    } catch (const ConditionRefused &refused) {
        reason = refused.text();
    } catch (const DbError &error) {
        reason = QStringLiteral("The condition could not be checked: ") + error.text();
    } catch (const std::exception &error) {
        reason = QString::fromStdString(error.what());
    }
    if (reason.isEmpty()) {
        QDialog::accept();
        return;
    }
    refusal_->setText(reason);
    refusal_->show();
    // Tall enough for the whole reason.
    adjustSize();
    line_->setFocus(Qt::OtherFocusReason);
}
