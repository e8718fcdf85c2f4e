#include "contacts/CExportContactHelper.h"

#include "bridge/api/ContactBook.h"
#include "contacts/ContactCsvLayout.h"
#include "contacts/ContactVCard.h"
#include "libs/csv/Csv.h"
#include "libs/csv/CsvFile.h"
#include "libs/log/Log.h"
#include "libs/vcard/VCard.h"
#include "platform/AtomicFile.h"
#include "platform/StringTable.h"

#include <memory>

namespace {

QStringList GroupNames(const vexa::Contact& contact) {
    QStringList names;
    for (int i = 0; i < contact.GetGroupCount(); ++i) {
        if (const vexa::Group* g = contact.GetGroupAt(i); g != nullptr) {
            names.append(g->GetName());
        }
    }
    return names;
}

} // namespace

CExportContactHelper::Type_Export_Result CExportContactHelper::Export(vexa::ContactBook* book,
                                                                      const std::vector<vexa::Contact*>& contacts,
                                                                      Format format, const QString& path,
                                                                      const Cancelled& cancelled,
                                                                      const Progress& progress) {
    m_count = 0;
    m_messageId = 0;
    if (book == nullptr) {
        return Export_Failed;
    }
    // Writing the file is the last step: a long vCard save must not stand at 100 % looking finished.
    const int total = static_cast<int>(contacts.size());
    const int steps = total + 1;
    if (progress) {
        progress(steps, 0);
    }
    std::vector<QStringList> table{contacts::ChineseCsvHeader()};
    std::unique_ptr<CMultiContactVcard, void (*)(CMultiContactVcard*)> vcard(LVCARD_NewMultiContactVcard(),
                                                                              &LVCARD_FreeMultiContactVcard);
    for (vexa::Contact* contact : contacts) {
        if (cancelled && cancelled()) {
            return Export_Cancelled; // nothing written: an older file stays as it was
        }
        if (contact == nullptr) {
            continue;
        }
        if (!book->LoadContactDetail(contact)) {
            LOG_Error("Load Contact Detail failed .%s:%d", LOG_HERE);
            return Export_Failed;
        }
        if (format == FormatCsv) {
            for (QStringList& row : contacts::ContactToCsvRows(*contact, GroupNames(*contact))) {
                table.push_back(std::move(row));
            }
        } else if (CVCard* card = vcard->NewContact(); card != nullptr) {
            contacts::FillCard(*contact, GroupNames(*contact), *card);
        } else {
            return Export_Failed;
        }
        ++m_count;
        if (progress) {
            progress(steps, m_count);
        }
    }
    if (format == FormatCsv && table.size() == 2 && table[1].value(0).isEmpty()) {
        // Only an unnamed, empty contact: there is nothing a user could want in the file.
        m_messageId = 674;
        return Export_Failed;
    }
    const IoResult written = format == FormatVcf ? vcard->Save(path) : WriteFileAtomically(path, [&table](QIODevice& out) {
        return WriteCsvTable(out, table);
    });
    if (!written) {
        LOG_Error("[CExportContactHelper] %s. %s:%d", qUtf8Printable(written.error), LOG_HERE);
        return Export_Failed;
    }
    if (progress) {
        progress(steps, steps);
    }
    return Export_Succeeded;
}

IoResult CExportContactHelper::WriteCsvTable(QIODevice& out, const std::vector<QStringList>& table) {
    CCsvFileWriter writer;
    bool ok = writer.Start(out, CCsvFileWriter::Encoding::Ansi).ok;
    for (auto row = table.begin(); ok && row != table.end(); ++row) {
        ok = writer.WriteLine(CsvJoinLine(*row));
    }
    return ok && writer.Close() ? IoResult::Ok() : IoResult::Fail(writer.ErrorString());
}

QString CExportContactHelper::ResultText(int result, int count) {
    switch (result) {
    case Export_Cancelled:
        return Str(298);
    case Export_Succeeded:
        return FormatText(Str(299), count);
    default:
        return Str(283);
    }
}
