// Choosing the code database: an SQLite file, or a PostgreSQL server with
// host, port, database, user and password. Starts from the current
// connection string and gives back a new one, or the current one unchanged
// when the user cancels or changes nothing.
#pragma once

#include <QDialog>
#include <QString>

#include "database/Connection.h"

class QComboBox;
class QLineEdit;
class QSpinBox;
class QStackedWidget;

namespace tovanel {

class DataLinkDialog : public QDialog {
public:
    explicit DataLinkDialog(const QString& current, QWidget* parent = nullptr);

    // The connection string the dialog's fields describe.
    QString ConnectionString() const;
    // The string for the dialog's result: the fields' string after OK,
    // when they differ from what the current string describes; otherwise
    // the current string as it was.
    QString Result() const;

    ConnectionSettings Fields() const;
    void SetFields(const ConnectionSettings& settings);

private:
    void BrowseFile();

    QString current_;
    ConnectionSettings initial_;
    QComboBox* driver_;
    QStackedWidget* pages_;
    QLineEdit* file_;
    QLineEdit* host_;
    QSpinBox* port_;
    QLineEdit* database_;
    QLineEdit* user_;
    QLineEdit* password_;
};

}  // namespace tovanel
