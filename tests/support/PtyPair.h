// A pseudo-terminal pair for tests of serial code: the slave's path is the
// "port"; bytes written on the master arrive there.
#pragma once

#include <string>
#include <string_view>

namespace tolvane::test {

class PtyPair {
public:
  // Opens the pair and keeps a raw-mode slave descriptor open for the
  // pair's life, so the terminal and its settings persist between the
  // opens and closes of the code under test.
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& Port() const { return FPort; }
  // Writes Bytes on the master side, all of them.
  void Write(std::string_view Bytes);
  // Closes the master: the far side goes away.
  void CloseMaster();

private:
  int FMaster = -1;
  int FSlave = -1;
  std::string FPort;
};

// Milliseconds of CPU this process has used.
double ProcessCpuMs();

}  // namespace tolvane::test
