// The seam between the data-access layer and SQL engines. A driver runs one
// statement and hands back a cursor that walks its rows one at a time; the
// datasets never see an engine's own interface. SQLite is built in; another
// engine registers a driver under a prefix and is picked by database names
// that start with it ("pg:host=... dbname=...").
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vcl {

// One value of a row, in the storage class the engine gave it.
struct TSqlValue {
  enum TKind : std::uint8_t { Null, Integer, Float, Text, Blob };
  TKind Kind = Null;
  std::int64_t Int = 0;
  double Real = 0;
  std::string Bytes;   // Text and Blob
};

struct TSqlColumn {
  std::string Name;
  std::string DeclaredType;   // as declared in the table ("VARCHAR(20)"); empty for expressions
};

// The rows of one statement.
struct TSqlCursor {
  virtual ~TSqlCursor() = default;
  virtual const std::vector<TSqlColumn>& Columns() const = 0;
  // Reads the next row into Row (one value per column, storage reused);
  // false after the last. Raises EDatabaseError when the engine fails.
  virtual bool Step(std::vector<TSqlValue>& Row) = 0;
  // Back to before the first row: the statement runs again.
  virtual void Rewind() = 0;
};

class TSqlDriver {
public:
  virtual ~TSqlDriver() = default;
  // Runs Sql, which must return rows, against Database (the name without
  // the driver's prefix). Raises EDatabaseError with the engine's message.
  virtual std::unique_ptr<TSqlCursor> Open(const std::string& Database, const std::string& Sql) = 0;
};

// Registers Driver for database names that start with Prefix + ":"; it must
// stay alive until unregistered. Names without a registered prefix go to
// the built-in SQLite driver.
void RegisterSqlDriver(const std::string& Prefix, TSqlDriver* Driver);
void UnregisterSqlDriver(const std::string& Prefix);
// The driver for DatabaseName and the name to give it.
TSqlDriver& SqlDriverFor(const std::string& DatabaseName, std::string& NameForDriver);

}  // namespace vcl
