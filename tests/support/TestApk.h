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
    QString text;
    quint32 reference = 0;
    QString language; // empty for the default, else two letters such as "zh"
    QString country;
    quint16 density = 0; // 0 the default, 480 xxhdpi, ...
};
// A resource table of package 0x7f with these values, in Android's binary form.
QByteArray MakeTestResourceTable(const std::vector<TestResource>& values);

// Writes bytes to a file; false when it cannot be written whole.
bool WriteTestFile(const QString& path, const QByteArray& bytes);
