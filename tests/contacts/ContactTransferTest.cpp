// Import and export through the helpers onto simulated phones.
#include "ContactGenerator.h"
#include "SimPhoneFixture.h"
#include "TestFiles.h"
#include "contacts/CExportContactHelper.h"
#include "contacts/CImportContactHelper.h"
#include "libs/csv/Csv.h"
#include "platform/CodePage.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Format = CExportContactHelper::Format;

// A contact as text, leaving out or mapping what the format cannot carry as its reader does.
QStringList Canonical(const vexa::Contact& c, Format format) {
    QStringList out;
    vexa::NameParts parts;
    c.GetNameParts(&parts);
    QString company, department, title;
    c.GetOrganization(&company, &department, &title);
    out << "name:" + c.GetDisplayNameText();
    for (int p = 1; p <= 5; ++p) {
        out << QStringLiteral("part%1:").arg(p) + parts.parts[p];
    }
    out << "nick:" + c.GetNickname() << "org:" + company + "|" + department + "|" + title
        << "bday:" + c.GetBirthday() << QStringLiteral("fav:%1").arg(c.IsFavorite());
    for (int i = 0; i < c.GetNoteCount(); ++i) {
        out << "note:" + c.GetNoteAt(i);
    }
    QStringList multi;
    const bool csv = format == CExportContactHelper::FormatCsv;
    // A vCard writes no type word for the plain type (or none): it reads back as plain, unlabelled.
    const auto typed = [&](const char* kind, const std::vector<vexa::ContactField>& fields, int plainType) {
        for (const vexa::ContactField& f : fields) {
            if (csv && kind == QLatin1String("tel") && !QList<int>{1, 2, 3, 4, 7}.contains(f.m_type)) {
                continue; // the CSV layout has no columns for these
            }
            const bool plain = !csv && (f.m_type == 0 || f.m_type == plainType);
            multi << QStringLiteral("%1:%2|%3|%4")
                         .arg(QLatin1String(kind))
                         .arg(plain ? plainType : f.m_type)
                         .arg(plain ? QString() : f.m_label, f.m_value);
        }
    };
    typed("tel", c.m_phones, 7);
    typed("email", c.m_emails, 3);
    typed("web", c.m_websites, 7);
    for (int i = 0; i < c.GetAddressCount(); ++i) {
        const vexa::ContactAddress* a = c.GetAddressAt(i);
        multi << QStringLiteral("adr:%1|").arg(a->m_type) + QStringList{a->m_label, a->m_street, a->m_city,
                                                                        a->m_region, a->m_postcode, a->m_country}
                                                                 .join('|');
    }
    for (int i = 0; i < c.GetImCount(); ++i) {
        multi << QStringLiteral("im:%1|").arg(c.GetImAt(i)->m_protocol) + c.GetImAt(i)->m_value;
    }
    QStringList groups;
    for (int i = 0; i < c.GetGroupCount(); ++i) {
        groups << "group:" + c.GetGroupAt(i)->GetName();
    }
    // The layouts reorder entries (the CSV puts each phone type in its own column); compare sets.
    multi.sort();
    groups.sort();
    return out + multi + groups;
}

std::vector<contacts::ImportedContact> Generated(int count) {
    std::vector<contacts::ImportedContact> records;
    for (int i = 0; i < count; ++i) {
        contacts::ImportedContact r{std::make_unique<vexa::Contact>(), {}};
        testdata::MakeContact(i, *r.contact, &r.groups);
        records.push_back(std::move(r));
    }
    return records;
}

void Seed(vexa::ContactBook& book, int count) {
    CImportContactHelper helper;
    helper.SetRecords(Generated(count));
    ASSERT_EQ(helper.Import(&book, {}, {}), CImportContactHelper::Import_Succeeded);
}

// What an import made of a contact's numbers, mails and addresses, on one line.
QString Summary(const vexa::Contact& c) {
    QStringList out;
    for (int i = 0; i < c.GetPhoneCount(); ++i) {
        const vexa::ContactField* f = c.GetPhoneAt(i);
        out << QStringLiteral("tel%1%2:%3").arg(f->m_type).arg(f->m_label, QString(f->m_value).remove(u'-'));
    }
    for (int i = 0; i < c.GetEmailCount(); ++i) {
        out << "email:" + c.GetEmailAt(i)->m_value;
    }
    for (int i = 0; i < c.GetAddressCount(); ++i) {
        const vexa::ContactAddress* a = c.GetAddressAt(i);
        out << QStringLiteral("adr%1:").arg(a->m_type) + QStringList{a->m_street, a->m_city, a->m_country}.join('/');
    }
    return out.join(u' ');
}

std::vector<vexa::Contact*> AllContacts(vexa::ContactBook& book) {
    std::vector<vexa::Contact*> out;
    for (int i = 0; i < book.GetContactCount(vexa::LIST_ALL); ++i) {
        out.push_back(book.GetContactAt(vexa::LIST_ALL, i));
    }
    return out;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    ASSERT_TRUE(vexa::test::WriteFile(path, bytes));
}

class ContactTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_phones.Create("source-1"));
        ASSERT_TRUE(m_phones.Create("target-1"));
    }
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    // As vexa-cli and the page import; the parse message (0 when parsed), m_result and m_told set.
    int ImportInto(const QStringList& files, bool groups = true) {
        vexa::ContactBook* book = m_phones.Open("target-1");
        if (book == nullptr) {
            return -1;
        }
        CImportContactHelper helper;
        const int message = helper.ParseFiles(files);
        m_told = message != 0 ? QStringList{helper.MessageText()} : helper.Notices();
        if (message != 0) {
            return message;
        }
        if (!groups) {
            helper.DropGroups();
        }
        m_result = helper.Import(book, {}, {});
        m_count = helper.Count();
        return 0;
    }
    vexa::ContactBook* Target() {
        vexa::ContactBook* book = m_phones.Open("target-1");
        if (book != nullptr) {
            for (vexa::Contact* c : AllContacts(*book)) {
                book->LoadContactDetail(c);
            }
        }
        return book;
    }
    int TargetCount() {
        vexa::ContactBook* book = m_phones.Open("target-1");
        return book != nullptr ? book->GetContactCount(vexa::LIST_ALL) : -1;
    }

    SimPhones m_phones;
    QTemporaryDir m_dir;
    int m_result = -1;
    int m_count = -1;
    QStringList m_told;
};

class RoundTripTest : public ContactTransferTest, public ::testing::WithParamInterface<Format> {};

TEST_P(RoundTripTest, ThousandContactsSurviveExportAndImport) {
    const Format format = GetParam();
    constexpr int kCount = 1000;
    vexa::ContactBook* source = m_phones.Open("source-1");
    ASSERT_NE(source, nullptr);
    Seed(*source, kCount);
    source = m_phones.Open("source-1");
    ASSERT_NE(source, nullptr);
    const QString file = Path(format == CExportContactHelper::FormatCsv ? "all.csv" : "all.vcf");
    CExportContactHelper exporter;
    int lastDone = -1;
    ASSERT_EQ(exporter.Export(source, AllContacts(*source), format, file, {},
                              [&](int total, int done) {
                                  EXPECT_EQ(total, kCount + 1); // the file's writing is the last step
                                  EXPECT_EQ(done == total, QFile::exists(file)) << "complete only once written";
                                  lastDone = done;
                              }),
              CExportContactHelper::Export_Succeeded);
    EXPECT_EQ(exporter.Count(), kCount);
    EXPECT_EQ(lastDone, kCount + 1);
    if (format == CExportContactHelper::FormatCsv) { // the ANSI code page, CRLF, no byte order mark
        EXPECT_TRUE(vexa::test::ReadFile(file).startsWith(UnicodeToAnsi(CsvJoinLine(contacts::ChineseCsvHeader()) + "\r\n")));
    }
    std::map<QString, QStringList> expected;
    for (vexa::Contact* c : AllContacts(*source)) {
        expected[c->GetDisplayNameText()] = Canonical(*c, format);
    }
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(kCount));

    ASSERT_EQ(ImportInto({file}), 0);
    EXPECT_EQ(m_result, CImportContactHelper::Import_Succeeded);
    EXPECT_EQ(m_count, kCount);
    vexa::ContactBook* target = Target();
    ASSERT_NE(target, nullptr);
    ASSERT_EQ(target->GetContactCount(vexa::LIST_ALL), kCount);
    int favourites = 0;
    for (vexa::Contact* c : AllContacts(*target)) {
        ASSERT_TRUE(expected.contains(c->GetDisplayNameText())) << c->GetDisplayNameText().toStdString();
        EXPECT_EQ(Canonical(*c, format), expected[c->GetDisplayNameText()]) << c->GetDisplayNameText().toStdString();
        favourites += c->IsFavorite() ? 1 : 0;
    }
    EXPECT_EQ(favourites, kCount / 5);
    EXPECT_EQ(target->GetGroupCount(), testdata::GroupNames().size());
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTripTest,
                         ::testing::Values(CExportContactHelper::FormatCsv, CExportContactHelper::FormatVcf),
                         [](const auto& info) { return info.param == CExportContactHelper::FormatCsv ? "Csv" : "Vcf"; });

TEST_F(ContactTransferTest, ExportsThatCannotFinishWriteNothing) {
    vexa::ContactBook* book = m_phones.Open("source-1");
    Seed(*book, 10);
    book = m_phones.Open("source-1");
    CExportContactHelper exporter;
    int done = 0;
    const auto cancelAfter4 = [&done] { return done >= 4; };
    EXPECT_EQ(exporter.Export(book, AllContacts(*book), CExportContactHelper::FormatVcf, Path("part.vcf"), cancelAfter4,
                              [&done](int, int d) { done = d; }),
              CExportContactHelper::Export_Cancelled);
    EXPECT_EQ(exporter.Count(), 4);
    EXPECT_FALSE(QFile::exists(Path("part.vcf")));
    for (Format f : {CExportContactHelper::FormatCsv, CExportContactHelper::FormatVcf}) {
        EXPECT_EQ(exporter.Export(book, AllContacts(*book), f, Path("missing/dir/x.file"), {}, {}),
                  CExportContactHelper::Export_Failed);
    }
    auto* blank = new vexa::Contact;
    blank->AddPhone(5, nullptr, "12345", nullptr); // home fax: not in the layout
    ASSERT_TRUE(book->CreateContact(blank));
    EXPECT_EQ(exporter.Export(book, {blank}, CExportContactHelper::FormatCsv, Path("none.csv"), {}, {}),
              CExportContactHelper::Export_Failed);
    EXPECT_EQ(exporter.MessageId(), 674);
    EXPECT_FALSE(QFile::exists(Path("none.csv")));
}

// Chosen in this order; bytes "<fifo>" make a named pipe, "<dir>" a folder, "<none>" nothing.
struct OutsideFiles {
    const char* name;
    std::vector<std::pair<QString, QByteArray>> files;
    int message;
    QStringList names;
    QStringList told;
};

void PrintTo(const OutsideFiles& c, std::ostream* out) {
    *out << c.name;
}

class OutsideFilesTest : public ContactTransferTest, public ::testing::WithParamInterface<OutsideFiles> {};

TEST_P(OutsideFilesTest, ImportWhatTheyHoldAndSayWhatWasLeft) {
    const OutsideFiles& c = GetParam();
    QStringList paths;
    for (const auto& [name, bytes] : c.files) {
        paths << Path(name);
        if (bytes == "<fifo>") {
            ASSERT_EQ(::mkfifo(QFile::encodeName(paths.back()).constData(), 0600), 0);
        } else if (bytes == "<dir>") {
            ASSERT_TRUE(QDir(m_dir.path()).mkdir(name));
        } else if (bytes != "<none>") {
            WriteFile(paths.back(), bytes);
        }
    }
    EXPECT_EQ(ImportInto(paths), c.message);
    EXPECT_EQ(m_told, c.told);
    vexa::ContactBook* book = Target();
    ASSERT_NE(book, nullptr);
    QStringList names;
    for (vexa::Contact* contact : AllContacts(*book)) {
        names << contact->GetDisplayNameText();
    }
    names.sort();
    EXPECT_EQ(names, c.names);
}

const QByteArray kCard = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:甲\r\nTEL:1\r\nEND:VCARD\r\n";
const QByteArray kRow = "Name,Mobile\r\n乙,2\r\n";
QString Told(int id, const char* file) {
    return FormatText(Str(id), file);
}

INSTANTIATE_TEST_SUITE_P(
    Files, OutsideFilesTest,
    ::testing::Values(
        OutsideFiles{"VcfThenCsv", {{"a.vcf", kCard}, {"b.CSV", kRow}}, 0, {"乙", "甲"}, {}},
        OutsideFiles{
            "FifoAfterAGoodFile", {{"a.vcf", kCard}, {"pipe.csv", "<fifo>"}}, 2741, {}, {Told(2741, "pipe.csv")}},
        OutsideFiles{"Folder", {{"folder.vcf", "<dir>"}}, 2741, {}, {Told(2741, "folder.vcf")}},
        OutsideFiles{"MissingAmongSeveral",
                     {{"a.vcf", kCard}, {"gone.csv", "<none>"}},
                     277,
                     {},
                     {FormatText(Str(2744), "gone.csv", qUtf8Printable(Str(277)))}},
        OutsideFiles{"EmptyAfterACard",
                     {{"a.vcf", kCard}, {"header.csv", "Name,Mobile\r\n"}},
                     0,
                     {"甲"},
                     {Told(2743, "header.csv")}},
        OutsideFiles{
            "CutShort", {{"cut.vcf", kCard + "BEGIN:VCARD\r\nFN:丙\r\nTE"}}, 0, {"甲"}, {Told(2742, "cut.vcf")}},
        OutsideFiles{"CutBeforeAnyCard",
                     {{"cut.vcf", "BEGIN:VCARD\r\nFN:丙\r\n"}},
                     278,
                     {},
                     {Str(278) + "\n" + Told(2742, "cut.vcf")}},
        OutsideFiles{
            "Big5AndShiftJisNames",
            {{"tw.vcf", "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=BIG5:" + QByteArray::fromHex("B3AF") + ";" +
                            QByteArray::fromHex("A46AA4E5") + "\r\nEND:VCARD\r\n"},
             {"jp.vcf", "BEGIN:VCARD\r\nFN;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=8E=52=93=63\r\nEND:VCARD\r\n"}},
            0,
            {"山田", "陳大文"},
            {}},
        // Other programs' files: only ".csv" reads as CSV (how fields map: ContactVCardTest, ForeignCsvColumnsTest).
        OutsideFiles{
            "OtherPhonesAndPrograms",
            {{"ios.VCF", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Johnny Appleseed\r\nitem1.TEL:+1 408\r\nEND:VCARD\r\n"},
             {"notes.txt", "BEGIN:VCARD\r\nFN:Not A Card File\r\nEND:VCARD\r\n"},
             {"outlook.csv", "Title,FirstName,Last Name,Mobile Phone\r\nDr.,John,Doe,555-0100\r\n"}},
            0,
            {"John Doe", "Johnny Appleseed", "Not A Card File"},
            {}},
        // Google's export, old and new headers: a company's own entry has no name, only the company.
        OutsideFiles{"GoogleCompanyWithoutName",
                     {{"google.csv", "Name,Given Name,Family Name,Organization 1 - Type,Organization 1 - Name,"
                                     "Organization 1 - Title,Mobile\r\n"
                                     ",,,,Acme Ltd.,,139 0000 0001\r\nAnn Lee,Ann,Lee,,Other Co,CEO,\r\n"},
                      {"google-new.csv", "First Name,Middle Name,Last Name,Organization Name,Organization Title\r\n"
                                         ",,,北京某某科技有限公司,经理\r\nBo,,Wu,,\r\n"}},
                     0,
                     {"Acme Ltd.", "Ann Lee", "Bo Wu", "北京某某科技有限公司"},
                     {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContactTransferTest, ChineseHeadersAndUndecodableBytesInTheAnsiCodePage) {
    const QString text = "姓名,手机,家庭电话,电子邮件,家庭城市,生日,群组,备注\r\n"
                         "李四,139-2222-3333,0571 8888 9999,lisi@example.cn,杭州,1980/7/9,同学\t,\"多行\r\n备注\"\r\n";
    // A last row of bytes that are neither UTF-8 nor GBK still leaves the rows before it readable.
    WriteFile(Path("cn.csv"), UnicodeToAnsi(text) + "\xff\xfe\xfd,1\r\n");
    ASSERT_EQ(ImportInto({Path("cn.csv")}), 0);
    EXPECT_EQ(m_count, 2);
    vexa::ContactBook* book = Target();
    ASSERT_NE(book, nullptr);
    vexa::Contact* li = book->GetContactAt(vexa::LIST_ALL, 0);
    ASSERT_NE(li, nullptr);
    EXPECT_EQ(li->GetDisplayNameText(), "李四");
    EXPECT_EQ(Summary(*li), "tel2:13922223333 tel1:057188889999 email:lisi@example.cn adr1:/杭州/");
    EXPECT_EQ(li->m_notes, QStringList{"多行\r\n备注"});
    ASSERT_EQ(li->GetGroupCount(), 1);
    EXPECT_EQ(li->GetGroupAt(0)->GetName(), "同学");
}

// The own layout's two rows chain into one contact, which the alias table would not do.
TEST_F(ContactTransferTest, OwnEnglishLayoutHostileNamesAndGroupsLeftOut) {
    QStringList first(67), second(67);
    first[0] = second[0] = "Ann Lee";
    first[11] = second[11] = "[2]";
    first[10] = "13900000001", second[10] = "13900000002";
    first[66] = "1", second[66] = "0";
    WriteFile(Path("en.csv"), (CsvJoinLine(contacts::EnglishCsvHeader()) + "\r\n" + CsvJoinLine(first) + "\r\n" +
                               CsvJoinLine(second) + "\r\n")
                                  .toUtf8());
    ASSERT_EQ(ImportInto({Path("en.csv")}), 0);
    EXPECT_EQ(m_count, 1);
    vexa::ContactBook* book = Target();
    ASSERT_EQ(book->GetContactCount(vexa::LIST_ALL), 1);
    EXPECT_EQ(book->GetContactAt(vexa::LIST_ALL, 0)->GetPhoneCount(), 2);

    WriteFile(Path("hostile.csv"), QStringLiteral("姓名,手机,群组\r\n../x,1,..\\\\evil:1\t\r\n").toUtf8());
    ASSERT_EQ(ImportInto({Path("hostile.csv")}), 0);
    book = Target();
    ASSERT_EQ(book->GetContactCount(vexa::LIST_ALL), 2);
    EXPECT_EQ(book->GetContactAt(vexa::LIST_ALL, 1)->GetDisplayNameText(), "../x"); // no letter: last
    ASSERT_EQ(book->GetGroupCount(), 1);
    EXPECT_EQ(book->GetGroupAt(0)->GetName(), "..\\\\evil:1");

    WriteFile(Path("g.csv"), UnicodeToAnsi("姓名,手机,群组\r\n甲,1,A\t\r\n乙,2,B\t\r\n"));
    CImportContactHelper helper;
    ASSERT_EQ(helper.ParseCsvFile(Path("g.csv")), 0);
    EXPECT_TRUE(helper.HasGroups());
    ASSERT_EQ(ImportInto({Path("g.csv")}, false), 0);
    book = Target();
    EXPECT_EQ(book->GetGroupCount(), 1);
    EXPECT_EQ(book->GetContactCount(vexa::LIST_ALL), 4);
}

// A file of `size` bytes is sparse after its leading bytes; a negative size makes no file.
struct BadFile {
    const char* name;
    const char* file;
    QByteArray bytes;
    qint64 size;
    int message;
};

void PrintTo(const BadFile& bad, std::ostream* out) {
    *out << bad.name;
}

class BadInputTest : public ContactTransferTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(BadInputTest, GivesAMessageAndCreatesNothing) {
    const BadFile& bad = GetParam();
    const QString path = Path(bad.file);
    if (bad.size >= 0) {
        WriteFile(path, bad.bytes);
        QFile f(path);
        ASSERT_TRUE(f.resize(std::max<qint64>(bad.size, bad.bytes.size())));
    }
    EXPECT_EQ(ImportInto({path}), bad.message);
    EXPECT_EQ(TargetCount(), 0);
}

QByteArray Noise(int step, int modulo) {
    QByteArray b;
    for (int i = 0; i < 4096; ++i) {
        b.append(static_cast<char>((i * step) % modulo));
    }
    return b;
}

constexpr qint64 k200Mb = 200LL * 1024 * 1024;

INSTANTIATE_TEST_SUITE_P(
    Files, BadInputTest,
    ::testing::Values(
        BadFile{"EmptyCsv", "empty.csv", {}, 0, 278},
        BadFile{"HeaderOnly", "header.csv", UnicodeToAnsi(contacts::ChineseCsvHeader().join(',')) + "\r\n", 0, 278},
        BadFile{"BlankLinesOnly", "blank.csv",
                UnicodeToAnsi(contacts::EnglishCsvHeader().join(',')) + "\r\n,,,\r\n\r\n", 0, 278},
        BadFile{"Huge", "huge.csv", UnicodeToAnsi("姓名,手机\r\n张三,1\r\n"), k200Mb, 2466},
        BadFile{"TenMegabyteLine", "long.csv", "Name,Mobile\r\nA,1\r\nB," + QByteArray(10 * 1024 * 1024, '7') + "\r\n",
                0, 277},
        // The only row does not read as CSV: it is skipped, which leaves no contact.
        BadFile{"UnterminatedQuote", "quote.csv", "Name,Mobile\r\n\"A,1\r\n", 0, 278},
        BadFile{"BinaryCsv", "garbage.csv", Noise(7919, 251), 0, 278},
        BadFile{"MissingCsv", "missing.csv", {}, -1, 277}, BadFile{"EmptyVcf", "empty.vcf", {}, 0, 278},
        BadFile{"VcfWithoutEnd", "noend.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Half\r\nTEL:1\r\n", 0, 278},
        BadFile{"DeeplyNested", "nested.vcf", QByteArray("BEGIN:VCARD\r\n").repeated(10000) + "FN:Deep\r\n", 0, 278},
        BadFile{"BinaryVcf", "garbage.vcf", Noise(104729, 256), 0, 278}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContactTransferTest, FileLockedByAnotherProgram) {
    WriteFile(Path("locked.csv"), "Name,Mobile\r\nA,1\r\n");
    const int fd = ::open(QFile::encodeName(Path("locked.csv")).constData(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(ImportInto({Path("locked.csv")}), 276);
    ::close(fd);
    EXPECT_EQ(ImportInto({Path("locked.csv")}), 0);
}

// What the user is told names who ended it: the user, the phone or the link.
TEST_F(ContactTransferTest, AnImportEndedPartWayKeepsWhatItCreatedAndSaysWhy) {
    enum class Stop { Cancel, RefusedWrite, LostLink };
    for (const Stop stop : {Stop::Cancel, Stop::RefusedWrite, Stop::LostLink}) {
        SCOPED_TRACE(static_cast<int>(stop));
        vexa::sim::SimFaults faults;
        faults.failNthWrite = stop == Stop::RefusedWrite ? 100 : 0;
        faults.dropAfterOps = stop == Stop::LostLink ? 8 : 0;
        vexa::sim::SetFaults(faults);
        // The fault counters start with the session this opens.
        vexa::ContactBook* book = m_phones.Open("target-1");
        ASSERT_NE(book, nullptr);
        const int before = book->GetContactCount(vexa::LIST_ALL);
        CImportContactHelper helper;
        helper.SetRecords(Generated(20));
        helper.DropGroups(); // the faults then fall among the contacts
        int done = 0;
        const auto result = helper.Import(
            book, [&] { return stop == Stop::Cancel && done >= 5; }, [&done](int, int d) { done = d; });
        const int created = helper.Count();
        const QString told = helper.OutcomeText(result, !m_phones.Session()->IsConnected());
        vexa::sim::SetFaults({});
        EXPECT_EQ(TargetCount() - before, created);
        if (stop == Stop::Cancel) {
            EXPECT_EQ(result, CImportContactHelper::Import_Cancelled);
            EXPECT_EQ(created, 5);
            EXPECT_EQ(told, Str(292) + QStringLiteral("，") + FormatText(Str(288), 5));
            continue;
        }
        EXPECT_EQ(result, CImportContactHelper::Import_Failed);
        EXPECT_GT(created, 0);
        EXPECT_LT(created, 20);
        EXPECT_EQ(told, FormatText(Str(2750), created, 20 - created) + Str(stop == Stop::LostLink ? 2751 : 2752));
    }
}

} // namespace
