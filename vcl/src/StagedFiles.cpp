#include "StagedFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include <vcl/SysUtils.h>

namespace vcl::detail {

int CreateStagedFile(const std::string& Final, int OpenFlags, std::string& Temp) {
  static std::atomic<unsigned> Counter{0};
  for (;;) {
    Temp = Final + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(++Counter);
    const int fd = open(Temp.c_str(), OpenFlags | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) {
      const int code = errno;
      throw EInOutError("Cannot create " + Final + ": " + SysErrorMessage(code), code);
    }
  }
}

void MoveTableIntoPlace(const std::string& CompanionPath, const std::function<void()>& MoveCompanion,
                        const std::function<void()>& MoveTable) {
  std::string kept;
  if (MoveCompanion) {
    for (unsigned n = 1; kept.empty(); ++n) {
      const std::string name = CompanionPath + ".old" + std::to_string(getpid()) + "-" + std::to_string(n);
      if (link(CompanionPath.c_str(), name.c_str()) == 0) kept = name;
      else if (errno != EEXIST) break;   // no older companion, or no links on this file system
    }
    try {
      MoveCompanion();
    } catch (...) {
      if (!kept.empty()) unlink(kept.c_str());
      throw;
    }
  }
  try {
    MoveTable();
  } catch (...) {
    if (MoveCompanion) {
      if (!kept.empty()) rename(kept.c_str(), CompanionPath.c_str());
      else unlink(CompanionPath.c_str());
    }
    throw;
  }
  if (!kept.empty()) unlink(kept.c_str());
}

}  // namespace vcl::detail
