#include "PtyPair.h"

#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace tolvane::test {

PtyPair::PtyPair() {
  char name[128];
  if (openpty(&FMaster, &FSlave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  FPort = name;
  termios t{};
  tcgetattr(FSlave, &t);
  cfmakeraw(&t);
  tcsetattr(FSlave, TCSANOW, &t);
}

PtyPair::~PtyPair() {
  CloseMaster();
  if (FSlave >= 0) close(FSlave);
}

void PtyPair::Write(std::string_view Bytes) {
  while (!Bytes.empty()) {
    const ssize_t n = ::write(FMaster, Bytes.data(), Bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("write to the pty master failed");
    Bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void PtyPair::CloseMaster() {
  if (FMaster >= 0) close(FMaster);
  FMaster = -1;
}

double ProcessCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

}  // namespace tolvane::test
