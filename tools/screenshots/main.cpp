// tovanel-screenshots: starts the program as `tovanel` does (settings file,
// database, window) and saves pictures of its windows, for the README and
// for looking over the layout after a change. Run it under a display (or
// xvfb-run); scripts/screenshots prepares a demo database for it.
//
//   tovanel-screenshots --readme FILE.png   the window with a decoded NEC key
//   tovanel-screenshots --all DIR           every page and dialog
#include <cstring>
#include <functional>
#include <iostream>
#include <string>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QTabWidget>
#include <QThread>

#include "ui/Main/DataLinkDialog.h"
#include "ui/Main/MainController.h"
#include "ui/Main/MainForm.h"
#include "ui/Main/Program.h"
#include "ui/Main/SetupForm.h"

namespace {

using namespace tovanel;

void Settle(int ms = 300) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

bool Save(QWidget& w, const QString& path) {
    if (!w.grab().save(path)) {
        std::cerr << "tovanel-screenshots: cannot write " << path.toStdString() << '\n';
        return false;
    }
    std::cout << path.toStdString() << '\n';
    return true;
}

// Makes the unit named `unit` current, then its key named `key`.
void Choose(MainController& c, const QString& unit, const QString& key) {
    TableView& units = c.Db().ADOTableUnits;
    for (int n = 1; n <= units.RecordCount(); ++n)
        if (units.RowAt(n - 1).Text("Name") == unit) units.SetRecNo(n);
    TableView& keys = c.Db().ADOTableCodes;
    for (int n = 1; n <= keys.RecordCount(); ++n)
        if (keys.RowAt(n - 1).Text("Name") == key) keys.SetRecNo(n);
}

template <class T>
T* Child(QWidget& parent, const char* name) {
    return parent.findChild<T*>(QString::fromLatin1(name));
}

// Wide enough for the oscillogram to show most of an NEC frame.
constexpr QSize ReadmeSize(1280, 720);

int Readme(Program& program, const QString& file) {
    program.MainForm().resize(ReadmeSize);
    Choose(program.Controller(), QStringLiteral("Living-room TV"), QStringLiteral("Power"));
    Settle();
    return Save(program.MainForm(), file) ? 0 : 1;
}

int All(Program& program, const QString& dir) {
    QDir().mkpath(dir);
    TMainForm& form = program.MainForm();
    bool ok = true;
    auto* pages = Child<QTabWidget>(form, "PageControl1");
    auto* results = Child<QTabWidget>(form, "PageControl2");
    Choose(program.Controller(), QStringLiteral("Living-room TV"), QStringLiteral("Power"));
    Settle();
    ok &= Save(form, dir + QStringLiteral("/main-keys-osc.png"));
    results->setCurrentIndex(1);
    Settle();
    ok &= Save(form, dir + QStringLiteral("/main-keys-transmit.png"));
    results->setCurrentIndex(0);
    pages->setCurrentIndex(0);
    Settle();
    ok &= Save(form, dir + QStringLiteral("/main-description.png"));
    pages->setCurrentIndex(1);

    // The File menu, opened below its title.
    if (auto* file = Child<QMenu>(form, "File1")) {
        file->popup(form.mapToGlobal(QPoint(0, form.menuBar()->height())));
        Settle(200);
        ok &= Save(*file, dir + QStringLiteral("/main-file-menu.png"));
        file->hide();
    }

    // The setup dialog on each receiver's panel, without starting one.
    TSetupForm& setup = program.SetupForm();
    const char* const panels[] = {"com", "sound", "usb", "usb2", "lirc"};
    for (int s = 1; s <= 5; ++s) {
        if (auto* radio = Child<QAbstractButton>(setup, QStringLiteral("SourceButton%1").arg(s).toLatin1().constData()))
            radio->click();
        setup.adjustSize();
        Settle(100);
        ok &= Save(setup, dir + QStringLiteral("/setup-%1.png").arg(QString::fromLatin1(panels[s - 1])));
    }

    DataLinkDialog link(program.Controller().ConnectionString(), &form);
    link.adjustSize();
    Settle(100);
    ok &= Save(link, dir + QStringLiteral("/datalink-sqlite.png"));
    Child<QComboBox>(link, "DriverCombo")->setCurrentIndex(1);
    Settle(100);
    ok &= Save(link, dir + QStringLiteral("/datalink-postgresql.png"));
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "--readme") != 0 && std::strcmp(argv[1], "--all") != 0)) {
        std::cerr << "Usage: tovanel-screenshots --readme FILE.png | --all DIR\n";
        return 2;
    }
    if (!HasDisplay()) {
        std::cerr << "tovanel-screenshots: no display; run it as: xvfb-run " << argv[0] << " ...\n";
        return 1;
    }
    TovanelApplication app(argc, argv);
    Program program;
    program.MainForm().show();
    Settle(500);  // the window opens the database once it is shown
    const QString target = QString::fromLocal8Bit(argv[2]);
    const int status = std::strcmp(argv[1], "--readme") == 0 ? Readme(program, target) : All(program, target);
    program.MainForm().close();
    return status;
}
