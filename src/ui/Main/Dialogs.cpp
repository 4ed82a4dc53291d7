#include "ui/Main/Dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "capture/CaptureSink.h"
#include "database/formats/CodeFileFormats.h"
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

namespace {

// "lircd.conf (*.conf *.lircd)"
QString Filter(const CodeFileFormatEntry& e) {
    return QStringLiteral("%1 (%2)").arg(QString::fromLatin1(e.name), QString::fromLatin1(e.patterns));
}

}  // namespace

QString QtDialogs::ChooseImportFile(QWidget* owner) {
    // The content decides the format; the patterns only help to find files.
    QStringList patterns;
    for (const CodeFileFormatEntry& e : CodeFileFormats())
        if (e.read != nullptr)
            for (const QString& p : QString::fromLatin1(e.patterns).split(u' '))
                if (!patterns.contains(p)) patterns << p;
    return QFileDialog::getOpenFileName(
        owner, QStringLiteral("Import"), QString(),
        QStringLiteral("Code files (%1);;All files (*)").arg(patterns.join(u' ')));
}

std::optional<ExportTarget> QtDialogs::ChooseExportFile(QWidget* owner, const QString& unitName) {
    std::vector<const CodeFileFormatEntry*> formats;
    QStringList filters;
    for (const CodeFileFormatEntry& e : CodeFileFormats())
        if (e.write != nullptr) {
            formats.push_back(&e);
            filters << Filter(e);
        }
    QString base = unitName.trimmed();
    base.replace(u'/', u'_');
    if (base.isEmpty() || base.startsWith(u'.')) base.prepend(QStringLiteral("unit"));
    QFileDialog dialog(owner, QStringLiteral("Export unit"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    auto suffixOf = [&](const QString& filter) {
        const qsizetype k = filters.indexOf(filter);
        return QString::fromLatin1(formats[static_cast<size_t>(k < 0 ? 0 : k)]->suffix);
    };
    QString suffix = suffixOf(filters.constFirst());
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(base + u'.' + suffix);
    // Another format: the name's suffix follows it (the name typed so far
    // where the dialog shows its own name box).
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        QString name = base;
        if (const auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            name = edit->text();
            if (name.endsWith(u'.' + suffix)) name.chop(suffix.size() + 1);
        }
        suffix = suffixOf(filter);
        dialog.setDefaultSuffix(suffix);
        dialog.selectFile(name + u'.' + suffix);
    });
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const qsizetype k = filters.indexOf(dialog.selectedNameFilter());
    return ExportTarget{dialog.selectedFiles().constFirst(), formats[static_cast<size_t>(k < 0 ? 0 : k)]->format};
}

void QtDialogs::ShowReport(QWidget* owner, const UserMessage& report) {
    QMessageBox box(QMessageBox::Information, report.caption, report.text, QMessageBox::Ok, owner);
    if (!report.detail.isEmpty()) box.setDetailedText(report.detail);
    box.exec();
}

}  // namespace tovanel
