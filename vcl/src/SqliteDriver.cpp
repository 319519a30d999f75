// The built-in SQL driver: SQLite database files, opened read-only.

#include <sqlite3.h>
#include <sys/stat.h>

#include <cctype>
#include <mutex>
#include <unordered_map>

#include <vcl/DB.h>
#include <vcl/SqlDriver.h>

namespace vcl {

namespace {

class TSqliteCursor : public TSqlCursor {
public:
  TSqliteCursor(const std::string& Database, const std::string& Sql) : FDatabase(Database) {
    struct stat st {};
    if (stat(Database.c_str(), &st) != 0)
      throw EDatabaseError("database file '" + Database + "' does not exist");
    if (!S_ISREG(st.st_mode)) throw EDatabaseError("'" + Database + "' is not a database file");
    // Read-only, and never created: a wrong name must not leave an empty database behind.
    if (sqlite3_open_v2(Database.c_str(), &FDb, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
      const std::string msg = FDb ? sqlite3_errmsg(FDb) : "out of memory";
      sqlite3_close(FDb);
      throw EDatabaseError("cannot open database '" + Database + "': " + msg);
    }
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(FDb, Sql.c_str(), static_cast<int>(Sql.size()), &FStmt, &tail) != SQLITE_OK) {
      const std::string msg = sqlite3_errmsg(FDb);
      Release();
      throw EDatabaseError("SQL error in '" + Database + "': " + msg);
    }
    while (tail && *tail && std::isspace(static_cast<unsigned char>(*tail))) ++tail;
    if (!FStmt || (tail && *tail && *tail != ';')) {
      const bool none = !FStmt;
      Release();
      throw EDatabaseError(none ? "the query holds no SQL statement" : "the query holds more than one SQL statement");
    }
    const int n = sqlite3_column_count(FStmt);
    if (n == 0) {
      Release();
      throw EDatabaseError("the SQL statement returns no rows");
    }
    for (int i = 0; i < n; ++i) {
      const char* decl = sqlite3_column_decltype(FStmt, i);
      FColumns.push_back({sqlite3_column_name(FStmt, i), decl ? decl : ""});
    }
  }
  ~TSqliteCursor() override { Release(); }

  const std::vector<TSqlColumn>& Columns() const override { return FColumns; }

  bool Step(std::vector<TSqlValue>& Row) override {
    const int rc = sqlite3_step(FStmt);
    if (rc == SQLITE_DONE) return false;
    if (rc != SQLITE_ROW) throw EDatabaseError("reading '" + FDatabase + "': " + sqlite3_errmsg(FDb));
    Row.resize(FColumns.size());
    for (int i = 0; i < static_cast<int>(FColumns.size()); ++i) {
      TSqlValue& v = Row[static_cast<std::size_t>(i)];
      switch (sqlite3_column_type(FStmt, i)) {
        case SQLITE_INTEGER:
          v.Kind = TSqlValue::Integer;
          v.Int = sqlite3_column_int64(FStmt, i);
          break;
        case SQLITE_FLOAT:
          v.Kind = TSqlValue::Float;
          v.Real = sqlite3_column_double(FStmt, i);
          break;
        case SQLITE_TEXT: {
          v.Kind = TSqlValue::Text;
          const auto* p = sqlite3_column_text(FStmt, i);
          v.Bytes.assign(reinterpret_cast<const char*>(p), static_cast<std::size_t>(sqlite3_column_bytes(FStmt, i)));
          break;
        }
        case SQLITE_BLOB: {
          v.Kind = TSqlValue::Blob;
          const auto* p = static_cast<const char*>(sqlite3_column_blob(FStmt, i));
          const auto size = static_cast<std::size_t>(sqlite3_column_bytes(FStmt, i));
          if (p) v.Bytes.assign(p, size);
          else v.Bytes.clear();
          break;
        }
        default:
          v.Kind = TSqlValue::Null;
          break;
      }
    }
    return true;
  }

  void Rewind() override { sqlite3_reset(FStmt); }

private:
  void Release() {
    sqlite3_finalize(FStmt);
    FStmt = nullptr;
    sqlite3_close(FDb);
    FDb = nullptr;
  }

  std::string FDatabase;
  sqlite3* FDb = nullptr;
  sqlite3_stmt* FStmt = nullptr;
  std::vector<TSqlColumn> FColumns;
};

class TSqliteDriver : public TSqlDriver {
public:
  std::unique_ptr<TSqlCursor> Open(const std::string& Database, const std::string& Sql) override {
    return std::make_unique<TSqliteCursor>(Database, Sql);
  }
};

struct TDriverTable {
  std::mutex Lock;
  std::unordered_map<std::string, TSqlDriver*> ByPrefix;
};
TDriverTable& Drivers() {
  static TDriverTable T;
  return T;
}

}  // namespace

void RegisterSqlDriver(const std::string& Prefix, TSqlDriver* Driver) {
  std::lock_guard<std::mutex> g(Drivers().Lock);
  Drivers().ByPrefix[LowerCase(Prefix)] = Driver;
}

void UnregisterSqlDriver(const std::string& Prefix) {
  std::lock_guard<std::mutex> g(Drivers().Lock);
  Drivers().ByPrefix.erase(LowerCase(Prefix));
}

TSqlDriver& SqlDriverFor(const std::string& DatabaseName, std::string& NameForDriver) {
  static TSqliteDriver Sqlite;
  const std::size_t colon = DatabaseName.find(':');
  if (colon != std::string::npos && colon > 1) {   // "C:..." is never a prefix
    const std::string prefix = LowerCase(DatabaseName.substr(0, colon));
    if (prefix == "sqlite") {
      NameForDriver = DatabaseName.substr(colon + 1);
      return Sqlite;
    }
    std::lock_guard<std::mutex> g(Drivers().Lock);
    auto it = Drivers().ByPrefix.find(prefix);
    if (it != Drivers().ByPrefix.end()) {
      NameForDriver = DatabaseName.substr(colon + 1);
      return *it->second;
    }
  }
  NameForDriver = DatabaseName;
  return Sqlite;
}

}  // namespace vcl
