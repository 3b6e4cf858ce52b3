// The commands of the main window's menu bar that go beyond its buttons. Each feature is a
// class of its own; this object puts their commands into the menus and keeps them alive as
// long as the window.
#pragma once

#include <QHash>
#include <QObject>

class MainWindow;
class Messages;
class QAction;

class MainWindowMenus : public QObject
{
    Q_OBJECT

public:
    MainWindowMenus(MainWindow &window, Messages &messages);

    // "Row Condition…": the condition on the shown table's rows, in a dialog.
    void editRowCondition();
    // An entry of "Language": stores the language's rules as the ones to follow; a language
    // that cannot be stored shows as it stands in the file.
    void setLanguage(const QString &code);
    // "About Recasor": the version, the folders where Recasor keeps its files, and where the
    // password is kept.
    void showAbout();
    // A checkable option of the Change menu ("Name Rules", "Leave Mixed-Case Values"): stores
    // it as checked; an option that cannot be stored shows as it stands in the file.
    void setOption(QAction &entry, bool on);

    static QString AboutText();

private:
    struct StoredOption {
        QString text;
        QString key; // the settings key, which also names the entry and its handler
        QString what;
        bool (*load)() = nullptr;
        bool (*save)(bool) = nullptr;
    };
    QAction *addOption(QAction *before, const StoredOption &option);
    // "Language ▸", with German's two ways of ß in a menu of their own.
    void addLanguageMenu(QAction *before);
    void showStoredLanguage();

    MainWindow &window_;
    Messages &messages_;
    QHash<QAction *, StoredOption> options_;
    QList<QAction *> languages_; // their data is the language's code
};
