// The dataset exporter against its peers, in one run, on a generated SQLite
// table (integer, 12-character text, real, integer, date):
//  - text: TDBExportQry against `sqlite3 -csv` on the same query, and against
//    a plain sqlite3_step loop writing with fwrite (the floor);
//  - dBASE: TDBExportQry against `ogr2ogr` from the same SQLite file;
//  - Paradox: TDBExportQry against a plain pxlib write loop;
//  - peak memory of a text and a dBASE export of 10,000 and of all rows.
// BENCH_ROWS sets the row count (default 1,000,000).

extern "C" {
#include <paradox.h>
}
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include <vcl/DB.h>

#include "DBExportQry.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const Query = "SELECT id, code, price, qty, day FROM items";

void Check(int Rc, sqlite3* Db, const char* What) {
  if (Rc != SQLITE_OK && Rc != SQLITE_DONE) {
    std::fprintf(stderr, "%s: %s\n", What, sqlite3_errmsg(Db));
    std::exit(1);
  }
}

void Generate(const std::string& Path, long Rows) {
  fs::remove(Path);
  sqlite3* db = nullptr;
  Check(sqlite3_open(Path.c_str(), &db), db, "open");
  Check(sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"
                         "CREATE TABLE items (id INTEGER, code VARCHAR(12), price REAL, qty INTEGER, day DATE);",
                     nullptr, nullptr, nullptr), db, "create");
  sqlite3_stmt* ins = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO items VALUES (?, ?, ?, ?, ?)", -1, &ins, nullptr), db, "prepare");
  char code[16], day[16];
  for (long i = 1; i <= Rows; ++i) {
    std::snprintf(code, sizeof code, "C%011ld", i * 7919 % 100000000000L);
    std::snprintf(day, sizeof day, "20%02ld-%02ld-%02ld", 10 + i % 15, 1 + i % 12, 1 + i % 28);
    sqlite3_bind_int64(ins, 1, i);
    sqlite3_bind_text(ins, 2, code, 12, SQLITE_STATIC);
    sqlite3_bind_double(ins, 3, static_cast<double>(i % 100000) / 100.0);
    sqlite3_bind_int64(ins, 4, i % 1000);
    sqlite3_bind_text(ins, 5, day, 10, SQLITE_STATIC);
    Check(sqlite3_step(ins), db, "insert");
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
}

double Seconds(const std::function<void()>& Run) {
  const auto t0 = Clock::now();
  Run();
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

void Shell(const std::string& Command) {
  if (std::system(Command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", Command.c_str());
    std::exit(1);
  }
}

void OurExport(const std::string& Db, vcl::TTableType Type, const std::string& Out) {
  vcl::TQuery q(nullptr);
  q.SetDatabaseName(Db);
  q.SetSQL(Query);
  q.Open();
  tolvane::TDBExportQry e(nullptr);
  e.SetDataSet(&q);
  e.SetExportType(Type);
  e.SaveToFile(Out);
}

// The floor of a text export: step the rows and write them with fwrite.
void PlainStepLoop(const std::string& Db, const std::string& Out) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(Db.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, Query, -1, &st, nullptr);
  FILE* f = std::fopen(Out.c_str(), "wb");
  const int n = sqlite3_column_count(st);
  while (sqlite3_step(st) == SQLITE_ROW) {
    for (int i = 0; i < n; ++i) {
      const auto* t = sqlite3_column_text(st, i);
      std::fwrite(t, 1, static_cast<std::size_t>(sqlite3_column_bytes(st, i)), f);
      std::fputc(i + 1 < n ? ',' : '\n', f);
    }
  }
  std::fclose(f);
  sqlite3_finalize(st);
  sqlite3_close(db);
}

// The peer of the Paradox export: the same rows through pxlib directly.
void PlainPxLoop(const std::string& Db, const std::string& Out) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(Db.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, Query, -1, &st, nullptr);
  pxdoc_t* px = PX_new();
  auto* fields = static_cast<pxfield_t*>(std::malloc(5 * sizeof(pxfield_t)));
  const char* names[] = {"id", "code", "price", "qty", "day"};
  const char types[] = {pxfLong, pxfAlpha, pxfNumber, pxfLong, pxfDate};
  const int lens[] = {4, 12, 8, 4, 4};
  for (int i = 0; i < 5; ++i) fields[i] = {strdup(names[i]), types[i], lens[i], 0};
  fs::remove(Out);
  // A buffered stream of our own, as the exporter's writer uses.
  FILE* out = std::fopen(Out.c_str(), "w+b");
  std::setvbuf(out, nullptr, _IOFBF, 1 << 16);
  PX_create_fp(px, fields, 5, out, pxfFileTypNonIndexDB);
  char record[32];
  while (sqlite3_step(st) == SQLITE_ROW) {
    char* p = record;
    PX_put_data_long(px, p, 4, static_cast<int>(sqlite3_column_int64(st, 0)));
    p += 4;
    PX_put_data_alpha(px, p, 12, const_cast<char*>(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))));
    p += 12;
    PX_put_data_double(px, p, 8, sqlite3_column_double(st, 2));
    p += 8;
    PX_put_data_long(px, p, 4, static_cast<int>(sqlite3_column_int64(st, 3)));
    p += 4;
    int y, m, d;
    std::sscanf(reinterpret_cast<const char*>(sqlite3_column_text(st, 4)), "%d-%d-%d", &y, &m, &d);
    PX_put_data_long(px, p, 4, static_cast<int>(PX_GregorianToSdn(y, m, d) - 1721425));
    PX_put_record(px, record);
  }
  PX_close(px);
  PX_delete(px);
  std::fclose(out);
  sqlite3_finalize(st);
  sqlite3_close(db);
}

// Peak resident memory, in MiB, of Run in a child process.
double PeakMiB(const std::function<void()>& Run) {
  const pid_t pid = fork();
  if (pid == 0) {
    try {
      Run();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

}  // namespace

int main() {
  const long rows = std::getenv("BENCH_ROWS") ? std::atol(std::getenv("BENCH_ROWS")) : 1000000;
  const fs::path dir = fs::temp_directory_path() / "tolvane-bench-export";
  fs::create_directories(dir);
  const std::string db = (dir / "items.db").string(), small = (dir / "small.db").string();
  std::printf("generating %ld rows...\n", rows);
  Generate(db, rows);
  Generate(small, 10000);
  PX_boot();

  auto rate = [&](double s) { return static_cast<double>(rows) / s; };
  const double ours = Seconds([&] { OurExport(db, vcl::ttASCII, (dir / "ours").string()); });
  const double csv = Seconds([&] {
    Shell("sqlite3 -csv -header '" + db + "' '" + Query + "' > '" + (dir / "peer.csv").string() + "'");
  });
  const double floor = Seconds([&] { PlainStepLoop(db, (dir / "floor.csv").string()); });
  std::printf("\ntext export, rows/s\n");
  std::printf("  TDBExportQry text       %12.0f\n", rate(ours));
  std::printf("  sqlite3 -csv            %12.0f   ours / peer  %.2f\n", rate(csv), csv / ours);
  std::printf("  plain step loop (floor) %12.0f   ours / floor %.2f\n", rate(floor), floor / ours);

  const double dbf = Seconds([&] { OurExport(db, vcl::ttDBase, (dir / "ours").string()); });
  fs::remove(dir / "peer.dbf");
  const double ogr = Seconds([&] {
    Shell("ogr2ogr -f 'ESRI Shapefile' '" + (dir / "peer.dbf").string() + "' '" + db + "' -sql '" + Query +
          "' -nln peer 2>/dev/null");
  });
  std::printf("\ndBASE export, rows/s\n");
  std::printf("  TDBExportQry dBASE      %12.0f\n", rate(dbf));
  std::printf("  ogr2ogr                 %12.0f   ours / peer  %.2f\n", rate(ogr), ogr / dbf);

  const double pdx = Seconds([&] { OurExport(db, vcl::ttParadox, (dir / "ours").string()); });
  const double pxloop = Seconds([&] { PlainPxLoop(db, (dir / "peer.db").string()); });
  std::printf("\nParadox export, rows/s\n");
  std::printf("  TDBExportQry Paradox    %12.0f\n", rate(pdx));
  std::printf("  plain pxlib loop        %12.0f   ours / peer  %.2f\n", rate(pxloop), pxloop / pdx);

  std::printf("\npeak memory of a whole export in its own process, MiB\n");
  for (auto [name, type] : {std::pair{"text", vcl::ttASCII}, std::pair{"dBASE", vcl::ttDBase}}) {
    const double a = PeakMiB([&, t = type] { OurExport(small, t, (dir / "mem-small").string()); });
    const double b = PeakMiB([&, t = type] { OurExport(db, t, (dir / "mem-large").string()); });
    std::printf("  %-6s 10,000 rows %6.1f   %ld rows %6.1f\n", name, a, rows, b);
  }
  fs::remove_all(dir);
  return 0;
}
