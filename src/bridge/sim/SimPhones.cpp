#include "bridge/sim/SimPhones.h"

#include "bridge/api/BridgeTypes.h"
#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimFiles.h"
#include "libs/apk/Apk.h"
#include "libs/log/Log.h"
#include "platform/AppPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>

#include <mutex>

namespace vexa::sim {

namespace {
std::mutex g_reportedLock;
QSet<QString> g_reported;
std::mutex g_faultLock;
bool g_faultsSet = false;
SimFaults g_faults;

int EnvInt(const char* name) {
    return qEnvironmentVariableIntValue(name);
}
} // namespace

void SetFaults(const SimFaults& faults) {
    std::lock_guard<std::mutex> guard(g_faultLock);
    g_faults = faults;
    g_faultsSet = true;
}

SimFaults CurrentFaults() {
    std::lock_guard<std::mutex> guard(g_faultLock);
    if (g_faultsSet) {
        return g_faults;
    }
    SimFaults faults;
    faults.delayMs = EnvInt("VEXA_SIM_DELAY_MS");
    faults.failNthWrite = EnvInt("VEXA_SIM_FAIL_WRITE");
    faults.dropAfterOps = EnvInt("VEXA_SIM_DROP_AFTER");
    return faults;
}

QString SimFolder() {
    QString folder = qEnvironmentVariable("VEXA_SIM_DIR");
    if (folder.isEmpty()) {
        folder = DataFolder() + QStringLiteral("/sim");
    }
    QDir().mkpath(folder);
    return folder;
}

bool IsValidSerial(const QString& serial) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-][A-Za-z0-9._-]{0,62}$"));
    return pattern.match(serial).hasMatch();
}

QString PhoneFilePath(const QString& serial) {
    return SimFolder() + u'/' + serial + QStringLiteral(".vexaphone");
}

bool CreatePhone(const PhoneSpec& spec, QString* error) {
    if (!IsValidSerial(spec.serial)) {
        *error = QStringLiteral("invalid serial \"%1\"").arg(spec.serial);
        return false;
    }
    if (spec.model.isEmpty()) {
        *error = QStringLiteral("a model is needed");
        return false;
    }
    const QString path = PhoneFilePath(spec.serial);
    SimDb db;
    if (!db.Create(path, error)) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, *error);
        return false;
    }
    const std::int64_t now = PackTime(NowSystemTime());
    Transaction transaction(db);
    bool ok = transaction.IsOpen();
    const auto meta = [&](const char* key, const QString& value) { ok = ok && db.SetMeta(key, value); };
    meta("brand", spec.brand);
    meta("model", spec.model);
    meta("serial", spec.serial);
    meta("firmware", spec.firmware);
    meta("os_version", spec.osVersion);
    meta("version_first", QString::number(spec.versionFirst));
    meta("version_second", QString::number(spec.versionSecond));
    meta("dual_sim", spec.dualSim ? "1" : "0");
    const int simState = spec.dualSim ? spec.simState : std::min(spec.simState, 1);
    meta("sim_state", QString::number(simState));
    meta("sim1_name", simState & 1 ? QStringLiteral("中国移动") : QString());
    meta("sim2_name", simState & 2 ? QStringLiteral("中国联通") : QString());
    meta("stat_number", QString::number(qHash(spec.serial) % 90000 + 10000));
    meta("project", spec.projectNumber);
    meta("attached", spec.attached ? "1" : "0");
    meta("sd_card", spec.sdCard ? "1" : "0");
    meta("phone_total", QString::number(8LL << 30));
    meta("system_size", QString::number(1200LL << 20));
    meta("sd_total", QString::number(16LL << 30));
    meta("screen_width", "480");
    meta("screen_height", "854");
    meta("backup_hidden", "0");
    meta("wifi_code", QString::number(qHash(spec.serial + QStringLiteral("wifi")) % 900000 + 100000));
    meta("wallpaper", QString());
    const char* folders[] = {
        "/mnt/sdcard/DCIM/Camera", "/mnt/sdcard/Pictures",  "/mnt/sdcard/Music", "/mnt/sdcard/Movies",
        "/mnt/sdcard/Download",    "/mnt/sdcard/Ringtones", "/data/app",         RINGTONE_FOLDER};
    for (const char* folder : folders) {
        ok = ok && MakeFolders(db, QString::fromLatin1(folder), now) > 0;
    }
    if (spec.sdCard) {
        ok = ok && MakeFolders(db, QString::fromLatin1(CARD_ROOT) + QStringLiteral("/DCIM"), now) > 0;
    }
    Stmt album(db, "INSERT INTO albums(path) VALUES(?)");
    ok = ok && album.Bind(1, QStringLiteral("/mnt/sdcard/DCIM/Camera")).Run();
    ok = ok && transaction.Commit();
    if (!ok) {
        *error = db.ErrorText();
        db.Close();
        QFile::remove(path);
        return false;
    }
    return true;
}

std::vector<PhoneSummary> ListPhones(QStringList* problems) {
    std::vector<PhoneSummary> phones;
    const QDir dir(SimFolder());
    for (const QString& file : dir.entryList({QStringLiteral("*.vexaphone")}, QDir::Files, QDir::Name)) {
        SimDb db;
        QString error;
        const QString path = dir.filePath(file);
        PhoneSummary phone;
        if (db.Open(path, &error)) {
            phone.serial = db.Meta("serial");
            phone.brand = db.Meta("brand");
            phone.model = db.Meta("model");
            phone.attached = db.Meta("attached") == QLatin1String("1");
            phone.path = path;
            if (phone.serial.isEmpty()) {
                error = QStringLiteral("no serial");
            } else if (file != phone.serial + QStringLiteral(".vexaphone")) {
                error = QStringLiteral("it holds phone %1, whose file must be named %1.vexaphone").arg(phone.serial);
            }
        }
        if (!error.isEmpty()) {
            if (problems != nullptr) {
                problems->append(file + QStringLiteral(": ") + error);
            }
            // Detection asks every few seconds; a bad file is logged once per change of the file.
            const QString key = path + u'@' + QString::number(QFileInfo(path).lastModified().toMSecsSinceEpoch());
            std::lock_guard<std::mutex> guard(g_reportedLock);
            if (!g_reported.contains(key)) {
                g_reported.insert(key);
                LOG_Error("[SimPhone] cannot use phone file %s: %s. %s:%d", qUtf8Printable(path),
                          qUtf8Printable(error), LOG_HERE);
            }
            continue;
        }
        phones.push_back(phone);
    }
    return phones;
}

namespace {
bool OpenPhone(const QString& serial, SimDb& db, QString* error) {
    if (!IsValidSerial(serial)) {
        *error = QStringLiteral("invalid serial \"%1\"").arg(serial);
        return false;
    }
    if (!db.Open(PhoneFilePath(serial), error)) {
        *error = QStringLiteral("cannot open phone %1: %2").arg(serial, *error);
        return false;
    }
    return true;
}
} // namespace

namespace {
constexpr std::int64_t kMaxUpdateImage = 256LL << 20;

// What the phone's updater does when the phone comes back after RebootToUpdate: it reads the new
// firmware name from "firmware.prop" inside the update image and takes it on. A missing or damaged
// image leaves the old firmware; the outcome is kept in meta "update_result".
void RunPendingUpdate(SimDb& db) {
    const QString image = db.Meta("pending_update");
    if (image.isEmpty()) {
        return;
    }
    QString result = QStringLiteral("failed: no update image");
    const FileNode node = ResolvePath(db, image);
    if (node.id >= 0 && !node.isDir && node.size <= kMaxUpdateImage) {
        QTemporaryFile copy;
        std::optional<QByteArray> prop;
        if (copy.open() && copy.write(ReadWholeFile(db, node.id)) == node.size && copy.flush()) {
            prop = apk::ReadZipEntry(copy.fileName(), QStringLiteral("firmware.prop"), 4096);
        }
        QString version;
        for (const QByteArray& line : prop.value_or(QByteArray()).split('\n')) {
            if (line.startsWith("version=")) {
                version = QString::fromUtf8(line.mid(8)).trimmed();
            }
        }
        if (!version.isEmpty() && db.SetMeta("firmware", version)) {
            result = QStringLiteral("installed ") + version;
        } else {
            result = QStringLiteral("failed: damaged update image");
        }
    }
    db.SetMeta("update_result", result);
    db.SetMeta("pending_update", QString());
    LOG_Info("[SimPhone] updater: %s. %s:%d", qUtf8Printable(result), LOG_HERE);
}
} // namespace

bool SetAttached(const QString& serial, bool attached, QString* error) {
    SimDb db;
    if (!OpenPhone(serial, db, error)) {
        return false;
    }
    if (attached) {
        RunPendingUpdate(db);
    }
    if (!db.SetMeta("attached", attached ? "1" : "0")) {
        *error = db.ErrorText();
        return false;
    }
    return true;
}

bool RaiseEvent(const QString& serial, int kind, const QString& number, const QString& text, QString* error) {
    SimDb db;
    if (!OpenPhone(serial, db, error)) {
        return false;
    }
    Transaction transaction(db);
    bool ok = transaction.IsOpen();
    if (kind == 2) {
        Stmt sms(db, "INSERT INTO sms(box, number, time, content, read) VALUES(1, ?, ?, ?, 0)");
        ok = ok && sms.Bind(1, number).Bind(2, PackTime(NowSystemTime())).Bind(3, text).Run();
    }
    Stmt event(db, "INSERT INTO events(kind, state, text) VALUES(?, ?, ?)");
    const QString eventText = kind == 1 ? number : text;
    ok = ok && event.Bind(1, kind).Bind(2, kind == 1 ? 1 : 0).Bind(3, eventText).Run();
    ok = ok && transaction.Commit();
    if (!ok) {
        *error = db.ErrorText();
    }
    return ok;
}

} // namespace vexa::sim
