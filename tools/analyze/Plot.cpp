#include "tools/analyze/Plot.h"

#include <memory>

#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>
#include <QSaveFile>

#include "ui/Main/Oscillogram.h"

namespace tovanel {

namespace {

QtMessageHandler qtMessages = nullptr;

// Qt's one complaint when it starts for a user without a session (root,
// CI) says nothing about the image: left out of the tool's output.
void QuietStart(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
    if (qtMessages != nullptr) qtMessages(type, context, message);
}

}  // namespace

bool WriteOscillogramPng(const FrameBuffer& buffer, const std::string& file, std::string& error) {
    // Text rendering needs Qt's GUI library set up. The image is never
    // shown, so the offscreen platform serves, with or without a display.
    std::unique_ptr<QGuiApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        static char name[] = "tovanel-analyze", option[] = "-platform", platform[] = "offscreen";
        static char* argv[] = {name, option, platform, nullptr};
        static int argc = 3;
        qtMessages = qInstallMessageHandler(QuietStart);
        app = std::make_unique<QGuiApplication>(argc, argv);
        qInstallMessageHandler(qtMessages);
    } else if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        error = "cannot draw " + file + " without Qt's GUI library";
        return false;
    }

    const QImage image = RenderOscillogram(buffer);
    if (image.isNull()) {
        error = "cannot draw " + file + ": no memory for an image of " +
                std::to_string(OscillogramWidth(buffer)) + " x " + std::to_string(OscillogramHeight);
        return false;
    }
    QSaveFile out(QFile::decodeName(file.c_str()));
    if (!out.open(QIODevice::WriteOnly)) {
        error = "cannot write " + file + ": " + out.errorString().toStdString();
        return false;
    }
    QImageWriter writer(&out, "png");
    if (!writer.write(image)) {
        error = "cannot write " + file + ": " + writer.errorString().toStdString();
        out.cancelWriting();
        return false;
    }
    if (!out.commit()) {
        error = "cannot write " + file + ": " + out.errorString().toStdString();
        return false;
    }
    return true;
}

}  // namespace tovanel
