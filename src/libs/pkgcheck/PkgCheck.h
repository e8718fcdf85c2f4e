#pragma once
// The firmware package check: the firmware text split for the update service's query, the
// service's manifest read into an offer, and a downloaded package checked and its "update.zip"
// taken out. Pure functions over files and bytes; any thread.
//
// Manifest (XML, at most 64 KiB):
//   <firmware><status>current</status></firmware>
//   <firmware><status>new</status><version>VEXA-UI 2.2.0</version><url>/firmware/x.pkg</url>
//     <size>BYTES</size><md5>32 hex digits</md5><date>2026-11-30</date><description>…</description></firmware>
// A package is a ZIP archive holding "update.zip", the image the phone's updater installs.

#include <QByteArray>
#include <QString>

#include <functional>

constexpr int LPKG_NEW_VERSION = 0;
constexpr int LPKG_LATEST = 1;
constexpr int LPKG_FILE_ERROR = 2;   // the saved manifest cannot be read
constexpr int LPKG_BAD_MANIFEST = 3; // it reads but says nothing usable

struct PKG_VERSION_INFO {
    QString model;   // model part of the phone's firmware text
    QString version; // version part
    // Filled by a new version:
    QString newVersion;
    QString url; // as the manifest gives it (may be relative to the service)
    qint64 size = 0;
    QByteArray md5; // lower-case hex
    QString date;
    QString description;
};

constexpr qint64 kMaxPkgManifestBytes = 64 * 1024;

// Splits "VEXA-UI 2.1.0" into model part "VEXA-UI" and version part "2.1.0": the version is the
// last word, a dotted number (a leading "V" or "v" is kept out); the model is the rest, without
// blanks, "_" or "-" at its end. False for texts that do not read so (empty, no number, no model).
bool libPKG_ParseVersion(const QString& firmware, PKG_VERSION_INFO* info);

// Reads the manifest saved at path into info (model and version already set).
int libPKG_Check(const QString& manifestPath, PKG_VERSION_INFO* info);
// The same for the bytes of a manifest.
int libPKG_CheckBytes(const QByteArray& manifest, PKG_VERSION_INFO* info);

// Checks a downloaded package against the offer (exact size, MD5 when given) and writes its
// "update.zip" to target through a temporary file (an existing target is kept on failure). False
// with the reason; cancelled is asked between blocks.
bool libPKG_ExtractUpdate(const QString& packagePath, const PKG_VERSION_INFO& offer, const QString& target,
                          QString* error, const std::function<bool()>& cancelled = {});
