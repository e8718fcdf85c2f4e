#pragma once
// Importing contacts from files on the computer onto the phone, in two steps: parsing (the file is
// read completely into records that are not yet on the phone) and importing (groups are created,
// then each record is created on the phone in file order). A file that fails to parse leaves the
// phone untouched; an import that fails or is cancelled leaves exactly the contacts created before
// it. No window: the page runs Import on a worker behind a progress dialog, vexa-cli calls it
// directly. One object belongs to one thread at a time.

#include "contacts/ContactCsvLayout.h"

#include <QStringList>

#include <functional>
#include <vector>

namespace vexa {
class ContactBook;
}

class CImportContactHelper {
public:
    enum Type_Import_Result { Import_Failed = 0, Import_Cancelled = 1, Import_Succeeded = 2 };

    // Files above this size are refused as unreadable rather than read into memory.
    static constexpr qint64 kMaxFileBytes = 64LL * 1024 * 1024;

    // Reads the files the user chose, in order, into one list of records: a name ending in ".csv"
    // (any case) is read as CSV, any other file as vCard. Nothing is skipped without a word: a file
    // that cannot be read fails the whole import before the phone is touched; a file without
    // contacts among others, or one cut short, is told in Notices(). 0 on success, else the string
    // ID of the message (276 locked by another program, 277 unreadable, 278 no contact, 2741 not a
    // regular file, 2466 too large); MessageText() is the text to show, naming the file.
    int ParseFiles(const QStringList& paths);
    // Reads a CSV file (the program's own layout under either header, or another program's columns
    // through the alias table). 0 or a message ID as above.
    int ParseCsvFile(const QString& path);
    // Reads vCard files, whatever their names. 0 or a message ID as above.
    int ParseVcfFiles(const QStringList& paths);
    // The text of the last parse's message (empty after success).
    QString MessageText() const { return m_messageText; }
    // What the user should know although the import goes ahead, one text each.
    const QStringList& Notices() const { return m_notices; }
    // Records from another source (the backup); replaces what was parsed.
    void SetRecords(std::vector<contacts::ImportedContact> records) { m_records = std::move(records); }

    int RecordCount() const { return static_cast<int>(m_records.size()); }
    const std::vector<contacts::ImportedContact>& Records() const { return m_records; }
    // Whether any record names a group (the user is then asked whether groups come along).
    bool HasGroups() const;
    void DropGroups();

    // total, done: called once before the first record and after each created one (each batch of
    // them, for a book that creates several at once: ContactBook::CreateBatchSize).
    using Progress = std::function<void(int total, int done)>;
    using Cancelled = std::function<bool()>;
    // Creates the missing groups, then every record on the phone. Records created are handed to
    // the book; the others stay with this object. Count() tells how many were created.
    Type_Import_Result Import(vexa::ContactBook* book, const Cancelled& cancelled, const Progress& progress);
    int Count() const { return m_count; }

    // The result message: 282, 292 + "，" + 288, or 288 with the count.
    static QString ResultText(int result, int count);
    // What the user is told after Import: ResultText, except that an import the phone ended part-way
    // says how many contacts reached the phone and stay there, how many did not, and why (phoneLost:
    // the session no longer reaches the phone; otherwise the phone refused to save).
    QString OutcomeText(int result, bool phoneLost) const;

private:
    enum class Kind { ByName, Csv, VCard };
    int ParseAll(const QStringList& paths, Kind kind);
    int Fail(int message, const QString& path, bool several);
    int ParseRows(const QString& path, std::vector<contacts::ImportedContact>& out);
    int ParseOneCsv(const QString& path, std::vector<contacts::ImportedContact>& out);
    int ParseOneVcf(const QString& path, std::vector<contacts::ImportedContact>& out, bool* cut);

    std::vector<contacts::ImportedContact> m_records;
    int m_count = 0;
    QString m_messageText;
    QStringList m_notices;
};
