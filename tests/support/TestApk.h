#pragma once
// Real APK bytes for tests: a ZIP holding a binary AndroidManifest.xml with these fields, a
// classes.dex of filler bytes (to give the package a size) and, when iconPng is not empty, a
// launcher icon under res/mipmap-hdpi/ic_launcher.png. src/libs/apk reads it back.

#include <QByteArray>
#include <QString>
#include <QStringList>

QByteArray MakeTestApk(const QString& package, int versionCode, const QString& versionName, const QString& label,
                       const QStringList& permissions, const QByteArray& iconPng, int fillerBytes = 1000);

// Writes bytes to a file; false when it cannot be written whole.
bool WriteTestFile(const QString& path, const QByteArray& bytes);
