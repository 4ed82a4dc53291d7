#include "tools/db/DbTool.h"

#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include "analysis/rc/RcReading.h"
#include "capture/Setup/AppPaths.h"
#include "capture/Setup/CaptureConfig.h"
#include "capture/Setup/Quoting.h"
#include "database/CodeDatabase.h"
#include "database/KeyCodes.h"
#include "tools/analyze/FrameReport.h"
#include "tools/db/SampleData.h"

namespace tovanel {

namespace {

struct Options {
    std::optional<std::string> connection;
    bool json = true;
    bool sample = false;
    bool byCode = false;
    std::vector<std::string> words;
    bool help = false;
};

struct UsageError {
    std::string message;
};

Options Parse(const std::vector<std::string>& args) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError{"option " + a + " needs a value"};
            return args[++i];
        };
        if (a == "--connection") {
            o.connection = value();
        } else if (a == "--format") {
            const std::string& v = value();
            if (v != "json" && v != "text") throw UsageError{"option --format: unknown format " + Quoted(v)};
            o.json = v == "json";
        } else if (a == "--order") {
            const std::string& v = value();
            if (v != "name" && v != "code") throw UsageError{"option --order: unknown order " + Quoted(v)};
            o.byCode = v == "code";
        } else if (a == "--sample") {
            o.sample = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError{"unknown option " + Shortened(a)};
        } else {
            o.words.push_back(a);
        }
    }
    return o;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

std::string JsonString(const QString& text) { return JsonQuoted(text.toStdString()); }

// A name in tab-separated text: tabs, line breaks and backslashes escaped.
std::string Field(const QString& text) {
    std::string out;
    for (char c : text.toStdString()) {
        switch (c) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
        }
    }
    return out;
}

class Tool {
public:
    Tool(const Options& o, std::ostream& out, std::ostream& err) : o_(o), out_(out), err_(err) {}

    int Run() {
        const std::vector<std::string>& w = o_.words;
        if (w.empty()) throw UsageError{"no command"};
        const std::string& cmd = w[0];
        if (cmd == "create") return Create();
        // Commands that only read open the database read-only, so that a
        // database that cannot be written can still be listed and shown.
        constexpr auto reading = Connection::Mode::ReadOnly, writing = Connection::Mode::OpenExisting;
        if (cmd == "list" && w.size() == 2 && w[1] == "units") return Open(reading) ? ListUnits() : 1;
        if (cmd == "list" && w.size() == 3 && w[1] == "keys") return Open(reading) ? ListKeys(w[2]) : 1;
        if (cmd == "show" && w.size() == 2) return Open(reading) ? Show(w[1]) : 1;
        if (cmd == "recompute" && w.size() == 2) return Open(writing) ? Recompute(w[1]) : 1;
        throw UsageError{"unknown command or wrong arguments: " + Shortened(cmd)};
    }

private:
    int Fail(const std::string& message) {
        err_ << "tovanel-db: " << message << "\n";
        return 1;
    }

    bool Open(Connection::Mode mode) {
        const QString settings = Q(SettingsFilePath());
        QString connection;
        if (o_.connection) {
            connection = Q(*o_.connection);
        } else {
            std::string warning;
            const IniFile ini = LoadSettingsFile(warning);
            if (!warning.empty()) err_ << "tovanel-db: warning: " << warning << "\n";
            connection = Q(DatabaseConnectionString(ini));
        }
        const OpenOutcome r = db_.Open(connection, settings, mode);
        if (r.ok) return true;
        std::string message = S(r.caption) + ": ";
        if (r.caption == QStringLiteral("Error open data base"))
            message += (o_.connection ? std::string("cannot open the database") : S(r.text)) + " (" + S(r.detail) + ")";
        else
            message += S(r.text);
        Fail(message);
        return false;
    }

    // A unit by its ID or its exact name; makes it current.
    bool FindUnit(const std::string& arg) {
        TableView& units = db_.ADOTableUnits;
        bool ok = false;
        const RowId id = Q(arg).toLongLong(&ok);
        if (ok) {
            if (units.Locate(id)) return true;
            Fail("no unit with ID " + Shortened(arg));
            return false;
        }
        int found = 0, where = 0;
        for (int i = 0; i < units.RecordCount(); ++i)
            if (units.RowAt(i).Text("Name") == Q(arg)) {
                ++found;
                where = i;
            }
        if (found == 1) {
            units.SetRecNo(where + 1);
            return true;
        }
        Fail(found == 0 ? "no unit named " + Quoted(arg) : "several units are named " + Quoted(arg) + ": give its ID");
        return false;
    }

    int ListUnits() {
        std::map<RowId, int> counts;
        QSqlQuery q(db_.ADOConnection.Db());
        if (!q.exec(QStringLiteral("SELECT \"UnitID\", COUNT(*) FROM \"tblCodes\" GROUP BY \"UnitID\"")))
            return Fail(S(ErrorText(q.lastError())));
        while (q.next()) counts[q.value(0).toLongLong()] = q.value(1).toInt();
        TableView& units = db_.ADOTableUnits;
        if (!o_.json) out_ << "ID\tName\tProtocol\tModulation\tCarrier\tKeys\n";
        for (int i = 0; i < units.RecordCount(); ++i) {
            const TableRow& u = units.RowAt(i);
            const int keys = counts.count(u.Id()) ? counts[u.Id()] : 0;
            if (o_.json)
                out_ << "{\"id\":" << u.Id() << ",\"name\":" << JsonString(u.Text("Name"))
                     << ",\"protocol\":" << u.Int("Protocol") << ",\"modulation\":" << u.Int("Modulation")
                     << ",\"carrier\":" << JsonString(u.Text("Carrier")) << ",\"keys\":" << keys << "}\n";
            else
                out_ << u.Id() << '\t' << Field(u.Text("Name")) << '\t' << u.Int("Protocol") << '\t'
                     << u.Int("Modulation") << '\t' << Field(u.Text("Carrier")) << '\t' << keys << '\n';
        }
        return 0;
    }

    int ListKeys(const std::string& unit) {
        if (!FindUnit(unit)) return 1;
        TableView& keys = db_.ADOTableCodes;
        if (o_.byCode) keys.SetOrder(KeyOrderByCode);
        if (!o_.json) out_ << "ID\tName\tMode\tAdr\tCmd\tFrames\tLinux\n";
        for (int i = 0; i < keys.RecordCount(); ++i) {
            const TableRow& k = keys.RowAt(i);
            int frames = 0;
            for (const char* c : {"Code1", "Code2", "Code3", "Code4"}) frames += k.Text(c).size() >= 4 ? 1 : 0;
            const std::optional<RcReading> rc = KeyRcReading(k);
            if (o_.json)
                out_ << "{\"id\":" << k.Id() << ",\"unit_id\":" << k.Value("UnitID").toLongLong()
                     << ",\"name\":" << JsonString(k.Text("Name")) << ",\"mode\":" << k.Int("Mode")
                     << ",\"adr\":" << k.Int("Adr") << ",\"cmd\":" << k.Int("Cmd")
                     << ",\"adr_text\":" << JsonString(k.Text("strAdr"))
                     << ",\"cmd_text\":" << JsonString(k.Text("strCmd")) << ",\"frames\":" << frames << ","
                     << RcJsonMembers(rc) << "}\n";
            else
                out_ << k.Id() << '\t' << Field(k.Text("Name")) << '\t' << k.Int("Mode") << '\t'
                     << S(k.Text("strAdr")) << '\t' << S(k.Text("strCmd")) << '\t' << frames << '\t'
                     << RcReadingText(rc) << '\n';
        }
        return 0;
    }

    // Makes a key (by ID) and its unit current.
    bool FindKey(const std::string& arg) {
        bool ok = false;
        const RowId id = Q(arg).toLongLong(&ok);
        if (!ok) {
            Fail("a key is given by its ID (see 'list keys UNIT'), not " + Quoted(arg));
            return false;
        }
        QSqlQuery q(db_.ADOConnection.Db());
        q.prepare(QStringLiteral("SELECT \"UnitID\" FROM \"tblCodes\" WHERE \"ID\" = ?"));
        q.addBindValue(qlonglong{id});
        if (!q.exec()) {
            Fail(S(ErrorText(q.lastError())));
            return false;
        }
        if (!q.next()) {
            Fail("no key with ID " + Shortened(arg));
            return false;
        }
        const RowId unit = q.value(0).toLongLong();
        if (!db_.ADOTableUnits.Locate(unit)) {
            Fail("key " + Shortened(arg) + " belongs to no unit (UnitID " + std::to_string(unit) + ")");
            return false;
        }
        if (!db_.ADOTableCodes.Locate(id)) {
            Fail("no key with ID " + Shortened(arg));
            return false;
        }
        return true;
    }

    int Show(const std::string& key) {
        if (!FindKey(key)) return 1;
        const DecodeSettings layout = UnitLayout(db_.ADOTableUnits.Current());
        auto buffer = std::make_unique<FrameBuffer>();
        ResetFrameBuffer(*buffer);
        const auto decoded = LoadKeyIntoBuffer(db_, *buffer, layout);
        if (!o_.json)
            out_ << "Unit \"" << S(db_.ADOTableUnits.Text("Name")) << "\", key \""
                 << S(db_.ADOTableCodes.Text("Name")) << "\"\n\n";
        for (int s = 0; s < 4; ++s) {
            const CodeFrame& f = buffer->Slots[s];
            if (f.Count == 0) continue;
            const std::optional<RcReading> rc = ReadRcSlot(*buffer, s);
            if (o_.json)
                out_ << FrameJson(f, decoded[static_cast<size_t>(s)], rc) << '\n';
            else
                out_ << FrameText(f, decoded[static_cast<size_t>(s)], rc) << '\n';
        }
        return 0;
    }

    int Recompute(const std::string& unit) {
        if (!FindUnit(unit)) return 1;
        const int n = RecomputeUnitKeys(db_, UnitLayout(db_.ADOTableUnits.Current()));
        const QString name = db_.ADOTableUnits.Text("Name");
        if (o_.json)
            out_ << "{\"unit_id\":" << db_.ADOTableUnits.Current().Id() << ",\"unit\":" << JsonString(name)
                 << ",\"keys\":" << n << "}\n";
        else
            out_ << "Recomputed " << n << " keys of unit \"" << S(name) << "\"\n";
        return 0;
    }

    int Create() {
        const std::vector<std::string>& w = o_.words;
        QString error;
        bool createdFile = false;
        QString file;
        if (o_.connection) {
            if (w.size() != 1) throw UsageError{"create --connection STRING takes no path"};
            if (!db_.ADOConnection.Open(Q(*o_.connection), &error))
                return Fail("cannot open the database: " + S(error));
        } else {
            if (w.size() != 2) throw UsageError{"create needs a PATH or --connection STRING"};
            ConnectionSettings s;
            s.engine = Engine::Sqlite;
            file = QFileInfo(Q(w[1])).absoluteFilePath();
            s.database = file;
            if (!db_.ADOConnection.Open(s, &error, Connection::Mode::CreateNew))
                return Fail("cannot create " + w[1] + ": " + S(error));
            createdFile = true;
        }
        // The schema and the demo units in one transaction: on a failure
        // the database is left as it was found (and a new file goes).
        int keys = 0;
        try {
            keys = WriteNewDatabase(db_, o_.sample);
        } catch (const DbError& e) {
            db_.Close();
            if (createdFile) QFile::remove(file);
            return Fail((o_.sample ? "cannot write the schema and the demo units: " : "cannot write the schema: ") +
                        S(e.Text()));
        }
        const std::string where = o_.connection ? std::string("the database") : w[1];
        if (o_.json)
            out_ << "{\"created\":" << JsonString(Q(where)) << ",\"units\":" << db_.ADOTableUnits.RecordCount()
                 << ",\"keys\":" << keys << "}\n";
        else
            out_ << "Created " << where
                 << (o_.sample ? " with " + std::to_string(db_.ADOTableUnits.RecordCount()) + " demo units and " +
                                     std::to_string(keys) + " keys"
                               : std::string(" (empty)"))
                 << "\n";
        return 0;
    }

    const Options& o_;
    std::ostream& out_;
    std::ostream& err_;
    CodeDatabase db_;
};

}  // namespace

const char* DbUsage() {
    return "Usage: tovanel-db [OPTIONS] COMMAND\n"
           "The code database from the command line.\n"
           "\n"
           "Commands:\n"
           "  list units              the units by name: ID, name, protocol, modulation,\n"
           "                          carrier, number of keys\n"
           "  list keys UNIT          the keys of a unit (its ID or exact name), with the\n"
           "                          kernel's reading of each (protocol and scancode)\n"
           "  show KEY                the frames of a key (its ID) analysed, printed as\n"
           "                          tovanel-analyze prints frames\n"
           "  recompute UNIT          analyse the first frame of every key of a unit anew\n"
           "                          and store its mode, address and command\n"
           "  create PATH             a new SQLite database with the empty schema\n"
           "  create --connection S   write the empty schema into an existing database\n"
           "  create --sample ...     the same with a few demo units and keys\n"
           "\n"
           "Options:\n"
           "  --connection STRING     the database, e.g. Driver=QSQLITE;Database=PATH or\n"
           "                          Driver=QPSQL;Host=H;Port=P;Database=D;User=U;Password=W\n"
           "                          or FILE NAME=DSNFILE; default: key DB of section Setup\n"
           "                          of the settings file, else the data-link file\n"
           "                          tovanel.dsn beside the program\n"
           "  --format json|text      output format (default json)\n"
           "  --order name|code       key order for 'list keys' (default name)\n"
           "  --help                  this text\n"
           "\n"
           "Exit status: 0 done, 1 database error or no such unit or key, 2 bad usage.\n";
}

int DbMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        const Options o = Parse(args);
        if (o.help) {
            out << DbUsage();
            return 0;
        }
        return Tool(o, out, err).Run();
    } catch (const UsageError& e) {
        err << "tovanel-db: " << e.message << "\n" << DbUsage();
        return 2;
    } catch (const DbError& e) {
        err << "tovanel-db: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace tovanel
