#include "tools/db/DbTool.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

#include <pthread.h>

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include "analysis/rc/RcReading.h"
#include "capture/Setup/AppPaths.h"
#include "capture/Setup/CaptureConfig.h"
#include "capture/Setup/IniFile.h"
#include "database/CodeDatabase.h"
#include "database/KeyCodes.h"
#include "database/KeySearch.h"
#include "database/TransmitList.h"
#include "tools/analyze/FirstBurst.h"
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
    // search, transmit, send
    InputFormat input = InputFormat::Durations;
    std::optional<std::string> unit;  // search: this unit only
    bool allUnits = false;
    std::optional<std::string> device;  // the transmitter instead of the settings file's
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
            if (v != "json" && v != "text") throw UsageError{"option --format: unknown format '" + v + "'"};
            o.json = v == "json";
        } else if (a == "--order") {
            const std::string& v = value();
            if (v != "name" && v != "code") throw UsageError{"option --order: unknown order '" + v + "'"};
            o.byCode = v == "code";
        } else if (a == "--sample") {
            o.sample = true;
        } else if (a == "--input") {
            const std::string& v = value();
            static const std::pair<const char*, InputFormat> formats[] = {{"durations", InputFormat::Durations},
                                                                          {"mode2", InputFormat::Mode2},
                                                                          {"wav", InputFormat::Wav},
                                                                          {"codetext", InputFormat::CodeText}};
            const auto* f = std::find_if(std::begin(formats), std::end(formats),
                                         [&](const auto& p) { return v == p.first; });
            if (f == std::end(formats)) throw UsageError{"option --input: unknown input format '" + v + "'"};
            o.input = f->second;
        } else if (a == "--unit") {
            o.unit = value();
        } else if (a == "--all-units") {
            o.allUnits = true;
        } else if (a == "--device") {
            o.device = value();
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError{"unknown option " + a};
        } else {
            o.words.push_back(a);
        }
    }
    if (o.unit && o.allUnits) throw UsageError{"options --unit and --all-units exclude each other"};
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
    Tool(const Options& o, std::ostream& out, std::ostream& err, const DbEnvironment& env)
        : o_(o), out_(out), err_(err), env_(env) {}

    int Run() {
        const std::vector<std::string>& w = o_.words;
        if (w.empty()) throw UsageError{"no command"};
        const std::string& cmd = w[0];
        if (cmd == "create") return Create();
        if (cmd == "list" && w.size() == 2 && w[1] == "units") return Open() ? ListUnits() : 1;
        if (cmd == "list" && w.size() == 3 && w[1] == "keys") return Open() ? ListKeys(w[2]) : 1;
        if (cmd == "show" && w.size() == 2) return Open() ? Show(w[1]) : 1;
        if (cmd == "recompute" && w.size() == 2) return Open() ? Recompute(w[1]) : 1;
        if (cmd == "search" && w.size() == 2) return Open() ? Search(w[1]) : 1;
        if (cmd == "transmit" && w.size() == 1) return Open() ? Transmit() : 1;
        if (cmd == "send" && w.size() == 2) return Open() ? SendKey(w[1]) : 1;
        throw UsageError{"unknown command or wrong arguments: " + cmd};
    }

private:
    int Fail(const std::string& message) {
        err_ << "tovanel-db: " << message << "\n";
        return 1;
    }

    bool Open() {
        const QString settings = Q(SettingsFilePath());
        const QString connection = o_.connection ? Q(*o_.connection) : ConfiguredConnectionString(S(settings));
        const OpenOutcome r = db_.Open(connection, settings);
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
        const int id = Q(arg).toInt(&ok);
        if (ok) {
            if (units.Locate(id)) return true;
            Fail("no unit with ID " + arg);
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
        Fail(found == 0 ? "no unit named '" + arg + "'" : "several units are named '" + arg + "': give its ID");
        return false;
    }

    int ListUnits() {
        std::map<int32_t, int> counts;
        QSqlQuery q(db_.ADOConnection.Db());
        if (!q.exec(QStringLiteral("SELECT \"UnitID\", COUNT(*) FROM \"tblCodes\" GROUP BY \"UnitID\"")))
            return Fail(S(ErrorText(q.lastError())));
        while (q.next()) counts[q.value(0).toInt()] = q.value(1).toInt();
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
                out_ << "{\"id\":" << k.Id() << ",\"unit_id\":" << k.Int("UnitID")
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
        const int id = Q(arg).toInt(&ok);
        if (!ok) {
            Fail("a key is given by its ID (see 'list keys UNIT'), not '" + arg + "'");
            return false;
        }
        QSqlQuery q(db_.ADOConnection.Db());
        q.prepare(QStringLiteral("SELECT \"UnitID\" FROM \"tblCodes\" WHERE \"ID\" = ?"));
        q.addBindValue(id);
        if (!q.exec()) {
            Fail(S(ErrorText(q.lastError())));
            return false;
        }
        if (!q.next()) {
            Fail("no key with ID " + arg);
            return false;
        }
        const int unit = q.value(0).toInt();
        if (!db_.ADOTableUnits.Locate(unit)) {
            Fail("key " + arg + " belongs to no unit (UnitID " + std::to_string(unit) + ")");
            return false;
        }
        if (!db_.ADOTableCodes.Locate(id)) {
            Fail("no key with ID " + arg);
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
            out_ << "{\"unit_id\":" << db_.ADOTableUnits.Int("ID") << ",\"unit\":" << JsonString(name)
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
        auto undo = [&] {
            db_.Close();
            if (createdFile) QFile::remove(file);
        };
        if (!CreateSchema(db_.ADOConnection, error)) {
            undo();
            return Fail("cannot write the schema: " + S(error));
        }
        int keys = 0;
        if (o_.sample) {
            // All demo units or none; on a failure the schema written above
            // goes too, so the database is left as it was found.
            try {
                for (TableView* v : db_.Views()) v->Open();
                db_.ADOConnection.Begin();
                keys = AddSampleData(db_);
                db_.ADOConnection.Commit();
            } catch (const DbError& e) {
                db_.ADOConnection.Rollback();
                for (TableView* v : db_.Views()) v->Close();
                for (const char* table : {"tblTransmit", "tblCodes", "tblUnits"}) {
                    try {
                        db_.ADOConnection.Exec(QStringLiteral("DROP TABLE ") + QuoteIdentifier(table));
                    } catch (const DbError&) {
                    }
                }
                undo();
                return Fail("cannot write the demo units: " + S(e.Text()));
            }
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

    // ---- search and transmit

    // The file's first frame analysed as a recording (protocol and
    // modulation automatic, the layout of the unit searched, or of the
    // first unit, which the window holds when it opens) and looked up as
    // the window's automatic search does.
    int Search(const std::string& file) {
        if (o_.unit && !FindUnit(*o_.unit)) return 1;
        if (o_.byCode) db_.ADOTableCodes.SetOrder(KeyOrderByCode);
        const TableView& units = db_.ADOTableUnits;
        const DecodeSettings layout = units.HasCurrent() ? UnitLayout(units.Current()) : DecodeSettings{};
        const CaptureConfig config = SettingsConfig();
        auto buffer = std::make_unique<FrameBuffer>();
        std::string error;
        std::ifstream stream;
        if (file != "-") {
            stream.open(file, std::ios::binary);
            if (!stream) {
                err_ << "tovanel-db: cannot open " << file << ": " << std::strerror(errno) << "\n";
                return 2;
            }
        }
        std::istream& in = file == "-" ? std::cin : stream;
        if (!AnalyzeFirstBurst(in, file == "-" ? "standard input" : file, o_.input, layout, config.PulseTime,
                               config.PulseLevel, *buffer, error)) {
            err_ << "tovanel-db: " << error << "\n";
            return 2;
        }
        const KeySearchValues values = SearchValuesOf(buffer->Slots[0]);
        const KeySearchResult r = SearchNextKey(db_, values, !o_.unit, false);
        if (!o_.json) {
            out_ << S(SearchStatusText(r)) << "\n";
        } else {
            out_ << "{\"found\":" << (r.found ? "true" : "false");
            if (r.found)
                out_ << ",\"unit_id\":" << db_.ADOTableUnits.Current().Id() << ",\"unit\":" << JsonString(r.unitName)
                     << ",\"key_id\":" << db_.ADOTableCodes.Current().Id() << ",\"key\":" << JsonString(r.keyName);
            out_ << ",\"protocol\":" << values.protocol << ",\"mode\":" << values.mode << ",\"adr\":" << values.adr
                 << ",\"cmd\":" << values.cmd << "}\n";
        }
        return r.found ? 0 : 3;
    }

    int Transmit() { return Send(TransmitListItems(db_)); }

    int SendKey(const std::string& key) { return FindKey(key) ? Send({CurrentKeyItem(db_)}) : 1; }

    // Sends on the sender's thread while this one waits for its end or for
    // SIGINT/SIGTERM, which stop it.
    int Send(std::vector<TransmitItem> items) {
        const std::string device = o_.device ? *o_.device : SettingsConfig().LircTransmitDevice;
        const size_t count = items.size();
        // The stop signals go to the waiting thread alone: blocked before
        // the sender's thread exists, which inherits the mask.
        sigset_t stopSignals, previous;
        sigemptyset(&stopSignals);
        sigaddset(&stopSignals, SIGINT);
        sigaddset(&stopSignals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
        std::unique_ptr<LircTransmitter> sender = env_.transmitter();
        std::atomic<bool> finished{false};
        TransmitOutcome outcome;
        const bool started = sender->Start(device, std::move(items), {}, [&](const TransmitOutcome& o) {
            outcome = o;
            finished = true;
        });
        if (started) env_.wait([&] { return finished.load(); });
        sender->Stop();
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        if (!started) return Fail("cannot start sending");
        if (outcome.status == TransmitOutcome::Status::Failed) return Fail(outcome.error);
        const bool stopped = outcome.status == TransmitOutcome::Status::Stopped;
        if (o_.json)
            out_ << "{\"device\":" << JsonQuoted(device) << ",\"entries\":" << count
                 << ",\"sent\":" << outcome.itemsSent << ",\"stopped\":" << (stopped ? "true" : "false") << "}\n";
        else
            out_ << (stopped ? "Stopped after " : "Sent ") << outcome.itemsSent << " of " << count
                 << (count == 1 ? " entry" : " entries") << " through " << device << "\n";
        return 0;
    }

    static CaptureConfig SettingsConfig() {
        CaptureConfig config;
        LoadCaptureConfig(IniFile(SettingsFilePath()), config);
        return config;
    }

    const Options& o_;
    std::ostream& out_;
    std::ostream& err_;
    const DbEnvironment& env_;
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
           "  search [--all-units | --unit UNIT] FILE\n"
           "                          look the first frame of a recording up as the\n"
           "                          window's search mode does: over all units, or the\n"
           "                          given unit's keys; prints the unit and key found\n"
           "  transmit                send the transmit list through the IR transmitter\n"
           "  send KEY                send one key (its ID) once\n"
           "\n"
           "Options:\n"
           "  --connection STRING     the database, e.g. Driver=QSQLITE;Database=PATH or\n"
           "                          Driver=QPSQL;Host=H;Port=P;Database=D;User=U;Password=W\n"
           "                          or FILE NAME=DSNFILE; default: key DB of section Setup\n"
           "                          of the settings file, else the data-link file\n"
           "                          tovanel.dsn beside the program\n"
           "  --format json|text      output format (default json)\n"
           "  --order name|code       key order for 'list keys' and 'search' (default name)\n"
           "  --input FORMAT          what FILE of 'search' holds, as tovanel-analyze reads\n"
           "                          it: durations (default), mode2, wav or codetext;\n"
           "                          '-' reads standard input\n"
           "  --device PATH           the transmitter, instead of [LIRC] TransmitDevice of\n"
           "                          the settings file (default /dev/lirc0)\n"
           "  --help                  this text\n"
           "\n"
           "Sending stops on Ctrl+C (SIGINT) or SIGTERM.\n"
           "\n"
           "Exit status: 0 done, 1 database or transmitter error or no such unit or key,\n"
           "2 bad usage or an unreadable recording, 3 'search' found nothing.\n";
}

int DbMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const DbEnvironment& environment) {
    try {
        const Options o = Parse(args);
        if (o.help) {
            out << DbUsage();
            return 0;
        }
        return Tool(o, out, err, environment).Run();
    } catch (const UsageError& e) {
        err << "tovanel-db: " << e.message << "\n" << DbUsage();
        return 2;
    } catch (const DbError& e) {
        err << "tovanel-db: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace tovanel
