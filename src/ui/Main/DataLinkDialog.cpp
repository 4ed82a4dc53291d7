#include "ui/Main/DataLinkDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tovanel {

namespace {

constexpr int PostgresDefaultPort = 5432;

bool SameFields(const ConnectionSettings& a, const ConnectionSettings& b) {
    if (a.engine != b.engine) return false;
    if (a.engine == Engine::Sqlite) return a.database == b.database;
    auto port = [](int p) { return p > 0 ? p : PostgresDefaultPort; };
    return a.host == b.host && port(a.port) == port(b.port) && a.database == b.database &&
           a.user == b.user && a.password == b.password && a.schema == b.schema;
}

}  // namespace

DataLinkDialog::DataLinkDialog(const QString& current, QWidget* parent) : QDialog(parent), current_(current) {
    setObjectName(QStringLiteral("DataLinkDialog"));
    setWindowTitle(QStringLiteral("Data base"));

    driver_ = new QComboBox(this);
    driver_->setObjectName(QStringLiteral("DriverCombo"));
    driver_->addItems({QStringLiteral("SQLite file"), QStringLiteral("PostgreSQL server")});

    auto* sqlitePage = new QWidget(this);
    auto* sqliteForm = new QFormLayout(sqlitePage);
    sqliteForm->setContentsMargins(0, 0, 0, 0);
    file_ = new QLineEdit(sqlitePage);
    file_->setObjectName(QStringLiteral("FileEdit"));
    file_->setMinimumWidth(280);
    auto* browse = new QPushButton(QStringLiteral("Browse..."), sqlitePage);
    browse->setObjectName(QStringLiteral("BrowseButton"));
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(file_, 1);
    fileRow->addWidget(browse);
    sqliteForm->addRow(QStringLiteral("Database file:"), fileRow);

    auto* pgPage = new QWidget(this);
    auto* pgForm = new QFormLayout(pgPage);
    pgForm->setContentsMargins(0, 0, 0, 0);
    host_ = new QLineEdit(pgPage);
    host_->setObjectName(QStringLiteral("HostEdit"));
    host_->setPlaceholderText(QStringLiteral("localhost"));
    port_ = new QSpinBox(pgPage);
    port_->setObjectName(QStringLiteral("PortEdit"));
    port_->setRange(1, 65535);
    port_->setValue(PostgresDefaultPort);
    database_ = new QLineEdit(pgPage);
    database_->setObjectName(QStringLiteral("DatabaseEdit"));
    user_ = new QLineEdit(pgPage);
    user_->setObjectName(QStringLiteral("UserEdit"));
    password_ = new QLineEdit(pgPage);
    password_->setObjectName(QStringLiteral("PasswordEdit"));
    password_->setEchoMode(QLineEdit::Password);
    pgForm->addRow(QStringLiteral("Host:"), host_);
    pgForm->addRow(QStringLiteral("Port:"), port_);
    pgForm->addRow(QStringLiteral("Database:"), database_);
    pgForm->addRow(QStringLiteral("User:"), user_);
    pgForm->addRow(QStringLiteral("Password:"), password_);

    pages_ = new QStackedWidget(this);
    pages_->addWidget(sqlitePage);
    pages_->addWidget(pgPage);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* top = new QFormLayout;
    top->addRow(QStringLiteral("Database engine:"), driver_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(pages_);
    layout->addStretch(1);
    layout->addWidget(buttons);

    connect(driver_, &QComboBox::currentIndexChanged, pages_, &QStackedWidget::setCurrentIndex);
    connect(browse, &QPushButton::clicked, this, &DataLinkDialog::BrowseFile);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // A string that cannot be read starts the dialog on an empty SQLite file.
    QString error;
    if (!ResolveConnectionString(current, initial_, error)) initial_ = ConnectionSettings{};
    SetFields(initial_);
}

ConnectionSettings DataLinkDialog::Fields() const {
    ConnectionSettings s;
    if (driver_->currentIndex() == 0) {
        s.engine = Engine::Sqlite;
        const QString path = file_->text().trimmed();
        s.database = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
        return s;
    }
    s.engine = Engine::Postgres;
    s.host = host_->text().trimmed();
    s.port = port_->value();
    s.database = database_->text().trimmed();
    s.user = user_->text().trimmed();
    s.password = password_->text();
    s.schema = initial_.engine == Engine::Postgres ? initial_.schema : QString();
    return s;
}

void DataLinkDialog::SetFields(const ConnectionSettings& s) {
    driver_->setCurrentIndex(s.engine == Engine::Sqlite ? 0 : 1);
    pages_->setCurrentIndex(driver_->currentIndex());
    if (s.engine == Engine::Sqlite) {
        file_->setText(s.database);
        return;
    }
    host_->setText(s.host);
    port_->setValue(s.port > 0 ? s.port : PostgresDefaultPort);
    database_->setText(s.database);
    user_->setText(s.user);
    password_->setText(s.password);
}

QString DataLinkDialog::ConnectionString() const { return FormatConnectionString(Fields()); }

QString DataLinkDialog::Result() const {
    if (result() != QDialog::Accepted || SameFields(Fields(), initial_)) return current_;
    return ConnectionString();
}

void DataLinkDialog::BrowseFile() {
    const QString start = file_->text().isEmpty() ? QString() : QFileInfo(file_->text()).absolutePath();
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("SQLite database"), start,
                                                      QStringLiteral("SQLite databases (*.db *.sqlite *.sqlite3);;All files (*)"));
    if (!path.isEmpty()) file_->setText(path);
}

}  // namespace tovanel
