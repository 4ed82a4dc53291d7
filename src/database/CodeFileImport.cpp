#include "database/CodeFileImport.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

#include <QFileInfo>

#include "analysis/Recognition.h"
#include "capture/FrameAssembler.h"
#include "database/CodeDatabase.h"
#include "database/CodeText.h"
#include "database/KeyCodes.h"
#include "database/Keys.h"
#include "database/Units.h"

namespace tovanel {

namespace {

// A key keeps the frames of slots 0..3, as "Add" stores a recording.
constexpr size_t StoredFrames = 4;
// The second key view holds every row it posted; re-read now and then
// (its IDs only), it lets go of them.
constexpr int KeysBetweenRequeries = 1000;

const QString NameShortened = QStringLiteral("name shortened to 64 characters");

QString Quoted(const QString& name) { return QLatin1Char('\'') + name + QLatin1Char('\''); }

// At most `MaxNameLength` characters (code points, as the engines count).
QString FitName(const QString& name, bool& shortened) {
    const QList<uint> points = name.toUcs4();
    shortened = points.size() > MaxNameLength;
    if (!shortened) return name;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData()), MaxNameLength);
}

// The Carrier column holds whole kHz, three digits.
QString CarrierText(int32_t hz) {
    if (hz <= 0) hz = DefaultCarrierHz;
    return QString::number(std::clamp<long>(std::lround(hz / 1000.0), 1, 999));
}

void PostEdits(TableView& view) {
    if (view.state() == TableView::State::Edit || view.state() == TableView::State::Insert) view.Post();
}

// The sink between a reader and the database: units and keys go into the
// second views (units3, codes3) as they arrive, so that the visible lists
// do not move and nothing but the reader's own key is held in memory.
// After the first error nothing more is written; the caller rolls back.
class Importer : public CodeFileSink {
public:
    Importer(CodeDatabase& db, ImportReport& report, QString forcedName, QString fallbackName)
        : db_(db),
          report_(report),
          forcedName_(std::move(forcedName)),
          fallbackName_(std::move(fallbackName)),
          recording_(std::make_unique<SharedFrameBuffer>()) {}

    bool Failed() const { return failed_; }

    void BeginUnit(const CodeFileUnit& unit) override {
        if (failed_) return;
        if (!forcedName_.isEmpty() && ++unitsBegun_ > 1)
            return Fail(unit.line, "a second unit (" + std::string(unit.name.empty() ? "unnamed" : unit.name) +
                                       "): one name was given for the file's unit, and it holds more than one");
        unit_ = unit;
        unitStored_ = false;
    }

    void AddKey(const CodeFileKey& key) override {
        if (failed_) return;
        const QString what = QStringLiteral("key ") + Quoted(QString::fromStdString(key.name));
        if (report_.keys.size() >= static_cast<size_t>(MaxImportKeys))
            return Fail(key.line, "more than " + std::to_string(MaxImportKeys) +
                                      " keys; a file is imported up to that many");
        if (key.frames.empty()) return Skip(key.line, what, QStringLiteral("it has no frame"));
        const size_t frames = std::min(key.frames.size(), StoredFrames);
        for (size_t k = 0; k < frames; ++k) {
            const size_t count = key.frames[k].durations.size();
            if (count > static_cast<size_t>(MaxCodeTextDurations))
                return Skip(key.line, what,
                            QStringLiteral("frame %1 has %2 durations; a stored frame holds at most %3")
                                .arg(k + 1)
                                .arg(count)
                                .arg(MaxCodeTextDurations));
        }
        try {
            if (!unitStored_) StoreUnit();
            ImportedKey imported;
            StoredKey stored;
            QString why;
            if (!Analyze(key, frames, imported, stored, why)) return Skip(key.line, what, why);
            bool shortened = false;
            imported.name = FitName(QString::fromStdString(key.name), shortened);
            if (shortened) imported.note = AddNote(imported.note, NameShortened);
            imported.line = key.line;
            imported.unitId = report_.units.back().id;
            imported.id = PostNewKey(db_.ADOTableCodes3, imported.name, stored);
            ++report_.units.back().keys;
            report_.keys.push_back(std::move(imported));
            if (++sinceRequery_ >= KeysBetweenRequeries) {
                db_.ADOTableCodes3.Requery();
                sinceRequery_ = 0;
            }
        } catch (const DbError& e) {
            report_.databaseFailed = true;
            Fail(key.line, "the database refused " + what.toStdString() + ": " + e.what());
        }
    }

    void Skip(int line, const std::string& what, const std::string& reason) override {
        Skip(line, QString::fromStdString(what), QString::fromStdString(reason));
    }

    void Error(int line, const std::string& message) override { Fail(line, message); }

    // An error of the file (line > 0) or about it (line 0).
    void Fail(int line, const std::string& message) {
        failed_ = true;
        if (report_.errors.size() >= MaxReportedErrors) {
            ++report_.moreErrors;
            return;
        }
        const QString text = QString::fromStdString(message);
        report_.errors << (line > 0 ? QStringLiteral("%1: line %2: %3").arg(report_.file, QString::number(line), text)
                                    : text);
    }

private:
    static QString AddNote(const QString& notes, const QString& note) {
        return notes.isEmpty() ? note : notes + QStringLiteral("; ") + note;
    }

    void Skip(int line, const QString& what, const QString& reason) {
        report_.skipped << QStringLiteral("line %1: %2: %3").arg(line).arg(what, reason);
    }

    // The unit row, when its first key is about to be stored: a unit of
    // which nothing is stored is not created.
    void StoreUnit() {
        ImportedUnit unit;
        unit.line = unit_.line;
        bool shortened = false;
        const QString name = !forcedName_.isEmpty() ? forcedName_
                             : !unit_.name.empty()  ? QString::fromStdString(unit_.name)
                                                    : fallbackName_;
        unit.name = FitName(name, shortened);
        unit.carrier = CarrierText(unit_.carrierHz);
        unit.id = PostNewUnit(db_.ADOTableUnits3, unit.name, unit.carrier);
        if (shortened) unit.note = NameShortened;
        // Automatic protocol and modulation, and the new unit's layout: a
        // recording of this unit would be analysed so.
        DecodeSettings settings = UnitLayout(db_.ADOTableUnits3.Current());
        settings.ForcedModulation = settings.ForcedProtocol = 0;
        settings_.Set(settings);
        report_.units.push_back(unit);
        unitStored_ = true;
        sinceRequery_ = 0;
    }

    // The first frames of the key press through a frame assembler, as a
    // receiver delivers a burst, and what "Add" would store of them.
    bool Analyze(const CodeFileKey& key, size_t frames, ImportedKey& imported, StoredKey& stored, QString& why) {
        // A clock that stands still past the burst pause: every key is a
        // burst of its own, and the file's gaps alone give the periods.
        FrameAssembler assembler(*recording_, settings_, [] { return uint32_t{BurstPauseMs + 1}; });
        int64_t previousLength = 0;
        for (size_t k = 0; k < frames; ++k) {
            const std::vector<int32_t>& d = key.frames[k].durations;
            const int64_t gap =
                k == 0 ? 0 : std::clamp<int64_t>(key.frames[k].period - previousLength, 0, UnknownGap - 1);
            assembler.SubmitFrame(static_cast<uint32_t>(gap), d.data(), static_cast<int32_t>(d.size()));
            previousLength = 0;
            for (int32_t v : d) previousLength += v;
        }
        std::lock_guard lock(recording_->Mutex());
        const FrameBuffer& burst = recording_->Locked();
        if (!StoredKeyFromBuffer(burst, stored, why)) return false;
        const CodeFrame& first = burst.Slots[0];
        imported.protocol = first.Protocol;
        imported.modulation = first.Modulation;
        imported.mode = stored.mode;
        imported.adr = stored.adr;
        imported.cmd = stored.cmd;
        imported.decoded = ValidateFrames(burst);
        if (!imported.decoded)
            imported.note = first.Modulation <= 0
                                ? QStringLiteral("not decoded: the analyser finds no modulation")
                                : QStringLiteral("not decoded: a later frame is of a protocol the first is not");
        return true;
    }

    CodeDatabase& db_;
    ImportReport& report_;
    QString forcedName_;
    QString fallbackName_;
    std::unique_ptr<SharedFrameBuffer> recording_;
    SharedDecodeSettings settings_;
    CodeFileUnit unit_;
    bool unitStored_ = false;
    int unitsBegun_ = 0;
    int sinceRequery_ = 0;
    bool failed_ = false;
};

}  // namespace

ImportReport ImportCodeFile(CodeDatabase& db, const QString& path, const QString& unitName) {
    ImportReport report;
    report.file = path;
    TableView& units = db.ADOTableUnits;
    TableView& codes = db.ADOTableCodes;
    TableView& units3 = db.ADOTableUnits3;
    TableView& codes3 = db.ADOTableCodes3;
    const QFileInfo info(path);
    const QString baseName = info.completeBaseName().isEmpty() ? info.fileName() : info.completeBaseName();
    Importer importer(db, report, unitName, baseName);
    try {
        if (!units3.IsOpen() || !codes3.IsOpen()) throw DbError(QStringLiteral("The database is not open"));
        PostEdits(units);
        PostEdits(codes);
        db.ADOConnection.Begin();
    } catch (const DbError& e) {
        report.databaseFailed = true;
        importer.Fail(0, e.what());
        return report;
    }
    try {
        std::string error;
        if (!ReadCodeFile(path.toStdString(), importer, report.format, error)) importer.Fail(0, error);
        if (!importer.Failed() && report.units.empty())
            importer.Fail(0, path.toStdString() + ": no key in it can be stored" +
                                 (report.skipped.isEmpty() ? std::string() : " (see what was skipped)"));
        if (!importer.Failed()) db.ADOConnection.Commit();
    } catch (const DbError& e) {
        report.databaseFailed = true;
        importer.Fail(0, path.toStdString() + ": the database failed: " + e.what());
    } catch (...) {
        db.ADOConnection.Rollback();
        ResetSecondViews(db);
        throw;
    }
    if (importer.Failed()) {
        db.ADOConnection.Rollback();
        // The second views may hold rows that are gone again.
        ResetSecondViews(db);
        report.units.clear();
        report.keys.clear();
        return report;
    }
    units.Requery();
    codes.Requery();
    units.Locate(report.units.front().id);
    return report;
}

QString ImportSummary(const ImportReport& r) {
    const QString file = QFileInfo(r.file).fileName();
    if (!r.Stored()) return QStringLiteral("Nothing was imported from %1.").arg(file);
    int undecoded = 0;
    for (const ImportedKey& k : r.keys) undecoded += k.decoded ? 0 : 1;
    QString s = r.units.size() == 1
                    ? QStringLiteral("Imported %1 keys from %2 (%3) into the unit \"%4\".")
                          .arg(r.keys.size())
                          .arg(file, QString::fromLatin1(CodeFileFormatName(r.format)), r.units.front().name)
                    : QStringLiteral("Imported %1 units with %2 keys from %3 (%4).")
                          .arg(r.units.size())
                          .arg(r.keys.size())
                          .arg(file, QString::fromLatin1(CodeFileFormatName(r.format)));
    if (undecoded > 0) s += QStringLiteral(" %1 of them the analyser cannot decode.").arg(undecoded);
    if (!r.skipped.isEmpty()) s += QStringLiteral(" %1 skipped.").arg(r.skipped.size());
    return s;
}

QString ImportDetails(const ImportReport& r) {
    QStringList lines;
    if (!r.Stored()) {
        lines << r.errors;
        if (r.moreErrors > 0) lines << QStringLiteral("... and %1 more errors").arg(r.moreErrors);
    }
    size_t key = 0;
    for (const ImportedUnit& u : r.units) {
        QString line = QStringLiteral("line %1: unit \"%2\": %3 keys, carrier %4 kHz")
                           .arg(QString::number(u.line), u.name, QString::number(u.keys), u.carrier);
        if (!u.note.isEmpty()) line += QStringLiteral(" (%1)").arg(u.note);
        lines << line;
        for (; key < r.keys.size() && r.keys[key].unitId == u.id; ++key) {
            const ImportedKey& k = r.keys[key];
            const QString kind = QString::fromLatin1(k.protocol > 0 ? ProtocolName(k.protocol)
                                                                    : ModulationName(k.modulation));
            QString line = QStringLiteral("  line %1: \"%2\": %3, mode %4, address %5, command %6")
                               .arg(QString::number(k.line), k.name, kind, QString::number(k.mode), AdrText(k.adr),
                                    CmdText(k.cmd));
            if (!k.note.isEmpty()) line += QStringLiteral(" (%1)").arg(k.note);
            lines << line;
        }
    }
    if (!r.skipped.isEmpty()) {
        lines << QStringLiteral("Skipped:");
        for (const QString& s : r.skipped) lines << QStringLiteral("  ") + s;
    }
    return lines.join(u'\n');
}

}  // namespace tovanel
