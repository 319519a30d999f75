// What the tolvane command's subcommands share.
#pragma once

#include <string>
#include <vector>

namespace tolvane::cli {

// A failure the user caused or can fix: one line on standard error, exit 2.
struct UsageError {
  std::string Message;
};

// tolvane wedge --port NAME [settings]: see WedgeUsage.
int CmdWedge(const std::vector<std::string>& Args);
extern const char* const WedgeUsage;

}  // namespace tolvane::cli
