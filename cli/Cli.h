// What the tolvane command's subcommands share.
#pragma once

#include <string>
#include <vector>

#include "DBExportQry.h"

namespace tolvane::cli {

// A failure the user caused or can fix: one line on standard error, exit 2.
struct UsageError {
  std::string Message;
};

// tolvane wedge --port NAME [settings]: see WedgeUsage.
int CmdWedge(const std::vector<std::string>& Args);
extern const char* const WedgeUsage;

// tolvane export --database FILE --sql QUERY --output NAME [options]: see ExportUsage.
int CmdExport(const std::vector<std::string>& Args);
extern const char* const ExportUsage;
// Runs Sql on Database and exports the rows through the exporter's
// SaveToFile; returns the name of the file written.
std::string ExportQuery(const std::string& Database, const std::string& Sql, const std::string& Output,
                        vcl::TTableType Type, TDelimiter Delimiter, TQuoteChar Quote, bool Header);

}  // namespace tolvane::cli
