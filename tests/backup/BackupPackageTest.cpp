#include "backup/BackupPackage.h"
#include "TestFiles.h"
#include "backup/ItemExporters.h"
#include "backup/PackageStream.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <zlib.h>

using namespace backup;

namespace {

QByteArray Le32(std::uint32_t v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<char>(v >> (8 * i));
    }
    return b;
}

QByteArray Block(const QByteArray& plain) {
    uLongf size = compressBound(static_cast<uLong>(plain.size()));
    QByteArray out(static_cast<qsizetype>(size), '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(plain.constData()),
             static_cast<uLong>(plain.size()));
    out.resize(static_cast<qsizetype>(size));
    return Le32(static_cast<std::uint32_t>(out.size())) + out;
}

// A package made by hand, for inputs our writer would never produce. The CRC is right unless broken.
QByteArray HandMade(const QByteArray& body) {
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.constData()), static_cast<uInt>(body.size()));
    return Le32(kPackageMagic) + Le32(static_cast<std::uint32_t>(crc)) + body;
}

QByteArray Header() {
    return Block("0=1") + Block("2");
}

class BackupPackageTest : public ::testing::Test {
protected:
    QString Item(const QString& name, const QByteArray& data) {
        const QString path = QDir(m_dir.filePath(QStringLiteral("items"))).filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        EXPECT_TRUE(vexa::test::WriteFile(path, data));
        return path;
    }
    QString Save(const QByteArray& package) {
        const QString path = m_dir.filePath(QStringLiteral("hand.bkg"));
        EXPECT_TRUE(vexa::test::WriteFile(path, package));
        return path;
    }
    QString Unpack() const { return m_dir.filePath(QStringLiteral("unpack")); }
    QStringList UnpackedFiles() const { return QDir(Unpack()).entryList(QDir::Files | QDir::Hidden); }
    // Everything under the test folder except items, packages and the unpack folder.
    QStringList StrayFiles() const {
        QStringList stray;
        QDirIterator it(m_dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            if (!p.contains(QLatin1String("/items/")) && !p.contains(QLatin1String("/unpack/")) &&
                !p.endsWith(QLatin1String(".bkg"))) {
                stray << p;
            }
        }
        return stray;
    }
    static QByteArray Random(qsizetype n) {
        QByteArray data(n, Qt::Uninitialized);
        for (qsizetype i = 0; i < n; ++i) {
            data[i] = static_cast<char>(QRandomGenerator::global()->bounded(256));
        }
        return data;
    }

    QTemporaryDir m_dir;
};

TEST(PackageDescriptorText, CountsTextBothWaysAndSafeItemNames) {
    EXPECT_EQ(CountsText({{Alarms, 3}, {Contacts, 12}}), QStringLiteral("0=12,7=3"));
    PackageDescriptor d;
    d.counts = ParseCountsText(QStringLiteral("0=12,junk,7=3,=,5=x,"));
    EXPECT_EQ(d.Count(Contacts), 12);
    EXPECT_EQ(d.Count(Alarms), 3);
    EXPECT_EQ(d.Count(Memos), -1);
    EXPECT_EQ(d.counts.size(), 2u);
    // Only plain file names are safe item names.
    EXPECT_TRUE(IsSafeItemName(QStringLiteral("msg.csv")));
    EXPECT_TRUE(IsSafeItemName(QStringLiteral("王者 荣耀.apk")));
    EXPECT_TRUE(IsSafeItemName(QStringLiteral("..apk")));
    for (const char* bad : {"", ".", "..", "a/b", "a\\b", "C:", "x:y", "tab\t"}) {
        EXPECT_FALSE(IsSafeItemName(QString::fromUtf8(bad))) << bad;
    }
}

TEST_F(BackupPackageTest, RoundTripWithChunkBoundariesAndAnEmptyFile) {
    PackageDescriptor d;
    d.counts = {{Contacts, 12}, {Apps, 2}, {Alarms, 3}};
    const QByteArray exact = Random(kChunkBytes);
    const QByteArray oneMore = Random(kChunkBytes + 1);
    const QByteArray text = QByteArray("BEGIN:VCARD\r\n").repeated(5000);
    d.files = {Item(QStringLiteral("contact.vcf"), text), Item(QStringLiteral("微信.apk"), exact),
               Item(QStringLiteral("sub/other.apk"), oneMore), Item(QStringLiteral("Clock.bac"), QByteArray())};
    std::map<int, int> chunks;
    std::map<int, qint64> lastDone;
    const QString package = m_dir.filePath(QStringLiteral("a.bkg"));
    ASSERT_TRUE(WritePackage(package, d, [&](int files, int index, qint64 length, qint64 done) {
        EXPECT_EQ(files, 4);
        ++chunks[index];
        EXPECT_GE(done, lastDone[index]);
        lastDone[index] = done;
        EXPECT_LE(done, length);
    }));
    EXPECT_EQ(chunks[1], 1) << "10240 bytes are one chunk";
    EXPECT_EQ(chunks[2], 2) << "10241 bytes are two";
    EXPECT_EQ(chunks[3], 1) << "an empty file reports once";
    EXPECT_EQ(lastDone[3], 0);

    PackageDescriptor header;
    ASSERT_TRUE(ReadPackageHeader(package, header));
    EXPECT_EQ(header.counts, d.counts);
    EXPECT_EQ(header.version, 2);

    Item(QStringLiteral("../unpack/stale.apk"), "from an older package");
    std::map<int, int> unpackChunks;
    std::map<int, qint64> unpacked;
    const UnpackResult r = ReadPackage(package, Unpack(), [&](int files, int index, qint64 length, qint64 done) {
        EXPECT_EQ(files, 4);
        ++unpackChunks[index];
        EXPECT_LE(done, length);
        unpacked[index] = done;
    });
    ASSERT_TRUE(r.ok) << qPrintable(r.error);
    // The reader reports the same chunks the writer did, ending at each file's length.
    EXPECT_EQ(unpackChunks, chunks);
    EXPECT_EQ(unpacked[0], text.size());
    EXPECT_EQ(unpacked[2], oneMore.size());
    EXPECT_EQ(r.header.files, (QStringList{QStringLiteral("contact.vcf"), QStringLiteral("微信.apk"),
                                           QStringLiteral("other.apk"), QStringLiteral("Clock.bac")}));
    EXPECT_FALSE(UnpackedFiles().contains(QStringLiteral("stale.apk"))) << "the unpack folder is emptied first";
    const auto content = [&](const QString& name) { return vexa::test::ReadFile(QDir(Unpack()).filePath(name)); };
    EXPECT_EQ(content(QStringLiteral("contact.vcf")), text);
    EXPECT_EQ(content(QStringLiteral("微信.apk")), exact);
    EXPECT_EQ(content(QStringLiteral("other.apk")), oneMore);
    EXPECT_TRUE(QFile::exists(QDir(Unpack()).filePath(QStringLiteral("Clock.bac"))));
    EXPECT_EQ(content(QStringLiteral("Clock.bac")), QByteArray());
    // No item files: nothing is written.
    const QString none = m_dir.filePath(QStringLiteral("none.bkg"));
    EXPECT_FALSE(WritePackage(none, PackageDescriptor{}));
    EXPECT_FALSE(QFile::exists(none));

    // Another zlib: Python reads the container and inflates every block on its own.
    const char* script = R"(
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
magic, crc = struct.unpack_from('<II', data, 0)
assert magic == 0x01030610 and crc == zlib.crc32(data[8:]) & 0xffffffff
pos = 8
def block():
    global pos
    (n,) = struct.unpack_from('<I', data, pos)
    out = zlib.decompress(data[pos + 4:pos + 4 + n])
    pos += 4 + n
    assert len(out) <= 20480
    return out
print(block().decode('ascii'), block().decode('ascii'))
(count,) = struct.unpack_from('<I', data, pos); pos += 4
for _ in range(count):
    name = block().decode('gbk')
    (size,) = struct.unpack_from('<I', data, pos); pos += 4
    got = b''
    while len(got) < size:
        got += block()
    print(name, size, len(got))
assert pos == len(data)
)";
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(script), package});
    ASSERT_TRUE(py.waitForFinished(30000));
    ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().constData();
    EXPECT_EQ(QString::fromUtf8(py.readAllStandardOutput()),
              QStringLiteral(
                  "0=12,3=2,7=3 2\ncontact.vcf %1 %1\n微信.apk 10240 10240\nother.apk 10241 10241\nClock.bac 0 0\n")
                  .arg(text.size()));
}

TEST_F(BackupPackageTest, DamagedAndHostilePackagesRestoreNothingAndWriteNothingOutside) {
    PackageDescriptor d;
    d.counts = {{Bookmarks, 1}};
    d.files = {Item(QStringLiteral("WebMark.bac"), QByteArray("\0\0\0\1abc", 7))};
    const QString package = m_dir.filePath(QStringLiteral("small.bkg"));
    ASSERT_TRUE(WritePackage(package, d));
    const QByteArray good = vexa::test::ReadFile(package);
    for (qsizetype at = 8; at < good.size(); ++at) {
        QByteArray bad = good;
        bad[at] = static_cast<char>(bad[at] ^ 0x5A);
        const UnpackResult r = ReadPackage(Save(bad), Unpack());
        ASSERT_FALSE(r.ok) << "byte " << at;
        ASSERT_TRUE(UnpackedFiles().isEmpty()) << "byte " << at;
    }
    // Truncated at every offset: refused, nothing restored, no crash.
    for (qsizetype len = 0; len < good.size(); ++len) {
        ASSERT_FALSE(ReadPackage(Save(good.left(len)), Unpack()).ok) << "length " << len;
        ASSERT_TRUE(UnpackedFiles().isEmpty()) << "length " << len;
    }

    // Hostile packages are rejected with nothing written outside (which names: IsSafeItemName above).
    std::vector<std::pair<std::string, QByteArray>> cases;
    for (const QByteArray name : {"../evil.apk", "sub\\x.apk"}) {
        cases.emplace_back("item named " + name.toStdString(),
                           Header() + Le32(1) + Block(name) + Le32(3) + Block("abc"));
    }
    cases.insert(
        cases.end(),
        {
            {"four billion files", Header() + Le32(0xFFFFFFFFu) + Block("a")},
            {"size beyond the data", Header() + Le32(1) + Block("a.apk") + Le32(0xFFFFFFF0u) + Block("abc")},
            {"size larger than the chunks", Header() + Le32(1) + Block("a.apk") + Le32(100) + Block("abc")},
            {"chunk larger than the size", Header() + Le32(1) + Block("a.apk") + Le32(2) + Block("abc")},
            {"zlib bomb", Header() + Le32(1) + Block("a.apk") + Le32(1 << 20) + Block(QByteArray(1 << 20, '\0'))},
            {"block length beyond the file", Header() + Le32(1) + Le32(0x7FFFFFFF)},
            {"not zlib", Header() + Le32(1) + Le32(4) + QByteArray("junk")},
            // A good item followed by a bad one: the good one is removed again.
            {"a bad item after a good one",
             Header() + Le32(2) + Block("ok.apk") + Le32(2) + Block("ok") + Block("../x") + Le32(1) + Block("x")},
        });
    for (const auto& [what, body] : cases) {
        EXPECT_FALSE(ReadPackage(Save(HandMade(body)), Unpack()).ok) << what;
        EXPECT_TRUE(UnpackedFiles().isEmpty()) << what;
    }
    EXPECT_TRUE(StrayFiles().isEmpty()) << qPrintable(StrayFiles().join(u' '));

    // Even a file that is no package at all clears what an earlier unpack left behind.
    Item(QStringLiteral("../unpack/left.apk"), "old");
    EXPECT_FALSE(ReadPackage(Save(QByteArray("PK\3\4 not ours")), Unpack()).ok);
    EXPECT_TRUE(UnpackedFiles().isEmpty());
    PackageDescriptor header;
    EXPECT_FALSE(ReadPackageHeader(Save(QByteArray("\x10\x06\x03\x01")), header));
}

// A store that keeps its records in memory, as a phone's store would.
template <class Store, class Item> class MemoryStore : public Store {
public:
    std::vector<Item> items;
    int prepared = 0;
    std::function<void()> onAdd;
    int Load() override { return 1; }
    bool IsLoaded() override { return true; }
    int GetCount() override { return static_cast<int>(items.size()); }
    const Item* GetItemAt(int index) override { return &items[static_cast<std::size_t>(index)]; }
    bool AddItem(Item* item) override {
        if (onAdd) {
            onAdd();
        }
        items.push_back(*item);
        delete item;
        return true;
    }
    bool PrepareRestore() override {
        ++prepared;
        return true;
    }
};

using Bookmarks = MemoryStore<vexa::BookmarkStore, vexa::Bookmark>;
using Memos = MemoryStore<vexa::CalendarStore, vexa::Memo>;
using Settings = MemoryStore<vexa::SettingsStore, vexa::SettingsGroup>;
using Alarms = MemoryStore<vexa::AlarmStore, vexa::Alarm>;

template <class Exporter, class StoreT> QByteArray ExportBytes(StoreT& store) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    CPackageStream stream(&buffer);
    EXPECT_TRUE(Exporter::Export(&store, stream));
    return bytes;
}

template <class Exporter, class StoreT> bool ImportBytes(QByteArray bytes, StoreT& store) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    CPackageStream stream(&buffer);
    return Exporter::Import(stream, &store);
}

// The records of store as an empty phone holds them after an export and an import.
template <class Exporter, class StoreT> auto ReadBack(StoreT& store) {
    StoreT back;
    EXPECT_TRUE(ImportBytes<Exporter>(ExportBytes<Exporter>(store), back));
    return back.items;
}

TEST(ItemExporters, AlarmLayoutIsBigEndianInFieldOrderAndEveryStoreRoundTrips) {
    Alarms store;
    store.items.push_back({7, 30, 0x1F, true, 1, QStringLiteral("起床"), 10, QStringLiteral("a.ogg"), 5});
    const QByteArray bytes = ExportBytes<CClockExport>(store);
    EXPECT_EQ(bytes.left(4 + 12 + 1), QByteArray("\0\0\0\x01"
                                                 "\0\0\0\x07"
                                                 "\0\0\0\x1E"
                                                 "\0\0\0\x1F"
                                                 "\x01",
                                                 17));
    EXPECT_EQ(ReadBack<CClockExport>(store), store.items);

    Bookmarks bookmarks;
    bookmarks.items = {{QStringLiteral("首页"),
                        QStringLiteral("http://vexa.example.com/"),
                        12,
                        QByteArray("\x89PNG", 4),
                        {},
                        QByteArray(300, 'x')}};
    EXPECT_EQ(ReadBack<CWebMarkExport>(bookmarks), bookmarks.items);

    Memos memos;
    vexa::Memo m{
        QStringLiteral("会议"),       QStringLiteral("三楼"),          QStringLiteral("带电脑"),     1000, 2000, false,
        {{900, 10, 0}, {800, 20, 2}}, QStringLiteral("Asia/Shanghai"), QStringLiteral("FREQ=WEEKLY")};
    memos.items = {m, vexa::Memo{}};
    EXPECT_EQ(ReadBack<CCalendarExport>(memos), memos.items);

    Settings settings;
    vexa::SettingsGroup g{3, {}};
    // One value of each type, holding only the field its type stores.
    g.values = {{.id = 101, .type = 1, .charValue = 'Z', .text = {}, .blob = {}},
                {.id = 102, .type = 2, .uintValue = 0xDEADBEEF, .text = {}, .blob = {}},
                {.id = 103, .type = 3, .text = QStringLiteral("铃声"), .blob = {}},
                {.id = 104, .type = 4, .text = {}, .blob = QByteArray("\0\1\2", 3)},
                {.id = 105, .type = 5, .text = {}, .blob = {}, .uint64Value = 0x0102030405060708ULL},
                {.id = 106, .type = 6, .text = {}, .blob = {}, .boolValue = true}};
    settings.items = {g};
    EXPECT_EQ(ReadBack<CSysSettingExport>(settings), settings.items);
    // An empty blob setting is left out, so the rest still reads.
    settings.items = {vexa::SettingsGroup{
        0,
        {{.id = 1, .type = 4, .text = {}, .blob = {}}, {.id = 2, .type = 2, .uintValue = 42, .text = {}, .blob = {}}}}};
    const auto groups = ReadBack<CSysSettingExport>(settings);
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_EQ(groups[0].values.size(), 1u);
    EXPECT_EQ(groups[0].values[0].uintValue, 42u);
}

TEST(ItemExporters, DamagedFilesChangeNothingOnThePhone) {
    const auto be32 = [](std::uint32_t v) {
        const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        return QByteArray(bytes, 4);
    };
    Memos one;
    one.items = {vexa::Memo{QStringLiteral("a"), {}, {}, 1, 2, true, {{3, 4, 5}}, {}, {}}};
    const QByteArray good = ExportBytes<CCalendarExport>(one);
    const QByteArray memo = good.mid(4);
    // A memo whose reminder count claims far more entries than follow.
    QByteArray manyReminders = memo;
    manyReminders.replace(3 * 4 + 1 + 16 + 1, 4, be32(0x7FFFFFFF));
    std::vector<std::pair<std::string, QByteArray>> cases = {
        {"a count of four billion", be32(0xFFFFFFFF) + QByteArray(4096, '\0')},
        {"one memo too many", be32(3) + memo + memo},
        {"reminders beyond the end", be32(1) + manyReminders},
        {"more memos than a phone holds, each one whole",
         be32(kMaxStoreRecords + 1) + memo.repeated(kMaxStoreRecords + 1)},
        {"a title longer than the file", be32(1) + be32(0x00FFFFFF) + QByteArray(64, 'x')},
    };
    for (qsizetype len = 0; len < good.size(); ++len) {
        cases.emplace_back("cut at " + std::to_string(len), good.left(len));
    }
    for (const auto& [what, bytes] : cases) {
        Memos phone;
        phone.items = {vexa::Memo{QStringLiteral("kept"), {}, {}, 0, 0, false, {}, {}, {}}};
        EXPECT_FALSE(ImportBytes<CCalendarExport>(bytes, phone)) << what;
        EXPECT_EQ(phone.prepared, 0) << what;
        EXPECT_EQ(phone.items.size(), 1u) << what;
    }
    Alarms phone;
    phone.items = {vexa::Alarm{}};
    EXPECT_FALSE(ImportBytes<CClockExport>(QByteArray("\xFF\xFF\xFF\xFF", 4), phone))
        << "four billion records, no data";
    EXPECT_EQ(phone.items.size(), 1u);
    Settings settings;
    EXPECT_FALSE(ImportBytes<CSysSettingExport>(QByteArray("\0\0\0\1\0\0\0\1\0\0\0\1\0\0\0\1\0\0\0\x09", 20), settings))
        << "an unknown value type";
    EXPECT_FALSE(ImportBytes<CSysSettingExport>(be32(1) + be32(7) + be32(0x10000000) + QByteArray(90, '\1'), settings))
        << "a settings group claiming more values than bytes";
    EXPECT_EQ(settings.prepared, 0);
}

TEST(ItemExporters, RecordsGoToThePhoneOneAtATimeAndThoseItHoldsAreNotAddedAgain) {
    Alarms source;
    for (std::uint32_t hour = 6; hour < 9; ++hour) {
        source.items.push_back(vexa::Alarm{hour, 0, 0x1F, true, 0, QStringLiteral("闹钟"), 5, {}, 3});
    }
    QByteArray bytes = ExportBytes<CClockExport>(source);
    Alarms phone;
    phone.items = {source.items[1]};
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    // Where the reader stands at each add: a reader holding every record first would stand at the end.
    std::vector<qint64> positions;
    phone.onAdd = [&] { positions.push_back(buffer.pos()); };
    CPackageStream stream(&buffer);
    ASSERT_TRUE(CClockExport::Import(stream, &phone));
    ASSERT_EQ(positions.size(), 2u) << "the alarm the phone had is skipped";
    EXPECT_LT(positions[0], positions[1]) << "the first record is in before the last is read";
    std::vector<vexa::Alarm> expected{source.items[1], source.items[0], source.items[2]};
    EXPECT_EQ(phone.items, expected);
    ASSERT_TRUE(ImportBytes<CClockExport>(bytes, phone));
    EXPECT_EQ(phone.items, expected) << "a second restore adds nothing";
}

TEST(PackageStream, BigEndianLayoutAndHostileLengthsFailWithoutAllocating) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    CPackageStream out(&buffer);
    out.WriteUInt32(0x01020304);
    out.WriteUInt64(0x0A0B0C0D0E0F1011ULL);
    out.WriteBool(true);
    out.WriteString(QString());
    out.WriteString(QStringLiteral("闹钟"));
    out.WriteBlob(QByteArray("\0\1", 2));
    ASSERT_FALSE(out.Failed());
    EXPECT_EQ(bytes, QByteArray("\x01\x02\x03\x04"
                                "\x0A\x0B\x0C\x0D\x0E\x0F\x10\x11"
                                "\x01"
                                "\0\0\0\0"
                                "\0\0\0\x06\xE9\x97\xB9\xE9\x92\x9F"
                                "\0\0\0\x02\0\x01",
                                4 + 8 + 1 + 4 + 10 + 6));

    buffer.close();
    buffer.open(QIODevice::ReadOnly);
    CPackageStream in(&buffer);
    std::uint32_t u32 = 0;
    std::uint64_t u64 = 0;
    bool flag = false;
    QString empty = QStringLiteral("x");
    QString text;
    QByteArray blob;
    EXPECT_TRUE(in.ReadUInt32(u32) && in.ReadUInt64(u64) && in.ReadBool(flag) && in.ReadString(empty) &&
                in.ReadString(text) && in.ReadBlob(blob));
    EXPECT_EQ(u32, 0x01020304u);
    EXPECT_EQ(u64, 0x0A0B0C0D0E0F1011ULL);
    EXPECT_TRUE(flag);
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(text, QStringLiteral("闹钟"));
    EXPECT_EQ(blob, QByteArray("\0\1", 2));
    EXPECT_FALSE(in.ReadUInt32(u32)) << "end of data";
    EXPECT_TRUE(in.Failed());

    // Hostile lengths fail without allocating.
    for (const QByteArray& data : {QByteArray("\x01\x00\x00\x00", 4), QByteArray("\xFF\xFF\xFF\xFF", 4),
                                   QByteArray("\x00\xFF\xFF\xFF", 4) /* below the limit, data missing */,
                                   QByteArray("\x00\x00\x00\x05"
                                              "abc",
                                              7),
                                   QByteArray("\x00\x00", 2)}) {
        QByteArray copy = data;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        CPackageStream in(&buffer);
        QByteArray blob;
        EXPECT_FALSE(in.ReadBlob(blob)) << data.toHex().constData();
        EXPECT_TRUE(blob.isEmpty());
        QString text = QStringLiteral("kept?");
        EXPECT_FALSE(in.ReadString(text)) << "a failed stream stays failed";
    }
}

} // namespace
