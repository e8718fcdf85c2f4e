#include "TestApk.h"

#include "bridge/sim/SimSeed.h"

#include <QFile>

QByteArray MakeTestApk(const QString& package, int versionCode, const QString& versionName, const QString& label,
                       const QStringList& permissions, const QByteArray& iconPng, int fillerBytes) {
    std::vector<std::pair<QString, QByteArray>> entries{
        {QStringLiteral("AndroidManifest.xml"),
         vexa::sim::MakeBinaryManifest(package, versionCode, versionName, label, 9, 15, permissions)},
        {QStringLiteral("classes.dex"), QByteArray("dex\n035\0", 8) + QByteArray(fillerBytes, 'd')}};
    if (!iconPng.isEmpty()) {
        entries.emplace_back(QStringLiteral("res/mipmap-hdpi/ic_launcher.png"), iconPng);
    }
    return vexa::sim::MakeZip(entries);
}

bool WriteTestFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
