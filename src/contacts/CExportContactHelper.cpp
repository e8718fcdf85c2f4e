#include "contacts/CExportContactHelper.h"

#include "bridge/api/ContactBook.h"
#include "contacts/ContactCsvLayout.h"
#include "contacts/ContactVCard.h"
#include "libs/csv/Csv.h"
#include "libs/csv/CsvFile.h"
#include "libs/log/Log.h"
#include "libs/vcard/VCard.h"
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

bool WriteCsv(const QString& path, const std::vector<QStringList>& table) {
    CCsvFileWriter writer;
    if (!writer.Open(path, CCsvFileWriter::Encoding::Ansi)) {
        LOG_Error("[CExportContactHelper] cannot create %s: %s. %s:%d", qUtf8Printable(path),
                  qUtf8Printable(writer.ErrorString()), LOG_HERE);
        return false;
    }
    for (const QStringList& row : table) {
        if (!writer.WriteLine(CsvJoinLine(row))) {
            LOG_Error("[CExportContactHelper] write failed: %s. %s:%d", qUtf8Printable(writer.ErrorString()),
                      LOG_HERE);
            return false;
        }
    }
    return writer.Close();
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
    const int total = static_cast<int>(contacts.size());
    if (progress) {
        progress(total, 0);
    }
    std::vector<QStringList> table{contacts::ChineseCsvHeader()};
    std::unique_ptr<CMultiContactVcard, void (*)(CMultiContactVcard*)> vcard(LVCARD_NewMultiContactVcard(),
                                                                              &LVCARD_FreeMultiContactVcard);
    Type_Export_Result result = Export_Succeeded;
    for (vexa::Contact* contact : contacts) {
        if (cancelled && cancelled()) {
            result = Export_Cancelled;
            break;
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
            progress(total, m_count);
        }
    }
    if (format == FormatVcf) {
        if (!vcard->Save(path)) {
            LOG_Error("[CExportContactHelper] cannot save %s: %s. %s:%d", qUtf8Printable(path),
                      qUtf8Printable(vcard->ErrorString()), LOG_HERE);
            return Export_Failed;
        }
        return result;
    }
    // Only an unnamed, empty contact: there is nothing a user could want in the file.
    if (table.size() == 2 && table[1].value(0).isEmpty()) {
        m_messageId = 674;
        return Export_Failed;
    }
    return WriteCsv(path, table) ? result : Export_Failed;
}

QString CExportContactHelper::ResultText(int result, int count) {
    switch (result) {
    case Export_Cancelled:
        return Str(298) + QStringLiteral("，") + FormatText(Str(299), count);
    case Export_Succeeded:
        return FormatText(Str(299), count);
    default:
        return Str(283);
    }
}
