// Serial ports over Linux termios: opening with exclusivity, the comm-state
// record, and reads under the comm timeouts.

#include "vcl/Serial.h"

#include "SerialInternal.h"
#include "vcl/SysUtils.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace vcl {

namespace {

// What the layer knows of an open handle.
struct HandleEntry {
  COMMTIMEOUTS Timeouts{};  // all zero until SetCommTimeouts
  bool Terminal = false;    // a terminal device: comm state, exclusivity, timed reads
  dev_t Device = 0;         // the terminal's device number (st_rdev), the key of its DeviceEntry
};

// The record fields Linux has no place for, kept per device so that they read
// back as written, across closes and reopens, for the life of the process.
struct DeviceEntry {
  std::uint16_t XonLim = 128;   // the fill levels at which the line discipline
  std::uint16_t XoffLim = 128;  // really throttles and unthrottles
  std::uint8_t ErrorChar = 0;
  std::uint8_t EofChar = 0;
  std::uint8_t EvtChar = 0;
  std::uint16_t wReserved = 0;
  std::uint16_t wReserved1 = 0;
  std::uint32_t ReservedFlags = 0;   // Flags bits 15-31
  std::uint8_t DtrControl = 1;       // the last DTR and RTS codes (0 or 1) asked of a device
  std::uint8_t RtsControl = 1;       // without modem-control lines; Linux raises both on open
};

// Both tables behind one mutex: a reader thread and the main thread may use
// different handles at the same time. Handles leave their table on close;
// devices stay (there are few).
struct Registry {
  std::mutex Lock;
  std::unordered_map<THandle, HandleEntry> Handles;
  std::unordered_map<dev_t, DeviceEntry> Devices;
};

// Never destroyed, so that a port closed from a static destructor still finds it.
Registry& Ports() {
  static Registry* registry = new Registry;
  return *registry;
}

bool FindHandle(THandle Handle, HandleEntry& Entry) {
  Registry& r = Ports();
  std::lock_guard<std::mutex> guard(r.Lock);
  auto it = r.Handles.find(Handle);
  if (it == r.Handles.end()) return false;
  Entry = it->second;
  return true;
}

DeviceEntry StoredFields(dev_t Device) {
  Registry& r = Ports();
  std::lock_guard<std::mutex> guard(r.Lock);
  auto it = r.Devices.find(Device);
  return it == r.Devices.end() ? DeviceEntry{} : it->second;
}

// Fails with errno Code, keeping it across the clean-up of Fd.
THandle FailOpen(int Fd, int Code) {
  close(Fd);
  errno = Code;
  return INVALID_HANDLE_VALUE;
}

// Takes the advisory lock Operation (LOCK_EX or LOCK_SH) without waiting; a
// lock held elsewhere is reported as EBUSY.
bool TryLock(int Fd, int Operation) {
  if (flock(Fd, Operation | LOCK_NB) == 0) return true;
  if (errno == EWOULDBLOCK) errno = EBUSY;
  return false;
}

// Makes the terminal a binary line: no line editing, echo, signals, case or
// CR/NL translation, 8th-bit stripping or parity marks on input, no output
// processing; the receiver on and the modem status lines ignored; reads that
// return at once. Speed, character format, flow control, INPCK and the
// XON/XOFF characters stay as they are: they belong to the comm state.
bool MakeBinaryLine(int Fd, termios T) {
  T.c_iflag &= ~(BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXANY | IMAXBEL);
  T.c_oflag &= ~OPOST;
  T.c_lflag &= ~(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
  T.c_cflag |= CREAD | CLOCAL;
  T.c_cc[VMIN] = 0;
  T.c_cc[VTIME] = 0;
  return tcsetattr(Fd, TCSANOW, &T) == 0;
}

// The fixed speed code of a standard rate, or false for any other rate.
bool StandardSpeed(std::uint32_t Rate, speed_t& Code) {
  static constexpr struct {
    std::uint32_t Rate;
    speed_t Code;
  } Speeds[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
      {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
      {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
      {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
      {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
  };
  for (const auto& s : Speeds)
    if (s.Rate == Rate) {
      Code = s.Code;
      return true;
    }
  return false;
}

// Reads the whole record of terminal Fd (device number Device) into State.
bool ReadState(int Fd, dev_t Device, DCB& State) {
  termios t{};
  std::uint32_t speed = 0;
  if (tcgetattr(Fd, &t) != 0 || !serial_detail::ReadLineSpeed(Fd, speed)) return false;
  int lines = 0;
  const bool modemLines = ioctl(Fd, TIOCMGET, &lines) == 0;
  serial_rs485 rs485{};
  const bool toggling = ioctl(Fd, TIOCGRS485, &rs485) == 0 && (rs485.flags & SER_RS485_ENABLED) != 0;
  const DeviceEntry stored = StoredFields(Device);
  const bool hardwareFlow = (t.c_cflag & CRTSCTS) != 0;

  DCB d{};
  d.DCBlength = sizeof(DCB);
  d.BaudRate = speed;
  // The line is always binary, and Linux keeps transmitting after it has
  // sent its own XOFF. It has no DSR flow control or sensitivity, no error
  // replacement, no null stripping and no abort on error: those read as 0.
  d.Flags = DCB_fBinary | DCB_fTXContinueOnXoff | (stored.ReservedFlags & DCB_fReserved);
  if (t.c_iflag & INPCK) d.Flags |= DCB_fParity;
  if (hardwareFlow) d.Flags |= DCB_fOutxCtsFlow;
  if (t.c_iflag & IXON) d.Flags |= DCB_fOutX;
  if (t.c_iflag & IXOFF) d.Flags |= DCB_fInX;
  SetDtrControl(d, modemLines ? ((lines & TIOCM_DTR) ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE) : stored.DtrControl);
  if (toggling)
    SetRtsControl(d, RTS_CONTROL_TOGGLE);
  else if (hardwareFlow)
    SetRtsControl(d, RTS_CONTROL_HANDSHAKE);
  else
    SetRtsControl(d, modemLines ? ((lines & TIOCM_RTS) ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE) : stored.RtsControl);

  switch (t.c_cflag & CSIZE) {
    case CS5: d.ByteSize = 5; break;
    case CS6: d.ByteSize = 6; break;
    case CS7: d.ByteSize = 7; break;
    default: d.ByteSize = 8; break;
  }
  if (!(t.c_cflag & PARENB))
    d.Parity = NOPARITY;
  else if (t.c_cflag & CMSPAR)
    d.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
  else
    d.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
  // A UART sends one and a half stop bits when asked for two with 5 data bits.
  if (!(t.c_cflag & CSTOPB))
    d.StopBits = ONESTOPBIT;
  else
    d.StopBits = (t.c_cflag & CSIZE) == CS5 ? ONE5STOPBITS : TWOSTOPBITS;
  d.XonChar = t.c_cc[VSTART];
  d.XoffChar = t.c_cc[VSTOP];

  d.wReserved = stored.wReserved;
  d.XonLim = stored.XonLim;
  d.XoffLim = stored.XoffLim;
  d.ErrorChar = stored.ErrorChar;
  d.EofChar = stored.EofChar;
  d.EvtChar = stored.EvtChar;
  d.wReserved1 = stored.wReserved1;
  State = d;
  return true;
}

// Raises or lowers one modem-control line (TIOCM_DTR, TIOCM_RTS).
void SetModemLine(int Fd, int Line, bool Raise) { ioctl(Fd, Raise ? TIOCMBIS : TIOCMBIC, &Line); }

// Milliseconds from Now until Deadline, rounded up so that a wait of that
// length reaches it, and at most what poll takes.
int RemainingMs(std::chrono::steady_clock::time_point Deadline, std::chrono::steady_clock::time_point Now) {
  if (Now >= Deadline) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(Deadline - Now).count();
  return static_cast<int>(std::min<std::int64_t>(ms, INT_MAX));
}

// True when poll's answer says the device is gone (hung up, error) or the
// descriptor is no longer open; errno tells which.
bool DeviceGone(short Revents) {
  if (Revents & POLLNVAL) {
    errno = EBADF;
    return true;
  }
  if (Revents & (POLLHUP | POLLERR)) {
    errno = EIO;
    return true;
  }
  return false;
}

// The "return at once" read: one read() when bytes are there. An empty port
// and a vanished device both read as nothing (0, or EAGAIN); a poll that does
// not wait tells them apart.
bool ReadAvailable(int Fd, void* Buffer, std::uint32_t Count, std::uint32_t& BytesRead) {
  for (;;) {
    const ssize_t n = read(Fd, Buffer, Count);
    if (n > 0) {
      BytesRead = static_cast<std::uint32_t>(n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    pollfd p{Fd, POLLIN, 0};
    if (poll(&p, 1, 0) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    return !DeviceGone(p.revents);
  }
}

// Longer total timeouts than this (about 35 years) are no limit at all; they
// would overflow the clock arithmetic.
constexpr std::uint64_t NoLimitMs = std::uint64_t{1} << 40;

// A read under timeouts that may wait: for the first byte only, or for Count
// bytes within a total time and with a longest gap between bytes.
bool ReadTimed(int Fd, const COMMTIMEOUTS& T, std::uint8_t* Buffer, std::uint32_t Count, std::uint32_t& BytesRead) {
  using Clock = std::chrono::steady_clock;
  const bool firstByte = T.ReadIntervalTimeout == MAXDWORD && T.ReadTotalTimeoutMultiplier == MAXDWORD &&
                         T.ReadTotalTimeoutConstant != 0 && T.ReadTotalTimeoutConstant != MAXDWORD;
  const std::uint64_t totalMs =
      firstByte ? T.ReadTotalTimeoutConstant
                : std::uint64_t{T.ReadTotalTimeoutMultiplier} * Count + T.ReadTotalTimeoutConstant;
  const bool hasTotal = totalMs != 0 && totalMs < NoLimitMs;
  const std::chrono::milliseconds interval(firstByte ? 0 : T.ReadIntervalTimeout);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(hasTotal ? totalMs : 0);
  Clock::time_point lastByte{};
  std::uint32_t got = 0;

  while (got < Count) {
    const Clock::time_point now = Clock::now();
    int wait = hasTotal ? RemainingMs(deadline, now) : -1;
    if (got > 0 && interval.count() != 0) {
      const int gap = RemainingMs(lastByte + interval, now);
      wait = wait < 0 ? gap : std::min(wait, gap);
    }
    if (wait == 0) break;
    pollfd p{Fd, POLLIN, 0};
    const int ready = poll(&p, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return got > 0;
    if (ready == 0) continue;  // the loop head sees whether a limit has passed
    if (p.revents & POLLNVAL) {
      errno = EBADF;
      return got > 0;
    }
    const ssize_t n = read(Fd, Buffer + got, Count - got);
    if (n > 0) {
      got += static_cast<std::uint32_t>(n);
      BytesRead = got;
      lastByte = Clock::now();
      if (firstByte) break;
      continue;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n == 0 && !(p.revents & (POLLHUP | POLLERR))) continue;  // another reader took what poll announced
    // The device has gone (a hung-up terminal polls readable and reads as
    // nothing; a pty whose master has closed reads EIO) or the read failed.
    // Bytes that came before are delivered first; the next read reports it.
    if (n == 0) errno = EIO;
    return got > 0;
  }
  return true;
}

}  // namespace

std::string SerialDeviceName(const std::string& PortName) {
  if (PortName.size() == 4 && SameText(std::string_view(PortName).substr(0, 3), "COM") && PortName[3] >= '1' &&
      PortName[3] <= '4')
    return std::string("/dev/ttyS") + static_cast<char>(PortName[3] - 1);
  return PortName;
}

THandle FileOpen(const std::string& FileName, std::uint32_t Mode) {
  const std::uint32_t access = Mode & 0x0F;
  const std::uint32_t share = Mode & 0xF0;
  if (access > fmOpenReadWrite || (Mode & ~0xFFu) != 0 ||
      (share != 0 && share != fmShareExclusive && share != fmShareDenyWrite && share != fmShareDenyNone)) {
    errno = EINVAL;
    return INVALID_HANDLE_VALUE;
  }
  const int flags = access == fmOpenRead ? O_RDONLY : access == fmOpenWrite ? O_WRONLY : O_RDWR;
  int fd = open(SerialDeviceName(FileName).c_str(), flags | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  // With standard input, output or error closed, open hands out 0..2, which
  // callers take for "no handle" and other code for stdio.
  if (fd < 3) {
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (moved < 0) return FailOpen(fd, errno);
    close(fd);
    fd = moved;
  }

  HandleEntry entry;
  termios t{};
  entry.Terminal = tcgetattr(fd, &t) == 0;
  if (entry.Terminal) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return FailOpen(fd, errno);
    entry.Device = st.st_rdev;
    // The lock comes first: when it fails, the holder's TIOCEXCL must stay.
    // TIOCEXCL keeps other processes out, but not root; the lock holds for
    // everyone who uses it, this process included.
    if (!TryLock(fd, LOCK_EX)) return FailOpen(fd, errno);
    if (ioctl(fd, TIOCEXCL) != 0 || !MakeBinaryLine(fd, t)) {
      const int code = errno;
      ioctl(fd, TIOCNXCL);
      return FailOpen(fd, code);
    }
  } else if (share == fmShareExclusive || share == fmShareDenyWrite) {
    if (!TryLock(fd, share == fmShareExclusive ? LOCK_EX : LOCK_SH)) return FailOpen(fd, errno);
  }

  Registry& r = Ports();
  std::lock_guard<std::mutex> guard(r.Lock);
  r.Handles.insert_or_assign(fd, entry);
  if (entry.Terminal) r.Devices.try_emplace(entry.Device);
  return fd;
}

void FileClose(THandle Handle) {
  HandleEntry entry;
  {
    Registry& r = Ports();
    std::lock_guard<std::mutex> guard(r.Lock);
    auto it = r.Handles.find(Handle);
    if (it == r.Handles.end()) return;
    entry = it->second;
    r.Handles.erase(it);
  }
  // The exclusive flag belongs to the terminal, not to this descriptor: it
  // would outlive the close on a device whose other side stays open (a pty, a
  // serial port held by another descriptor) and keep the next open out.
  if (entry.Terminal) ioctl(Handle, TIOCNXCL);
  flock(Handle, LOCK_UN);
  close(Handle);
}

bool GetCommState(THandle Handle, DCB& State) {
  HandleEntry entry;
  if (!FindHandle(Handle, entry)) {
    errno = EBADF;
    return false;
  }
  if (!entry.Terminal) {
    errno = ENOTTY;
    return false;
  }
  return ReadState(Handle, entry.Device, State);
}

bool SetCommState(THandle Handle, const DCB& State) {
  HandleEntry entry;
  if (!FindHandle(Handle, entry)) {
    errno = EBADF;
    return false;
  }
  if (!entry.Terminal) {
    errno = ENOTTY;
    return false;
  }
  termios t{};
  if (tcgetattr(Handle, &t) != 0) return false;

  // Speed 0 is refused: B0 would hang the line up. A standard rate goes in as
  // its speed code, any other rate through termios2 once the rest is set.
  speed_t code = B0;
  const bool standardRate = StandardSpeed(State.BaudRate, code);
  const bool freeRate = State.BaudRate != 0 && !standardRate;
  if (standardRate) {
    cfsetospeed(&t, code);
    cfsetispeed(&t, code);
    t.c_cflag &= ~CIBAUD;  // input speed follows the output speed, even after a free rate
  }
  if (State.ByteSize >= 5 && State.ByteSize <= 8) {
    static constexpr tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag = (t.c_cflag & ~CSIZE) | Sizes[State.ByteSize - 5];
  }
  switch (State.Parity) {
    case NOPARITY: t.c_cflag &= ~(PARENB | PARODD | CMSPAR); break;
    case ODDPARITY: t.c_cflag = (t.c_cflag & ~CMSPAR) | PARENB | PARODD; break;
    case EVENPARITY: t.c_cflag = (t.c_cflag & ~(PARODD | CMSPAR)) | PARENB; break;
    case MARKPARITY: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: t.c_cflag = (t.c_cflag & ~PARODD) | PARENB | CMSPAR; break;
    default: break;
  }
  // One and a half stop bits are CSTOPB with 5 data bits; with more data bits
  // they read back as two.
  if (State.StopBits == ONESTOPBIT)
    t.c_cflag &= ~CSTOPB;
  else if (State.StopBits == ONE5STOPBITS || State.StopBits == TWOSTOPBITS)
    t.c_cflag |= CSTOPB;
  const auto setIf = [](tcflag_t& Word, tcflag_t Bit, bool On) { Word = On ? (Word | Bit) : (Word & ~Bit); };
  const std::uint32_t dtr = GetDtrControl(State);
  const std::uint32_t rts = GetRtsControl(State);
  const bool hardwareFlow = (State.Flags & DCB_fOutxCtsFlow) != 0 || rts == RTS_CONTROL_HANDSHAKE;
  setIf(t.c_iflag, INPCK, (State.Flags & DCB_fParity) != 0);
  setIf(t.c_iflag, IXON, (State.Flags & DCB_fOutX) != 0);
  setIf(t.c_iflag, IXOFF, (State.Flags & DCB_fInX) != 0);
  setIf(t.c_cflag, CRTSCTS, hardwareFlow);
  t.c_cc[VSTART] = State.XonChar;
  t.c_cc[VSTOP] = State.XoffChar;
  if (tcsetattr(Handle, TCSANOW, &t) != 0) return false;
  if (freeRate) serial_detail::WriteFreeLineSpeed(Handle, State.BaudRate);

  // RTS toggling is the driver's RS-485 mode: RTS raised while sending. Any
  // other RTS code switches it off again.
  serial_rs485 rs485{};
  const bool rs485Known = ioctl(Handle, TIOCGRS485, &rs485) == 0;
  if (rts == RTS_CONTROL_TOGGLE) {
    if (!rs485Known) rs485 = serial_rs485{};
    rs485.flags = (rs485.flags | SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND) & ~SER_RS485_RTS_AFTER_SEND;
    ioctl(Handle, TIOCSRS485, &rs485);
  } else if (rs485Known && (rs485.flags & SER_RS485_ENABLED)) {
    rs485.flags &= ~SER_RS485_ENABLED;
    ioctl(Handle, TIOCSRS485, &rs485);
  }

  // DTR and RTS as fixed levels. Linux has no DTR handshake, so that code is
  // not applied; RTS is the driver's under hardware flow control. A device
  // without modem-control lines keeps the codes for reading back.
  int lines = 0;
  const bool modemLines = ioctl(Handle, TIOCMGET, &lines) == 0;
  const bool setDtr = dtr == DTR_CONTROL_DISABLE || dtr == DTR_CONTROL_ENABLE;
  const bool setRts = (rts == RTS_CONTROL_DISABLE || rts == RTS_CONTROL_ENABLE) && !hardwareFlow;
  if (modemLines) {
    if (setDtr) SetModemLine(Handle, TIOCM_DTR, dtr == DTR_CONTROL_ENABLE);
    if (setRts) SetModemLine(Handle, TIOCM_RTS, rts == RTS_CONTROL_ENABLE);
  }
  {
    Registry& r = Ports();
    std::lock_guard<std::mutex> guard(r.Lock);
    DeviceEntry& stored = r.Devices[entry.Device];
    if (!modemLines && setDtr) stored.DtrControl = static_cast<std::uint8_t>(dtr);
    if (!modemLines && setRts) stored.RtsControl = static_cast<std::uint8_t>(rts);
    stored.XonLim = State.XonLim;
    stored.XoffLim = State.XoffLim;
    stored.ErrorChar = State.ErrorChar;
    stored.EofChar = State.EofChar;
    stored.EvtChar = State.EvtChar;
    stored.wReserved = State.wReserved;
    stored.wReserved1 = State.wReserved1;
    stored.ReservedFlags = State.Flags & DCB_fReserved;
  }

  // What the port now holds is the answer: the record has no padding, so the
  // byte comparison covers exactly its fields.
  DCB held{};
  if (!ReadState(Handle, entry.Device, held)) return false;
  DCB asked = State;
  asked.DCBlength = held.DCBlength;
  if (std::memcmp(&asked, &held, sizeof(DCB)) == 0) return true;
  errno = EINVAL;
  return false;
}

bool GetCommTimeouts(THandle Handle, COMMTIMEOUTS& Timeouts) {
  HandleEntry entry;
  if (!FindHandle(Handle, entry)) {
    errno = EBADF;
    return false;
  }
  Timeouts = entry.Timeouts;
  return true;
}

bool SetCommTimeouts(THandle Handle, const COMMTIMEOUTS& Timeouts) {
  bool terminal = false;
  {
    Registry& r = Ports();
    std::lock_guard<std::mutex> guard(r.Lock);
    auto it = r.Handles.find(Handle);
    if (it == r.Handles.end()) {
      errno = EBADF;
      return false;
    }
    it->second.Timeouts = Timeouts;
    terminal = it->second.Terminal;
  }
  if (!terminal) return true;
  // ReadFile times its reads itself; the terminal must answer every read at
  // once, so that a read never blocks and an empty port reads as nothing.
  termios t{};
  if (tcgetattr(Handle, &t) != 0) return false;
  if (t.c_cc[VMIN] == 0 && t.c_cc[VTIME] == 0) return true;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return tcsetattr(Handle, TCSANOW, &t) == 0;
}

bool ReadFile(THandle Handle, void* Buffer, std::uint32_t Count, std::uint32_t& BytesRead) {
  BytesRead = 0;
  HandleEntry entry;
  if (!FindHandle(Handle, entry)) {
    errno = EBADF;
    return false;
  }
  if (!entry.Terminal) {
    ssize_t n;
    do n = read(Handle, Buffer, Count);
    while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    BytesRead = static_cast<std::uint32_t>(n);
    return true;
  }
  if (Count == 0) return true;
  const COMMTIMEOUTS& t = entry.Timeouts;
  if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0)
    return ReadAvailable(Handle, Buffer, Count, BytesRead);
  return ReadTimed(Handle, t, static_cast<std::uint8_t*>(Buffer), Count, BytesRead);
}

}  // namespace vcl
