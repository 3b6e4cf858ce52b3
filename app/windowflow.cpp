// The flow between the connection window and the main window.
#include "app/windowflow.h"

#include "ui/mainwindow.h"
#include "ui/windowhelpers.h"

#include <QCoreApplication>
#include <QGuiApplication>

WindowFlow::WindowFlow(Messages &messages, QString programFolder)
    : messages_(messages),
      programFolder_(programFolder.isEmpty() ? ProgramFolder() : std::move(programFolder)),
      connection_(messages, programFolder_)
{
    // The windows are hidden and shown in turn, so the last one hidden is no sign of the end;
    // the program ends when the user closes either of them.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    connect(&connection_, &ConnectionWindow::connected, this, &WindowFlow::showMainWindow);
    connect(&connection_, &ConnectionWindow::mainWindowLoadRequested, this,
            &WindowFlow::loadMainWindow);
    connect(&connection_, &ConnectionWindow::closed, this, &WindowFlow::end);
}

WindowFlow::~WindowFlow() = default;

void WindowFlow::start()
{
    connection_.load();
}

void WindowFlow::showMainWindow()
{
    mainMadeNow_ = !main_;
    if (mainMadeNow_) {
        // The boxes of the connection window stay the one working copy of the values: the
        // main window reads them at the start of each of its database actions.
        main_ = std::make_unique<MainWindow>(
            messages_, [this] { return connection_.settings(); }, programFolder_);
        connect(main_.get(), &MainWindow::setupRequested, &connection_, &QWidget::show);
        connect(main_.get(), &MainWindow::closed, this, &WindowFlow::end);
        emit mainWindowMade(*main_);
        main_->load();
    }
    main_->show();
}

void WindowFlow::loadMainWindow()
{
    // Making the main window has just loaded it from these values; a second load would only
    // repeat the same database work.
    if (main_ && !mainMadeNow_)
        main_->load();
    mainMadeNow_ = false;
}

void WindowFlow::end()
{
    // Closing either window ends the program, also while the other one is hidden: the event
    // loop is left at once, and no other window is asked whether it may close. A run that is
    // going is stopped first, and what it wrote stays whole.
    if (main_)
        main_->stopJobAndWait();
    QCoreApplication::exit(0);
}
