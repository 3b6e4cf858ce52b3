// "Preview Changes…" (Ctrl+P) in the Change menu: reads what a change run of the selected fields
// by the chosen mode would change, on a thread of its own while the window is busy ("Stop" ends
// it), then shows the preview, whose "Start Changing" starts exactly that run.
#pragma once

#include "preview/changepreview.h"

#include "ui/menucommand.h"

#include <QObject>
#include <QPointer>

class PreviewChangesDialog;

class PreviewCommand : public MenuCommand
{
    Q_OBJECT

public:
    PreviewCommand(MainWindow &window, Messages &messages, QObject *parent = nullptr);
    // The preview shown last, while it is open.
    PreviewChangesDialog *dialog() const;
    // Whether a preview goes on.
    bool isWorking() const;

    void previewChanges();
    // "Export…" of the preview shown: every change of its fields by its rule, to the file, on a
    // thread of its own while the window is busy ("Stop" ends it and writes no file).
    void exportChanges(const CaseChange &change, const QString &path);

signals:
    // A preview has ended, and its dialog or its failure has been shown.
    void previewEnded();

private:
    void start(const TableRef &table, const QStringList &fields, CaseMode mode);
    void previewFinished(const PreviewResult &result, const CaseChange &change);
    void exportFinished(const PreviewResult &result);
    // The run of the preview, leaving the values kept as written.
    void startChanging(const PreviewResult &result, const QStringList &kept);

    QPointer<PreviewChangesDialog> dialog_;
};
