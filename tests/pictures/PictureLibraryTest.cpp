// The picture library over the simulated phone and through real adb, compared byte for byte.
#include "pictures/CThumbnailCache.h"
#include "pictures/PictureLibrary.h"
#include "pictures/PictureRules.h"

#include "BridgeBackend.h"
#include "PictureTestImages.h"
#include "TestFiles.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/PictureStore.h"
#include "platform/StringTable.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pictures;
using vexa::test::ReadFile;
using vexa::test::WriteFile;

namespace {

const TestPhoneIdentity kPhone{QStringLiteral("PIC1")};

class PictureLibraryTest : public ::testing::TestWithParam<BackendFactory> {
protected:
    void SetUp() override {
        m_backend = GetParam().make();
        if (const QString missing = m_backend->Unavailable(); !missing.isEmpty()) {
            GTEST_SKIP() << missing.toStdString();
        }
        ASSERT_TRUE(m_backend->CreatePhone(kPhone));
        m_bridge = m_backend->MakeBridge();
        ASSERT_NE(m_bridge->ConnectUsbDevice(kPhone.serial), 0);
        m_session = m_bridge->GetSession();
        ASSERT_NE(m_session, nullptr);
        m_store = m_session->GetPictureStore();
        m_files = m_session->GetFileSystem();
        ASSERT_NE(m_store, nullptr);
        ASSERT_NE(m_files, nullptr);
        ASSERT_TRUE(m_files->RefreshStorageInfo());
        ASSERT_EQ(m_store->LoadPictures(), 1);
    }

    int NewAlbum(const QString& name) {
        EXPECT_EQ(CreateAlbum(*m_store, *m_files, 1, name), 0);
        return FindAlbum(ListAlbums(*m_store, m_files), name);
    }

    QStringList MakeJpegs(int count, const QString& prefix = QStringLiteral("p")) {
        QStringList files;
        for (int i = 0; i < count; ++i) {
            const QString path = m_local.filePath(QStringLiteral("%1%2.jpg").arg(prefix).arg(i, 3, 10, QChar(u'0')));
            EXPECT_TRUE(WriteFile(path, test::MakeJpeg(i)));
            files << path;
        }
        return files;
    }

    std::unique_ptr<BridgeBackend> m_backend;
    std::unique_ptr<vexa::DeviceBridge> m_bridge;
    vexa::DeviceSession* m_session = nullptr;
    vexa::PictureStore* m_store = nullptr;
    vexa::FileSystem* m_files = nullptr;
    QTemporaryDir m_local;
};

TEST_P(PictureLibraryTest, ImportsCountAtOnceExportByteForByteAndPassOverBadFiles) {
    const int album = NewAlbum(QStringLiteral("旅行"));
    ASSERT_GE(album, 0);
    const std::vector<AlbumInfo> before = ListAlbums(*m_store, m_files);
    EXPECT_EQ(before[static_cast<std::size_t>(album)].location, Str(837) + QStringLiteral("/旅行"));

    const QStringList files = MakeJpegs(50);
    int lastProgress = 0;
    BatchHooks hooks;
    hooks.progress = [&lastProgress](int, int done) { lastProgress = done; };
    const BatchOutcome imported = ImportPictures(*m_store, album, files, hooks);
    ASSERT_EQ(imported.result, BatchOutcome::Succeeded) << imported.error.toStdString();
    EXPECT_EQ(imported.done, 50);
    EXPECT_EQ(lastProgress, 50);
    EXPECT_EQ(ListAlbums(*m_store, m_files)[static_cast<std::size_t>(album)].count, 50);

    QTemporaryDir out;
    const std::vector<PictureItem> items = ListPictures(*m_store, album);
    const BatchOutcome exported = ExportPictures(*m_store, items, out.path(), {});
    ASSERT_EQ(exported.result, BatchOutcome::Succeeded) << exported.error.toStdString();
    ASSERT_EQ(exported.done, 50);
    for (const QString& file : files) {
        const QString name = QFileInfo(file).fileName();
        EXPECT_EQ(ReadFile(QDir(out.path()).filePath(name)), ReadFile(file)) << name.toStdString();
    }

    // A second export keeps both by default, replaces when told, and stops when cancelled.
    const std::vector<PictureItem> first(items.begin(), items.begin() + 2);
    EXPECT_EQ(ExportPictures(*m_store, first, out.path(), {}).result, BatchOutcome::Succeeded);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), 52);
    EXPECT_TRUE(QFileInfo::exists(QDir(out.path()).filePath(NumberedName(first[0].name, [](const QString&) { return false; }))));
    int asked = 0;
    hooks = {};
    hooks.askClash = [&asked](const QString&) { return ++asked, kAnswerReplace + kAnswerForAll; };
    EXPECT_EQ(ExportPictures(*m_store, first, out.path(), hooks).result, BatchOutcome::Succeeded);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), 52);
    hooks.askClash = [](const QString&) { return kAnswerCancel; };
    EXPECT_EQ(ExportPictures(*m_store, first, out.path(), hooks).result, BatchOutcome::Cancelled);

    const int odds = NewAlbum(QStringLiteral("杂项"));
    ASSERT_GE(odds, 0);
    const QString good = MakeJpegs(1).front();
    const QString text = m_local.filePath(QStringLiteral("notes.jpg"));
    const QString empty = m_local.filePath(QStringLiteral("empty.jpg"));
    const QString huge = m_local.filePath(QStringLiteral("huge.png"));
    const QString quoted = m_local.filePath(QStringLiteral("say \"cheese\".jpg"));
    ASSERT_TRUE(WriteFile(text, "this is not a picture"));
    ASSERT_TRUE(WriteFile(empty, {}));
    ASSERT_TRUE(WriteFile(huge, test::MakeHugePngHeader(20000, 20000)));
    ASSERT_TRUE(WriteFile(quoted, test::MakeJpeg(7)));
    const BatchOutcome outcome =
        ImportPictures(*m_store, odds, {text, empty, good, huge, quoted, m_local.filePath("gone.jpg")}, {});
    EXPECT_EQ(outcome.result, BatchOutcome::Succeeded);
    EXPECT_EQ(outcome.done, 2); // the good JPEG and the huge PNG, which is copied without decoding
    ASSERT_EQ(outcome.notices.size(), 4);
    EXPECT_EQ(outcome.notices[0], FormatText(Str(2900), "notes.jpg"));
    EXPECT_EQ(outcome.notices[1], FormatText(Str(2901), "empty.jpg"));
    EXPECT_EQ(outcome.notices[2], FormatText(Str(2902), "say \"cheese\".jpg"));
    EXPECT_TRUE(outcome.notices[3].contains(QStringLiteral("gone.jpg")));

    // The huge picture gets no thumbnail and costs no memory; the good one gets one within the box.
    CThumbnailCache cache(m_local.filePath(QStringLiteral("thumbs")));
    for (const PictureItem& item : ListPictures(*m_store, odds)) {
        const QImage thumbnail = cache.Get(*m_store, item);
        if (item.name == QLatin1String("huge.png")) {
            EXPECT_TRUE(thumbnail.isNull());
            EXPECT_TRUE(cache.Failed(item));
        } else {
            ASSERT_FALSE(thumbnail.isNull());
            EXPECT_LE(thumbnail.width(), 120);
            EXPECT_LE(thumbnail.height(), 120);
        }
    }
    EXPECT_LT(cache.MemoryBytes(), 120 * 120 * 4 + 1);
}

TEST_P(PictureLibraryTest, RenamesWallpaperAndDeletesFollowTheNameRulesAndThePhone) {
    const int album = NewAlbum(QStringLiteral("家"));
    ASSERT_GE(album, 0);
    EXPECT_EQ(CreateAlbum(*m_store, *m_files, 0, QStringLiteral("家")), 838); // the other refusals: PictureRulesTest
    ASSERT_EQ(ImportPictures(*m_store, album, MakeJpegs(4), {}).done, 4);

    std::vector<PictureItem> items = ListPictures(*m_store, album);
    ASSERT_EQ(items.size(), 4u);
    QString renamed;
    EXPECT_EQ(RenamePicture(*m_store, album, items[0], items[1].name, &renamed), 997);
    EXPECT_EQ(RenamePicture(*m_store, album, items[0], QStringLiteral("海边"), &renamed), 0);
    EXPECT_EQ(renamed, QStringLiteral("海边.jpg"));
    EXPECT_TRUE(m_store->PictureExists(album, renamed));

    EXPECT_EQ(RenameAlbum(*m_store, *m_files, album, QStringLiteral("bad:name")), 1005);
    ASSERT_EQ(RenameAlbum(*m_store, *m_files, album, QStringLiteral("老家")), 0);
    const int moved = FindAlbum(ListAlbums(*m_store, m_files), QStringLiteral("老家"));
    ASSERT_GE(moved, 0);
    items = ListPictures(*m_store, moved);
    ASSERT_EQ(items.size(), 4u);

    // The wallpaper is set where the phone allows it, reported missing and not imitated elsewhere.
    const bool wallpaper = m_backend->Supports(BackendCapability::Wallpaper);
    EXPECT_EQ(m_session->GetSystemSettings() != nullptr, wallpaper);
    EXPECT_EQ(SetWallpaper(*m_session, items[0].path), wallpaper);
    if (wallpaper) {
        EXPECT_EQ(m_session->GetSystemSettings()->GetWallpaper(), items[0].path);
        EXPECT_FALSE(SetWallpaper(*m_session, items[0].path + QStringLiteral(".gone.jpg")));
    }

    // Unplugged half-way: the batch stops as cancelled and what was deleted stays deleted.
    int calls = 0;
    BatchOutcome outcome = DeletePictures(*m_store, items, {}, [&calls] { return ++calls <= 2; });
    EXPECT_EQ(outcome.result, BatchOutcome::Cancelled);
    EXPECT_EQ(outcome.done, 2);
    EXPECT_EQ(outcome.written, (QStringList{items[3].path, items[2].path})); // last to first
    EXPECT_EQ(ListPictures(*m_store, moved).size(), 2u);
    outcome = DeletePictures(*m_store, {items[0], items[1]}, {}, {});
    EXPECT_EQ(outcome.result, BatchOutcome::Succeeded);
    EXPECT_EQ(m_store->GetPictureCount(moved), 0);
    EXPECT_EQ(DeletePictures(*m_store, {items[0]}, {}, {}).result, BatchOutcome::Failed);
}

TEST(PictureOrderTest, NewestFirstThenByNameWhateverThePhonesOrder) {
    const struct {
        const char* path;
        int day, second;
    } listed[] = {{"/a/b.jpg", 2, 0}, {"/a/C.jpg", 3, 0}, {"/a/a.jpg", 2, 0}, {"/b/a.jpg", 2, 0}, {"/a/z.jpg", 2, 1}};
    std::vector<pictures::PictureItem> items;
    for (const auto& l : listed) {
        pictures::PictureItem item;
        item.path = QString::fromLatin1(l.path);
        item.name = item.path.mid(3);
        item.time.wYear = 2024;
        item.time.wDay = static_cast<decltype(item.time.wDay)>(l.day);
        item.time.wSecond = static_cast<decltype(item.time.wSecond)>(l.second);
        items.push_back(item);
    }
    for (int turn = 0; turn < 2; ++turn) { // the same order from a reversed listing
        std::vector<pictures::PictureItem> sorted = items;
        pictures::SortForGrid(sorted);
        QStringList paths;
        for (const pictures::PictureItem& item : sorted) {
            paths << item.path;
        }
        EXPECT_EQ(paths.join(u' '), QStringLiteral("/a/C.jpg /a/z.jpg /a/a.jpg /b/a.jpg /a/b.jpg"));
        std::reverse(items.begin(), items.end());
    }
}

TEST(ThumbnailCacheTest, SecondVisitComesFromDiskAndMemoryStaysWithinItsLimit) {
    QTemporaryDir dir;
    std::vector<PictureItem> items;
    for (int i = 0; i < 40; ++i) {
        PictureItem item;
        item.path = QStringLiteral("/p/%1.jpg").arg(i);
        item.size = 1000 + static_cast<std::uint32_t>(i);
        item.thumbnail = test::MakeJpeg(i, 400, 300);
        items.push_back(item);
    }
    // The store is never asked: every picture brings its own small image.
    struct NoStore : vexa::PictureStore {
        int LoadPictures() override { return 0; }
        bool IsPicturesLoaded() override { return false; }
        int GetAlbumCount() override { return 0; }
        QString GetAlbumName(int) override { return {}; }
        QString GetAlbumPath(int) override { return {}; }
        int GetPictureCount(int) override { return 0; }
        vexa::Picture* GetPictureAt(int, int) override { return nullptr; }
        bool GetAlbumSummary(int, QString*) override { return false; }
        bool DownloadPicture(const QString&, const QString&, TransferProgress, void*) override { return false; }
        bool CreateAlbum(const QString&, const QString&) override { return false; }
        bool ImportPicture(int, const QString&, bool, QString*) override { return false; }
        bool DeletePicture(const QString&) override { return false; }
        bool RenamePicture(const QString&, const QString&) override { return false; }
        bool PictureExists(int, const QString&) override { return false; }
    } store;
    const qint64 limit = 10 * 120 * 90 * 4;
    {
        CThumbnailCache cache(dir.path(), limit);
        for (const PictureItem& item : items) {
            const QImage image = cache.Get(store, item);
            ASSERT_EQ(image.size(), QSize(120, 90));
            EXPECT_LE(cache.MemoryBytes(), limit);
        }
        EXPECT_FALSE(cache.Cached(items.back()).isNull());
        EXPECT_TRUE(cache.Cached(items.front()).isNull()); // the oldest went first
    }
    CThumbnailCache again(dir.path(), limit);
    for (PictureItem item : items) {
        item.thumbnail.clear(); // only the disk can answer now
        EXPECT_FALSE(again.Get(store, item).isNull());
    }
    EXPECT_EQ(again.PhoneFetches(), 0);
    // A picture whose time changed is a new picture: it is fetched, and here it cannot be.
    PictureItem changed = items.front();
    changed.thumbnail.clear();
    changed.time.wYear = 2030;
    EXPECT_TRUE(again.Get(store, changed).isNull());
    EXPECT_EQ(again.PhoneFetches(), 1);

    // A picture cut short gives no thumbnail (a huge header: ThumbnailPlans).
    QBuffer broken;
    broken.setData(test::MakeJpeg(1).left(40));
    broken.open(QIODevice::ReadOnly);
    EXPECT_TRUE(CThumbnailCache::DecodeScaled(broken, QSize(120, 120)).isNull());
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Backends, PictureLibraryTest,
                         ::testing::Values(BackendFactory{"sim", [] { return MakeSimBackend(); }},
                                           BackendFactory{"adb", [] { return MakeAdbBackend(); }}),
                         [](const ::testing::TestParamInfo<BackendFactory>& info) { return info.param.name; });
