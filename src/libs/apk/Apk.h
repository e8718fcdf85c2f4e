#pragma once
// What an APK file says about itself: package name, label, versions, SDK levels, permissions and a
// launcher icon, read from its ZIP directory and its binary AndroidManifest.xml. The file is
// outside data: every offset and length is checked against what is really there, the manifest is
// read only when it is small (a few MB), and a file that does not read gives null, never a crash.
// Reentrant; any thread.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>
#include <QStringList>

#include <memory>
#include <optional>

class CApkInfo {
public:
    virtual ~CApkInfo() = default;
    virtual QString GetPackageName() const { return m_package; }
    // The application's label: the manifest's text, or the resource it names read from the
    // resource table (Chinese first, then the default); the package name when neither gives one.
    virtual QString GetLabel() const { return m_label; }
    virtual int GetVersionCode() const { return m_versionCode; }
    virtual QString GetVersionName() const { return m_versionName; }
    virtual QString GetMinSdkVersion() const { return m_minSdk; }
    virtual QString GetTargetSdkVersion() const { return m_targetSdk; }
    virtual int GetPermissionCount() const { return static_cast<int>(m_permissions.size()); }
    virtual QString GetPermission(int index) const { return m_permissions.value(index); }
    // PNG bytes of the launcher icon: the densest PNG of the icon resource, else the densest file
    // by the usual names; empty otherwise.
    virtual QByteArray GetIcon() const { return m_icon; }

    QString m_package, m_label, m_versionName, m_minSdk, m_targetSdk;
    int m_versionCode = 0;
    QStringList m_permissions;
    QByteArray m_icon;
    // The resources the manifest names for the label, the icon and the version name; 0 when it
    // gives none.
    quint32 m_labelResource = 0, m_iconResource = 0, m_versionNameResource = 0;
};

// Null when the file is no readable APK (not a ZIP, no manifest, no package name).
CApkInfo* libaapt_ParseFile(const QString& path);
void libaapt_FreeInfo(CApkInfo* info);

namespace apk {

// The manifest fields of a binary XML document; nullopt when it does not read or names no package.
std::optional<CApkInfo> ParseBinaryManifest(const QByteArray& document);

// The text a resource table (resources.arsc) holds for a resource id, Chinese first, a reference
// followed; empty when the table does not read or lacks it.
QString ResourceText(const QByteArray& table, quint32 id);

// One entry of a ZIP file, inflated; nullopt when missing, damaged or larger than maxBytes.
std::optional<QByteArray> ReadZipEntry(const QString& zipPath, const QString& entryName, qint64 maxBytes);

// Streams one entry of a ZIP file into out (stored or deflated), checking its CRC-32; memory stays
// bounded whatever the entry's size. False with the reason when the archive or entry is missing,
// damaged, larger than maxBytes, or out refuses bytes; out then holds a part and must be discarded.
// cancelled, when given, is asked between blocks.
bool ExtractZipEntry(const QString& zipPath, const QString& entryName, QIODevice& out, qint64 maxBytes,
                     QString* error, const std::function<bool()>& cancelled = {});

// Reads every entry of a ZIP file through, checking each against its size and CRC-32, as a phone
// checks a package before it installs it. False with the reason when the directory is damaged,
// entries share bytes or names, the declared sizes are out of all proportion to the file, or any
// entry fails its check. cancelled, when given, is asked between blocks.
bool VerifyArchive(const QString& zipPath, QString* error, const std::function<bool()>& cancelled = {});

} // namespace apk
