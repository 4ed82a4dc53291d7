#include "tools/db/DbTool.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstring>
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
#include "capture/Setup/Quoting.h"
#include "analysis/Recognition.h"
#include "database/CodeDatabase.h"
#include "database/CodeFileExport.h"
#include "database/CodeFileImport.h"
#include "database/KeyCodes.h"
#include "database/KeySearch.h"
#include "database/Keys.h"
#include "database/TransmitList.h"
#include "database/Units.h"
#include "tools/analyze/AnalyzeTool.h"
#include "tools/analyze/FileInput.h"
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
    InputFormat input = InputFormat::Durations;  // FILE of the key commands
    std::vector<std::string> words;
    bool help = false;
    // search, transmit, send
    std::optional<std::string> unit;  // search: this unit only
    bool allUnits = false;
    std::optional<std::string> device;  // the transmitter instead of the settings file's
    // export: --format names the file's format, -o the file
    std::optional<std::string> format;
    std::optional<std::string> output;
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
            o.format = value();
        } else if (a == "-o" || a == "--output") {
            o.output = value();
        } else if (a == "--order") {
            const std::string& v = value();
            if (v != "name" && v != "code") throw UsageError{"option --order: unknown order " + Quoted(v)};
            o.byCode = v == "code";
        } else if (a == "--input") {
            const std::string& v = value();
            if (!ParseInputFormat(v, o.input)) throw UsageError{"option --input: unknown input format " + Quoted(v)};
        } else if (a == "--sample") {
            o.sample = true;
        } else if (a == "--unit") {
            o.unit = value();
        } else if (a == "--all-units") {
            o.allUnits = true;
        } else if (a == "--device") {
            o.device = value();
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError{"unknown option " + Shortened(a)};
        } else {
            o.words.push_back(a);
        }
    }
    if (o.unit && o.allUnits) throw UsageError{"options --unit and --all-units exclude each other"};
    const bool exporting = !o.words.empty() && o.words[0] == "export";
    if (o.output && !exporting) throw UsageError{"option -o is for 'export'"};
    if (o.format && !exporting) {
        if (*o.format != "json" && *o.format != "text")
            throw UsageError{"option --format: unknown format " + Quoted(*o.format)};
        o.json = *o.format == "json";
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
    Tool(const Options& o, std::ostream& out, std::ostream& err, const DbEnvironment& env)
        : o_(o), out_(out), err_(err), env_(env) {}

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
        if (cmd == "add-unit" && w.size() == 2) return Open(writing) ? AddUnitCommand(w[1]) : 1;
        if (cmd == "add-key" && w.size() == 4) return Open(writing) ? AddKeyCommand(w[1], w[2], w[3]) : 1;
        if (cmd == "update-key" && w.size() == 3) return Open(writing) ? UpdateKeyCommand(w[1], w[2]) : 1;
        if (cmd == "rename-key" && w.size() == 3) return Open(writing) ? RenameKeyCommand(w[1], w[2]) : 1;
        if (cmd == "delete-key" && w.size() == 2) return Open(writing) ? DeleteKeyCommand(w[1]) : 1;
        if (cmd == "duplicate-unit" && w.size() == 2) return Open(writing) ? DuplicateUnitCommand(w[1]) : 1;
        if (cmd == "delete-unit" && w.size() == 2) return Open(writing) ? DeleteUnitCommand(w[1]) : 1;
        if (cmd == "import" && w.size() == 2) return Open(writing) ? Import(w[1]) : 1;
        if (cmd == "export" && w.size() == 2) return ExportCommand(w[1]);
        if (cmd == "search" && w.size() == 2) return Open(reading) ? Search(w[1]) : 1;
        if (cmd == "transmit" && w.size() == 1) return Open(reading) ? Transmit() : 1;
        if (cmd == "send" && w.size() == 2) return Open(reading) ? SendKey(w[1]) : 1;
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
            connection = Q(DatabaseConnectionString(Settings()));
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
        if (!o_.json) out_ << KeyHeader;
        for (int i = 0; i < keys.RecordCount(); ++i) PrintKey(keys.RowAt(i));
        return 0;
    }

    static constexpr const char* KeyHeader = "ID\tName\tMode\tAdr\tCmd\tFrames\tLinux\n";

    // One key as 'list keys' prints it.
    void PrintKey(const TableRow& k) {
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

    // ---- unit and key commands: the window's code paths

    // The first key press of FILE ("-": standard input) in the format of
    // --input, analysed into `buffer` as a recording is, with automatic
    // protocol and modulation and `layout` for frames of no known protocol.
    // False after a message when it cannot be read or holds no frame.
    bool AnalyzeFile(const std::string& file, const DecodeSettings& layout, FrameBuffer& buffer) {
        std::unique_ptr<FdInputBuf> source;
        if (file == "-") {
            source = std::make_unique<FdInputBuf>(0, false);
        } else {
            int error = 0;
            source = FdInputBuf::Open(file, error);
            if (!source) {
                err_ << "tovanel-db: cannot open " << file << ": " << std::strerror(error) << "\n";
                return false;
            }
        }
        std::istream in(source.get());
        const std::string name = file == "-" ? "standard input" : file;
        const CaptureConfig config = SettingsConfig();
        std::string error;
        const bool analysed =
            AnalyzeFirstBurst(in, name, o_.input, layout, config.PulseTime, config.PulseLevel, buffer, error);
        if (const std::string failure = ReadFailure(in); !failure.empty()) {
            err_ << "tovanel-db: cannot read " << name << ": " << failure << "\n";
            return false;
        }
        if (!analysed) err_ << "tovanel-db: " << error << "\n";
        return analysed;
    }

    // FILE's first key press analysed as a recording of the current unit
    // would be: protocol and modulation automatic, the unit's layout. The
    // values a key stores of it, or a message and nothing when the file
    // cannot be read or the recording may not be stored.
    std::optional<StoredKey> KeyFromFile(const std::string& file) {
        auto buffer = std::make_unique<FrameBuffer>();
        if (!AnalyzeFile(file, UnitLayout(db_.ADOTableUnits.Current()), *buffer)) return std::nullopt;
        if (!ValidateFrames(*buffer)) {
            err_ << "tovanel-db: " << S(InvalidKeyText) << " (" << file << ")\n";
            return std::nullopt;
        }
        StoredKey key;
        QString why;
        if (!StoredKeyFromBuffer(*buffer, key, why)) {
            err_ << "tovanel-db: " << file << ": " << S(why) << "\n";
            return std::nullopt;
        }
        return key;
    }

    void PrintCurrentKey() {
        if (!o_.json) out_ << KeyHeader;
        PrintKey(db_.ADOTableCodes.Current());
    }

    int AddUnitCommand(const std::string& name) {
        const RowId id = AppendUnit(db_, Q(name));
        if (o_.json)
            out_ << "{\"id\":" << id << ",\"name\":" << JsonString(Q(name)) << "}\n";
        else
            out_ << "Added unit " << id << " \"" << name << "\"\n";
        return 0;
    }

    int AddKeyCommand(const std::string& unit, const std::string& name, const std::string& file) {
        if (!FindUnit(unit)) return 1;
        const std::optional<StoredKey> key = KeyFromFile(file);
        if (!key) return 2;
        AddKey(db_, Q(name), *key);
        PrintCurrentKey();
        return 0;
    }

    int UpdateKeyCommand(const std::string& keyId, const std::string& file) {
        if (!FindKey(keyId)) return 1;
        const std::optional<StoredKey> key = KeyFromFile(file);
        if (!key) return 2;
        UpdateKey(db_, *key);
        PrintCurrentKey();
        return 0;
    }

    int RenameKeyCommand(const std::string& keyId, const std::string& name) {
        if (!FindKey(keyId)) return 1;
        RenameKey(db_, Q(name));
        PrintCurrentKey();
        return 0;
    }

    int DeleteKeyCommand(const std::string& keyId) {
        if (!FindKey(keyId)) return 1;
        const QString name = db_.ADOTableCodes.Text("Name");
        const QString unit = db_.ADOTableUnits.Text("Name");
        const RowId unitId = db_.ADOTableUnits.Current().Id();
        const RowId id = db_.ADOTableCodes.Current().Id();
        DeleteKey(db_);
        if (o_.json)
            out_ << "{\"deleted_key\":" << id << ",\"name\":" << JsonString(name) << ",\"unit_id\":" << unitId
                 << "}\n";
        else
            out_ << "Deleted key " << id << " \"" << S(name) << "\" of unit \"" << S(unit) << "\"\n";
        return 0;
    }

    int DuplicateUnitCommand(const std::string& unit) {
        if (!FindUnit(unit)) return 1;
        const RowId source = db_.ADOTableUnits.Current().Id();
        const RowId copy = DuplicateUnit(db_);
        const QString name = db_.ADOTableUnits.Text("Name");
        const int keys = db_.ADOTableCodes.RecordCount();
        if (o_.json)
            out_ << "{\"id\":" << copy << ",\"name\":" << JsonString(name) << ",\"source_id\":" << source
                 << ",\"keys\":" << keys << "}\n";
        else
            out_ << "Added unit " << copy << " \"" << S(name) << "\" with " << keys << " keys\n";
        return 0;
    }

    int DeleteUnitCommand(const std::string& unit) {
        if (!FindUnit(unit)) return 1;
        const RowId id = db_.ADOTableUnits.Current().Id();
        const QString name = db_.ADOTableUnits.Text("Name");
        const int keys = DeleteUnit(db_);
        if (o_.json)
            out_ << "{\"deleted_unit\":" << id << ",\"name\":" << JsonString(name) << ",\"keys\":" << keys
                 << "}\n";
        else
            out_ << "Deleted unit " << id << " \"" << S(name) << "\" and its " << keys << " keys\n";
        return 0;
    }

    // ---- import and export

    int Import(const std::string& file) {
        const ImportReport r = ImportCodeFile(db_, Q(file), o_.unit ? Q(*o_.unit) : QString());
        if (!r.Stored()) {
            for (const QString& e : r.errors) err_ << "tovanel-db: " << S(e) << "\n";
            if (r.moreErrors > 0) err_ << "tovanel-db: ... and " << r.moreErrors << " more errors\n";
            for (const QString& s : r.skipped) err_ << "tovanel-db: skipped: " << S(s) << "\n";
            err_ << "tovanel-db: nothing was imported from " << file << "\n";
            return r.databaseFailed ? 1 : 2;
        }
        if (!o_.json) {
            out_ << S(ImportSummary(r)) << "\n" << S(ImportDetails(r)) << "\n";
            return 0;
        }
        out_ << "{\"file\":" << JsonString(r.file) << ",\"format\":" << JsonQuoted(CodeFileFormatName(r.format))
             << ",\"units\":[";
        for (size_t i = 0; i < r.units.size(); ++i) {
            const ImportedUnit& u = r.units[i];
            out_ << (i ? "," : "") << "{\"id\":" << u.id << ",\"name\":" << JsonString(u.name)
                 << ",\"line\":" << u.line << ",\"carrier\":" << JsonString(u.carrier) << ",\"keys\":" << u.keys
                 << "}";
        }
        out_ << "],\"keys\":[";
        for (size_t i = 0; i < r.keys.size(); ++i) {
            const ImportedKey& k = r.keys[i];
            out_ << (i ? "," : "") << "{\"id\":" << k.id << ",\"unit_id\":" << k.unitId
                 << ",\"name\":" << JsonString(k.name) << ",\"line\":" << k.line << ",\"protocol\":" << k.protocol
                 << ",\"protocol_name\":" << JsonQuoted(ProtocolName(k.protocol)) << ",\"mode\":" << k.mode
                 << ",\"adr\":" << k.adr << ",\"cmd\":" << k.cmd << ",\"decoded\":" << (k.decoded ? "true" : "false")
                 << ",\"note\":" << JsonString(k.note) << "}";
        }
        out_ << "],\"skipped\":[";
        for (qsizetype i = 0; i < r.skipped.size(); ++i) out_ << (i ? "," : "") << JsonString(r.skipped[i]);
        out_ << "]}\n";
        return 0;
    }

    // The unit in the format of --format, to -o FILE or standard output.
    int ExportCommand(const std::string& unit) {
        std::string words;
        for (const CodeFileFormatEntry& e : CodeFileFormats())
            if (e.write != nullptr) words += (words.empty() ? "" : "|") + std::string(e.word);
        if (!o_.format) throw UsageError{"export needs --format " + words};
        const CodeFileFormatEntry* format = FindCodeFileFormat(*o_.format);
        if (format == nullptr || format->write == nullptr)
            throw UsageError{"option --format: " + Quoted(*o_.format) + " is not written; the formats: " + words};
        if (!Open(Connection::Mode::ReadOnly) || !FindUnit(unit)) return 1;
        if (o_.output) {
            QString summary, error;
            if (!ExportCurrentUnit(db_, *format, Q(*o_.output), summary, error)) {
                err_ << "tovanel-db: " << S(error) << "\n";
                return 2;
            }
            out_ << S(summary) << "\n";
            return 0;
        }
        QStringList frameless;
        const ExportUnit exported = CurrentUnitForExport(db_, frameless);
        const std::string text = format->write(exported);
        if (text.empty()) {  // as with -o FILE
            err_ << "tovanel-db: No key of the unit \"" << exported.name << "\" can be written as " << format->name
                 << "\n";
            return 2;
        }
        out_ << text;
        if (!frameless.isEmpty())
            err_ << "tovanel-db: keys without a stored frame: " << S(frameless.join(QStringLiteral(", "))) << "\n";
        out_.flush();
        if (!out_) return Fail("cannot write the standard output");
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
        auto buffer = std::make_unique<FrameBuffer>();
        if (!AnalyzeFile(file, layout, *buffer)) return 2;
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

    // The settings file; a warning when it cannot be read, once per run.
    IniFile Settings() {
        std::string warning;
        IniFile ini = LoadSettingsFile(warning);
        if (!warning.empty() && !settingsWarned_) err_ << "tovanel-db: warning: " << warning << "\n";
        settingsWarned_ = true;
        return ini;
    }

    CaptureConfig SettingsConfig() {
        CaptureConfig config;
        LoadCaptureConfig(Settings(), config);
        return config;
    }

    const Options& o_;
    std::ostream& out_;
    std::ostream& err_;
    const DbEnvironment& env_;
    CodeDatabase db_;
    bool settingsWarned_ = false;
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
           "  add-unit NAME           a new unit (carrier \"???\")\n"
           "  add-key UNIT NAME FILE  a new key of a unit from the first key press in\n"
           "                          FILE, analysed as a recording of that unit would\n"
           "                          be (protocol and modulation automatic, the unit's\n"
           "                          layout); refused when it may not be stored\n"
           "  update-key KEY FILE     the same frames into an existing key (its ID)\n"
           "  rename-key KEY NAME     a new name for a key\n"
           "  delete-key KEY          delete a key\n"
           "  duplicate-unit UNIT     a copy of a unit, \"NAME (copy)\", with copies of its keys\n"
           "  delete-unit UNIT        delete a unit and all its keys\n"
           "  import FILE [--unit NAME]\n"
           "                          every unit and key of a code file (lircd.conf,\n"
           "                          mode2 or ir-ctl capture, durations, Pronto hex,\n"
           "                          .ir), the format read from the content; keys are\n"
           "                          stored as add-key stores them, all or nothing.\n"
           "                          --unit names the unit (a file of one unit)\n"
           "  export UNIT --format F [-o FILE]\n"
           "                          a unit as a code file: F is lircd (raw codes),\n"
           "                          pronto, ir, mode2 (for ir-ctl --send) or csv;\n"
           "                          to standard output without -o\n"
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
           "  --format json|text      output format (default json); for 'export' the\n"
           "                          code file's format\n"
           "  -o, --output FILE       'export' writes FILE (whole or not at all)\n"
           "  --order name|code       key order for 'list keys' and 'search' (default name)\n"
           "  --input FORMAT          what FILE holds, as tovanel-analyze reads it:\n"
           "                          durations (default), mode2, wav, codetext;\n"
           "                          '-' reads standard input\n"
           "  --device PATH           the transmitter, instead of [LIRC] TransmitDevice of\n"
           "                          the settings file (default /dev/lirc0)\n"
           "  --help                  this text\n"
           "\n"
           "A unit is given by its ID or exact name, a key by its ID. The key commands\n"
           "print the key as 'list keys' does. Sending stops on Ctrl+C (SIGINT) or\n"
           "SIGTERM.\n"
           "\n"
           "Exit status: 0 done, 1 database or transmitter error or no such unit or key,\n"
           "2 bad usage or a FILE that cannot be read, stored as a key, imported or\n"
           "written, 3 'search' found nothing.\n";
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
