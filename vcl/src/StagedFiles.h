// Files written under a temporary name beside their final one and moved into
// place at the end (private to the class library): the table writers use
// them so that a failure never leaves half a table, nor loses an older one.
#pragma once

#include <functional>
#include <string>

namespace vcl::detail {

// A new file under a temporary name beside its final one
// ("Final.tmpPID-N"), opened with OpenFlags (O_CREAT | O_EXCL | O_CLOEXEC are
// added). The destructor closes it and removes it unless it was moved into
// place. Failures raise EInOutError naming the final file.
class TStagedFile {
public:
  TStagedFile(std::string Final, int OpenFlags);
  ~TStagedFile();
  TStagedFile(const TStagedFile&) = delete;
  TStagedFile& operator=(const TStagedFile&) = delete;

  const std::string& FinalName() const { return FFinal; }
  void CloseFile();       // closes the descriptor, reporting a failed close
  void MoveIntoPlace();   // renames it over the final name
  [[noreturn]] void Fail(const char* What, int Code) const;

protected:
  int FFd = -1;

private:
  std::string FFinal;
  std::string FTemp;
  bool FInPlace = false;
};

// Moves a table with a companion file (memo or blob file, at CompanionPath)
// into place: first the companion (MoveCompanion; empty when the new table
// has none), then the table (MoveTable). Should the table's move fail after
// the companion's, the older companion is put back: it is kept under a
// second name (a hard link) until the table is in place.
void MoveTableIntoPlace(const std::string& CompanionPath, const std::function<void()>& MoveCompanion,
                        const std::function<void()>& MoveTable);

}  // namespace vcl::detail
