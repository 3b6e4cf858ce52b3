// "Preview Changes": what a change run of the previewed fields by the previewed rule would do,
// with a button that starts exactly that run. It only shows a finished preview; it opens
// without a modal loop of its own, so that the window's events and tests go on around it.
#pragma once

#include "preview/changepreview.h"

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class PreviewChangesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PreviewChangesDialog(const PreviewResult &result, QWidget *parent = nullptr);

    const PreviewResult &result() const { return result_; }

    // Letters whose marks reach highest and lowest in the scripts a preview shows: a row of the
    // lists is as tall as they are, with room to spare.
    static const QString TallestLetters;
    // The values of the changes the user unticked: a run started from here leaves them as
    // written, in every row that holds them.
    QStringList untickedValues() const;

    // The changes shown are those whose old or new value holds the text, in any case; empty
    // shows them all.
    void filter(const QString &text);
    // Ticks or unticks every change shown that can be unticked.
    void tickShown(bool ticked);
    // The selected changes as tab-separated lines (field, old value, new value, rows), in the
    // order shown, on the clipboard (Ctrl+C).
    void copySelected() const;
    // "Export…": asks for a file, to which every change of the preview's fields and rule is
    // to be written, not only those listed.
    void exportAll();
    // The file to export to: asked by a file dialog; empty when none is chosen.
    std::function<QString()> chooseExportFile;

signals:
    void exportRequested(const QString &path);
    // "Start Changing": the previewed fields and rule are to be changed now.
    void startChangingRequested();

private:
    void fillFields();
    void fillChanges();

    PreviewResult result_;
    QTreeWidget *fields_;
    QLabel *leftAlone_;
    QLabel *changesCaption_;
    QTreeWidget *changes_;
    QLineEdit *search_;
    QPushButton *start_;
    QPushButton *close_;
};
