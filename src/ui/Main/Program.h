// The desktop program put together in its start-up order: the main window
// (hidden; its creation fills the protocol list and selects "(Auto)"), then
// the hidden device setup dialog (which reads the settings file and hands
// over the database connection string), then the window is shown and opens
// the database. At the end the setup dialog goes first, stopping every
// receiver, and the window's placement is saved when it closes.
#pragma once

#include <memory>

#include <QApplication>

#include "ui/Main/Dialogs.h"

class QSocketNotifier;

namespace tovanel {

class MainController;
class ProgramCapture;
class TMainForm;
class TSetupForm;

// The application object: an error that escapes an event handler is shown
// in a message box with its text, and the program goes on.
class TovanelApplication : public QApplication {
public:
    TovanelApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

class Program {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    TMainForm& MainForm() { return *form_; }
    TSetupForm& SetupForm() { return *setup_; }
    MainController& Controller() { return *controller_; }

    // Shows the window and runs the message loop; SIGINT and SIGTERM close
    // the window as "Exit" does. Returns the exit status.
    int Run();

private:
    QtDialogs dialogs_;
    std::unique_ptr<ProgramCapture> capture_;
    std::unique_ptr<MainController> controller_;
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<TSetupForm> setup_;
    QSocketNotifier* stopNotifier_ = nullptr;
};

// Whether a window can be shown: a display, or a Qt platform chosen by
// QT_QPA_PLATFORM (such as offscreen).
bool HasDisplay();

}  // namespace tovanel
