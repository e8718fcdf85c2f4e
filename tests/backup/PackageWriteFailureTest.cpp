// A package write that fails part-way leaves an existing package as it was and no temporary file.
#include "FailDevice.h"
#include "backup/BackupPackage.h"
#include "platform/AtomicFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace backup;

namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString WriteItem(const QString& folder, const QString& name, const QByteArray& data) {
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(file.write(data), data.size());
    return path;
}

TEST(PackageWriteFailureTest, AFailedWriteKeepsTheOlderPackage) {
    QTemporaryDir items;
    QTemporaryDir out;
    ASSERT_TRUE(items.isValid() && out.isValid());
    QByteArray noise(3 * kChunkBytes, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    PackageDescriptor older;
    older.counts = {{Alarms, 1}};
    older.files = {WriteItem(items.path(), QStringLiteral("Clock.bac"), "older")};
    PackageDescriptor newer;
    newer.counts = {{Contacts, 3}, {Apps, 1}};
    newer.files = {WriteItem(items.path(), QStringLiteral("contact.vcf"), QByteArray("BEGIN:VCARD\r\n").repeated(900)),
                   WriteItem(items.path(), QStringLiteral("a.apk"), noise)};

    const QString target = QDir(out.path()).filePath(QStringLiteral("phone.bkg"));
    ASSERT_TRUE(WritePackage(target, older));
    const QByteArray before = Read(target);
    QBuffer whole;
    ASSERT_TRUE(whole.open(QIODevice::ReadWrite));
    ASSERT_TRUE(WritePackage(whole, newer));

    const auto expectUntouched = [&] {
        EXPECT_EQ(Read(target), before);
        EXPECT_EQ(FolderEntries(out.path()), QStringList{QStringLiteral("phone.bkg")});
    };
    // Cut points fall in the header, in the middle of the item data and in the CRC written last.
    for (const qint64 cut : CutPoints(whole.size())) {
        SCOPED_TRACE(cut);
        const IoResult result = WriteFileAtomically(target, [&](QIODevice& file) {
            FailDevice device(cut, &file);
            return WritePackage(device, newer);
        });
        EXPECT_FALSE(result);
        EXPECT_TRUE(result.error.contains(QStringLiteral("no space left"))) << result.error.toStdString();
        expectUntouched();
    }
    // An item file that disappears before packing fails the file-level writer the same way.
    PackageDescriptor missing = newer;
    missing.files << QDir(items.path()).filePath(QStringLiteral("gone.apk"));
    const IoResult result = WritePackage(target, missing);
    EXPECT_FALSE(result);
    EXPECT_TRUE(result.error.contains(QStringLiteral("gone.apk")));
    expectUntouched();

    ASSERT_TRUE(WritePackage(target, newer));
    EXPECT_EQ(Read(target), whole.data());
}

} // namespace
