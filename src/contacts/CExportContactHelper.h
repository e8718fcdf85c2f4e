#pragma once
// Exporting contacts of the phone to a CSV file in the program's own layout (Chinese header, code
// page 936, CRLF) or to a vCard file. The full detail of each contact is read from the phone first;
// the first contact whose detail cannot be read ends the export. No window: the page runs these on
// a worker behind a progress dialog, vexa-cli calls them directly. Any one thread.

#include "platform/IoResult.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace vexa {
class Contact;
class ContactBook;
} // namespace vexa

class QIODevice;

class CExportContactHelper {
public:
    enum Type_Export_Result { Export_Failed = 0, Export_Cancelled = 1, Export_Succeeded = 2 };
    enum Format { FormatCsv, FormatVcf };

    using Progress = std::function<void(int total, int done)>;
    using Cancelled = std::function<bool()>;

    // Writes contacts (owned by book) to path through a temporary file. Only a complete export
    // replaces an existing file: a cancel or a failure leaves it as it was and writes nothing.
    Type_Export_Result Export(vexa::ContactBook* book, const std::vector<vexa::Contact*>& contacts, Format format,
                              const QString& path, const Cancelled& cancelled, const Progress& progress);
    int Count() const { return m_count; }
    // String ID of a message that replaces the result message (674: nothing to write), or 0.
    int MessageId() const { return m_messageId; }

    // The result message: 283, 298, or 299 with the count.
    static QString ResultText(int result, int count);

    // The own CSV layout: the header row first, then the rows, into out.
    static IoResult WriteCsvTable(QIODevice& out, const std::vector<QStringList>& table);

private:
    int m_count = 0;
    int m_messageId = 0;
};
