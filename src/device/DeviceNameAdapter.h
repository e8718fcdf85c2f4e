#pragma once
// The names users give their phones and the time of each phone's last backup, kept in "MapInfo.ini"
// in the program's data folder (older installs kept it beside the executable): one "key,name,time\r\n" line per phone in the ANSI code page (936), the key
// being the USB serial (or the Wi-Fi identity). The file format is shared with older installs:
// reading stops at the first blank line and a last line without "\r\n" is ignored.
// Not thread-safe: the application object owns it and uses it on the UI thread.

#include <QString>

#include <map>
#include <utility>

class DeviceNameAdapter {
public:
    // Loads from path, or from "MapInfo.ini" in the data folder when path is empty. When that file is
    // missing and legacyPath (empty: "MapInfo.ini" beside the executable) exists, the old file is read
    // and saved to the new place once; the old one is left as it is. A missing file is created empty.
    // Returns false when the file can be neither read nor created.
    bool Load(const QString& path = {}, const QString& legacyPath = {});
    // Replaces the file (through a temporary file beside it) with every entry in key order. Returns
    // false (and logs) when it cannot; the file on disk is then as it was.
    [[nodiscard]] bool Save() const;

    bool GetName(const QString& key, QString& name) const;
    // True only when the key is known and its time is not empty.
    bool GetBackupTime(const QString& key, QString& time) const;
    void SetName(const QString& key, const QString& name);
    void SetBackupTime(const QString& key, const QString& time);

    // The stored name, or "我的 <model>" when there is none or it is empty.
    QString GetDisplayName(const QString& serial, const QString& model) const;
    // What the user typed as the phone's new name, trimmed; a blank name brings back "我的 <model>".
    // Returns the name now stored (not yet saved).
    QString Rename(const QString& key, const QString& model, const QString& typed);

    // Parses file content (ANSI bytes) into entries; exposed for tests.
    static std::map<QString, std::pair<QString, QString>> Parse(const QByteArray& ansi);
    QByteArray Serialise() const;

    std::size_t Count() const { return m_entries.size(); }

private:
    QString m_path;
    // key -> (name, last backup time "%04d%02d%02d%02d%02d"), in ordinal key order
    std::map<QString, std::pair<QString, QString>> m_entries;
};
