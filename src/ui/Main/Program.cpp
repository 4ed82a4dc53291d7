#include "ui/Main/Program.h"

#include <cctype>
#include <csignal>
#include <cstdlib>

#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include "capture/FrameAssembler.h"
#include "capture/Setup/AppPaths.h"
#include "capture/Setup/CaptureConfig.h"
#include "ui/Main/CaptureControl.h"
#include "ui/Main/MainController.h"
#include "ui/Main/MainForm.h"
#include "ui/Main/SetupForm.h"

namespace tovanel {

namespace {

// SIGINT and SIGTERM reach the message loop through this pair of sockets.
int stopSockets[2] = {-1, -1};

void OnStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopSockets[0], &byte, 1);
}

}  // namespace

TovanelApplication::TovanelApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Tovanel"));
    setOrganizationName(QStringLiteral("Quorvat"));
    setApplicationVersion(QStringLiteral("2.2.0.1"));
}

bool TovanelApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QString::fromLatin1(ApplicationTitle), QString::fromUtf8(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QString::fromLatin1(ApplicationTitle), QString());
    }
    return false;
}

Program::Program() {
    SharedFrameBuffer& buffer = GlobalFrameBuffer();
    FrameAssembler& assembler = GlobalAssembler();
    // Capture errors go to the controller, which exists before any capture runs.
    CaptureSinks sinks;
    sinks.error = [this](const std::string& text) {
        if (controller_) controller_->Sinks().error(text);
    };
    capture_ = std::make_unique<ProgramCapture>(assembler, buffer, sinks);
    controller_ = std::make_unique<MainController>(*capture_, buffer, GlobalDecodeSettings());
    controller_->SetSettingsFilePath(SettingsFilePath());
    assembler.SetNotify(controller_->Notify());

    form_ = std::make_unique<TMainForm>(*controller_, dialogs_);
    TSetupForm::Links links;
    links.record0Execute = [this] { form_->Handle([&] { controller_->Record0Execute(); }); };
    links.setConnectionString = [this](const QString& connection) { controller_->SetConnectionString(connection); };
    setup_ = std::make_unique<TSetupForm>(*capture_, GlobalDecodeSettings(), buffer, SettingsFilePath(),
                                          std::move(links), dialogs_, form_.get());
    form_->SetSetupForm(setup_.get());
}

Program::~Program() {
    // Every receiver stops before the window and its controller go.
    setup_.reset();
    capture_->StopAll();
    GlobalAssembler().SetNotify(nullptr);
    form_.reset();
    controller_.reset();
    capture_.reset();
    if (stopSockets[0] >= 0) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        ::close(stopSockets[0]);
        ::close(stopSockets[1]);
        stopSockets[0] = stopSockets[1] = -1;
    }
}

int Program::Run() {
    if (stopSockets[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stopSockets) == 0) {
        stopNotifier_ = new QSocketNotifier(stopSockets[1], QSocketNotifier::Read, form_.get());
        QObject::connect(stopNotifier_, &QSocketNotifier::activated, form_.get(), [this] {
            char byte = 0;
            [[maybe_unused]] const ssize_t n = ::read(stopSockets[1], &byte, 1);
            form_->close();
        });
        struct sigaction action = {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }
    form_->show();
    // A settings file that cannot be read is not overwritten and the
    // defaults are used: say so once the window is up.
    std::string warning;
    LoadSettingsFile(warning);
    if (!warning.empty()) {
        warning[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(warning[0])));
        QTimer::singleShot(0, form_.get(), [this, warning] {
            dialogs_.ShowMessage(form_.get(), UserMessage{QString::fromLatin1(ApplicationTitle),
                                                          QString::fromStdString(warning + "."), {}, false});
        });
    }
    return QApplication::exec();
}

bool HasDisplay() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

}  // namespace tovanel
