// Serial ports on real pseudo-terminals: names, exclusive opening, the binary
// line, the comm-state record, the stored fields and reads under timeouts.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <vcl/Serial.h>

namespace {

using namespace vcl;
using Clock = std::chrono::steady_clock;

// ---- Helpers -------------------------------------------------------------------

// A pseudo-terminal whose slave path is the port name. The test writes on the
// master and keeps a slave descriptor of its own, so the terminal and its
// settings live between the opens of the code under test and the test can
// look at them.
class TestPty {
public:
  TestPty() {
    char name[128];
    if (openpty(&FMaster, &FSlave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    FName = name;
    // The layer keeps fields per device number, and the kernel hands a freed
    // pty number out again at once; this remembers whether this one is new
    // to the test program.
    FFirstUse = Used().insert(FName).second;
  }
  ~TestPty() {
    CloseMaster();
    close(FSlave);
  }
  TestPty(const TestPty&) = delete;
  TestPty& operator=(const TestPty&) = delete;

  // A pty whose number no earlier TestPty had: the ones already used are held
  // open meanwhile, so the kernel has to give a new number.
  static std::unique_ptr<TestPty> Unused() {
    std::vector<std::unique_ptr<TestPty>> held;
    for (;;) {
      auto pty = std::make_unique<TestPty>();
      if (pty->FFirstUse) return pty;
      held.push_back(std::move(pty));
    }
  }

  const std::string& Name() const { return FName; }
  int Slave() const { return FSlave; }

  void Write(std::string_view Bytes) {
    ASSERT_EQ(::write(FMaster, Bytes.data(), Bytes.size()), static_cast<ssize_t>(Bytes.size()));
  }
  // Waits until Count bytes are in the slave's input queue: the kernel moves
  // what the master writes over a little later.
  void WaitArrived(int Count) {
    const auto until = Clock::now() + std::chrono::seconds(2);
    int queued = 0;
    while (ioctl(FSlave, FIONREAD, &queued) == 0 && queued < Count && Clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(queued, Count);
  }
  void CloseMaster() {
    if (FMaster >= 0) close(FMaster);
    FMaster = -1;
  }

private:
  static std::set<std::string>& Used() {
    static std::set<std::string> names;
    return names;
  }
  int FMaster = -1;
  int FSlave = -1;
  std::string FName;
  bool FFirstUse = false;
};

// Every field of a record on one line, so that a failed comparison shows the difference.
std::string Describe(const DCB& D) {
  char text[256];
  std::snprintf(text, sizeof text,
                "len %u baud %u flags %#x dtr %u rts %u size %u parity %u stop %u xon %u xoff %u "
                "xonlim %u xofflim %u err %u eof %u evt %u res %#x res1 %#x",
                D.DCBlength, D.BaudRate, D.Flags & ~(DCB_fDtrControl | DCB_fRtsControl), GetDtrControl(D),
                GetRtsControl(D), D.ByteSize, D.Parity, D.StopBits, D.XonChar, D.XoffChar, D.XonLim, D.XoffLim,
                D.ErrorChar, D.EofChar, D.EvtChar, D.wReserved, D.wReserved1);
  return text;
}

DCB StateOf(THandle H) {
  DCB d{};
  EXPECT_TRUE(GetCommState(H, d));
  return d;
}

long MsSince(Clock::time_point Start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Start).count());
}

constexpr COMMTIMEOUTS ReturnAtOnce{MAXDWORD, 0, 0, 0, 0};

// The kernel's termios2 record, to look at both line speeds; its header
// cannot be included together with <termios.h>.
struct KernelTermios2 {
  tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed, c_ospeed;
};
static_assert(sizeof(KernelTermios2) == 44);

// A scratch file holding Contents, removed with the object.
class TempFile {
public:
  explicit TempFile(std::string_view Contents) {
    const char* dir = std::getenv("TOLVANE_TEST_TMP");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/serial-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed in " + pattern);
    if (::write(fd, Contents.data(), Contents.size()) != static_cast<ssize_t>(Contents.size()))
      throw std::runtime_error("write failed");
    close(fd);
    FPath = pattern;
  }
  ~TempFile() { unlink(FPath.c_str()); }
  const std::string& Path() const { return FPath; }

private:
  std::string FPath;
};

// ---- Names and opening ---------------------------------------------------------------

TEST(SerialNames, PortNamesMapToDevicePaths) {
  const struct {
    const char* Port;
    const char* Device;
  } cases[] = {
      {"COM1", "/dev/ttyS0"},          // the first port
      {"com4", "/dev/ttyS3"},          // any case, the last mapped one
      {"cOm2", "/dev/ttyS1"},          // mixed case
      {"COM5", "COM5"},                // beyond the four: used as given
      {"COM0", "COM0"},                // there is no port 0
      {"COM1:", "COM1:"},              // not exactly a port name
      {"/dev/pts/3", "/dev/pts/3"},    // a path
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SerialDeviceName(c.Port), c.Device) << c.Port;
}

TEST(SerialOpen, FailuresGiveTheInvalidHandleAndAReason) {
  TestPty pty;
  const struct {
    const char* Why;
    std::string Path;
    std::uint32_t Mode;
    int Errno;
  } cases[] = {
      {"a path that does not exist", "/nonexistent/serial-port", fmOpenRead, ENOENT},
      {"access value 3 does not exist", pty.Name(), 3, EINVAL},
      {"share value 0x30 does not exist", pty.Name(), fmOpenRead | 0x30, EINVAL},
  };
  for (const auto& c : cases) {
    errno = 0;
    EXPECT_EQ(FileOpen(c.Path, c.Mode), INVALID_HANDLE_VALUE) << c.Why;
    EXPECT_EQ(errno, c.Errno) << c.Why;
  }
}

// Root passes TIOCEXCL, so only the lock keeps a second open out here.
TEST(SerialOpen, ATerminalIsExclusiveUntilClosed) {
  TestPty pty;
  const THandle h = FileOpen(pty.Name(), fmOpenReadWrite | fmShareDenyNone);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  int exclusive = 0;
  ASSERT_EQ(ioctl(pty.Slave(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1);

  errno = 0;
  EXPECT_EQ(FileOpen(pty.Name(), fmOpenRead), INVALID_HANDLE_VALUE);
  EXPECT_EQ(errno, EBUSY);
  // The failed open must not clear the holder's flag on its way out.
  ioctl(pty.Slave(), TIOCGEXCL, &exclusive);
  EXPECT_EQ(exclusive, 1);

  FileClose(h);
  // Left set, the flag would keep every later non-root open out.
  ioctl(pty.Slave(), TIOCGEXCL, &exclusive);
  EXPECT_EQ(exclusive, 0);
  const THandle again = FileOpen(pty.Name(), fmOpenRead);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  FileClose(again);
}

TEST(SerialOpen, HandlesStayClearOfStdioAndCloseOnExec) {
  TestPty pty;
  const THandle h = FileOpen(pty.Name(), fmOpenRead);
  ASSERT_GT(h, 2);
  EXPECT_TRUE(fcntl(h, F_GETFD) & FD_CLOEXEC);
  FileClose(h);

  // With standard input closed, open() hands out 0; the handle must move up,
  // and stay close-on-exec on the way.
  const int savedStdin = dup(0);
  ASSERT_GE(savedStdin, 0);
  close(0);
  const THandle moved = FileOpen(pty.Name(), fmOpenRead);
  const bool zeroFree = fcntl(0, F_GETFD) == -1;
  const int movedFlags = fcntl(moved, F_GETFD);
  FileClose(moved);
  dup2(savedStdin, 0);
  close(savedStdin);
  EXPECT_GT(moved, 2);
  EXPECT_TRUE(zeroFree);
  EXPECT_TRUE(movedFlags & FD_CLOEXEC);
}

TEST(SerialOpen, ATerminalBecomesABinaryLineAndKeepsItsCommSettings) {
  TestPty pty;
  termios before{};
  ASSERT_EQ(tcgetattr(pty.Slave(), &before), 0);
  // A cooked terminal (the pty default: canonical, echo, signals, CR/NL
  // translation, output processing) with comm settings of its own.
  before.c_iflag |= ISTRIP | INLCR | IGNCR | INPCK | IXON | IXOFF;
  before.c_oflag |= OPOST | ONLCR;
  before.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
  before.c_cflag = (before.c_cflag & ~CLOCAL) | CSTOPB | CRTSCTS;
  before.c_cc[VSTART] = 'a';
  before.c_cc[VSTOP] = 'b';
  before.c_cc[VMIN] = 1;
  before.c_cc[VTIME] = 5;
  cfsetspeed(&before, B4800);
  ASSERT_EQ(tcsetattr(pty.Slave(), TCSANOW, &before), 0);

  const THandle h = FileOpen(pty.Name(), fmOpenRead);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  termios after{};
  ASSERT_EQ(tcgetattr(pty.Slave(), &after), 0);
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(after.c_iflag & (ISTRIP | INLCR | IGNCR | ICRNL), 0u);
  EXPECT_EQ(after.c_oflag & OPOST, 0u);
  EXPECT_EQ(after.c_cflag & (CREAD | CLOCAL), tcflag_t{CREAD | CLOCAL});
  EXPECT_EQ(after.c_cc[VMIN], 0);
  EXPECT_EQ(after.c_cc[VTIME], 0);

  // The comm state is as it was before the open.
  const DCB s = StateOf(h);
  EXPECT_EQ(s.BaudRate, 4800u);
  EXPECT_EQ(s.StopBits, TWOSTOPBITS);
  EXPECT_EQ(s.Flags & (DCB_fParity | DCB_fOutX | DCB_fInX | DCB_fOutxCtsFlow),
            DCB_fParity | DCB_fOutX | DCB_fInX | DCB_fOutxCtsFlow);
  EXPECT_EQ(GetRtsControl(s), RTS_CONTROL_HANDSHAKE);
  EXPECT_EQ(s.XonChar, 'a');
  EXPECT_EQ(s.XoffChar, 'b');
  FileClose(h);
}

// Files other than terminals take the advisory lock their share value asks for.
TEST(SerialOpen, FilesTakeTheLockOfTheirShareValue) {
  TempFile file("x");
  const struct {
    const char* Why;
    std::uint32_t First, Second;
    bool SecondOpens;
  } cases[] = {
      {"exclusive keeps out exclusive", fmShareExclusive, fmShareExclusive, false},
      {"exclusive keeps out a shared lock", fmShareExclusive, fmShareDenyWrite, false},
      {"deny-write keeps out exclusive", fmShareDenyWrite, fmShareExclusive, false},
      {"deny-write shares with deny-write", fmShareDenyWrite, fmShareDenyWrite, true},
      {"deny-none takes no lock", fmShareExclusive, fmShareDenyNone, true},
      {"no share value takes no lock", 0, fmShareExclusive, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    const THandle first = FileOpen(file.Path(), fmOpenRead | c.First);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    errno = 0;
    const THandle second = FileOpen(file.Path(), fmOpenRead | c.Second);
    const int code = errno;
    EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.SecondOpens);
    if (!c.SecondOpens) {
      EXPECT_EQ(code, EBUSY);
    }
    FileClose(second);
    FileClose(first);
    // Closing lets go of the lock.
    const THandle later = FileOpen(file.Path(), fmOpenRead | c.Second);
    EXPECT_NE(later, INVALID_HANDLE_VALUE);
    FileClose(later);
  }
}

TEST(SerialOpen, EveryCallRefusesAHandleItDidNotOpen) {
  TestPty pty;
  const THandle closed = FileOpen(pty.Name(), fmOpenRead);
  ASSERT_NE(closed, INVALID_HANDLE_VALUE);
  FileClose(closed);
  termios foreignBefore{};
  tcgetattr(pty.Slave(), &foreignBefore);

  const struct {
    const char* Why;
    THandle Handle;
  } cases[] = {
      {"the invalid handle", INVALID_HANDLE_VALUE},
      {"0, never handed out", 0},
      {"a handle already closed", closed},
      {"an open terminal that FileOpen did not open", pty.Slave()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    DCB state;
    std::memset(&state, 0xA5, sizeof state);
    const DCB untouched = state;
    errno = 0;
    EXPECT_FALSE(GetCommState(c.Handle, state));
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(std::memcmp(&state, &untouched, sizeof state), 0);
    EXPECT_FALSE(SetCommState(c.Handle, untouched));
    COMMTIMEOUTS t{1, 2, 3, 4, 5};
    EXPECT_FALSE(GetCommTimeouts(c.Handle, t));
    EXPECT_EQ(t.ReadIntervalTimeout, 1u);
    EXPECT_FALSE(SetCommTimeouts(c.Handle, ReturnAtOnce));
    char buffer[4];
    std::uint32_t got = 99;
    EXPECT_FALSE(ReadFile(c.Handle, buffer, sizeof buffer, got));
    EXPECT_EQ(got, 0u);
    FileClose(c.Handle);
  }
  // The foreign terminal is still open and untouched.
  termios foreignAfter{};
  ASSERT_EQ(tcgetattr(pty.Slave(), &foreignAfter), 0);
  EXPECT_EQ(foreignAfter.c_iflag, foreignBefore.c_iflag);
  EXPECT_EQ(foreignAfter.c_cflag, foreignBefore.c_cflag);
  EXPECT_EQ(foreignAfter.c_lflag, foreignBefore.c_lflag);
  EXPECT_EQ(foreignAfter.c_cc[VMIN], foreignBefore.c_cc[VMIN]);
}

TEST(SerialOpen, ARegularFileReadsPlainlyAndHasNoCommState) {
  TempFile file("hello");
  const THandle h = FileOpen(file.Path(), fmOpenRead);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DCB state{};
  errno = 0;
  EXPECT_FALSE(GetCommState(h, state));
  EXPECT_EQ(errno, ENOTTY);
  EXPECT_EQ(state.BaudRate, 0u);
  EXPECT_FALSE(SetCommState(h, state));

  char buffer[4];
  std::uint32_t got = 0;
  EXPECT_TRUE(ReadFile(h, buffer, 3, got));
  EXPECT_EQ(std::string(buffer, got), "hel");
  EXPECT_TRUE(ReadFile(h, buffer, 4, got));
  EXPECT_EQ(std::string(buffer, got), "lo");
  EXPECT_TRUE(ReadFile(h, buffer, 4, got));  // end of file
  EXPECT_EQ(got, 0u);
  FileClose(h);
}

// ---- The comm-state record ---------------------------------------------------------------

// Each row changes a freshly opened pty's record, expects SetCommState's
// answer, and expects what GetCommState then reads: the asked record (no
// Expect) or the record before the call changed by Expect.
TEST(SerialState, SettingsRoundTripAsFarAsTheLineTakesThem) {
  using Edit = void (*)(DCB&);
  const struct {
    const char* Why;
    Edit Change;
    bool Ok;
    Edit Expect;
  } cases[] = {
      {"a standard rate", [](DCB& d) { d.BaudRate = 9600; }, true, nullptr},
      {"speed 0 is not applied: it would hang the line up", [](DCB& d) { d.BaudRate = 0; }, false,
       [](DCB&) {}},
      {"7 data bits: a pty keeps 8", [](DCB& d) { d.ByteSize = 7; }, false, [](DCB&) {}},
      {"9 data bits are refused", [](DCB& d) { d.ByteSize = 9; }, false, [](DCB&) {}},
      {"odd parity: a pty clears PARENB", [](DCB& d) { d.Parity = ODDPARITY; }, false, [](DCB&) {}},
      {"mark parity: a pty clears PARENB", [](DCB& d) { d.Parity = MARKPARITY; }, false, [](DCB&) {}},
      {"parity code 5 is refused", [](DCB& d) { d.Parity = 5; }, false, [](DCB&) {}},
      {"two stop bits", [](DCB& d) { d.StopBits = TWOSTOPBITS; }, true, nullptr},
      {"one and a half stop bits with 8 data bits read back as two", [](DCB& d) { d.StopBits = ONE5STOPBITS; },
       false, [](DCB& d) { d.StopBits = TWOSTOPBITS; }},
      {"stop-bits code 3 is refused", [](DCB& d) { d.StopBits = 3; }, false, [](DCB&) {}},
      {"parity checking is INPCK", [](DCB& d) { d.Flags |= DCB_fParity; }, true, nullptr},
      {"XON/XOFF both ways with own characters",
       [](DCB& d) {
         d.Flags |= DCB_fOutX | DCB_fInX;
         d.XonChar = 'Q';
         d.XoffChar = 'S';
       },
       true, nullptr},
      {"XON/XOFF off both ways", [](DCB& d) { d.Flags &= ~(DCB_fOutX | DCB_fInX); }, true, nullptr},
      {"CTS flow with RTS handshake is CRTSCTS",
       [](DCB& d) {
         d.Flags |= DCB_fOutxCtsFlow;
         SetRtsControl(d, RTS_CONTROL_HANDSHAKE);
       },
       true, nullptr},
      {"CTS flow alone: CRTSCTS also makes RTS the handshake", [](DCB& d) { d.Flags |= DCB_fOutxCtsFlow; },
       false,
       [](DCB& d) {
         d.Flags |= DCB_fOutxCtsFlow;
         SetRtsControl(d, RTS_CONTROL_HANDSHAKE);
       }},
      {"RTS handshake alone: CRTSCTS also makes CTS flow on",
       [](DCB& d) { SetRtsControl(d, RTS_CONTROL_HANDSHAKE); }, false,
       [](DCB& d) {
         d.Flags |= DCB_fOutxCtsFlow;
         SetRtsControl(d, RTS_CONTROL_HANDSHAKE);
       }},
      {"RTS toggle: a pty has no RS-485 mode", [](DCB& d) { SetRtsControl(d, RTS_CONTROL_TOGGLE); }, false,
       [](DCB&) {}},
      {"DTR and RTS lowered: a pty, without modem lines, keeps the codes",
       [](DCB& d) {
         SetDtrControl(d, DTR_CONTROL_DISABLE);
         SetRtsControl(d, RTS_CONTROL_DISABLE);
       },
       true, nullptr},
      {"DTR handshake: Linux has none", [](DCB& d) { SetDtrControl(d, DTR_CONTROL_HANDSHAKE); }, false,
       [](DCB&) {}},
      {"DSR flow, DSR sensitivity, error replacement, null stripping, abort on error: Linux has none",
       [](DCB& d) {
         d.Flags |= DCB_fOutxDsrFlow | DCB_fDsrSensitivity | DCB_fErrorChar | DCB_fNull | DCB_fAbortOnError;
       },
       false, [](DCB&) {}},
      {"binary mode off: the line is always binary", [](DCB& d) { d.Flags &= ~DCB_fBinary; }, false,
       [](DCB&) {}},
      {"continue-on-XOFF off: Linux always continues", [](DCB& d) { d.Flags &= ~DCB_fTXContinueOnXoff; }, false,
       [](DCB&) {}},
      {"the fields Linux has no place for are kept",
       [](DCB& d) {
         d.XonLim = 11;
         d.XoffLim = 2222;
         d.ErrorChar = '?';
         d.EofChar = 0x1A;
         d.EvtChar = '\n';
         d.wReserved = 0x1234;
         d.wReserved1 = 0xBEEF;
         d.Flags |= 0x80008000u;
       },
       true, nullptr},
      {"DCBlength is left out of the comparison", [](DCB& d) { d.DCBlength = 0; }, true, [](DCB&) {}},
      {"a typical scanner line: 9600 8N1, no flow control",
       [](DCB& d) {
         d.BaudRate = 9600;
         d.ByteSize = 8;
         d.Parity = NOPARITY;
         d.StopBits = ONESTOPBIT;
         d.Flags &= ~(DCB_fOutX | DCB_fInX | DCB_fOutxCtsFlow | DCB_fParity);
         SetRtsControl(d, RTS_CONTROL_ENABLE);
         SetDtrControl(d, DTR_CONTROL_ENABLE);
       },
       true, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    TestPty pty;
    const THandle h = FileOpen(pty.Name(), fmOpenReadWrite);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const DCB before = StateOf(h);
    DCB asked = before;
    c.Change(asked);
    EXPECT_EQ(SetCommState(h, asked), c.Ok);
    DCB expected = before;
    (c.Expect ? c.Expect : c.Change)(expected);
    expected.DCBlength = sizeof(DCB);
    EXPECT_EQ(Describe(StateOf(h)), Describe(expected));
    FileClose(h);
  }
}

TEST(SerialState, FreeRatesSetBothDirections) {
  TestPty pty;
  const THandle h = FileOpen(pty.Name(), fmOpenReadWrite);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const auto kernelSpeeds = [&] {
    KernelTermios2 t{};
    EXPECT_EQ(ioctl(pty.Slave(), _IOR('T', 0x2A, KernelTermios2), &t), 0);
    return std::make_pair(t.c_ispeed, t.c_ospeed);
  };
  const struct {
    const char* Why;
    std::uint32_t Rate;
  } cases[] = {
      {"a rate with no speed code: a pty keeps it", 250000},
      {"an odd rate", 12345},
      // Back to a speed code: the input speed must not stay at the free rate.
      {"a standard rate after a free one", 9600},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    DCB s = StateOf(h);
    s.BaudRate = c.Rate;
    EXPECT_TRUE(SetCommState(h, s));
    EXPECT_EQ(StateOf(h).BaudRate, c.Rate);
    EXPECT_EQ(kernelSpeeds(), std::make_pair(speed_t{c.Rate}, speed_t{c.Rate}));
  }
  FileClose(h);
}

// The stored fields travel with the device between opens, stay apart from
// other devices, and start at their defaults on a device not seen before.
TEST(SerialState, StoredFieldsBelongToTheirDevice) {
  TestPty a;
  const auto fresh = TestPty::Unused();
  const THandle hb = FileOpen(fresh->Name(), fmOpenRead);
  ASSERT_NE(hb, INVALID_HANDLE_VALUE);
  const DCB defaults = StateOf(hb);
  EXPECT_EQ(defaults.DCBlength, sizeof(DCB));
  EXPECT_EQ(defaults.XonLim, 128);
  EXPECT_EQ(defaults.XoffLim, 128);
  EXPECT_EQ(defaults.ErrorChar | defaults.EofChar | defaults.EvtChar | defaults.wReserved | defaults.wReserved1, 0);
  EXPECT_EQ(defaults.Flags & DCB_fReserved, 0u);
  EXPECT_EQ(GetDtrControl(defaults), DTR_CONTROL_ENABLE);  // Linux raises both lines on open
  EXPECT_EQ(GetRtsControl(defaults), RTS_CONTROL_ENABLE);

  THandle ha = FileOpen(a.Name(), fmOpenReadWrite);
  ASSERT_NE(ha, INVALID_HANDLE_VALUE);
  DCB asked = StateOf(ha);
  asked.XonLim = 7;
  asked.XoffLim = 700;
  asked.ErrorChar = '#';
  asked.EofChar = 4;
  asked.EvtChar = '\r';
  asked.wReserved = 1;
  asked.wReserved1 = 2;
  asked.Flags |= 0x00010000u;
  SetDtrControl(asked, DTR_CONTROL_DISABLE);
  SetRtsControl(asked, RTS_CONTROL_DISABLE);
  ASSERT_TRUE(SetCommState(ha, asked));
  FileClose(ha);

  ha = FileOpen(a.Name(), fmOpenRead);
  ASSERT_NE(ha, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Describe(StateOf(ha)), Describe(asked));
  EXPECT_EQ(Describe(StateOf(hb)), Describe(defaults));
  FileClose(ha);
  FileClose(hb);
}

// ---- Timeouts and reads ---------------------------------------------------------------

TEST(SerialRead, TimeoutsStartAtZeroAndKeepTheLineAnsweringAtOnce) {
  TestPty pty;
  const THandle h = FileOpen(pty.Name(), fmOpenRead);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  COMMTIMEOUTS t{9, 9, 9, 9, 9};
  ASSERT_TRUE(GetCommTimeouts(h, t));
  EXPECT_EQ(t.ReadIntervalTimeout | t.ReadTotalTimeoutMultiplier | t.ReadTotalTimeoutConstant |
                t.WriteTotalTimeoutMultiplier | t.WriteTotalTimeoutConstant,
            0u);

  // Someone else made reads wait for a byte; the timeouts undo that.
  termios line{};
  tcgetattr(pty.Slave(), &line);
  line.c_cc[VMIN] = 1;
  line.c_cc[VTIME] = 3;
  tcsetattr(pty.Slave(), TCSANOW, &line);
  const COMMTIMEOUTS set{MAXDWORD, 1, 2, 3, 4};
  ASSERT_TRUE(SetCommTimeouts(h, set));
  tcgetattr(pty.Slave(), &line);
  EXPECT_EQ(line.c_cc[VMIN], 0);
  EXPECT_EQ(line.c_cc[VTIME], 0);
  ASSERT_TRUE(GetCommTimeouts(h, t));
  EXPECT_EQ(std::memcmp(&t, &set, sizeof t), 0);
  FileClose(h);
}

TEST(SerialRead, ReturnAtOnceDeliversByteByByteAndNoticesAVanishedDevice) {
  TestPty pty;
  const THandle h = FileOpen(pty.Name(), fmOpenRead);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetCommTimeouts(h, ReturnAtOnce));
  unsigned char byte = 0;
  std::uint32_t got = 99;
  auto start = Clock::now();
  EXPECT_TRUE(ReadFile(h, &byte, 1, got));  // an empty port: nothing, at once
  EXPECT_EQ(got, 0u);
  EXPECT_LT(MsSince(start), 500);

  pty.Write("ab\xFF\r");
  pty.WaitArrived(4);
  for (const char expected : std::string_view("ab\xFF\r")) {  // raw: no translation, no stripping
    EXPECT_TRUE(ReadFile(h, &byte, 1, got));
    ASSERT_EQ(got, 1u);
    EXPECT_EQ(byte, static_cast<unsigned char>(expected));
  }
  EXPECT_TRUE(ReadFile(h, &byte, 1, got));
  EXPECT_EQ(got, 0u);

  // The far side goes: an empty read now fails, and does not wait.
  pty.CloseMaster();
  start = Clock::now();
  errno = 0;
  got = 99;
  EXPECT_FALSE(ReadFile(h, &byte, 1, got));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(errno, EIO);
  EXPECT_FALSE(ReadFile(h, &byte, 1, got));  // and keeps failing
  EXPECT_LT(MsSince(start), 500);
  FileClose(h);
}

// Each row: the timeouts, what has arrived before the read, how many bytes
// are asked, how many come back, and loose bounds of how long the read takes.
TEST(SerialRead, TimeoutsEndAReadAsTheirRulesSay) {
  const struct {
    const char* Why;
    COMMTIMEOUTS Timeouts;
    const char* Arrived;
    std::uint32_t Count, Expected;
    long MinMs, MaxMs;
  } cases[] = {
      {"return at once, empty port", ReturnAtOnce, "", 4, 0, 0, 500},
      {"return at once with what is there", ReturnAtOnce, "xyz", 8, 3, 0, 500},
      {"first byte or 50 ms: nothing comes", {MAXDWORD, MAXDWORD, 50, 0, 0}, "", 4, 0, 40, 2000},
      {"first byte or 5 s: bytes are there", {MAXDWORD, MAXDWORD, 5000, 0, 0}, "pq", 4, 2, 0, 2000},
      {"total 50 ms, fewer bytes than asked", {0, 0, 50, 0, 0}, "ab", 4, 2, 40, 2000},
      {"total 20 ms a byte for 4 bytes", {0, 20, 0, 0, 0}, "ab", 4, 2, 70, 2000},
      {"total 5 s, everything there", {0, 0, 5000, 0, 0}, "abcd", 4, 4, 0, 2000},
      {"a 30 ms gap ends the read long before the total", {30, 0, 5000, 0, 0}, "ab", 10, 2, 20, 2000},
      {"no timeouts, everything there", {0, 0, 0, 0, 0}, "abcd", 4, 4, 0, 2000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    TestPty pty;
    const THandle h = FileOpen(pty.Name(), fmOpenRead);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetCommTimeouts(h, c.Timeouts));
    const std::string arrived = c.Arrived;
    if (!arrived.empty()) {
      pty.Write(arrived);
      pty.WaitArrived(static_cast<int>(arrived.size()));
    }
    char buffer[16] = {};
    std::uint32_t got = 99;
    const auto start = Clock::now();
    EXPECT_TRUE(ReadFile(h, buffer, c.Count, got));
    const long took = MsSince(start);
    EXPECT_EQ(got, c.Expected);
    EXPECT_EQ(std::string(buffer, std::min(got, c.Expected)), arrived.substr(0, c.Expected));
    EXPECT_GE(took, c.MinMs);
    EXPECT_LT(took, c.MaxMs);
    FileClose(h);
  }
}

TEST(SerialRead, WithoutTimeoutsAReadWaitsForTheWholeCount) {
  TestPty pty;
  const THandle h = FileOpen(pty.Name(), fmOpenRead);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  pty.Write("ab");
  pty.WaitArrived(2);
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pty.Write("cd");
  });
  char buffer[4];
  std::uint32_t got = 0;
  const auto start = Clock::now();
  EXPECT_TRUE(ReadFile(h, buffer, 4, got));
  const long took = MsSince(start);
  late.join();
  EXPECT_EQ(std::string(buffer, got), "abcd");
  EXPECT_GE(took, 30);
  FileClose(h);
}

TEST(SerialRead, AWaitingReadEndsWhenTheDeviceGoes) {
  TestPty pty;
  const THandle h = FileOpen(pty.Name(), fmOpenRead);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetCommTimeouts(h, {0, 0, 10000, 0, 0}));
  std::thread unplug([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pty.CloseMaster();
  });
  char buffer[4];
  std::uint32_t got = 99;
  const auto start = Clock::now();
  errno = 0;
  EXPECT_FALSE(ReadFile(h, buffer, 4, got));
  const int code = errno;
  const long took = MsSince(start);
  unplug.join();
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(code, EIO);
  EXPECT_LT(took, 5000);
  FileClose(h);
}

}  // namespace
