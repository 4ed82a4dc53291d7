#include "ui/Main/Dialogs.h"

#include <QFileDialog>
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
        QStringLiteral("Recordings (*.txt *.mode2 *.wav);;All files (*)"));
}

bool QtDialogs::ConfirmDeleteRecord(QWidget* owner) {
    return QMessageBox::question(owner, QStringLiteral("Confirm"), QStringLiteral("Delete record?"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace tovanel
