#pragma once
// A simulated phone's SQLite file: opening with checks, the schema, statements and transactions.
// One SimDb is one connection; it is not thread-safe (its owner serialises use).

#include <QByteArray>
#include <QString>

#include <cstdint>

struct sqlite3;
struct sqlite3_stmt;

namespace vexa::sim {

// The schema this build writes; files of a newer one are refused.
constexpr int SIM_SCHEMA_VERSION = 1;

class SimDb {
public:
    SimDb() = default;
    ~SimDb();
    SimDb(const SimDb&) = delete;
    SimDb& operator=(const SimDb&) = delete;

    // Opens an existing phone file and checks that it is a phone of a schema we know. On failure
    // the connection is closed, error says why, and false is returned.
    bool Open(const QString& path, QString* error);
    // Creates a new, empty phone file with the schema (fails when the file exists).
    bool Create(const QString& path, QString* error);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    sqlite3* Handle() const { return m_db; }
    const QString& Path() const { return m_path; }

    bool Exec(const char* sql);
    QString ErrorText() const;
    QString Meta(const char* key, const QString& fallback = {});
    bool SetMeta(const char* key, const QString& value);
    std::int64_t LastInsertId() const;
    // Rows changed by the last write.
    int Changes() const;

private:
    bool Configure(QString* error);

    sqlite3* m_db = nullptr;
    QString m_path;
};

// A prepared statement; bind indexes start at 1, columns at 0.
class Stmt {
public:
    Stmt(const SimDb& db, const char* sql);
    ~Stmt();
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    bool IsValid() const { return m_stmt != nullptr; }
    Stmt& Bind(int index, std::int64_t value);
    Stmt& Bind(int index, int value) { return Bind(index, static_cast<std::int64_t>(value)); }
    Stmt& Bind(int index, const QString& value);
    Stmt& Bind(int index, const QByteArray& value);
    Stmt& BindNull(int index);
    // True while a row is available.
    bool Step();
    // Runs a statement that returns no rows; true on success.
    bool Run();
    void Reset();
    std::int64_t Int(int column) const;
    QString Text(int column) const;
    QByteArray Blob(int column) const;
    // The blob's bytes in place, valid until the next Step.
    const char* BlobData(int column, qsizetype* size) const;
    bool IsNull(int column) const;
    bool Failed() const { return m_failed; }

private:
    sqlite3_stmt* m_stmt = nullptr;
    bool m_failed = false;
};

// BEGIN IMMEDIATE ... COMMIT (a savepoint when nested); rolls back unless committed.
class Transaction {
public:
    explicit Transaction(SimDb& db);
    ~Transaction();
    bool IsOpen() const { return m_open; }
    bool Commit();

private:
    SimDb& m_db;
    bool m_open = false;
    bool m_nested = false;
};

} // namespace vexa::sim
