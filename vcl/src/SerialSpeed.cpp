// Line speeds through the kernel's termios2 record (TCGETS2/TCSETS2), which
// carries the rate in bits per second rather than as a fixed speed code.

#include "SerialInternal.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace vcl::serial_detail {

bool ReadLineSpeed(int Fd, std::uint32_t& Speed) {
  termios2 t{};
  if (ioctl(Fd, TCGETS2, &t) != 0) return false;
  Speed = t.c_ospeed;
  return true;
}

bool WriteFreeLineSpeed(int Fd, std::uint32_t Speed) {
  termios2 t{};
  if (ioctl(Fd, TCGETS2, &t) != 0) return false;
  // BOTHER in both speed fields of c_cflag: the kernel takes the rates from
  // c_ospeed and c_ispeed.
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ospeed = Speed;
  t.c_ispeed = Speed;
  return ioctl(Fd, TCSETS2, &t) == 0;
}

}  // namespace vcl::serial_detail
