// tolvane export: a query's rows into a text, dBASE or Paradox file through
// the dataset exporter.

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "Cli.h"
#include "DBExportQry.h"

namespace tolvane::cli {

const char* const ExportUsage =
    "usage: tolvane export --database FILE --sql QUERY --output NAME [--type TYPE]\n"
    "                      [--delimiter WORD] [--quote WORD] [--no-header]\n"
    "\n"
    "export runs QUERY on the SQLite database FILE and writes its rows to NAME,\n"
    "with the extension of the type appended unless NAME ends in it already.\n"
    "  --type TYPE        dbase (default, .dbf), paradox (.pdx), text (.txt),\n"
    "                     foxpro (.dbf) or default (.dbf)\n"
    "  --delimiter WORD   text only: comma (default), tab, space, tilde, bar, or\n"
    "                     none (columns padded to their display width)\n"
    "  --quote WORD       text only: double (default), single or none\n"
    "  --no-header        text only: leave out the line of column names\n";

namespace {

template <class E>
E ParseChoice(const std::string& Option, const std::string& Value,
              std::initializer_list<std::pair<const char*, E>> Words) {
  std::string list;
  for (const auto& [word, value] : Words) {
    if (vcl::SameText(Value, word)) return value;
    list += list.empty() ? word : std::string(", ") + word;
  }
  throw UsageError{Option + " takes one of " + list + ", not '" + Value + "'"};
}

// Rows and rows per second on a terminal's standard error, as the export
// walks the query.
class TProgress {
public:
  explicit TProgress(vcl::TDataSet& Query) : FSource(nullptr), FShow(isatty(STDERR_FILENO) == 1) {
    if (!FShow) return;
    FSource.SetDataSet(&Query);
    FSource.OnDataChange = [this](vcl::TObject*, vcl::TField* Field) {
      if (Field || FSource.State() == vcl::dsInactive) return;
      const auto now = Clock::now();
      ++FRows;
      if (now - FLast < std::chrono::milliseconds(250)) return;
      FLast = now;
      const double s = std::chrono::duration<double>(now - FStart).count();
      std::fprintf(stderr, "\r  %ld rows, %.0f rows/s ", FRows, s > 0 ? static_cast<double>(FRows) / s : 0.0);
      FShown = true;
    };
  }
  ~TProgress() {
    if (FShown) std::fputs("\r\033[K", stderr);
  }

private:
  using Clock = std::chrono::steady_clock;
  vcl::TDataSource FSource;
  bool FShow;
  bool FShown = false;
  long FRows = 0;
  Clock::time_point FStart = Clock::now(), FLast = Clock::now();
};

}  // namespace

int CmdExport(const std::vector<std::string>& Args) {
  std::string database, sql, output;
  vcl::TTableType type = vcl::ttDBase;
  TDelimiter delimiter = deCOMMA;
  TQuoteChar quote = qcDOUBLEQUOTE;
  bool header = true;
  for (std::size_t i = 0; i < Args.size(); ++i) {
    const std::string& a = Args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= Args.size()) throw UsageError{a + " needs a value"};
      return Args[++i];
    };
    if (a == "--database") database = value();
    else if (a == "--sql") sql = value();
    else if (a == "--output" || a == "-o") output = value();
    else if (a == "--type")
      type = ParseChoice<vcl::TTableType>(a, value(), {{"dbase", vcl::ttDBase}, {"paradox", vcl::ttParadox},
                                                       {"text", vcl::ttASCII}, {"foxpro", vcl::ttFoxPro},
                                                       {"default", vcl::ttDefault}});
    else if (a == "--delimiter")
      delimiter = ParseChoice<TDelimiter>(a, value(), {{"comma", deCOMMA}, {"tab", deTAB}, {"space", deSPACE},
                                                       {"tilde", deTILDE}, {"bar", deBAR}, {"none", deNONE}});
    else if (a == "--quote")
      quote = ParseChoice<TQuoteChar>(a, value(), {{"double", qcDOUBLEQUOTE}, {"single", qcSINGEQUOTE},
                                                   {"none", qcNONE}});
    else if (a == "--no-header") header = false;
    else throw UsageError{"unknown export argument '" + a + "' (try --help)"};
  }
  if (database.empty()) throw UsageError{"export needs --database FILE"};
  if (sql.empty()) throw UsageError{"export needs --sql QUERY"};
  if (output.empty()) throw UsageError{"export needs --output NAME"};

  std::cout << ExportQuery(database, sql, output, type, delimiter, quote, header) << "\n";
  return 0;
}

std::string ExportQuery(const std::string& Database, const std::string& Sql, const std::string& Output,
                        vcl::TTableType Type, TDelimiter Delimiter, TQuoteChar Quote, bool Header) {
  vcl::TQuery query(nullptr);
  query.SetDatabaseName(Database);
  query.SetSQL(Sql);
  query.Open();
  TDBExportQry exporter(nullptr);
  exporter.SetDataSet(&query);
  exporter.SetExportType(Type);
  exporter.SetDelimiter(Delimiter);
  exporter.SetQuoteChar(Quote);
  exporter.SetSaveColumnNames(Header);
  {
    TProgress progress(query);
    exporter.SaveToFile(Output);
  }
  return exporter.GetFileName();
}

}  // namespace tolvane::cli
