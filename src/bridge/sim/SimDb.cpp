#include "bridge/sim/SimDb.h"

#include "libs/log/Log.h"

#include <QFile>

#include <sqlite3.h>

namespace vexa::sim {

namespace {

const char* const kSchema = R"SQL(
CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE contacts(id INTEGER PRIMARY KEY, storage INT NOT NULL DEFAULT 0, display_name TEXT NOT NULL DEFAULT '',
  given TEXT, family TEXT, prefix TEXT, middle TEXT, suffix TEXT, ph_given TEXT, ph_middle TEXT, ph_family TEXT,
  nickname TEXT, company TEXT, department TEXT, title TEXT, birthday TEXT, favorite INT NOT NULL DEFAULT 0,
  photo BLOB, ringtone TEXT);
CREATE TABLE contact_data(id INTEGER PRIMARY KEY, contact_id INT NOT NULL REFERENCES contacts(id) ON DELETE CASCADE,
  kind INT NOT NULL, seq INT NOT NULL, type INT NOT NULL DEFAULT 0, label TEXT, value TEXT, city TEXT, region TEXT,
  postcode TEXT, country TEXT);
CREATE INDEX contact_data_kind ON contact_data(kind, contact_id, seq);
CREATE INDEX contact_data_contact ON contact_data(contact_id);
CREATE TABLE groups_(id INTEGER PRIMARY KEY, name TEXT NOT NULL, icon BLOB);
CREATE TABLE group_members(group_id INT NOT NULL REFERENCES groups_(id) ON DELETE CASCADE,
  contact_id INT NOT NULL REFERENCES contacts(id) ON DELETE CASCADE, PRIMARY KEY(group_id, contact_id)) WITHOUT ROWID;
CREATE INDEX group_members_contact ON group_members(contact_id);
CREATE TABLE sms(id INTEGER PRIMARY KEY, box INT NOT NULL, number TEXT NOT NULL, time INT NOT NULL,
  content TEXT NOT NULL, read INT NOT NULL DEFAULT 1, sim INT NOT NULL DEFAULT 0);
CREATE TABLE mms(id INTEGER PRIMARY KEY, box INT NOT NULL, number TEXT NOT NULL, time INT NOT NULL,
  subject TEXT NOT NULL DEFAULT '', data BLOB, read INT NOT NULL DEFAULT 1, sim INT NOT NULL DEFAULT 0);
CREATE TABLE calls(id INTEGER PRIMARY KEY, number TEXT NOT NULL, time INT NOT NULL, duration INT NOT NULL,
  type INT NOT NULL, number_state TEXT NOT NULL DEFAULT '');
CREATE TABLE files(id INTEGER PRIMARY KEY, parent INT NOT NULL, name TEXT NOT NULL, is_dir INT NOT NULL,
  size INT NOT NULL DEFAULT 0, mtime INT NOT NULL, attrs INT NOT NULL DEFAULT 0, storage INT NOT NULL DEFAULT 0,
  category INT NOT NULL DEFAULT 0, UNIQUE(parent, name));
CREATE TABLE file_chunks(file_id INT NOT NULL, seq INT NOT NULL, data BLOB NOT NULL, PRIMARY KEY(file_id, seq));
CREATE TABLE thumbnails(file_id INTEGER PRIMARY KEY, data BLOB NOT NULL);
CREATE TABLE albums(id INTEGER PRIMARY KEY, path TEXT UNIQUE NOT NULL);
CREATE TABLE apps(id INTEGER PRIMARY KEY, package TEXT UNIQUE NOT NULL, label TEXT NOT NULL DEFAULT '',
  version_name TEXT NOT NULL DEFAULT '', version_code INT NOT NULL DEFAULT 0, size INT NOT NULL DEFAULT 0, icon BLOB,
  permissions TEXT NOT NULL DEFAULT '', min_sdk TEXT NOT NULL DEFAULT '', target_sdk TEXT NOT NULL DEFAULT '',
  installed INT NOT NULL DEFAULT 0, apk_path TEXT NOT NULL);
CREATE TABLE small_items(id INTEGER PRIMARY KEY, store INT NOT NULL, payload BLOB NOT NULL);
CREATE TABLE screen_frames(id INTEGER PRIMARY KEY, orientation INT NOT NULL DEFAULT 0, data BLOB NOT NULL);
CREATE TABLE events(id INTEGER PRIMARY KEY, kind INT NOT NULL, state INT NOT NULL DEFAULT 0, text TEXT NOT NULL DEFAULT '',
  delivered INT NOT NULL DEFAULT 0);
INSERT INTO files(id, parent, name, is_dir, mtime) VALUES(1, 0, '', 1, 20120101000000);
)SQL";

} // namespace

SimDb::~SimDb() {
    Close();
}

void SimDb::Close() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

bool SimDb::Configure(QString* error) {
    // The program and vexa-phone write the same file; under load one may hold it for seconds
    // (seeding thousands of rows), and the other must wait rather than fail.
    sqlite3_busy_timeout(m_db, 10000);
    // WAL lets the tool raise events while the program reads; a crash leaves the last commit.
    // Pages are read through a small cache rather than mapped: the simulated phone lives inside the
    // program, and a mapped 100,000-message phone stayed resident as 11 MB of the program's memory
    // that a real phone keeps on the phone. The system's file cache keeps the reads fast.
    if (!Exec("PRAGMA foreign_keys=ON") || !Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=NORMAL") ||
        !Exec("PRAGMA cache_size=-2000") || !Exec("PRAGMA mmap_size=0")) {
        *error = ErrorText();
        return false;
    }
    return true;
}

bool SimDb::Open(const QString& path, QString* error) {
    Close();
    m_path = path;
    if (!QFile::exists(path)) {
        *error = QStringLiteral("no such file");
        return false;
    }
    const QByteArray name = QFile::encodeName(path);
    if (sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
        *error = m_db ? ErrorText() : QStringLiteral("cannot open");
        Close();
        return false;
    }
    if (!Configure(error)) {
        Close();
        return false;
    }
    // Reading the schema version also proves that the file is a database and not locked away.
    Stmt version(*this, "SELECT value FROM meta WHERE key='schema'");
    if (!version.IsValid() || !version.Step()) {
        *error = version.IsValid() ? QStringLiteral("not a phone file") : ErrorText();
        Close();
        return false;
    }
    const int schema = version.Text(0).toInt();
    if (schema < 1 || schema > SIM_SCHEMA_VERSION) {
        *error = QStringLiteral("phone file schema %1 is not supported (this program reads up to %2)")
                     .arg(schema)
                     .arg(SIM_SCHEMA_VERSION);
        Close();
        return false;
    }
    return true;
}

bool SimDb::Create(const QString& path, QString* error) {
    Close();
    m_path = path;
    if (QFile::exists(path)) {
        *error = QStringLiteral("file exists");
        return false;
    }
    const QByteArray name = QFile::encodeName(path);
    if (sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        *error = m_db ? ErrorText() : QStringLiteral("cannot create");
        Close();
        return false;
    }
    Exec("PRAGMA page_size=8192");
    if (!Configure(error)) {
        Close();
        return false;
    }
    Transaction transaction(*this);
    if (!transaction.IsOpen() || !Exec(kSchema) || !SetMeta("schema", QString::number(SIM_SCHEMA_VERSION)) ||
        !transaction.Commit()) {
        *error = ErrorText();
        Close();
        QFile::remove(path);
        return false;
    }
    return true;
}

bool SimDb::Exec(const char* sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        LOG_Error("[SimPhone] %s: %s. %s:%d", sql, message ? message : "?", LOG_HERE);
        sqlite3_free(message);
        return false;
    }
    return true;
}

QString SimDb::ErrorText() const {
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("not open");
}

QString SimDb::Meta(const char* key, const QString& fallback) {
    Stmt stmt(*this, "SELECT value FROM meta WHERE key=?");
    stmt.Bind(1, QString::fromLatin1(key));
    return stmt.Step() ? stmt.Text(0) : fallback;
}

bool SimDb::SetMeta(const char* key, const QString& value) {
    Stmt stmt(*this, "INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)");
    return stmt.Bind(1, QString::fromLatin1(key)).Bind(2, value).Run();
}

std::int64_t SimDb::LastInsertId() const {
    return sqlite3_last_insert_rowid(m_db);
}

Stmt::Stmt(const SimDb& db, const char* sql) {
    if (!db.Handle() || sqlite3_prepare_v2(db.Handle(), sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        if (db.Handle()) {
            LOG_Error("[SimPhone] prepare failed: %s (%s). %s:%d", sqlite3_errmsg(db.Handle()), sql, LOG_HERE);
        }
        m_stmt = nullptr;
        m_failed = true;
    }
}

Stmt::~Stmt() {
    sqlite3_finalize(m_stmt);
}

Stmt& Stmt::Bind(int index, std::int64_t value) {
    if (m_stmt) {
        sqlite3_bind_int64(m_stmt, index, value);
    }
    return *this;
}

Stmt& Stmt::Bind(int index, const QString& value) {
    if (m_stmt) {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }
    return *this;
}

Stmt& Stmt::Bind(int index, const QByteArray& value) {
    if (m_stmt) {
        if (value.isNull()) {
            sqlite3_bind_null(m_stmt, index);
        } else {
            sqlite3_bind_blob(m_stmt, index, value.constData(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
        }
    }
    return *this;
}

Stmt& Stmt::BindNull(int index) {
    if (m_stmt) {
        sqlite3_bind_null(m_stmt, index);
    }
    return *this;
}

bool Stmt::Step() {
    if (!m_stmt) {
        return false;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc != SQLITE_DONE) {
        m_failed = true;
        LOG_Error("[SimPhone] step failed: %s. %s:%d", sqlite3_errmsg(sqlite3_db_handle(m_stmt)), LOG_HERE);
    }
    return false;
}

bool Stmt::Run() {
    if (!m_stmt) {
        return false;
    }
    const int rc = sqlite3_step(m_stmt);
    sqlite3_reset(m_stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        m_failed = true;
        LOG_Error("[SimPhone] write failed: %s. %s:%d", sqlite3_errmsg(sqlite3_db_handle(m_stmt)), LOG_HERE);
        return false;
    }
    return true;
}

void Stmt::Reset() {
    if (m_stmt) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
}

std::int64_t Stmt::Int(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

QString Stmt::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column)) : QString();
}

QByteArray Stmt::Blob(int column) const {
    const void* data = sqlite3_column_blob(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    return data ? QByteArray(static_cast<const char*>(data), size) : QByteArray();
}

bool Stmt::IsNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

Transaction::Transaction(SimDb& db) : m_db(db) {
    // Inside another transaction this one is a savepoint, so helpers can nest.
    m_nested = m_db.Handle() && sqlite3_get_autocommit(m_db.Handle()) == 0;
    // A read still open here holds its snapshot, and a write begun on a snapshot that another
    // connection has moved past fails at once as "locked", without waiting. Refusing it always
    // turns that rare, load-dependent failure into one every run shows.
    if (!m_nested && m_db.Handle()) {
        for (sqlite3_stmt* s = sqlite3_next_stmt(m_db.Handle(), nullptr); s; s = sqlite3_next_stmt(m_db.Handle(), s)) {
            if (sqlite3_stmt_busy(s)) {
                LOG_Error("[SimPhone] a write began while a read was still open: %s. %s:%d", sqlite3_sql(s), LOG_HERE);
                return;
            }
        }
    }
    m_open = m_db.Exec(m_nested ? "SAVEPOINT nested" : "BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (m_open) {
        if (m_nested) {
            m_db.Exec("ROLLBACK TO nested");
            m_db.Exec("RELEASE nested");
        } else {
            m_db.Exec("ROLLBACK");
        }
    }
}

bool Transaction::Commit() {
    if (!m_open) {
        return false;
    }
    if (!m_db.Exec(m_nested ? "RELEASE nested" : "COMMIT")) {
        return false; // still open: the destructor rolls back
    }
    m_open = false;
    return true;
}

} // namespace vexa::sim

namespace vexa::sim {
int SimDb::Changes() const {
    return sqlite3_changes(m_db);
}
} // namespace vexa::sim

namespace vexa::sim {
const char* Stmt::BlobData(int column, qsizetype* size) const {
    const void* data = sqlite3_column_blob(m_stmt, column);
    *size = sqlite3_column_bytes(m_stmt, column);
    return static_cast<const char*>(data);
}
} // namespace vexa::sim
