// The simulated backend's own behaviour: bad phone files, fault knobs, vexa-phone events, the demo phone.
#include "BridgeBackend.h"
#include "FrameCollector.h"
#include "PhoneCommands.h"

#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/MessageStores.h"
#include "bridge/api/ScreenshotService.h"
#include "bridge/api/SmallStores.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"

#include "TestFiles.h"
#include "Waits.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <mutex>

using namespace vexa;
using namespace vexa::sim;

namespace {

class SimPhoneTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_backend = MakeSimBackend();
        ASSERT_TRUE(m_backend->CreatePhone(TestPhoneIdentity{QStringLiteral("SIM-1")}));
        m_bridge = CreateSimBridge();
    }

    int Run(const QStringList& args, QString* output = nullptr) {
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        const int code = RunPhoneCommand(args, outStream, errStream);
        outStream.flush();
        errStream.flush();
        if (output) {
            *output = out + err;
        }
        return code;
    }

    DeviceSession* Connect(const QString& serial = QStringLiteral("SIM-1")) {
        return m_bridge->ConnectUsbDevice(serial) ? m_bridge->GetSession() : nullptr;
    }

    static bool Open(SimDb& db, const QString& serial = QStringLiteral("SIM-1")) {
        QString error;
        return db.Open(PhoneFilePath(serial), &error);
    }
    // Counts rows straight from the phone file, as a fresh connection sees them.
    static std::int64_t Rows(const QString& serial, const char* sql) {
        SimDb db;
        if (!Open(db, serial)) {
            return -1;
        }
        Stmt stmt(db, sql);
        return stmt.Step() ? stmt.Int(0) : -1;
    }
    static QString Integrity(const QString& serial) {
        SimDb db;
        if (!Open(db, serial)) {
            return QStringLiteral("cannot open");
        }
        Stmt stmt(db, "PRAGMA integrity_check");
        return stmt.Step() ? stmt.Text(0) : db.ErrorText();
    }

    std::unique_ptr<BridgeBackend> m_backend;
    std::unique_ptr<DeviceBridge> m_bridge;
    QTemporaryDir m_local;
};

std::vector<std::unique_ptr<Sms>> MakeSms(SmsStore* store, int count) {
    std::vector<std::unique_ptr<Sms>> list;
    for (int i = 0; i < count; ++i) {
        list.emplace_back(store->NewSms());
        list.back()->SetBox(BOX_INBOX);
        list.back()->SetNumber(QStringLiteral("10086"));
        list.back()->SetContent(QStringLiteral("m%1").arg(i));
    }
    return list;
}

std::vector<Sms*> Raw(const std::vector<std::unique_ptr<Sms>>& list) {
    std::vector<Sms*> raw;
    for (const auto& sms : list) {
        raw.push_back(sms.get());
    }
    return raw;
}

TEST_F(SimPhoneTest, GarbageTruncatedAndNewerFilesFailCleanly) {
    ASSERT_TRUE(vexa::test::WriteFile(SimFolder() + QStringLiteral("/GARBAGE.vexaphone"), QByteArray(5000, '\x5A')));
    QString error;
    ASSERT_TRUE(CreatePhone(PhoneSpec{.model = QStringLiteral("T"), .serial = QStringLiteral("TRUNC")}, &error));
    QFile truncated(PhoneFilePath(QStringLiteral("TRUNC")));
    ASSERT_TRUE(truncated.resize(1024));
    ASSERT_TRUE(CreatePhone(PhoneSpec{.model = QStringLiteral("N"), .serial = QStringLiteral("NEWER")}, &error));
    {
        SimDb db;
        ASSERT_TRUE(db.Open(PhoneFilePath(QStringLiteral("NEWER")), &error));
        ASSERT_TRUE(db.SetMeta("schema", QString::number(SIM_SCHEMA_VERSION + 1)));
    }

    DeviceRecord records[32] = {};
    int count = 0;
    ASSERT_TRUE(m_bridge->GetDeviceList(records, &count));
    EXPECT_EQ(count, 1); // only the good phone
    EXPECT_EQ(records[0].Serial(), "SIM-1");
    for (const char* serial : {"GARBAGE", "TRUNC", "NEWER"}) {
        EXPECT_EQ(m_bridge->ConnectUsbDevice(QString::fromLatin1(serial)), 0) << serial;
        DeviceRecord record;
        record.SetSerial(QString::fromLatin1(serial));
        EXPECT_EQ(m_bridge->ReadDeviceBrandAndModel(&record), 0) << serial;
    }
    EXPECT_NE(Connect(), nullptr); // the good phone still works
    SimDb db;
    EXPECT_FALSE(db.Open(PhoneFilePath(QStringLiteral("NEWER")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("schema"))) << qPrintable(error);
}

TEST_F(SimPhoneTest, ALockedFileFailsTheConnectionADamagedTableItsLoadOnly) {
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(PhoneFilePath(QStringLiteral("SIM-1"))).constData(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder,
                           "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                           "UPDATE meta SET value=value WHERE key='model'; COMMIT",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_EQ(m_bridge->ConnectUsbDevice(QStringLiteral("SIM-1")), 0);
    sqlite3_close(holder);
    DeviceSession* session = Connect();
    ASSERT_NE(session, nullptr);
    // A damaged table fails its own load with 0; the link stays.
    {
        SimDb db;
        ASSERT_TRUE(Open(db));
        ASSERT_TRUE(db.Exec("DROP TABLE calls"));
    }
    EXPECT_EQ(session->GetCallRecords()->LoadCallRecords(), 0);
    EXPECT_TRUE(session->IsConnected());
}

// A write begun on an open read fails at once when another writer moved past the read's snapshot:
// it is refused every time, so the mistake cannot hide until a busy run.
TEST_F(SimPhoneTest, AWriteNeverBeginsWhileAReadIsOpen) {
    SimDb db;
    ASSERT_TRUE(Open(db));
    Stmt read(db, "SELECT key FROM meta");
    ASSERT_TRUE(read.Step());
    EXPECT_FALSE(Transaction(db).IsOpen());
    read.Reset();
    EXPECT_TRUE(Transaction(db).IsOpen());
}

TEST_F(SimPhoneTest, CrashInTheMiddleOfABatchLeavesTheFileConsistent) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child writes half a batch and dies without committing, as a killed program would.
        SimDb db;
        if (!Open(db)) {
            _exit(3);
        }
        db.Exec("BEGIN IMMEDIATE");
        for (int i = 0; i < 500; ++i) {
            db.Exec("INSERT INTO sms(box, number, time, content) VALUES(1, '1', 20120101000000, 'x')");
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Integrity(QStringLiteral("SIM-1")), "ok");
    EXPECT_EQ(Rows(QStringLiteral("SIM-1"), "SELECT COUNT(*) FROM sms"), 0);
    DeviceSession* session = Connect();
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->GetSmsStore()->LoadSms(), 1);
}

TEST_F(SimPhoneTest, HostileRowsInThePhoneFileAreContained) {
    {
        SimDb db;
        ASSERT_TRUE(Open(db));
        const QString root = QString::number(Rows(QStringLiteral("SIM-1"), "SELECT id FROM files WHERE name='sdcard'"));
        const QString sql =
            QStringLiteral(
                "INSERT INTO contacts(display_name) VALUES(CAST(X'C328414280' AS TEXT));"
                "INSERT INTO contacts(display_name) VALUES(printf('%.*c', 1000000, 'x'));"
                "INSERT INTO files(parent, name, is_dir, size, mtime) "
                "VALUES(%1, 'liar.bin', 0, 999999, 20120101000000);"
                "INSERT INTO file_chunks(file_id, seq, data) VALUES(last_insert_rowid(), 0, X'616263');"
                "INSERT INTO files(parent, name, is_dir, size, mtime) VALUES(%1, '..', 1, 0, 20120101000000);"
                "INSERT INTO files(parent, name, is_dir, size, mtime) VALUES(%1, 'a\\b:c', 0, 0, 20120101000000);"
                "INSERT INTO small_items(store, payload) VALUES(1, X'FF00');"
                "INSERT INTO sms(box, number, time, content) VALUES(1, '1', 99999999999999, 'late');"
                "INSERT INTO sms(box, number, time, content) VALUES(1, '2', -5, 'early');")
                .arg(root);
        ASSERT_TRUE(db.Exec(sql.toUtf8().constData()));
    }
    DeviceSession* session = Connect();
    ASSERT_NE(session, nullptr);
    ContactBook* book = session->GetContactBook();
    ASSERT_EQ(book->LoadContacts(), 1);
    ASSERT_EQ(book->GetContactCount(LIST_ALL), 2);
    // In the list's order the long name comes first.
    EXPECT_EQ(book->GetContactAt(LIST_ALL, 0)->GetDisplayNameText().size(), 1000000);
    EXPECT_TRUE(book->GetContactAt(LIST_ALL, 1)->GetDisplayNameText().contains(QChar(0xFFFD)));

    FileSystem* fs = session->GetFileSystem();
    const QString local = m_local.filePath(QStringLiteral("liar.bin"));
    EXPECT_FALSE(fs->TransferFile(QStringLiteral("/mnt/sdcard/liar.bin"), local, {}, nullptr));
    EXPECT_FALSE(QFile::exists(local));
    ASSERT_TRUE(fs->ListFolder(QStringLiteral("/mnt/sdcard"), QString()));
    EXPECT_FALSE(fs->PathExists(QStringLiteral("/mnt/sdcard/..")));
    EXPECT_FALSE(fs->DeletePath(QStringLiteral("/mnt/sdcard/..")));
    EXPECT_FALSE(fs->DeletePath(QStringLiteral("/mnt/sdcard/a\\b:c")));
    EXPECT_TRUE(fs->PathExists(QStringLiteral("/mnt/sdcard/DCIM")));

    EXPECT_EQ(session->GetBookmarkStore()->Load(), 0); // an unreadable record fails the load
    EXPECT_EQ(session->GetBookmarkStore()->GetCount(), 0);
    ASSERT_EQ(session->GetSmsStore()->LoadSms(), 1);
    std::vector<MSGINFO> list;
    ASSERT_TRUE(session->GetSmsStore()->ListSms(&list));
    EXPECT_EQ(list.size(), 2u);
}

// A dropped link (not a failed write) leaves the session unusable.
TEST_F(SimPhoneTest, FaultsMidWriteLeaveNothingHalfDone) {
    const QString local = m_local.filePath(QStringLiteral("f.bin"));
    ASSERT_TRUE(vexa::test::WriteFile(local, QByteArray(5 * 1024 * 1024 + 7, 'z')));
    std::vector<std::int64_t> ids;
    const struct {
        const char* what;
        int seeded; // messages on the phone before the fault
        SimFaults faults;
        bool linkLost;
        std::function<void(DeviceSession*)> write;
        std::vector<std::pair<const char*, std::int64_t>> rows; // counted in the phone file afterwards
    } cases[] = {
        {"sms batch", 0, {0, 0, 12}, true, [](DeviceSession* session) {
             const auto batch = MakeSms(session->GetSmsStore(), 30);
             EXPECT_FALSE(session->GetSmsStore()->AddSmsBatch(Raw(batch)));
             EXPECT_EQ(batch[0]->GetId(), -1); // no id handed out for a batch that did not land
         }, {{"SELECT COUNT(*) FROM sms", 0}}},
        {"sms delete", 30, {0, 0, 20}, true, [&ids](DeviceSession* session) {
             EXPECT_FALSE(session->GetSmsStore()->DeleteSmsBatch(ids));
         }, {{"SELECT COUNT(*) FROM sms", 30}}},
        {"contact", 0, {0, 4, 0}, false, [](DeviceSession* session) {
             ContactBook* book = session->GetContactBook();
             ASSERT_EQ(book->LoadContacts(), 1);
             Contact* c = book->NewContact();
             c->SetDisplayName(QStringLiteral("Half"));
             for (int i = 0; i < 5; ++i) {
                 c->AddPhone(2, nullptr, QString::number(i), nullptr);
             }
             EXPECT_FALSE(book->CreateContact(c));
             EXPECT_EQ(c->GetId(), -1);
             EXPECT_EQ(book->GetContactCount(LIST_ALL), 0);
             ASSERT_TRUE(book->CreateContact(c)); // the same contact goes through once the fault has passed
         }, {{"SELECT COUNT(*) FROM contacts", 1}, {"SELECT COUNT(*) FROM contact_data", 5}}},
        {"upload", 0, {0, 0, 4}, true, [&local](DeviceSession* session) {
             EXPECT_FALSE(session->GetFileSystem()->UploadFile(local, QStringLiteral("/mnt/sdcard/f.bin"), {}, nullptr));
         }, {{"SELECT COUNT(*) FROM files WHERE name='f.bin'", 0}, {"SELECT COUNT(*) FROM file_chunks", 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.seeded > 0) {
            const auto batch = MakeSms(Connect()->GetSmsStore(), c.seeded);
            ASSERT_TRUE(m_bridge->GetSession()->GetSmsStore()->AddSmsBatch(Raw(batch)));
            for (const auto& sms : batch) {
                ids.push_back(sms->GetId());
            }
        }
        SetFaults(c.faults);
        DeviceSession* session = Connect(); // fault counters start with the session
        ASSERT_NE(session, nullptr);
        c.write(session);
        EXPECT_EQ(session->IsConnected(), !c.linkLost);
        if (c.linkLost) {
            EXPECT_EQ(session->GetSmsStore()->LoadSms(), 2);
            EXPECT_EQ(session->GetContactBook()->LoadContacts(), 2);
            EXPECT_EQ(session->GetCallRecords()->LoadCallRecords(), 2);
        }
        m_bridge->CloseSession();
        SetFaults({});
        for (const auto& [sql, count] : c.rows) {
            EXPECT_EQ(Rows(QStringLiteral("SIM-1"), sql), count) << sql;
        }
        EXPECT_EQ(Integrity(QStringLiteral("SIM-1")), "ok");
    }
}

TEST_F(SimPhoneTest, EventsFromThePhoneReachTheCallbacks) {
    DeviceSession* session = Connect();
    ASSERT_NE(session, nullptr);
    std::mutex lock;
    QStringList seen;
    CountedEvent arrived;
    const auto record = [&](const QString& line) {
        {
            std::lock_guard<std::mutex> guard(lock);
            seen << line;
        }
        arrived.Add();
    };
    session->SetEventCallback(PHONE_EVENT_MESSAGE,
                              [&](int state, const QString& text) { record(QStringLiteral("sms %1 %2").arg(state).arg(text)); });
    session->SetEventCallback(PHONE_EVENT_CALL,
                              [&](int state, const QString& text) { record(QStringLiteral("call %1 %2").arg(state).arg(text)); });
    int context = 0;
    session->SetOrientationCallback(
        [&](void* ctx, const QString& text, bool valid) {
            record(QStringLiteral("turn %1 %2 %3").arg(text).arg(valid).arg(ctx == &context));
        },
        &context);
    QString request;
    session->SetPhoneRequestCallback([&](const QString& text) {
        {
            std::lock_guard<std::mutex> guard(lock);
            request = text;
        }
        arrived.Add();
        return 0;
    });
    ASSERT_TRUE(session->GetSmsStore()->LoadSms() == 1);

    ASSERT_EQ(Run({"sms-in", "--phone", "SIM-1", "--from", "+8613800000000", "你好", "world"}), 0);
    ASSERT_EQ(Run({"call-in", "--phone", "SIM-1", "--from", "10086"}), 0);
    ASSERT_EQ(Run({"rotate", "--phone", "SIM-1", "1"}), 0);
    ASSERT_EQ(Run({"request", "--phone", "SIM-1", "open store"}), 0);
    ASSERT_TRUE(arrived.WaitFor(4));
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(seen, QStringList({"sms 0 你好 world", "call 1 10086", "turn 1 1 1"}));
    EXPECT_EQ(request, "open store");
    // The message also sits in the inbox, unread.
    std::vector<MSGINFO> inbox;
    ASSERT_TRUE(session->GetSmsStore()->ListSms(&inbox));
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].number, "+8613800000000");
    EXPECT_EQ(inbox[0].read, 0);
}

TEST_F(SimPhoneTest, ScreenshotsStreamFramesUntilStopped) {
    DeviceSession* session = Connect();
    ASSERT_NE(session, nullptr);
    ScreenshotService* screen = session->GetScreenshotService();
    FrameCollector none, first, second;
    ASSERT_TRUE(screen->CaptureOnce(none.Collect())); // no frames on the phone yet: an error arrives
    ASSERT_TRUE(none.count.WaitFor(1));
    screen->StopCapture();
    ASSERT_EQ(none.list.size(), 1u);
    EXPECT_TRUE(none.list[0].first);

    QString error;
    ASSERT_TRUE(SeedPhone(QStringLiteral("SIM-1"), {.smallStores = false}, &error)) << qPrintable(error);
    ASSERT_TRUE(screen->StartCapture(first.Collect()));
    ASSERT_TRUE(first.count.WaitFor(3));
    screen->StopCapture();
    const int stopped = first.count.Count();
    for (const auto& [failed, frame] : first.list) {
        EXPECT_FALSE(failed);
        EXPECT_TRUE(frame.startsWith("\x89PNG"));
    }
    EXPECT_NE(first.list[0].second, first.list[1].second);
    // While a new capture delivers three frames, the stopped one delivers none.
    ASSERT_TRUE(screen->StartCapture(second.Collect()));
    ASSERT_TRUE(second.count.WaitFor(3));
    screen->StopCapture();
    EXPECT_EQ(first.count.Count(), stopped);
}

TEST_F(SimPhoneTest, PhoneToolForms) {
    QString text;
    EXPECT_EQ(Run({"create", "--serial", "T2", "--model", "V88", "--dual-sim", "--sd-card"}, &text), 0);
    EXPECT_TRUE(text.startsWith("created phone T2")) << qPrintable(text);
    EXPECT_NE(Run({"create", "--serial", "T2", "--model", "V88"}, &text), 0);          // exists
    EXPECT_NE(Run({"create", "--serial", "../x", "--model", "V88"}, &text), 0);        // hostile serial
    EXPECT_NE(Run({"create", "--serial", "T3", "--model", "M", "--bogus"}, &text), 0); // unknown option
    EXPECT_NE(Run({"seed", "--phone", "T2", "--contacts", "many"}, &text), 0);
    EXPECT_NE(Run({"frobnicate"}, &text), 0);

    ASSERT_EQ(Run({"detach", "--phone", "T2"}, &text), 0);
    ASSERT_EQ(Run({"list"}, &text), 0);
    EXPECT_TRUE(text.contains("T2\tvexa\tV88\tdetached")) << qPrintable(text);
    EXPECT_EQ(m_bridge->ConnectUsbDevice(QStringLiteral("T2")), 0);
    ASSERT_EQ(Run({"attach", "--phone", "T2"}, &text), 0);
    EXPECT_NE(m_bridge->ConnectUsbDevice(QStringLiteral("T2")), 0);
}

TEST_F(SimPhoneTest, DemoPhoneOnlyOnFirstRun) {
    bool created = true;
    QString error;
    ASSERT_TRUE(EnsureDemoPhone(&created, &error));
    EXPECT_FALSE(created); // SIM-1 exists already

    m_bridge.reset();
    m_backend.reset();
    m_backend = MakeSimBackend(); // an empty simulator folder
    m_bridge = CreateSimBridge();
    ASSERT_TRUE(EnsureDemoPhone(&created, &error)) << qPrintable(error);
    EXPECT_TRUE(created);
    DeviceRecord records[32] = {};
    int count = 0;
    ASSERT_TRUE(m_bridge->GetDeviceList(records, &count));
    ASSERT_EQ(count, 1);
    EXPECT_EQ(records[0].Brand(), "vexa");
    DeviceSession* session = Connect(records[0].Serial());
    ASSERT_NE(session, nullptr);
    ASSERT_EQ(session->GetContactBook()->LoadContacts(), 1);
    EXPECT_GT(session->GetContactBook()->GetContactCount(LIST_ALL), 100);
}

TEST_F(SimPhoneTest, WifiConnectionByCode) {
    SimDb db;
    ASSERT_TRUE(Open(db));
    const QString code = db.Meta("wifi_code");
    ASSERT_FALSE(code.isEmpty());
    char records[144 * 4] = {};
    int count = 4, rejected = -1;
    EXPECT_FALSE(m_bridge->ConnectWifi(records, &count, QStringLiteral("000"), &rejected));
    EXPECT_EQ(count, 0);
    count = 4;
    ASSERT_TRUE(m_bridge->ConnectWifi(records, &count, code, &rejected));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(rejected, 0);
    EXPECT_TRUE(m_bridge->IsWifiConnection());
    ASSERT_NE(m_bridge->GetSession(), nullptr);
    EXPECT_EQ(m_bridge->GetSession()->GetDeviceInfo()->GetInfoField11(), "SIM-1");
}

} // namespace
