#include "StagedFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include <vcl/SysUtils.h>

namespace vcl::detail {

TStagedFile::TStagedFile(std::string Final, int OpenFlags) : FFinal(std::move(Final)) {
  static std::atomic<unsigned> Counter{0};
  for (;;) {
    FTemp = FFinal + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(++Counter);
    FFd = open(FTemp.c_str(), OpenFlags | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (FFd >= 0) return;
    if (errno != EEXIST) Fail("Cannot create", errno);
  }
}

TStagedFile::~TStagedFile() {
  if (FFd >= 0) close(FFd);
  if (!FInPlace) unlink(FTemp.c_str());
}

void TStagedFile::CloseFile() {
  const int fd = FFd;
  FFd = -1;
  if (close(fd) != 0) Fail("Cannot write", errno);
}

void TStagedFile::MoveIntoPlace() {
  if (rename(FTemp.c_str(), FFinal.c_str()) != 0) Fail("Cannot replace", errno);
  FInPlace = true;
}

void TStagedFile::Fail(const char* What, int Code) const {
  throw EInOutError(std::string(What) + " " + FFinal + ": " + SysErrorMessage(Code), Code);
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
