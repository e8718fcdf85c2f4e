#include "contacts/CImportContactHelper.h"

#include "bridge/api/ContactBook.h"
#include "contacts/ContactVCard.h"
#include "contacts/ForeignCsvColumns.h"
#include "libs/csv/Csv.h"
#include "libs/csv/CsvFile.h"
#include "libs/log/Log.h"
#include "libs/vcard/VCard.h"
#include "platform/ReadFile.h"
#include "platform/StringTable.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <set>

namespace {

// Another program that holds the file open for writing with a lock (a spreadsheet that is still
// saving it) would hand us half a file; such files are refused like a locked file on Windows.
bool IsLockedByOthers(const QString& path) {
    // O_NONBLOCK: never wait here for the writer of a pipe (refused afterwards anyway).
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false; // unreadable files are reported by the reader
    }
    const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
    ::close(fd);
    return locked;
}

QString CleanNumber(QString number) {
    number.remove(QLatin1Char(' '));
    number.remove(QLatin1Char('-'));
    return number;
}

bool AllEmpty(const QStringList& cells) {
    for (const QString& cell : cells) {
        if (!cell.isEmpty()) {
            return false;
        }
    }
    return true;
}

QStringList SplitGroups(const QString& cell) {
    QStringList out;
    for (const QString& piece : cell.split(QLatin1Char('\t'))) {
        const QString name = piece.trimmed();
        if (!name.isEmpty()) {
            out.append(name);
        }
    }
    return out;
}

// A whole address in one cell: pieces separated by line breaks or ";" in the order street, city,
// region, postcode, country; a cell without separators is all street.
QStringList SplitWholeAddress(const QString& cell) {
    static const QRegularExpression separators(QStringLiteral("[;\\r\\n]+"));
    QStringList pieces = cell.split(separators, Qt::SkipEmptyParts);
    for (QString& p : pieces) {
        p = p.trimmed();
    }
    while (pieces.size() > 5) {
        pieces[0] += QLatin1Char(',') + pieces.takeAt(1);
    }
    while (pieces.size() < 5) {
        pieces.append(QString());
    }
    return pieces;
}

bool HasAnyField(const vexa::Contact& c) {
    vexa::NameParts parts;
    c.GetNameParts(&parts);
    for (const QString& p : parts.parts) {
        if (!p.isEmpty()) {
            return true;
        }
    }
    QString company, department, title;
    c.GetOrganization(&company, &department, &title);
    return !c.GetDisplayNameText().isEmpty() || !c.GetNickname().isEmpty() || !company.isEmpty() ||
           !department.isEmpty() || !title.isEmpty() || !c.GetBirthday().isEmpty() || c.GetNoteCount() > 0 ||
           c.GetPhoneCount() > 0 || c.GetEmailCount() > 0 || c.GetWebsiteCount() > 0 || c.GetImCount() > 0 ||
           c.GetAddressCount() > 0;
}

bool HasHan(const QString& text) {
    for (const QChar ch : text) {
        if (ch.script() == QChar::Script_Han) {
            return true;
        }
    }
    return false;
}

// Foreign files name people by parts; the lists show the display name, so one is made from the
// parts the way each script writes names (Chinese family name first and without blanks).
void ComposeDisplayName(vexa::Contact& c) {
    if (!c.GetDisplayNameText().isEmpty()) {
        return;
    }
    vexa::NameParts p;
    c.GetNameParts(&p);
    const QString& family = p.parts[vexa::NAME_FAMILY];
    const QString& middle = p.parts[vexa::NAME_MIDDLE];
    const QString& given = p.parts[vexa::NAME_GIVEN];
    QString name;
    if (HasHan(family + middle + given)) {
        name = family + middle + given;
    } else {
        QStringList words;
        for (const QString& w : {given, middle, family}) {
            if (!w.isEmpty()) {
                words.append(w);
            }
        }
        name = words.join(QLatin1Char(' '));
    }
    if (name.isEmpty()) {
        // A company's own entry: the phone lists a contact without a name under its company.
        QString company, department, title;
        c.GetOrganization(&company, &department, &title);
        name = company;
    }
    c.SetDisplayName(name);
}

struct AddressParts {
    QString part[6]; // indexed by contacts::AddressPart
};

contacts::ImportedContact ContactFromForeignRow(const std::vector<contacts::ColumnTarget>& targets,
                                                const QStringList& row) {
    using contacts::ColumnKind;
    contacts::ImportedContact record{std::make_unique<vexa::Contact>(), {}};
    vexa::Contact& c = *record.contact;
    AddressParts blocks[4]; // 1 home, 2 work, 3 other
    bool givenSet = false;
    int index = 0;
    const int columns = std::min(static_cast<int>(targets.size()), static_cast<int>(row.size()));
    for (int col = 0; col < columns; ++col) {
        const QString& cell = row[col];
        const contacts::ColumnTarget& t = targets[static_cast<std::size_t>(col)];
        if (cell.isEmpty() || t.kind == ColumnKind::None) {
            continue;
        }
        const QString* label = t.code == 0 ? &t.label : nullptr;
        switch (t.kind) {
        case ColumnKind::NamePart:
            // Several headers mean the given name ("姓名", "名", "Name"); the first one filled wins.
            if (t.code == vexa::NAME_GIVEN) {
                if (!givenSet) {
                    c.SetNamePart(t.code, cell);
                    givenSet = true;
                }
            } else {
                c.SetNamePart(t.code, cell);
            }
            break;
        case ColumnKind::Nickname:
            c.SetNickname(cell);
            break;
        case ColumnKind::Company:
            c.SetCompany(cell);
            break;
        case ColumnKind::Title:
            c.SetTitle(cell);
            break;
        case ColumnKind::Department:
            c.SetDepartment(cell);
            break;
        case ColumnKind::Phone:
            c.AddPhone(t.code, label, CleanNumber(cell), &index);
            break;
        case ColumnKind::Email:
            c.AddEmail(t.code, label, cell, &index);
            break;
        case ColumnKind::Web:
            c.AddWebsite(t.code, label, cell, &index);
            break;
        case ColumnKind::Im:
            c.AddIm(t.code, cell, &index);
            break;
        case ColumnKind::WholeAddress: {
            const QStringList p = SplitWholeAddress(cell);
            c.AddAddress(t.code, label, p[0], p[1], p[2], p[3], p[4], &index);
            break;
        }
        case ColumnKind::AddressPart:
            if (t.code >= 1 && t.code <= 3) {
                blocks[t.code].part[static_cast<int>(t.part)] = cell;
            }
            break;
        case ColumnKind::Birthday:
            if (const QString day = contacts::NormaliseForeignBirthday(cell); !day.isEmpty()) {
                c.SetBirthday(day);
            }
            break;
        case ColumnKind::Notes:
            c.AddNote(cell);
            break;
        case ColumnKind::Groups:
            record.groups += SplitGroups(cell);
            break;
        case ColumnKind::None:
            break;
        }
    }
    for (int type = 1; type <= 3; ++type) {
        QString (&p)[6] = blocks[type].part;
        QString street = p[static_cast<int>(contacts::AddressPart::Street)];
        const QString& detail = p[static_cast<int>(contacts::AddressPart::Detail)];
        if (!detail.isEmpty()) {
            street += QLatin1Char(',') + detail;
            while (street.endsWith(QLatin1Char(','))) {
                street.chop(1);
            }
        }
        const QString& city = p[static_cast<int>(contacts::AddressPart::City)];
        const QString& region = p[static_cast<int>(contacts::AddressPart::Region)];
        const QString& postcode = p[static_cast<int>(contacts::AddressPart::Postcode)];
        const QString& country = p[static_cast<int>(contacts::AddressPart::Country)];
        if (!street.isEmpty() || !city.isEmpty() || !region.isEmpty() || !postcode.isEmpty() || !country.isEmpty()) {
            c.AddAddress(type, nullptr, street, city, region, postcode, country, &index);
        }
    }
    ComposeDisplayName(c);
    return record;
}

} // namespace

int CImportContactHelper::ParseFiles(const QStringList& paths) {
    return ParseAll(paths, Kind::ByName);
}

int CImportContactHelper::ParseCsvFile(const QString& path) {
    return ParseAll({path}, Kind::Csv);
}

int CImportContactHelper::ParseVcfFiles(const QStringList& paths) {
    return ParseAll(paths, Kind::VCard);
}

int CImportContactHelper::ParseAll(const QStringList& paths, Kind kind) {
    m_records.clear();
    m_count = 0;
    m_messageText.clear();
    m_notices.clear();
    const bool several = paths.size() > 1;
    QStringList empty;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            return Fail(277, path, several);
        }
        if (!IsRegularFile(path)) {
            return Fail(2741, path, several);
        }
        if (info.size() > kMaxFileBytes) {
            LOG_Error("[CImportContactHelper] file too large: %s. %s:%d", qUtf8Printable(path), LOG_HERE);
            return Fail(2466, path, several);
        }
        if (IsLockedByOthers(path)) {
            return Fail(276, path, several);
        }
        const bool csv =
            kind == Kind::Csv || (kind == Kind::ByName && path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive));
        const std::size_t before = m_records.size();
        bool cut = false;
        if (const int message = csv ? ParseOneCsv(path, m_records) : ParseOneVcf(path, m_records, &cut); message != 0) {
            return Fail(message, path, several);
        }
        if (cut) {
            m_notices << FormatText(Str(2742), qUtf8Printable(info.fileName()));
        }
        if (m_records.size() == before) {
            empty << info.fileName();
        }
    }
    if (m_records.empty()) {
        m_messageText = (QStringList{Str(278)} + m_notices).join(u'\n');
        return 278;
    }
    for (const QString& name : empty) {
        m_notices << FormatText(Str(2743), qUtf8Printable(name));
    }
    return 0;
}

int CImportContactHelper::Fail(int message, const QString& path, bool several) {
    m_records.clear();
    m_notices.clear();
    const QString name = QFileInfo(path).fileName();
    switch (message) {
    case 2741:
        m_messageText = FormatText(Str(2741), qUtf8Printable(name));
        break;
    case 2466:
        m_messageText = FormatText(Str(2466), static_cast<int>(kMaxFileBytes >> 20));
        break;
    default:
        m_messageText = Str(message);
        break;
    }
    if (several && message != 2741) {
        m_messageText = FormatText(Str(2744), qUtf8Printable(name), qUtf8Printable(m_messageText));
    }
    return message;
}

int CImportContactHelper::ParseOneCsv(const QString& path, std::vector<contacts::ImportedContact>& out) {
    std::vector<contacts::ImportedContact> records;
    const int message = ParseRows(path, records);
    if (message == 278) {
        return 0; // no contact: told by the caller
    }
    if (message != 0) {
        return message;
    }
    std::move(records.begin(), records.end(), std::back_inserter(out));
    return 0;
}

int CImportContactHelper::ParseRows(const QString& path, std::vector<contacts::ImportedContact>& out) {
    CCsvFileReaderEx reader;
    if (reader.SetFilePath(path) == 0) {
        LOG_Error("[CImportContactHelper] %s. %s:%d", qUtf8Printable(reader.ErrorString()), LOG_HERE);
        return 277;
    }
    QString line;
    if (reader.GetNextLine(line) == 0) {
        return reader.HasError() ? 277 : 278;
    }
    QStringList header;
    if (!CsvSplitLine(line, header)) {
        return 277;
    }
    const bool own = contacts::IsOwnCsvHeader(header);
    std::vector<contacts::ColumnTarget> targets;
    if (!own) {
        targets.reserve(static_cast<std::size_t>(header.size()));
        for (const QString& name : header) {
            targets.push_back(contacts::ClassifyForeignColumn(name));
        }
    }
    std::vector<QStringList> rows;
    int lineNumber = 1;
    while (reader.GetNextLine(line) != 0) {
        ++lineNumber;
        QStringList cells;
        if (!CsvSplitLine(line, cells)) {
            LOG_Error("[CImportContactHelper] line %d is not CSV, skipped. %s:%d", lineNumber, LOG_HERE);
            continue;
        }
        if (AllEmpty(cells)) {
            continue;
        }
        if (own) {
            rows.push_back(std::move(cells));
        } else if (auto record = ContactFromForeignRow(targets, cells);
                   HasAnyField(*record.contact) || !record.groups.isEmpty()) {
            out.push_back(std::move(record));
        }
    }
    if (reader.HasError()) {
        LOG_Error("[CImportContactHelper] %s: %s. %s:%d", qUtf8Printable(path), qUtf8Printable(reader.ErrorString()),
                  LOG_HERE);
        return 277;
    }
    if (own) {
        std::vector<contacts::ImportedContact> records = contacts::ContactsFromCsvRows(rows);
        std::move(records.begin(), records.end(), std::back_inserter(out));
    }
    return 0;
}

int CImportContactHelper::ParseOneVcf(const QString& path, std::vector<contacts::ImportedContact>& out, bool* cut) {
    std::unique_ptr<CMultiContactVcard, void (*)(CMultiContactVcard*)> vcard(LVCARD_NewMultiContactVcard(),
                                                                             &LVCARD_FreeMultiContactVcard);
    if (!vcard->Load(path)) {
        LOG_Error("[CImportContactHelper] %s: %s. %s:%d", qUtf8Printable(path), qUtf8Printable(vcard->ErrorString()),
                  LOG_HERE);
        return 277;
    }
    *cut = vcard->Truncated();
    for (int i = 0; i < vcard->Count(); ++i) {
        contacts::ImportedContact record = contacts::ContactFromCard(*vcard->At(i));
        if (HasAnyField(*record.contact)) {
            out.push_back(std::move(record));
        }
    }
    return 0;
}

bool CImportContactHelper::HasGroups() const {
    for (const auto& r : m_records) {
        if (!r.groups.isEmpty()) {
            return true;
        }
    }
    return false;
}

void CImportContactHelper::DropGroups() {
    for (auto& r : m_records) {
        r.groups.clear();
    }
}

CImportContactHelper::Type_Import_Result CImportContactHelper::Import(vexa::ContactBook* book,
                                                                      const Cancelled& cancelled,
                                                                      const Progress& progress) {
    m_count = 0;
    if (book == nullptr) {
        return Import_Failed;
    }
    const int total = RecordCount();
    if (progress) {
        progress(total, 0);
    }
    // Groups first, so every contact is written once with its memberships.
    std::set<QString> wanted;
    for (const auto& r : m_records) {
        wanted.insert(r.groups.begin(), r.groups.end());
    }
    QHash<QString, vexa::Group*> byName;
    for (int i = 0; i < book->GetGroupCount(); ++i) {
        if (vexa::Group* g = book->GetGroupAt(i); g != nullptr && !byName.contains(g->GetName())) {
            byName.insert(g->GetName(), g);
        }
    }
    for (const QString& name : wanted) {
        if (byName.contains(name)) {
            continue;
        }
        vexa::Group* group = book->NewGroup();
        if (group == nullptr || !group->SetName(name) || !book->CreateGroup(group)) {
            delete group;
            LOG_Error("creat group failed .%s:%d", LOG_HERE);
            return Import_Failed;
        }
        byName.insert(name, group);
    }
    // As many records at a time as the book takes; a cancel drops the batch not yet handed over.
    const auto batchSize = static_cast<std::size_t>(std::max(1, book->CreateBatchSize()));
    std::vector<contacts::ImportedContact*> batch;
    const auto create = [&]() {
        std::vector<vexa::Contact*> handed;
        for (const contacts::ImportedContact* record : batch) {
            handed.push_back(record->contact.get());
        }
        const int created = handed.empty() ? 0 : book->CreateContacts(handed);
        for (int i = 0; i < created; ++i) {
            (void)batch[static_cast<std::size_t>(i)]->contact.release(); // the book owns it now
        }
        m_count += created;
        const bool all = created == static_cast<int>(batch.size());
        batch.clear();
        if (created > 0 && progress) {
            progress(total, m_count);
        }
        return all;
    };
    for (auto& record : m_records) {
        if (record.contact == nullptr) {
            continue;
        }
        if (cancelled && cancelled()) {
            return Import_Cancelled;
        }
        for (const QString& name : record.groups) {
            if (vexa::Group* g = byName.value(name); g != nullptr) {
                book->AddContactToGroup(g, record.contact.get(), 0);
            }
        }
        batch.push_back(&record);
        if (batch.size() == batchSize && !create()) {
            LOG_Error("creat contact failed .%s:%d", LOG_HERE);
            return Import_Failed;
        }
    }
    if (!create()) {
        LOG_Error("creat contact failed .%s:%d", LOG_HERE);
        return Import_Failed;
    }
    return Import_Succeeded;
}

QString CImportContactHelper::ResultText(int result, int count) {
    switch (result) {
    case Import_Cancelled:
        return Str(292) + QStringLiteral("，") + FormatText(Str(288), count);
    case Import_Succeeded:
        return FormatText(Str(288), count);
    default:
        return Str(282);
    }
}

QString CImportContactHelper::OutcomeText(int result, bool phoneLost) const {
    if (result != Import_Failed) {
        return ResultText(result, m_count);
    }
    return FormatText(Str(2750), m_count, RecordCount() - m_count) + Str(phoneLost ? 2751 : 2752);
}
