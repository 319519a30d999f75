#include "SampleDatabase.h"

#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace tolvane::test {

std::string MakeDatabase(const std::string& Path, const std::string& Sql) {
  std::filesystem::remove(Path);
  sqlite3* db = nullptr;
  if (sqlite3_open(Path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot create " + Path);
  char* err = nullptr;
  const int rc = sqlite3_exec(db, Sql.c_str(), nullptr, nullptr, &err);
  const std::string msg = err ? err : "";
  sqlite3_free(err);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("sample SQL failed: " + msg);
  return Path;
}

std::string RunProgram(const std::string& CommandLine, int& Status) {
  std::string out;
  FILE* p = popen(CommandLine.c_str(), "r");
  if (!p) {
    Status = -1;
    return out;
  }
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = pclose(p);
  Status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

}  // namespace tolvane::test
