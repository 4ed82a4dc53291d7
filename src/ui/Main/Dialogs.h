// The modal questions and messages of the window behind one interface, so
// that tests answer them instead of a user.
#pragma once

#include <QString>

#include "ui/Main/MainController.h"

class QWidget;

namespace tovanel {

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // An error box: the message's caption and text, its detail below.
    virtual void ShowMessage(QWidget* owner, const UserMessage& message) = 0;
    virtual void About(QWidget* owner) = 0;
    // The data-link dialog; returns `current` when the user cancels.
    virtual QString ChooseDataSource(QWidget* owner, const QString& current) = 0;
    // A recording to open; empty when the user cancels.
    virtual QString ChooseRecording(QWidget* owner) = 0;
    // A grid's own question before it deletes its current row.
    virtual bool ConfirmDeleteRecord(QWidget* owner) = 0;
};

// The real boxes and dialogs.
class QtDialogs : public UserDialogs {
public:
    void ShowMessage(QWidget* owner, const UserMessage& message) override;
    void About(QWidget* owner) override;
    QString ChooseDataSource(QWidget* owner, const QString& current) override;
    QString ChooseRecording(QWidget* owner) override;
    bool ConfirmDeleteRecord(QWidget* owner) override;
};

}  // namespace tovanel
