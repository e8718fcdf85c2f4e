#pragma once
// Real APK bytes for tests: a ZIP holding a binary AndroidManifest.xml with these fields, a
// classes.dex of filler bytes (to give the package a size) and, when iconPng is not empty, a
// launcher icon under res/mipmap-hdpi/ic_launcher.png. src/libs/apk reads it back.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

QByteArray MakeTestApk(const QString& package, int versionCode, const QString& versionName, const QString& label,
                       const QStringList& permissions, const QByteArray& iconPng, int fillerBytes = 1000);

// One value of a test resource table (resources.arsc): resource 0x7f<type><entry> under a
// configuration is a text (a label, or a file inside the APK for an icon), or, when reference is
// given, that other resource.
struct TestResource {
    quint8 type = 1; // from 1
    quint16 entry = 0;
    QString text{};
    quint32 reference = 0;
    QString language{}; // empty for the default, else two letters such as "zh"
    QString country{};
    quint16 density = 0; // 0 the default, 480 xxhdpi, ...
};
// A resource table of package 0x7f with these values, in Android's binary form.
QByteArray MakeTestResourceTable(const std::vector<TestResource>& values);

// Little-endian fields patched into bytes at an offset, for archives damaged by hand.
inline void Patch16(QByteArray& b, qsizetype at, quint16 v) {
    b[at] = char(v & 0xFF), b[at + 1] = char(v >> 8);
}
inline void Patch32(QByteArray& b, qsizetype at, quint32 v) {
    Patch16(b, at, quint16(v & 0xFFFF)), Patch16(b, at + 2, quint16(v >> 16));
}

// Writes bytes to a file; false when it cannot be written whole.
bool WriteTestFile(const QString& path, const QByteArray& bytes);
