// The modal questions and messages of the window behind one interface, so
// that tests answer them instead of a user.
#pragma once

#include <optional>

#include <QString>

#include "ui/Main/MainController.h"

class QWidget;

namespace tovanel {

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // The questions of the unit and key actions (below) answer Cancel and
    // No unless overridden.
    // An error box: the message's caption and text, its detail below.
    virtual void ShowMessage(QWidget* owner, const UserMessage& message) = 0;
    virtual void About(QWidget* owner) = 0;
    // The data-link dialog; returns `current` when the user cancels.
    virtual QString ChooseDataSource(QWidget* owner, const QString& current) = 0;
    // A recording to open; empty when the user cancels.
    virtual QString ChooseRecording(QWidget* owner) = 0;

    // The input box for a new unit's or key's name: `caption`, the prompt
    // "Name:" and `initial` as the text; nothing when the user cancels.
    virtual std::optional<QString> AskName(QWidget*, const QString& /*caption*/, const QString& /*initial*/) {
        return std::nullopt;
    }
    // A question before a destructive action: caption "Confirm", Yes and No.
    virtual bool Confirm(QWidget*, const QString& /*text*/) { return false; }
    // The open-picture dialog; empty when the user cancels.
    virtual QString ChoosePicture(QWidget*) { return {}; }

    // The open dialog of "Import..."; empty when the user cancels.
    virtual QString ChooseImportFile(QWidget*) { return {}; }
    // The save dialog of "Export unit...", a file named after the unit
    // offered; one filter per written format, which the chosen filter
    // picks. Nothing when the user cancels.
    virtual std::optional<ExportTarget> ChooseExportFile(QWidget*, const QString& /*unitName*/) {
        return std::nullopt;
    }
    // An information box: the message's caption and text, its detail
    // (the whole report) to be unfolded below.
    virtual void ShowReport(QWidget*, const UserMessage& /*report*/) {}
};

// The real boxes and dialogs.
class QtDialogs : public UserDialogs {
public:
    void ShowMessage(QWidget* owner, const UserMessage& message) override;
    void About(QWidget* owner) override;
    QString ChooseDataSource(QWidget* owner, const QString& current) override;
    QString ChooseRecording(QWidget* owner) override;
    std::optional<QString> AskName(QWidget* owner, const QString& caption, const QString& initial) override;
    bool Confirm(QWidget* owner, const QString& text) override;
    QString ChoosePicture(QWidget* owner) override;
    QString ChooseImportFile(QWidget* owner) override;
    std::optional<ExportTarget> ChooseExportFile(QWidget* owner, const QString& unitName) override;
    void ShowReport(QWidget* owner, const UserMessage& report) override;
};

}  // namespace tovanel
