// The error of a failed database operation; its text is the database's own
// message, or ours where the database gives none.
#pragma once

#include <stdexcept>
#include <string>

#include <QSqlError>
#include <QString>

namespace tovanel {

class DbError : public std::runtime_error {
public:
    explicit DbError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString Text() const { return QString::fromStdString(what()); }
};

// The most telling text of a driver error: the database's message where it
// has one, otherwise the driver's.
inline QString ErrorText(const QSqlError& e) {
    const QString db = e.databaseText().trimmed();
    const QString driver = e.driverText().trimmed();
    if (db.isEmpty()) return driver.isEmpty() ? QStringLiteral("unknown database error") : driver;
    return db;
}

}  // namespace tovanel
