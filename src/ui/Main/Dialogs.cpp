#include "ui/Main/Dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "capture/CaptureSink.h"
#include "ui/Main/DataLinkDialog.h"

namespace tovanel {

void QtDialogs::ShowMessage(QWidget* owner, const UserMessage& m) {
    QMessageBox box(QMessageBox::Critical, m.caption, m.text, QMessageBox::Ok, owner);
    if (!m.detail.isEmpty() && m.detail != m.text) box.setInformativeText(m.detail);
    box.exec();
}

void QtDialogs::About(QWidget* owner) {
    QMessageBox::information(owner, QStringLiteral("About Tovanel"), QString::fromLatin1(ApplicationTitle));
}

QString QtDialogs::ChooseDataSource(QWidget* owner, const QString& current) {
    DataLinkDialog dialog(current, owner);
    dialog.exec();
    return dialog.Result();
}

QString QtDialogs::ChooseRecording(QWidget* owner) {
    return QFileDialog::getOpenFileName(
        owner, QStringLiteral("Open recording"), QString(),
        QStringLiteral("Recordings (*.txt *.mode2 *.wav *.codes);;All files (*)"));
}

std::optional<QString> QtDialogs::AskName(QWidget* owner, const QString& caption, const QString& initial) {
    QInputDialog dialog(owner);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(QStringLiteral("Name:"));
    dialog.setTextValue(initial);
    // A name column holds 64 characters.
    if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMaxLength(64);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue();
}

bool QtDialogs::Confirm(QWidget* owner, const QString& text) {
    return QMessageBox::question(owner, QStringLiteral("Confirm"), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

QString QtDialogs::ChoosePicture(QWidget* owner) {
    QFileDialog dialog(owner, QStringLiteral("Load picture..."));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(QStringLiteral("jpg"));
    dialog.setNameFilters({QStringLiteral("All (*.gif *.jpg *.jpeg)"), QStringLiteral("CompuServe GIF Image (*.gif)"),
                           QStringLiteral("JPEG Image File (*.jpg)"), QStringLiteral("JPEG Image File (*.jpeg)")});
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace tovanel
