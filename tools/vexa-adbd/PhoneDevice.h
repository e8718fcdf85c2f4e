#pragma once
// A simulated phone file served as an Android device: its properties for getprop, its file tree for
// the sync service and for the shell tools (ls -l, mkdir, rm, mv, cp, df, readlink, realpath,
// screencap), its apps for pm and dumpsys, its messages, call log and contacts for "content
// query/insert/update/delete", and
// the shell user's WRITE_SMS app-op for "appops". Output follows what a toybox-based Android
// prints, so the adb backend parses the daemon exactly as it parses a real phone.
//
// Thread-safe: every connection of the adb server runs on its own thread; one lock serialises the
// phone file. Paths are the phone's ("/mnt/sdcard/..."), also by the names current phones give the
// storage ("/sdcard" and "/storage/emulated/0" as links, the card as "/storage/<volume id>");
// anything outside the phone storage, the memory card and /data/local/tmp is read-only, as on an
// unrooted phone.

#include "DaemonServices.h"
#include "ProviderQuery.h"

#include "bridge/adb/protocol/AdbSyncService.h"
#include "bridge/sim/SimDb.h"

#include <QImage>
#include <QSize>

#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vexa_adbd {

// Splits one command line of the phone's shell into commands (at ';' outside quotes) and words
// (single quotes literal, double quotes with backslash escapes, backslash outside quotes).
// Redirections of the standard error ("2>&1", "2>/dev/null") are dropped: the old shell service
// merges both streams anyway. "$?" outside single quotes stands for the last exit status and is
// kept as the word "$?" marker for the runner. False for an unterminated quote.
bool SplitShellLine(const std::string& line, std::vector<std::vector<std::string>>& commands);

// Little-endian header words, then the picture's rows without padding: the raw frames of
// screencap and screenrecord.
std::shared_ptr<const std::string> PackFrame(const QImage& image, std::initializer_list<std::uint32_t> header);

class CPhoneDevice : public adb::IAdbSyncStore {
public:
    // One value of a provider row; none prints as NULL.
    using ProviderValue = std::optional<std::string>;
    using ProviderRow = std::map<std::string, ProviderValue>;

    // Opens the phone file of this serial in the simulator folder. False (error set) when missing.
    bool Open(const QString& serial, QString* error);

    // ro.product.*, ro.serialno, ro.build.* and friends, from the phone's identity.
    PropertyTable Properties();
    // Runs one shell command line; returns what the shell would print (both streams).
    std::string RunShell(const std::string& line);
    // "exec:" commands: binary-safe output (screencap, cat).
    std::string RunExec(const std::string& line);
    // "screenrecord ..." (the words of its command line): the stream of frames, or a reply with
    // the tool's complaint (PhoneScreenRecord.cpp).
    std::unique_ptr<adb::IAdbService> ScreenRecord(const std::vector<std::string>& words);
    // "cmd package install [-r] -S SIZE" (the words of its command line): takes the APK's SIZE bytes
    // from the stream, then answers as "pm install" does (PhoneInstall.cpp).
    std::unique_ptr<adb::IAdbService> StreamedInstall(const std::vector<std::string>& words);
    // The package manager's answer to an APK that came over such a stream.
    std::string InstallStreamed(const QByteArray& bytes, bool replace);
    // The newest screen picture at size as one screenrecord frame, header included; kept until the
    // picture or the size changes. Null without a picture.
    std::shared_ptr<const std::string> RecordedFrame(QSize size);
    // The raw frame "screencap" sends, shared rather than copied for each request; null: no frame.
    std::shared_ptr<const std::string> RawScreencap();
    // A phone's screen sits in its frame buffer from the start: decodes the stored picture ahead of
    // the first screenshot or stream, which would otherwise wait for it.
    void PrepareScreen();

    adb::SyncStat Stat(const std::string& path) override;
    bool List(const std::string& path, std::vector<adb::SyncDirEntry>& entries) override;
    bool Read(const std::string& path, std::string& data, std::string& error) override;
    bool Write(const std::string& path, std::uint32_t mode, std::uint32_t mtime, const std::string& data,
               std::string& error) override;

private:
    // One command; out gets its output, the result is its exit status.
    int Run(const std::vector<std::string>& words, std::string& out);
    int Ls(const std::vector<std::string>& args, std::string& out);
    int Mkdir(const std::vector<std::string>& args, std::string& out);
    int Rm(const std::vector<std::string>& args, std::string& out);
    int MvOrCp(const std::vector<std::string>& args, bool move, std::string& out);
    int Df(std::string& out);
    // readlink and realpath, w[0] telling which.
    int Readlink(const std::vector<std::string>& w, std::string& out);
    int Pm(const std::vector<std::string>& args, std::string& out);
    // "pm install [-r] FILE": parses the staged APK and adds or replaces the app with its file.
    int PmInstall(const std::vector<std::string>& args, std::string& out);
    // Adds or replaces the app of an APK's bytes; file names the package in failure texts.
    int InstallPackage(const QByteArray& bytes, const std::string& file, bool replace, std::string& out);
    int Dumpsys(const std::vector<std::string>& args, std::string& out);
    int Cat(const std::vector<std::string>& args, std::string& out);
    // "content query|insert|update|delete --uri ...": the tool reads its bindings, then the provider
    // of the address answers.
    int Content(const std::vector<std::string>& args, std::string& out);
    // "content ... --uri content://call_log/calls": the call log provider.
    int CallLog(const std::string& verb, const std::string& projection, const std::string& where,
                const BoundValues& bound, std::string& out);
    // "content query --uri content://media/external/file": the media index, read only.
    int Media(const std::string& verb, const std::string& uri, const std::string& projection,
              const std::string& where, std::string& out);
    // "content ... --uri content://com.android.contacts/TABLE" for raw_contacts, data and groups.
    int Contacts(const std::string& verb, const std::string& table, const std::string& projection,
                 const std::string& where, const BoundValues& bound, std::string& out);
    // "content ... --uri content://sms[/ID]": the message provider. Writes obey the shell user's
    // WRITE_SMS app-op as a phone's provider does: "allow" writes, "deny" throws, anything else
    // ignores the write without a word (an insert "succeeds" with nothing added).
    int Messages(const std::string& verb, const std::string& uri, const std::string& projection,
                 const std::string& where, const BoundValues& bound, std::string& out);
    // "content query|delete|read --uri content://mms...": multimedia messages, their addresses and
    // parts, and one part's bytes (PhoneMms.cpp).
    int MmsProvider(const std::string& verb, const std::string& uri, const std::string& projection,
                    const std::string& where, std::string& out);
    // "appops set|get com.android.shell WRITE_SMS [MODE]": the mode is kept in the phone file (meta
    // "appops_write_sms"); meta "appops_refused" = "1" makes "set" fail as on phones that do not
    // let the shell user change its own app-ops.
    int AppOps(const std::vector<std::string>& args, std::string& out);
    // "am broadcast -a ACTION [-d URI]": the media scanner broadcast is answered as a phone does.
    int Am(const std::vector<std::string>& args, std::string& out);
    // The phone's API level (meta "sdk", 15 when missing); from 30 on the content tool escapes
    // colons in its bindings.
    int Sdk();
    // The data rows of one raw contact, by mime type, from its contact row, details and groups.
    void DataRows(std::int64_t contact, std::vector<ProviderRow>& rows);
    bool Insert(const std::string& table, const std::map<std::string, ProviderValue>& bound, std::string& out);
    bool Change(const std::string& table, std::int64_t id, const std::map<std::string, ProviderValue>& bound,
                std::string& out);
    bool Remove(const std::string& table, std::int64_t id);
    std::vector<std::int64_t> SelectIds(const char* table, const std::string& whereSql,
                                        const std::vector<std::int64_t>& values);
    // Whether the phone file says its phone keeps this provider from the shell user (meta
    // "adb_denied", a comma-separated list such as "call_log,contacts").
    bool Denied(const std::string& provider);
    // "screencap": the newest frame of the phone file at the phone's screen size as raw RGBA_8888
    // behind the 16-byte header of Android 8 and later; with -p the stored PNG. Empty: no frame.
    std::string Screencap(bool png);
    QImage ScreenPicture(std::int64_t id); // m_lock held
    // The phone file's own path for a path the shell or sync service got: "/sdcard",
    // "/storage/emulated/0" and "/storage/self/primary" name the phone storage, "/storage/<id>" the card.
    QString Resolve(const QString& path);
    // Where a path really leads, as "readlink -f" and "realpath" answer; none when a folder on the
    // way is missing.
    std::optional<QString> RealPath(const QString& path);
    // "/storage/<volume id>" when the phone has a card, else empty.
    QString CardVolume();
    // The folders that exist only as mount points ("/storage", "/storage/emulated", "/storage/self").
    std::optional<std::vector<adb::SyncDirEntry>> VirtualFolder(const QString& cleanPath);
    // Whether path names one of the storage links itself (no trailing "/").
    bool IsLink(const std::string& path);
    QString LinkTarget(const QString& cleanLink);
    // Copies a node below parent as path; -1 on failure.
    std::int64_t CopyTree(std::int64_t source, const QString& path);

    std::recursive_mutex m_lock;
    std::int64_t m_pictureId = -1; // the stored screen picture, decoded once
    QImage m_picture;
    std::int64_t m_rawFrameId = -1;
    QSize m_rawFrameSize;
    std::shared_ptr<const std::string> m_rawFrame;
    std::int64_t m_recordedId = -1;
    QSize m_recordedSize;
    std::shared_ptr<const std::string> m_recorded;
    vexa::sim::SimDb m_db;
    QString m_serial;
};

// Whether the shell may change this path (phone storage, memory card, /data/local/tmp).
bool IsWritablePhonePath(const QString& cleanPath);

} // namespace vexa_adbd
