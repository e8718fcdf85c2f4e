// The app look cache: what is put comes back; a damaged or hostile file is an empty cache and one log line.
#include "bridge/adb/AdbAppCache.h"
#include "TestFiles.h"

#include "libs/log/Log.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using vexa::adbphone::AppLook;
using vexa::adbphone::CAdbAppCache;
using vexa::test::TinyPng;

namespace {

// A "PNG" of the given size: the signature and filler, enough for a cache that checks signatures.
QByteArray PngOfSize(qsizetype size) {
    return TinyPng().left(8) + QByteArray(size - 8, 'p');
}

// An entry as one value, (label, icon), so it is checked by one comparison; none when missing.
using Entry = std::pair<QString, QByteArray>;
std::optional<Entry> Look(CAdbAppCache& cache, const QString& package, int versionCode) {
    const std::optional<AppLook> look = cache.Find(package, versionCode);
    return look ? std::optional<Entry>(Entry(look->label, look->icon)) : std::nullopt;
}

class AdbAppCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(LOG_InitFile(QFile::encodeName(m_dir.filePath(QStringLiteral("vexa.log"))).constData()));
    }
    void TearDown() override { LOG_Free(); }

    QString CachePath() const { return m_dir.filePath(QStringLiteral("adb-apps.json")); }

    void WriteCache(const QByteArray& bytes) { ASSERT_TRUE(vexa::test::WriteFile(CachePath(), bytes)); }

    static QByteArray Document(const QJsonArray& apps) {
        return QJsonDocument(QJsonObject{{QStringLiteral("format"), 1}, {QStringLiteral("apps"), apps}}).toJson();
    }

    int CacheLogLines() {
        LOG_Free();
        QFile file(m_dir.filePath(QStringLiteral("vexa.log")));
        const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        EXPECT_TRUE(LOG_InitFile(QFile::encodeName(m_dir.filePath(QStringLiteral("vexa2.log"))).constData()));
        return static_cast<int>(text.count("[AdbAppCache]"));
    }

    QTemporaryDir m_dir;
};

TEST_F(AdbAppCacheTest, WhatIsPutReadsBackByPackageAndVersion) {
    {
        CAdbAppCache cache(CachePath());
        EXPECT_EQ(cache.Count(), 0u); // no file yet: empty, and nothing logged
        cache.Put(QStringLiteral("com.vexa.weather"), 3, {QStringLiteral("天气"), TinyPng()});
        cache.Put(QStringLiteral("com.vexa.weather"), 4, {QStringLiteral("天气 Pro"), {}});
        cache.Put(QStringLiteral("com.vexa.noname"), 1, {}); // parsed, nothing in it
        ASSERT_TRUE(cache.Save());
    }
    CAdbAppCache cache(CachePath());
    ASSERT_EQ(cache.Count(), 3u);
    EXPECT_EQ(Look(cache, QStringLiteral("com.vexa.weather"), 3), Entry(QStringLiteral("天气"), TinyPng()));
    EXPECT_EQ(Look(cache, QStringLiteral("com.vexa.weather"), 4), Entry(QStringLiteral("天气 Pro"), QByteArray()));
    EXPECT_EQ(Look(cache, QStringLiteral("com.vexa.noname"), 1), Entry());
    EXPECT_FALSE(Look(cache, QStringLiteral("com.vexa.weather"), 5));
    EXPECT_EQ(CacheLogLines(), 0);
}

TEST_F(AdbAppCacheTest, TwoOwnersOfTheFileKeepEachOthersEntries) {
    CAdbAppCache first(CachePath());
    CAdbAppCache second(CachePath());
    first.Put(QStringLiteral("com.vexa.one"), 1, {QStringLiteral("一"), {}});
    first.Put(QStringLiteral("com.vexa.shared"), 1, {QStringLiteral("old"), {}});
    ASSERT_TRUE(first.Save());
    second.Put(QStringLiteral("com.vexa.two"), 1, {QStringLiteral("二"), TinyPng()});
    second.Put(QStringLiteral("com.vexa.shared"), 1, {QStringLiteral("new"), {}}); // its own is newer
    ASSERT_TRUE(second.Save());
    CAdbAppCache third(CachePath());
    ASSERT_EQ(third.Count(), 3u);
    EXPECT_EQ(third.Find(QStringLiteral("com.vexa.one"), 1)->label, QStringLiteral("一"));
    EXPECT_EQ(third.Find(QStringLiteral("com.vexa.two"), 1)->icon, TinyPng());
    EXPECT_EQ(third.Find(QStringLiteral("com.vexa.shared"), 1)->label, QStringLiteral("new"));
    EXPECT_EQ(CacheLogLines(), 0);
}

TEST_F(AdbAppCacheTest, PutKeepsOutHostileNamesOversizedIconsAndLongLabels) {
    CAdbAppCache cache(CachePath());
    for (const char* name : {"../x", "com\\evil.app", "c:.app", "", "single", "com.a/../b", "com.a b"}) {
        cache.Put(QString::fromUtf8(name), 1, {QStringLiteral("x"), TinyPng()});
    }
    cache.Put(QStringLiteral("com.vexa.neg"), -1, {});
    EXPECT_EQ(cache.Count(), 0u);

    cache.Put(QStringLiteral("com.vexa.big"), 1, {QString(500, u'名'), PngOfSize(CAdbAppCache::kMaxIconBytes + 1)});
    cache.Put(QStringLiteral("com.vexa.jpeg"), 1, {QStringLiteral("j"), QByteArray("\xFF\xD8\xFF\xE0 not a png")});
    ASSERT_TRUE(cache.Save());
    CAdbAppCache again(CachePath());
    EXPECT_EQ(Look(again, QStringLiteral("com.vexa.big"), 1),
              Entry(QString(CAdbAppCache::kMaxLabelChars, u'名'), QByteArray()));
    EXPECT_EQ(Look(again, QStringLiteral("com.vexa.jpeg"), 1), Entry(QStringLiteral("j"), QByteArray()));
}

TEST_F(AdbAppCacheTest, OldestEntriesGoWhenTheIconsOutgrowTheirBudget) {
    const qsizetype icon = 100 * 1024;
    const int count = static_cast<int>(CAdbAppCache::kMaxIconTotal / icon) + 10;
    {
        CAdbAppCache cache(CachePath());
        for (int i = 0; i < count; ++i) {
            cache.Put(QStringLiteral("com.vexa.app%1").arg(i), 1, {QStringLiteral("App %1").arg(i), PngOfSize(icon)});
        }
        EXPECT_LT(cache.Count(), static_cast<std::size_t>(count));
        ASSERT_TRUE(cache.Save());
    }
    // What was written reads back whole: under the file cap, the newest kept, the oldest gone.
    EXPECT_LE(QFile(CachePath()).size(), CAdbAppCache::kMaxFileBytes);
    CAdbAppCache cache(CachePath());
    EXPECT_GT(cache.Count(), 50u);
    EXPECT_TRUE(cache.Find(QStringLiteral("com.vexa.app%1").arg(count - 1), 1).has_value());
    EXPECT_FALSE(cache.Find(QStringLiteral("com.vexa.app0"), 1).has_value());
    EXPECT_EQ(CacheLogLines(), 0);
}

struct DamagedCase {
    const char* name;
    QByteArray bytes;
};

class DamagedCacheTest : public AdbAppCacheTest, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedCacheTest, CountsAsEmptyWithOneLogLineAndIsRewritten) {
    WriteCache(GetParam().bytes);
    {
        CAdbAppCache cache(CachePath());
        EXPECT_EQ(cache.Count(), 0u);
        EXPECT_FALSE(cache.Find(QStringLiteral("com.vexa.good"), 1).has_value());
        cache.Put(QStringLiteral("com.vexa.fresh"), 2, {QStringLiteral("新"), TinyPng()});
        ASSERT_TRUE(cache.Save());
    }
    EXPECT_EQ(CacheLogLines(), 1);
    CAdbAppCache cache(CachePath());
    EXPECT_EQ(cache.Count(), 1u);
    EXPECT_EQ(cache.Find(QStringLiteral("com.vexa.fresh"), 2)->label, QStringLiteral("新"));
}

QByteArray GoodDocument() {
    return QJsonDocument(
               QJsonObject{{QStringLiteral("format"), 1},
                           {QStringLiteral("apps"),
                            QJsonArray{QJsonObject{{QStringLiteral("package"), QStringLiteral("com.vexa.good")},
                                                   {QStringLiteral("versionCode"), 1},
                                                   {QStringLiteral("label"), QStringLiteral("好")},
                                                   {QStringLiteral("order"), 1}}}}})
        .toJson();
}

QByteArray Utf16(const QByteArray& utf8) {
    const QString text = QString::fromUtf8(utf8);
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedCacheTest,
    ::testing::Values(DamagedCase{"truncated", GoodDocument().left(GoodDocument().size() / 2)},
                      DamagedCase{"empty", QByteArray()}, DamagedCase{"binary", QByteArray("\x00\xFF\xFE{\x01", 5)},
                      DamagedCase{"utf16", Utf16(GoodDocument())}, DamagedCase{"array", QByteArray("[1,2,3]")},
                      DamagedCase{"other_format", QByteArray(R"({"format":2,"apps":[]})")},
                      DamagedCase{"apps_not_a_list", QByteArray(R"({"format":1,"apps":{"com.a.b":1}})")},
                      DamagedCase{"oversized", QByteArray("{\"format\":1,\"apps\":[],\"pad\":\"") +
                                                   QByteArray(CAdbAppCache::kMaxFileBytes, 'x') + "\"}"}),
    [](const ::testing::TestParamInfo<DamagedCase>& info) { return std::string(info.param.name); });

TEST_F(AdbAppCacheTest, EntriesOfTheWrongShapeAreLeftOutAndTheRestKept) {
    const auto app = [](const QJsonValue& package, const QJsonValue& version, const QJsonValue& label,
                        const QJsonValue& icon = QJsonValue::Undefined) {
        QJsonObject o{{QStringLiteral("package"), package},
                      {QStringLiteral("versionCode"), version},
                      {QStringLiteral("label"), label},
                      {QStringLiteral("order"), 1}};
        if (!icon.isUndefined()) {
            o.insert(QStringLiteral("icon"), icon);
        }
        return o;
    };
    const QString good = QStringLiteral("com.vexa.good");
    const QString png = QString::fromLatin1(TinyPng().toBase64());
    const QJsonArray apps{
        app(good, 7, QStringLiteral("好"), png),
        app(good, QStringLiteral("7"), QStringLiteral("string version")),
        app(good, 7.5, QStringLiteral("fractional version")),
        app(good, -3, QStringLiteral("negative version")),
        app(good, 1e12, QStringLiteral("huge version")),
        app(good, 8, 42),
        app(QStringLiteral("../x"), 1, QStringLiteral("hostile")),
        app(42, 1, QStringLiteral("number package")),
        app(good, 9, QString(CAdbAppCache::kMaxLabelChars + 1, u'x')),
        app(good, 10, QStringLiteral("not base64"), QStringLiteral("@@@@")),
        app(good, 11, QStringLiteral("not a png"), QString::fromLatin1(QByteArray("GIF89a").toBase64())),
        app(good, 12, QStringLiteral("huge icon"), QString::fromLatin1(PngOfSize(1 << 20).toBase64())),
        app(good, 13, QStringLiteral("icon number"), 5),
        QJsonValue(QStringLiteral("not an object")),
        app(good, 7, QStringLiteral("duplicate")),
    };
    WriteCache(Document(apps));
    CAdbAppCache cache(CachePath());
    ASSERT_EQ(cache.Count(), 1u);
    EXPECT_EQ(Look(cache, good, 7), Entry(QStringLiteral("好"), TinyPng()));
    EXPECT_EQ(CacheLogLines(), 1);
}

TEST_F(AdbAppCacheTest, AnUnwritablePlaceFailsSaveAndLogs) {
    WriteCache("not a folder");
    CAdbAppCache cache(CachePath() + QStringLiteral("/adb-apps.json"));
    cache.Put(QStringLiteral("com.vexa.a"), 1, {QStringLiteral("a"), {}});
    EXPECT_FALSE(cache.Save());
    EXPECT_EQ(CacheLogLines(), 1);
    EXPECT_EQ(cache.Find(QStringLiteral("com.vexa.a"), 1)->label, QStringLiteral("a")); // kept in memory
}

} // namespace
