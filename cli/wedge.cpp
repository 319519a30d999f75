// tolvane wedge: a serial port typed onto standard output through the
// keyboard wedge component.

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include <vcl/Forms.h>
#include <vcl/Serial.h>

#include "Cli.h"
#include "KeyboardWedge.h"

namespace tolvane::cli {

const char* const WedgeUsage =
    "usage: tolvane wedge --port NAME [--baud N] [--parity WORD] [--bytesize N]\n"
    "                     [--stopbits 1|1.5|2] [--dtr WORD] [--rts WORD] [--filter-control]\n"
    "\n"
    "wedge reads the serial port NAME (COM1..COM4 are /dev/ttyS0..3; any other\n"
    "name is a device path such as /dev/ttyUSB0) and writes every character it\n"
    "delivers to standard output at once, until interrupted (Ctrl-C) or terminated.\n"
    "  --parity WORD     None, Odd, Even, Mark or Space\n"
    "  --dtr WORD        Disable, Enable or Handshake\n"
    "  --rts WORD        Disable, Enable, Handshake or Toggle\n"
    "  --filter-control  deliver only line feed, carriage return and 0x20..0x7F\n"
    "Settings the port does not take are reported as the port holds them.\n";

namespace {

volatile std::sig_atomic_t StopRequested = 0;
extern "C" void OnStopSignal(int) { StopRequested = 1; }

// The focused control of this program: what the wedge types goes straight
// to standard output, unbuffered.
class TStdoutControl : public vcl::TWinControl {
public:
  using vcl::TWinControl::TWinControl;

protected:
  void KeyPress(char& Key) override {
    while (::write(STDOUT_FILENO, &Key, 1) < 0 && errno == EINTR) {
    }
  }
};

// Value must be one of Words (any case); returns it as the component spells it.
std::string ParseWord(const std::string& Option, const std::string& Value,
                      std::initializer_list<const char*> Words) {
  std::string list;
  for (const char* w : Words) {
    if (vcl::SameText(Value, w)) return w;
    list += list.empty() ? w : std::string(", ") + w;
  }
  throw UsageError{Option + " takes one of " + list + ", not '" + Value + "'"};
}

std::int32_t ParseCount(const std::string& Option, const std::string& Value, std::int32_t Low,
                        std::int32_t High) {
  std::int32_t v = 0;
  try {
    if (Value.empty() || Value[0] == '$' || Value[0] == '-' || Value[0] == '+') throw vcl::EConvertError("");
    v = vcl::StrToInt(Value);
  } catch (const vcl::EConvertError&) {
    throw UsageError{Option + " needs a whole number, not '" + Value + "'"};
  }
  if (v < Low || v > High)
    throw UsageError{Option + " must be " + std::to_string(Low) + " to " + std::to_string(High) + ", not " + Value};
  return v;
}

struct WedgeRequest {
  std::string Port;
  std::optional<std::int32_t> Baud, ByteSize;
  std::optional<std::string> Parity, Dtr, Rts;
  std::optional<TStopBits> StopBits;
  bool Filter = false;
};

WedgeRequest ParseWedge(const std::vector<std::string>& Args) {
  WedgeRequest r;
  for (std::size_t i = 0; i < Args.size(); ++i) {
    const std::string& a = Args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= Args.size()) throw UsageError{a + " needs a value"};
      return Args[++i];
    };
    if (a == "--port") r.Port = value();
    else if (a == "--baud") r.Baud = ParseCount(a, value(), 1, INT32_MAX);
    else if (a == "--bytesize") r.ByteSize = ParseCount(a, value(), 5, 8);
    else if (a == "--parity") r.Parity = ParseWord(a, value(), {"None", "Odd", "Even", "Mark", "Space"});
    else if (a == "--dtr") r.Dtr = ParseWord(a, value(), {"Disable", "Enable", "Handshake"});
    else if (a == "--rts") r.Rts = ParseWord(a, value(), {"Disable", "Enable", "Handshake", "Toggle"});
    else if (a == "--stopbits") {
      const std::string& v = value();
      if (v == "1") r.StopBits = sbONESTOPBIT;
      else if (v == "1.5") r.StopBits = sbONE5STOPBITS;
      else if (v == "2") r.StopBits = sbTWOSTOPBITS;
      else throw UsageError{"--stopbits takes 1, 1.5 or 2, not '" + v + "'"};
    } else if (a == "--filter-control") r.Filter = true;
    else throw UsageError{"unknown wedge argument '" + a + "' (try --help)"};
  }
  if (r.Port.empty()) throw UsageError{"wedge needs --port NAME"};
  return r;
}

// Reports a setting the port did not take, as the component now reads it.
void CheckSetting(const char* What, const std::string& Asked, const std::string& Holds) {
  if (Asked != Holds)
    std::cerr << "tolvane: the port did not take " << What << " " << Asked << "; it holds " << Holds << "\n";
}

const char* StopBitsText(TStopBits S) { return S == sbONE5STOPBITS ? "1.5" : S == sbTWOSTOPBITS ? "2" : "1"; }

}  // namespace

int CmdWedge(const std::vector<std::string>& Args) {
  const WedgeRequest r = ParseWedge(Args);

  // The component never reports a port it cannot open (it keeps polling for
  // it); the command line says so before it starts.
  const std::string device = vcl::SerialDeviceName(r.Port);
  const vcl::THandle probe = vcl::FileOpen(r.Port, vcl::fmOpenRead);
  if (probe == vcl::INVALID_HANDLE_VALUE) {
    const int code = errno;
    throw vcl::EInOutError("cannot open port " + r.Port + (device != r.Port ? " (" + device + ")" : "") +
                               ": " + vcl::SysErrorMessage(code),
                           code);
  }
  vcl::DCB probeState{};
  const bool isSerial = vcl::GetCommState(probe, probeState);
  vcl::FileClose(probe);
  if (!isSerial) throw UsageError{"'" + device + "' is not a serial port or terminal device"};

  TKeyboardWedge wedge(nullptr);
  wedge.SetPort(r.Port);
  if (r.Baud) {
    wedge.SetBaudRate(*r.Baud);
    CheckSetting("baud rate", std::to_string(*r.Baud), std::to_string(wedge.GetBaudRate()));
  }
  if (r.ByteSize) {
    wedge.SetByteSize(*r.ByteSize);
    CheckSetting("data bits", std::to_string(*r.ByteSize), std::to_string(wedge.GetByteSize()));
  }
  if (r.Parity) {
    wedge.SetParity(*r.Parity);
    CheckSetting("parity", *r.Parity, wedge.GetParity());
  }
  if (r.StopBits) {
    wedge.SetStopBits(*r.StopBits);
    CheckSetting("stop bits", StopBitsText(*r.StopBits), StopBitsText(wedge.GetStopBits()));
  }
  if (r.Dtr) {
    wedge.SetDTRControl(*r.Dtr);
    CheckSetting("DTR control", *r.Dtr, wedge.GetDTRControl());
  }
  if (r.Rts) {
    wedge.SetRTSControl(*r.Rts);
    CheckSetting("RTS control", *r.Rts, wedge.GetRTSControl());
  }
  if (r.Filter) wedge.SetOptions(wedge.GetOptions().Include(kwFilterCtrlChars));

  TStdoutControl output(nullptr);
  output.SetFocus();

  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  std::cerr << "tolvane: reading " << device << " at " << wedge.GetBaudRate() << " baud, "
            << wedge.GetByteSize() << " data bits, parity " << wedge.GetParity() << ", "
            << StopBitsText(wedge.GetStopBits()) << " stop bit(s); Ctrl-C stops\n";
  wedge.SetActive(true);
  while (!StopRequested && wedge.GetActive()) {
    vcl::Application().WaitMessage(100);
    vcl::Application().ProcessMessages();
  }
  const bool readerEnded = !wedge.GetActive();
  wedge.SetActive(false);
  vcl::Application().ProcessMessages();   // what was read before the stop still goes out
  if (readerEnded && !StopRequested) {
    std::cerr << "tolvane: the reader of " << device << " ended\n";
    return 1;
  }
  return 0;
}

}  // namespace tolvane::cli
