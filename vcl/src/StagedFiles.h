// Files written under a temporary name beside their final one and moved into
// place at the end (private to the class library): the table writers use
// them so that a failure never leaves half a table, nor loses an older one.
#pragma once

#include <functional>
#include <string>

namespace vcl::detail {

// Creates a new file under a temporary name beside Final ("Final.tmpPID-N"),
// opened with OpenFlags (O_CREAT | O_EXCL | O_CLOEXEC are added). Returns the
// descriptor and sets Temp; raises EInOutError naming Final.
int CreateStagedFile(const std::string& Final, int OpenFlags, std::string& Temp);

// Moves a table with a companion file (memo or blob file, at CompanionPath)
// into place: first the companion (MoveCompanion; empty when the new table
// has none), then the table (MoveTable). Should the table's move fail after
// the companion's, the older companion is put back: it is kept under a
// second name (a hard link) until the table is in place.
void MoveTableIntoPlace(const std::string& CompanionPath, const std::function<void()>& MoveCompanion,
                        const std::function<void()>& MoveTable);

}  // namespace vcl::detail
