#include "platform/standin/registry_db.h"

#include "platform/error_codes.h"
#include "ground/text.h"

#include <sqlite3.h>

namespace korin::standin {

namespace {

// A prepared statement, finalised on every path out.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    Statement& bind(int index, const std::wstring& text) {
        const std::string utf8 = utf8FromWide(text);
        sqlite3_bind_text(stmt_, index, utf8.data(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int index, std::int64_t number) {
        sqlite3_bind_int64(stmt_, index, number);
        return *this;
    }
    Statement& bindBlob(int index, const std::string& bytes) {
        sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    int step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    std::wstring text(int column) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return text ? wideFromUtf8(text) : std::wstring();
    }
    std::int64_t integer(int column) { return sqlite3_column_int64(stmt_, column); }
    std::string blob(int column) {
        const void* data = sqlite3_column_blob(stmt_, column);
        const int size = sqlite3_column_bytes(stmt_, column);
        return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                    : std::string();
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

bool execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Rolls back unless committed.
class Transaction {
  public:
    explicit Transaction(sqlite3* db) : db_(db), open_(execute(db, "BEGIN IMMEDIATE")) {}
    ~Transaction() {
        if (open_) {
            execute(db_, "ROLLBACK");
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool begun() const { return open_; }
    bool commit() {
        open_ = !execute(db_, "COMMIT");
        return !open_;
    }

  private:
    sqlite3* db_;
    bool open_;
};

std::wstring parentOf(const std::wstring& key) {
    const auto slash = key.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : key.substr(0, slash);
}

constexpr long kStoreFailure = static_cast<long>(kErrorInvalidData);

}  // namespace

std::wstring canonicalKeyPath(bool localMachine, const std::wstring& subKey, bool view32) {
    std::vector<std::wstring> parts;
    std::wstring current;
    for (wchar_t c : subKey + L"\\") {
        if (c == L'\\') {
            if (!current.empty()) {
                parts.push_back(current);
            }
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (localMachine && view32 && !parts.empty() && equalsIgnoreCase(parts[0], L"SOFTWARE") &&
        (parts.size() < 2 || !equalsIgnoreCase(parts[1], L"Wow6432Node"))) {
        parts.insert(parts.begin() + 1, L"Wow6432Node");
    }
    std::wstring path = localMachine ? L"HKLM" : L"HKCU";
    for (const std::wstring& part : parts) {
        path += L"\\" + part;
    }
    return path;
}

std::unique_ptr<RegistryDb> RegistryDb::open(const std::string& file, std::string& error) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        error = "cannot open the registry " + file + ": " + (db ? sqlite3_errmsg(db) : "no memory");
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 10000);
    const bool ready =
        execute(db, "PRAGMA journal_mode=WAL") && execute(db, "PRAGMA synchronous=NORMAL") &&
        execute(db,
                "CREATE TABLE IF NOT EXISTS keys(path TEXT PRIMARY KEY COLLATE NOCASE,"
                " parent TEXT COLLATE NOCASE);"
                "CREATE INDEX IF NOT EXISTS keys_parent ON keys(parent);"
                "CREATE TABLE IF NOT EXISTS vals(key TEXT COLLATE NOCASE, name TEXT COLLATE NOCASE,"
                " type INTEGER, data BLOB, PRIMARY KEY(key, name));"
                "INSERT OR IGNORE INTO keys VALUES('HKLM', ''), ('HKCU', '');");
    if (!ready) {
        error = "cannot prepare the registry " + file + ": " + sqlite3_errmsg(db);
        sqlite3_close(db);
        return nullptr;
    }
    return std::unique_ptr<RegistryDb>(new RegistryDb(db));
}

RegistryDb::~RegistryDb() {
    sqlite3_close(db_);
}

bool RegistryDb::keyExists(const std::wstring& key) {
    const std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT 1 FROM keys WHERE path = ?");
    return query.bind(1, key).step() == SQLITE_ROW;
}

long RegistryDb::createKey(const std::wstring& key) {
    const std::lock_guard lock(mutex_);
    Transaction transaction(db_);
    if (!transaction.begun()) {
        return kStoreFailure;
    }
    for (std::wstring path = key; !path.empty(); path = parentOf(path)) {
        Statement insert(db_, "INSERT OR IGNORE INTO keys VALUES(?, ?)");
        if (insert.bind(1, path).bind(2, parentOf(path)).step() != SQLITE_DONE) {
            return kStoreFailure;
        }
    }
    return transaction.commit() ? 0 : kStoreFailure;
}

long RegistryDb::setValue(const std::wstring& key, const std::wstring& name, std::uint32_t type,
                          const std::string& data) {
    const std::lock_guard lock(mutex_);
    // One statement: the value lands whole, and only while its key exists.
    Statement insert(db_,
                     "INSERT OR REPLACE INTO vals SELECT ?, ?, ?, ? "
                     "WHERE EXISTS(SELECT 1 FROM keys WHERE path = ?)");
    if (insert.bind(1, key)
            .bind(2, name)
            .bind(3, std::int64_t{type})
            .bindBlob(4, data)
            .bind(5, key)
            .step() != SQLITE_DONE) {
        return kStoreFailure;
    }
    return sqlite3_changes(db_) > 0 ? 0 : static_cast<long>(kErrorKeyDeleted);
}

long RegistryDb::queryValue(const std::wstring& key, const std::wstring& name,
                            RegistryValue& value) {
    const std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT name, type, data FROM vals WHERE key = ? AND name = ?");
    const int result = query.bind(1, key).bind(2, name).step();
    if (result == SQLITE_DONE) {
        return static_cast<long>(kErrorFileNotFound);
    }
    if (result != SQLITE_ROW) {
        return kStoreFailure;
    }
    value.name = query.text(0);
    value.type = static_cast<std::uint32_t>(query.integer(1));
    value.data = query.blob(2);
    return 0;
}

long RegistryDb::deleteValue(const std::wstring& key, const std::wstring& name) {
    const std::lock_guard lock(mutex_);
    Statement remove(db_, "DELETE FROM vals WHERE key = ? AND name = ?");
    if (remove.bind(1, key).bind(2, name).step() != SQLITE_DONE) {
        return kStoreFailure;
    }
    return sqlite3_changes(db_) > 0 ? 0 : static_cast<long>(kErrorFileNotFound);
}

long RegistryDb::deleteKey(const std::wstring& key) {
    const std::lock_guard lock(mutex_);
    Transaction transaction(db_);
    if (!transaction.begun()) {
        return kStoreFailure;
    }
    if (!keyExists(key)) {
        return static_cast<long>(kErrorFileNotFound);
    }
    Statement children(db_, "SELECT 1 FROM keys WHERE parent = ?");
    if (children.bind(1, key).step() == SQLITE_ROW || parentOf(key).empty()) {
        return static_cast<long>(kErrorAccessDenied);
    }
    Statement values(db_, "DELETE FROM vals WHERE key = ?");
    Statement self(db_, "DELETE FROM keys WHERE path = ?");
    if (values.bind(1, key).step() != SQLITE_DONE || self.bind(1, key).step() != SQLITE_DONE) {
        return kStoreFailure;
    }
    return transaction.commit() ? 0 : kStoreFailure;
}

long RegistryDb::deleteTree(const std::wstring& key) {
    const std::lock_guard lock(mutex_);
    for (const std::wstring& child : subKeys(key)) {
        if (long status = deleteTree(key + L"\\" + child); status != 0) {
            return status;
        }
    }
    return deleteKey(key);
}

std::vector<std::wstring> RegistryDb::subKeys(const std::wstring& key) {
    const std::lock_guard lock(mutex_);
    std::vector<std::wstring> names;
    Statement query(db_, "SELECT path FROM keys WHERE parent = ? ORDER BY path COLLATE NOCASE");
    query.bind(1, key);
    while (query.step() == SQLITE_ROW) {
        const std::wstring path = query.text(0);
        names.push_back(path.substr(path.rfind(L'\\') + 1));
    }
    return names;
}

std::vector<RegistryValue> RegistryDb::values(const std::wstring& key) {
    const std::lock_guard lock(mutex_);
    std::vector<RegistryValue> list;
    Statement query(db_, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY rowid");
    query.bind(1, key);
    while (query.step() == SQLITE_ROW) {
        list.push_back(
            {query.text(0), static_cast<std::uint32_t>(query.integer(1)), query.blob(2)});
    }
    return list;
}

}  // namespace korin::standin
