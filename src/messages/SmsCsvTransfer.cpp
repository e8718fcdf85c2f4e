#include "messages/SmsCsvTransfer.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "libs/csv/Csv.h"
#include "libs/csv/CsvFile.h"
#include "libs/log/Log.h"
#include "platform/AtomicFile.h"
#include "platform/StringTable.h"

#include <QFileInfo>
#include <QHash>

#include <memory>

namespace messages {

namespace {

QStringList RowCells(const vexa::Sms& sms, const QString& boxName) {
    SYSTEMTIME time;
    sms.GetTime(&time);
    return {boxName, sms.GetNumber(), FormatSmsCsvTime(vexa::FromSystemTime(time)), sms.GetContent()};
}

class CsvOut {
public:
    bool Start(QIODevice& out, CsvFileKind kind) {
        const auto encoding = kind == CsvFileKind::Backup ? CCsvFileWriter::Encoding::Ansi
                                                          : CCsvFileWriter::Encoding::Utf16LeBom;
        const QStringList header = kind == CsvFileKind::Backup ? SmsCsvHeader() + SmsStateHeader() : SmsCsvHeader();
        return m_writer.Start(out, encoding).ok && m_writer.WriteLine(CsvJoinLine(header));
    }
    bool Write(const QStringList& cells) { return m_writer.WriteLine(CsvJoinLine(cells)); }
    bool Close() { return m_writer.Close(); }
    QString ErrorString() const { return m_writer.ErrorString(); }

private:
    CCsvFileWriter m_writer;
};

const char* WhereOf(CsvFileKind kind) {
    return kind == CsvFileKind::Backup ? "CMsgImAndExport::ExportMsg" : "CSmsImportAndExport::ExportSmsCSV";
}

// One SMS into the open file; false on a write failure. Counts into result.
bool WriteOne(CsvOut& out, const vexa::Sms& sms, CsvFileKind kind, SmsCsvExportResult& result) {
    ++result.counted;
    QString box;
    if (kind == CsvFileKind::Backup) {
        box = SmsBoxNameForBackup(sms.GetBox());
    } else {
        const std::optional<QString> name = SmsBoxNameForPage(sms.GetBox());
        if (!name) {
            return true; // an unnamed box is not exported; it counts as failed
        }
        box = *name;
    }
    QStringList cells = RowCells(sms, box);
    if (kind == CsvFileKind::Backup) {
        cells += SmsStateCells(sms.GetBox(), sms.IsRead(), sms.GetSim());
    }
    if (!out.Write(cells)) {
        LOG_Error("[OSM_ARD]write line failed. %s", WhereOf(kind));
        result.fileError = true;
        result.error = out.ErrorString();
        return false;
    }
    ++result.written;
    return true;
}

} // namespace

SmsCsvExportResult WriteSmsCsv(const std::vector<vexa::Sms>& messages, QIODevice& device, CsvFileKind kind,
                               const BatchHooks& hooks) {
    SmsCsvExportResult result;
    CsvOut out;
    if (!out.Start(device, kind)) {
        LOG_Error("[OSM_ARD]call fileCSV.Open failed. %s", WhereOf(kind));
        result.fileError = true;
        result.error = out.ErrorString();
        return result;
    }
    const int total = static_cast<int>(messages.size());
    hooks.Progress(total, 0);
    for (const vexa::Sms& sms : messages) {
        if (hooks.Cancelled() || !hooks.Connected()) {
            result.cancelled = true;
            break;
        }
        if (!WriteOne(out, sms, kind, result)) {
            return result;
        }
        if (result.counted % 100 == 0 || result.counted == total) {
            hooks.Progress(total, result.counted);
        }
    }
    if (!out.Close()) {
        result.fileError = true;
        result.error = out.ErrorString();
    }
    return result;
}

SmsCsvExportResult ExportSelectedSmsCsv(vexa::SmsStore* store, const std::vector<MsgTypeAndId>& items,
                                        QIODevice& device, const BatchHooks& hooks) {
    SmsCsvExportResult result;
    CsvOut out;
    if (store == nullptr) {
        result.phoneError = true;
        return result;
    }
    if (!out.Start(device, CsvFileKind::PageExport)) {
        LOG_Error("[OSM_ARD]call fileCSV.Open failed. %s", WhereOf(CsvFileKind::PageExport));
        result.fileError = true;
        result.error = out.ErrorString();
        return result;
    }
    const int total = static_cast<int>(items.size());
    int done = 0;
    for (const MsgTypeAndId& item : items) {
        hooks.Progress(total, done++);
        if (item.type == 1) {
            continue; // MMS do not go into CSV
        }
        if (hooks.Cancelled() || !hooks.Connected()) {
            result.cancelled = true;
            break;
        }
        std::unique_ptr<vexa::Sms> sms(store->GetSmsById(item.id));
        if (!sms) {
            // A file missing some of the chosen messages would pass for a complete export.
            LOG_Error("[CSmsImportAndExport] GetSmsById %lld failed. %s:%d", static_cast<long long>(item.id), LOG_HERE);
            result.phoneError = true;
            return result;
        }
        if (!WriteOne(out, *sms, CsvFileKind::PageExport, result)) {
            return result;
        }
    }
    hooks.Progress(total, total);
    if (!out.Close()) {
        result.fileError = true;
        result.error = out.ErrorString();
    }
    return result;
}

namespace {

// Runs a device-level export into path through a temporary file, put in place only when the
// export neither failed nor stopped.
template <class Export>
SmsCsvExportResult ExportToFile(const QString& path, const Export& exportInto) {
    SmsCsvExportResult result;
    const IoResult written = WriteFileAtomically(path, [&](QIODevice& out) {
        result = exportInto(out);
        return result.fileError || result.phoneError || result.cancelled ? IoResult::Fail(result.error)
                                                                         : IoResult::Ok();
    });
    if (!written && !result.cancelled && !result.phoneError) {
        result.fileError = true;
        result.error = written.error;
        LOG_Error("[CSmsImportAndExport] %s. %s:%d", qUtf8Printable(written.error), LOG_HERE);
    }
    return result;
}

} // namespace

SmsCsvExportResult WriteSmsCsv(const std::vector<vexa::Sms>& messages, const QString& path, CsvFileKind kind,
                               const BatchHooks& hooks) {
    return ExportToFile(path, [&](QIODevice& out) { return WriteSmsCsv(messages, out, kind, hooks); });
}

SmsCsvExportResult ExportSelectedSmsCsv(vexa::SmsStore* store, const std::vector<MsgTypeAndId>& items,
                                        const QString& path, const BatchHooks& hooks) {
    if (store == nullptr) {
        SmsCsvExportResult failed;
        failed.phoneError = true;
        return failed;
    }
    return ExportToFile(path, [&](QIODevice& out) { return ExportSelectedSmsCsv(store, items, out, hooks); });
}

SmsCsvExportResult ExportAllSmsCsv(vexa::DeviceSession* session, const QString& path, const BatchHooks& hooks) {
    vexa::SmsStore* store = session != nullptr ? session->GetSmsStore() : nullptr;
    std::vector<vexa::Sms> all;
    if (store == nullptr || !store->ListAllSms(&all)) {
        SmsCsvExportResult failed;
        failed.phoneError = true;
        return failed;
    }
    return WriteSmsCsv(all, path, CsvFileKind::PageExport, hooks);
}

SmsCsvCheck CheckSmsCsvFile(const QString& path) {
    SmsCsvCheck check;
    const QFileInfo info(path);
    if (!info.isFile()) {
        check.status = SmsCsvCheck::CannotOpen;
        return check;
    }
    if (info.size() > kMaxSmsCsvBytes) {
        check.status = SmsCsvCheck::TooLarge;
        return check;
    }
    CCsvFileReaderEx reader;
    if (reader.SetFilePath(path) == 0) {
        check.status = SmsCsvCheck::CannotOpen;
        return check;
    }
    QString line;
    if (reader.GetNextLine(line) == 0) {
        check.status = reader.HasError() ? SmsCsvCheck::Corrupt : SmsCsvCheck::Empty;
        check.detail = reader.ErrorString();
        return check;
    }
    // Two bytes a character: an odd size means the end of the file was cut off.
    if (reader.DetectedEncoding() == CCsvFileReaderEx::Encoding::Utf16Le && info.size() % 2 != 0) {
        check.status = SmsCsvCheck::Corrupt;
        check.detail = QStringLiteral("odd byte count in UTF-16 text");
        return check;
    }
    QStringList cells;
    if (!CsvSplitLine(line, cells)) {
        check.status = SmsCsvCheck::BadHeader;
        return check;
    }
    check.columns = MapSmsCsvHeader(cells);
    check.state = MapSmsStateColumns(cells);
    if (!SmsCsvHeaderAccepted(check.columns)) {
        check.status = SmsCsvCheck::BadHeader;
        return check;
    }
    while (reader.GetNextLine(line) != 0) {
        if (CsvSplitLine(line, cells)) {
            ++check.rows;
        }
    }
    if (reader.HasError()) {
        check.status = SmsCsvCheck::Corrupt;
        check.detail = reader.ErrorString();
        return check;
    }
    check.status = check.rows == 0 ? SmsCsvCheck::NoRows : SmsCsvCheck::Ok;
    return check;
}

int SmsCsvCheckMessageId(SmsCsvCheck::Status status) {
    switch (status) {
    case SmsCsvCheck::Ok:
        return 0;
    case SmsCsvCheck::CannotOpen:
        return 2447;
    case SmsCsvCheck::Empty:
    case SmsCsvCheck::BadHeader:
        return 2448;
    case SmsCsvCheck::NoRows:
        return 2449;
    case SmsCsvCheck::TooLarge:
        return 2466;
    case SmsCsvCheck::Corrupt:
        return 2467;
    }
    return 2447;
}

SmsCsvImportResult ImportSmsCsv(vexa::DeviceSession* session, const QString& path, const BatchHooks& hooks) {
    BatchHooks withLink = hooks;
    if (!withLink.connected && session != nullptr) {
        withLink.connected = [session] { return session->IsConnected(); };
    }
    return ImportSmsCsvTo(session != nullptr ? session->GetSmsStore() : nullptr, path, withLink);
}

namespace {

// The fields a row sets, as one text; the read and SIM states only where the file has their columns.
QString SmsKey(const vexa::Sms& sms, bool hasRead, bool hasSim) {
    SYSTEMTIME t;
    sms.GetTime(&t);
    return QStringLiteral("%1|%2|%3|%4|%5|")
               .arg(sms.GetBox())
               .arg(hasRead ? int(sms.IsRead()) : -1)
               .arg(hasSim ? sms.GetSim() : -1)
               .arg(sms.GetNumber(), FormatSmsCsvTime(vexa::FromSystemTime(t))) +
           sms.GetContent();
}

// A new message of the store with what the row and its state columns say; null when the store makes none.
std::unique_ptr<vexa::Sms> SmsFromRow(vexa::SmsStore* store, const SmsCsvRow& row, const QStringList& cells,
                                      const SmsCsvCheck& check) {
    std::unique_ptr<vexa::Sms> sms(store->NewSms());
    if (!sms) {
        return sms;
    }
    sms->SetNumber(row.number);
    sms->SetTime(vexa::ToSystemTime(row.time));
    sms->SetContent(row.content);
    if (row.box) {
        sms->SetBox(*row.box);
    }
    const SmsState state = SmsStateFromCells(cells, check.state);
    if (state.box && vexa::IsDraftBox(*state.box) == vexa::IsDraftBox(sms->GetBox())) {
        sms->SetBox(*state.box); // the exact box, where the named one is of the same kind
    }
    if (state.read) {
        sms->SetRead(*state.read);
    }
    if (state.sim) {
        sms->SetSim(static_cast<std::uint8_t>(*state.sim));
    }
    return sms;
}

SmsCsvImportResult AddSmsRows(vexa::SmsStore* store, const QString& path, const BatchHooks& hooks) {
    SmsCsvImportResult result;
    result.check = CheckSmsCsvFile(path);
    if (result.check.status != SmsCsvCheck::Ok) {
        LOG_Error("[CSmsImportAndExport] %s refused (%d) %s. %s:%d", qUtf8Printable(path), result.check.status,
                  qUtf8Printable(result.check.detail), LOG_HERE);
        return result;
    }
    result.total = result.check.rows;
    CCsvFileReaderEx reader;
    QString line;
    if (store == nullptr || reader.SetFilePath(path) == 0 || reader.GetNextLine(line) == 0) {
        result.aborted = true;
        return result;
    }
    // What the phone holds already, by the fields a row sets: those are not added twice.
    const bool hasRead = result.check.state.read >= 0;
    const bool hasSim = result.check.state.sim >= 0;
    const auto key = [&](const vexa::Sms& sms) { return SmsKey(sms, hasRead, hasSim); };
    QHash<QString, int> onPhone;
    if (std::vector<vexa::Sms> all; store->ListAllSms(&all)) {
        for (const vexa::Sms& sms : all) {
            ++onPhone[key(sms)];
        }
    } else {
        result.aborted = true;
        return result;
    }
    std::vector<std::unique_ptr<vexa::Sms>> batch;
    const int batchSize = store->PreferredBatchSize() > 0 ? store->PreferredBatchSize() : kImportBatchSize;
    int sent = 0;
    auto sendBatch = [&] {
        if (batch.empty()) {
            return;
        }
        std::vector<vexa::Sms*> raw;
        raw.reserve(batch.size());
        for (auto& sms : batch) {
            raw.push_back(sms.get());
        }
        ++result.batches;
        if (store->AddSmsBatch(raw)) {
            result.success += static_cast<int>(raw.size());
        } else {
            LOG_Error("[CSmsImportAndExport] AddSmsBatch of %d failed. %s:%d", static_cast<int>(raw.size()), LOG_HERE);
        }
        sent += static_cast<int>(raw.size());
        batch.clear(); // the importer frees its objects after each call
        hooks.Progress(result.total, sent);
    };
    hooks.Progress(result.total, 0);
    QStringList cells;
    while (reader.GetNextLine(line) != 0) {
        if (!CsvSplitLine(line, cells)) {
            continue;
        }
        if (std::optional<SmsCsvRow> row = SmsRowFromCells(cells, result.check.columns, QDateTime::currentDateTime())) {
            if (std::unique_ptr<vexa::Sms> sms = SmsFromRow(store, *row, cells, result.check)) {
                if (const auto known = onPhone.find(key(*sms)); known != onPhone.end() && known.value() > 0) {
                    --known.value();
                    ++result.skipped;
                    ++sent;
                } else {
                    batch.push_back(std::move(sms));
                }
            }
        }
        if (static_cast<int>(batch.size()) == batchSize) {
            sendBatch();
        }
        if (hooks.Cancelled() || !hooks.Connected()) {
            if (hooks.Connected()) {
                sendBatch();
            }
            result.cancelled = hooks.Cancelled();
            result.aborted = true;
            return result;
        }
    }
    sendBatch();
    if (result.skipped > 0) {
        hooks.Progress(result.total, sent);
    }
    return result;
}

} // namespace

SmsCsvImportResult ImportSmsCsvTo(vexa::SmsStore* store, const QString& path, const BatchHooks& hooks) {
    SmsCsvImportResult result = AddSmsRows(store, path, hooks);
    result.lost = result.check.status == SmsCsvCheck::Ok && !result.Complete() && !hooks.Connected();
    return result;
}

QString SmsImportResultText(const SmsCsvImportResult& result) {
    const QString skipped = result.skipped > 0 ? FormatText(Str(2755), result.skipped) : QString();
    if (result.Complete() && !result.aborted) {
        return FormatText(Str(2451), result.success) + skipped;
    }
    const QString counts = FormatText(Str(2753), result.success, result.total - result.success - result.skipped);
    if (result.cancelled && !result.lost) {
        return Str(292) + QStringLiteral("，") + counts + skipped;
    }
    return counts + skipped + Str(result.lost ? 2751 : 2752);
}

QString SmsExportResultText(int written, int mmsLeftOut, int draftsLeftOut) {
    QString text = FormatText(Str(2443), written);
    if (mmsLeftOut > 0) {
        text += u'\n' + FormatText(Str(3605), mmsLeftOut);
    }
    if (draftsLeftOut > 0) {
        text += u'\n' + FormatText(Str(3606), draftsLeftOut);
    }
    return text;
}

bool ExportMsgCsv(vexa::DeviceSession* session, const QString& path, const BatchHooks& hooks) {
    vexa::SmsStore* store = session != nullptr ? session->GetSmsStore() : nullptr;
    std::vector<vexa::Sms> all;
    // Read afresh: messages loaded earlier could stand for a phone that is gone by now.
    if (store == nullptr || store->LoadSms() != 1 || !store->ListAllSms(&all)) {
        LOG_Error("[CMsgImAndExport] ListAllSms failed. %s:%d", LOG_HERE);
        return false;
    }
    const SmsCsvExportResult result = WriteSmsCsv(all, path, CsvFileKind::Backup, hooks);
    return !result.fileError && !result.cancelled;
}

bool ImportMsgCsv(vexa::DeviceSession* session, const QString& path, const BatchHooks& hooks) {
    const SmsCsvImportResult result = ImportSmsCsv(session, path, hooks);
    // A backup whose SMS item has no rows is restored without adding anything.
    if (result.check.status == SmsCsvCheck::NoRows) {
        return true;
    }
    return result.Complete() && !result.aborted;
}

} // namespace messages
