#pragma once
// SMS CSV files to and from the phone: the message page's export (UTF-16LE with a byte order mark,
// named boxes only) and import, and the SMS item "msg.csv" of a backup (ANSI code page, every SMS).
// The loops run on a worker: they report progress through BatchHooks and stop between rows when
// cancelled or disconnected. Nothing is added to the phone from a file that fails the check (no
// Time column, unreadable or truncated text, too large); rows go to the phone 30 at a time.

#include "messages/BatchHooks.h"
#include "messages/MessageOrder.h"
#include "messages/SmsCsvFormat.h"

#include <QString>

#include <vector>

class QIODevice;

namespace vexa {
class DeviceSession;
class Sms;
class SmsStore;
} // namespace vexa

namespace messages {

constexpr int kImportBatchSize = 30;
// Larger files are refused before anything is read: a phone's whole SMS history is far smaller.
constexpr qint64 kMaxSmsCsvBytes = 64LL * 1024 * 1024;

enum class CsvFileKind { PageExport, Backup };

struct SmsCsvExportResult {
    int counted = 0;        // SMS items looked at (MMS items are passed over)
    int written = 0;        // rows written
    bool fileError = false; // the file could not be created or written; the operation was abandoned
    bool phoneError = false; // the phone's messages could not be read; nothing was put in place
    bool cancelled = false; // stopped by the hooks; nothing was put in place
    QString error;          // why the file could not be written
    // "没有可导出的短信。（彩信不能导出）" is due.
    bool NothingExported() const { return !fileError && !phoneError && (counted == 0 || written == 0); }
};

// Writes the header and one row per SMS into out. PageExport leaves out SMS of an unnamed box
// (counted, not written); Backup writes them with an empty box cell.
SmsCsvExportResult WriteSmsCsv(const std::vector<vexa::Sms>& messages, QIODevice& out, CsvFileKind kind,
                               const BatchHooks& hooks = {});
// The same into a file. Every export to a path goes through a temporary file beside it: an
// existing file is replaced only when the export completed, never after a failure or a cancel.
SmsCsvExportResult WriteSmsCsv(const std::vector<vexa::Sms>& messages, const QString& path, CsvFileKind kind,
                               const BatchHooks& hooks = {});

// The page export of a selection: each SMS fetched by id; MMS items are skipped.
SmsCsvExportResult ExportSelectedSmsCsv(vexa::SmsStore* store, const std::vector<MsgTypeAndId>& items,
                                        QIODevice& out, const BatchHooks& hooks = {});
SmsCsvExportResult ExportSelectedSmsCsv(vexa::SmsStore* store, const std::vector<MsgTypeAndId>& items,
                                        const QString& path, const BatchHooks& hooks = {});
// Every SMS of the phone in the page format (vexa-cli sms export).
SmsCsvExportResult ExportAllSmsCsv(vexa::DeviceSession* session, const QString& path, const BatchHooks& hooks = {});

struct SmsCsvCheck {
    enum Status { Ok, CannotOpen, Empty, BadHeader, NoRows, TooLarge, Corrupt };
    Status status = CannotOpen;
    int rows = 0; // data lines that parse
    SmsCsvColumns columns{-1, -1, -1, -1};
    SmsStateColumns state; // a backup's own columns, when the file has them
    QString detail; // the reader's error, for the log
};
// Reads the whole file once: the header must have a Time column, every line must be readable.
SmsCsvCheck CheckSmsCsvFile(const QString& path);
// The string-table id of the user message for a failed check (0 for Ok).
int SmsCsvCheckMessageId(SmsCsvCheck::Status status);

struct SmsCsvImportResult {
    SmsCsvCheck check;
    int total = 0;   // rows counted by the check
    int success = 0; // rows the phone accepted
    int skipped = 0; // rows identical to an SMS the phone holds already, not added again
    int batches = 0; // AddSmsBatch calls
    bool aborted = false;
    bool cancelled = false; // stopped by the user between rows
    bool lost = false;      // the phone was out of reach when the import ended short
    bool Complete() const { return check.status == SmsCsvCheck::Ok && success + skipped == total; }
};
// What the user is told after an import of a file that passed the check: the count imported, and
// for one ended short also how many stay on the phone, how many did not get there and why.
QString SmsImportResultText(const SmsCsvImportResult& result);
// What the user is told after an export that wrote rows: the count, and what of the selection or
// of the phone it left out (MMS cannot go into CSV; drafts were not part of a whole selection of
// the conversations).
QString SmsExportResultText(int written, int mmsLeftOut, int draftsLeftOut);
// Checks the file, then adds its rows to the phone in batches of 30. A row identical to an SMS the
// phone holds (box, number, time, text, and read state and SIM where the file says) is skipped, so
// importing a file twice adds its messages once.
SmsCsvImportResult ImportSmsCsv(vexa::DeviceSession* session, const QString& path, const BatchHooks& hooks = {});
SmsCsvImportResult ImportSmsCsvTo(vexa::SmsStore* store, const QString& path, const BatchHooks& hooks = {});

// The SMS item of a backup: "msg.csv" in the ANSI code page with every SMS of the phone, and its
// restore, which adds the rows like an import. False on a file error, a cancel or a lost phone.
bool ExportMsgCsv(vexa::DeviceSession* session, const QString& path, const BatchHooks& hooks = {});
bool ImportMsgCsv(vexa::DeviceSession* session, const QString& path, const BatchHooks& hooks = {});

} // namespace messages
