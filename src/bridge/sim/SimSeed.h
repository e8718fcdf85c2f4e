#pragma once
// Realistic generated data for simulated phones (vexa-phone seed, the first-run demo phone,
// benchmarks). Writes straight into a phone file in one transaction per store, so a failed seed
// leaves earlier stores complete and the failed one untouched. Pictures, icons and screen frames
// are encoded with QtGui's QImage, which is why this lives apart from the QtCore-only backend.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace vexa::sim {

struct SeedOptions {
    int contacts = 0;
    int phonesPerContact = 0; // 0 = one to three, varying
    int sms = 0;
    int mms = 0; // one to three slides each: text, a picture, now and then a sound
    int calls = 0;
    int apps = 0;
    int pictures = 0;
    int files = 0;
    bool smallStores = true;  // bookmarks, memos, settings, alarms (a few each)
    bool screenFrames = true; // the frames screenshots show
    unsigned randomSeed = 20120725;
};

// Adds the generated data to the phone; false (error set) when the phone cannot be written.
bool SeedPhone(const QString& serial, const SeedOptions& options, QString* error);

// Creates and seeds the demo phone (brand "vexa") when the simulator folder holds no phone file at
// all (not even an unreadable one).
// Returns false only on failure; *created tells whether a phone was made.
bool EnsureDemoPhone(bool* created, QString* error);

// An AndroidManifest.xml in Android's binary XML form with these fields. The label is plain text,
// or, when labelResource is given, a reference to that resource; iconResource adds an icon reference.
QByteArray MakeBinaryManifest(const QString& package, int versionCode, const QString& versionName,
                              const QString& label, int minSdk, int targetSdk, const QStringList& permissions,
                              quint32 labelResource = 0, quint32 iconResource = 0);

// A stored ZIP archive (no compression) of the given (name, bytes) entries: the shape of an APK.
QByteArray MakeZip(const std::vector<std::pair<QString, QByteArray>>& entries);

} // namespace vexa::sim
