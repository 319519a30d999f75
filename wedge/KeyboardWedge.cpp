#include "KeyboardWedge.h"

#include <vcl/Forms.h>
#include <vcl/Messages.h>

namespace tolvane {

using namespace vcl;

namespace {

constexpr const char* DCBOptionNames[] = {
    "kwAbortOnError",     "kwAllowBufferOverruns", "kwBinaryMode",     "kwCTSFlowControl",
    "kwDiscardNulls",     "kwDSRFlowControl",      "kwDSRSensitivity", "kwErrorReplacement",
    "kwParityChecking",   "kwXonXoff_In",          "kwXonXoff_Out",    "kwFilterCtrlChars"};
static_assert(std::size(DCBOptionNames) == kwFilterCtrlChars + 1);

constexpr const char* StopBitsNames[] = {"sbONESTOPBIT", "sbONE5STOPBITS", "sbTWOSTOPBITS"};

// The port flag of each option, by ordinal; kwFilterCtrlChars has none.
constexpr std::uint32_t OptionMask[] = {
    DCB_fAbortOnError,      // kwAbortOnError         0x4000
    DCB_fTXContinueOnXoff,  // kwAllowBufferOverruns  0x0080
    DCB_fBinary,            // kwBinaryMode           0x0001
    DCB_fOutxCtsFlow,       // kwCTSFlowControl       0x0004
    DCB_fNull,              // kwDiscardNulls         0x0800
    DCB_fOutxDsrFlow,       // kwDSRFlowControl       0x0008
    DCB_fDsrSensitivity,    // kwDSRSensitivity       0x0040
    DCB_fErrorChar,         // kwErrorReplacement     0x0400
    DCB_fParity,            // kwParityChecking       0x0002
    DCB_fInX,               // kwXonXoff_In           0x0200
    DCB_fOutX,              // kwXonXoff_Out          0x0100
};
static_assert(std::size(OptionMask) == kwFilterCtrlChars);

// Word tables of the string settings, indexed by code.
constexpr const char* DtrWords[] = {"Disable", "Enable", "Handshake", "Unknown"};
constexpr const char* RtsWords[] = {"Disable", "Enable", "Handshake", "Toggle"};
constexpr const char* ParityWords[] = {"None", "Odd", "Even", "Mark", "Space"};

// The code of Value among the first Count words (compared exactly), or Other.
std::uint8_t WordCode(const std::string& Value, const char* const* Words, int Count, std::uint8_t Other) {
  for (int i = 0; i < Count; ++i)
    if (Value == Words[i]) return static_cast<std::uint8_t>(i);
  return Other;
}

std::string CharText(std::uint8_t C) { return "#" + std::to_string(C); }

// The decimal digits of Text, in order, as a byte: false when there are none,
// or they make a number beyond the 32-bit signed range or outside 0..255.
bool DigitsToByte(const std::string& Text, std::uint8_t& Result) {
  bool any = false;
  std::int64_t n = 0;
  for (char c : Text) {
    if (c < '0' || c > '9') continue;
    any = true;
    n = n * 10 + (c - '0');
    if (n > INT32_MAX) return false;
  }
  if (!any || n > 255) return false;
  Result = static_cast<std::uint8_t>(n);
  return true;
}

}  // namespace

constinit const TEnumInfo DCBOptionInfo = {"TDCBOption", DCBOptionNames, std::size(DCBOptionNames)};
constinit const TEnumInfo StopBitsInfo = {"TStopBits", StopBitsNames, std::size(StopBitsNames)};

// ---- The reader ------------------------------------------------------------

constinit const TClassInfo TWedgeThread::ClassInfo = {"TWedgeThread", &TThread::ClassInfo};

TWedgeThread::TWedgeThread() : TThread(true) {}

void TWedgeThread::Execute() {
  SetFreeOnTerminate(true);
  try {
    FPortHandle = FileOpen(FPortName, fmOpenRead);
    GetCommTimeouts(FPortHandle, FTimeouts);
    // Reads return at once with whatever has arrived, possibly nothing.
    FTimeouts.ReadIntervalTimeout = MAXDWORD;
    FTimeouts.ReadTotalTimeoutMultiplier = 0;
    FTimeouts.ReadTotalTimeoutConstant = 0;
    SetCommTimeouts(FPortHandle, FTimeouts);
  } catch (...) {
    FPortHandle = 0;
    Terminate();
  }
  while (!Terminated()) {
    char ch;
    ReadChar(ch);
    if (Terminated()) break;
    // The focused control is looked up again for every character. With no
    // control focused there is no window to type into, and the character is
    // dropped.
    if (HWND target = Screen().ActiveHandle())
      PostMessage(target, WM_CHAR, static_cast<unsigned char>(ch), 0);
  }
  if (FPortHandle != 0) FileClose(FPortHandle);
}

void TWedgeThread::ReadChar(char& Ch) {
  Ch = 0;
  while (!Terminated() && Ch == 0) {
    unsigned char byte = 0;
    std::uint32_t got = 0;
    ReadFile(FPortHandle, &byte, 1, got);
    if (got == 1 && FFilter && !(byte == 0x0A || byte == 0x0D || (byte >= 0x20 && byte <= 0x7F)))
      got = 0;
    if (got == 1) Ch = static_cast<char>(byte);   // a 0x00 byte leaves Ch at 0: read on at once
    else Sleep(100);
  }
}

// ---- The component -----------------------------------------------------------

namespace {

constexpr TPropInfo KeyboardWedgeProps[] = {
    BooleanProp<TKeyboardWedge, &TKeyboardWedge::GetActive, &TKeyboardWedge::SetActive>("Active"),
    IntegerProp<TKeyboardWedge, &TKeyboardWedge::GetBaudRate, &TKeyboardWedge::SetBaudRate>("BaudRate"),
    StringProp<TKeyboardWedge, &TKeyboardWedge::GetDTRControl, &TKeyboardWedge::SetDTRControl>("DTRControl"),
    SetProp<TKeyboardWedge, &TKeyboardWedge::GetOptions, &TKeyboardWedge::SetOptions>("Options", &DCBOptionInfo),
    StringProp<TKeyboardWedge, &TKeyboardWedge::GetParity, &TKeyboardWedge::SetParity>("Parity"),
    StringProp<TKeyboardWedge, &TKeyboardWedge::GetPort, &TKeyboardWedge::SetPort>("Port"),
    StringProp<TKeyboardWedge, &TKeyboardWedge::GetRTSControl, &TKeyboardWedge::SetRTSControl>("RTSControl"),
    EnumProp<TKeyboardWedge, &TKeyboardWedge::GetStopBits, &TKeyboardWedge::SetStopBits>("StopBits", &StopBitsInfo),
    IntegerProp<TKeyboardWedge, &TKeyboardWedge::GetByteSize, &TKeyboardWedge::SetByteSize>("ByteSize"),
};

}  // namespace

constinit const TClassInfo TKeyboardWedge::ClassInfo = {"TKeyboardWedge", &TComponent::ClassInfo,
                                                        KeyboardWedgeProps, std::size(KeyboardWedgeProps),
                                                        &ConstructComponent<TKeyboardWedge>};

TKeyboardWedge::TKeyboardWedge(TComponent* AOwner) : TComponent(AOwner) {
  FDCB.DCBlength = sizeof(DCB);
  SetPort("COM1");
}

TKeyboardWedge::~TKeyboardWedge() { SetActive(false); }

void TKeyboardWedge::SetActive(bool Value) {
  if (FActive && !Value) {
    FReader->Terminate();
    // Returns once the reader has finished; its end notification (ThreadDead)
    // has run by then and the reader has freed itself, so it is not touched again.
    FReader->WaitFor();
    FReader = nullptr;
  } else if (!FActive && Value) {
    FReader = new TWedgeThread();
    FReader->OnTerminate = [this](TObject* Sender) { ThreadDead(Sender); };
    FReader->SetPortName(FPort);
    FReader->SetFilter(FOptions.Contains(kwFilterCtrlChars));
    FReader->Resume();
  }
  FActive = Value;
}

void TKeyboardWedge::ThreadDead(TObject*) { FActive = false; }

void TKeyboardWedge::SetPort(const std::string& Value) {
  if (FActive) SetActive(false);
  FPort = Value;
  THandle h = FileOpen(FPort, fmOpenRead);
  FDCB.DCBlength = sizeof(DCB);
  GetCommState(h, FDCB);
  FileClose(h);
}

// The apply cycle: Make changes the freshly read record, and the port decides.
// When the port cannot be opened both reads fail and the change stays in the
// record; when it refuses the new state, the record is read again.
template <class Change>
void TKeyboardWedge::Apply(Change&& Make) {
  const bool wasActive = FActive;
  if (FActive) SetActive(false);   // the reader must let go of the port first
  THandle h = FileOpen(FPort, fmOpenRead);
  FDCB.DCBlength = sizeof(DCB);
  GetCommState(h, FDCB);
  Make(FDCB);
  if (!SetCommState(h, FDCB)) {
    FDCB.DCBlength = sizeof(DCB);
    GetCommState(h, FDCB);
  }
  FileClose(h);
  SetActive(wasActive);
}

std::int32_t TKeyboardWedge::GetBaudRate() const { return static_cast<std::int32_t>(FDCB.BaudRate); }
void TKeyboardWedge::SetBaudRate(std::int32_t Value) {
  Apply([&](DCB& d) { d.BaudRate = static_cast<std::uint32_t>(Value); });
}

std::int32_t TKeyboardWedge::GetByteSize() const { return FDCB.ByteSize; }
void TKeyboardWedge::SetByteSize(std::int32_t Value) {
  Apply([&](DCB& d) { d.ByteSize = static_cast<std::uint8_t>(Value & 0xFF); });
}

TStopBits TKeyboardWedge::GetStopBits() const {
  switch (FDCB.StopBits) {
    case 1: return sbONE5STOPBITS;
    case 2: return sbTWOSTOPBITS;
    default: return sbONESTOPBIT;
  }
}
void TKeyboardWedge::SetStopBits(TStopBits Value) {
  const std::uint8_t code = Value == sbONESTOPBIT ? 0 : Value == sbONE5STOPBITS ? 1 : 2;
  Apply([&](DCB& d) { d.StopBits = code; });
}

std::string TKeyboardWedge::GetDTRControl() const { return DtrWords[GetDtrControl(FDCB)]; }
void TKeyboardWedge::SetDTRControl(const std::string& Value) {
  const std::uint8_t code = WordCode(Value, DtrWords, 2, 2);
  Apply([&](DCB& d) { vcl::SetDtrControl(d, code); });
}

std::string TKeyboardWedge::GetRTSControl() const { return RtsWords[GetRtsControl(FDCB)]; }
void TKeyboardWedge::SetRTSControl(const std::string& Value) {
  const std::uint8_t code = WordCode(Value, RtsWords, 3, 3);
  Apply([&](DCB& d) { vcl::SetRtsControl(d, code); });
}

std::string TKeyboardWedge::GetParity() const {
  return FDCB.Parity < std::size(ParityWords) ? ParityWords[FDCB.Parity] : "Unknown";
}
void TKeyboardWedge::SetParity(const std::string& Value) {
  const std::uint8_t code = WordCode(Value, ParityWords, std::size(ParityWords), 0);
  Apply([&](DCB& d) { d.Parity = code; });
}

void TKeyboardWedge::SetCharSetting(std::uint8_t DCB::*Field, const std::string& Value) {
  // The new byte is worked out after the port's state was read, so that a
  // text without a usable number keeps the port's value.
  Apply([&](DCB& d) { DigitsToByte(Value, d.*Field); });
}

std::string TKeyboardWedge::GetXOnChar() const { return CharText(FDCB.XonChar); }
void TKeyboardWedge::SetXOnChar(const std::string& Value) { SetCharSetting(&DCB::XonChar, Value); }
std::string TKeyboardWedge::GetXOffChar() const { return CharText(FDCB.XoffChar); }
void TKeyboardWedge::SetXOffChar(const std::string& Value) { SetCharSetting(&DCB::XoffChar, Value); }
std::string TKeyboardWedge::GetErrorReplacementChar() const { return CharText(FDCB.ErrorChar); }
void TKeyboardWedge::SetErrorReplacementChar(const std::string& Value) {
  SetCharSetting(&DCB::ErrorChar, Value);
}

std::uint16_t TKeyboardWedge::GetXonBufferSize() const { return FDCB.XonLim; }
void TKeyboardWedge::SetXOnBufferSize(std::uint16_t Value) {
  Apply([&](DCB& d) { d.XonLim = Value; });
}
std::uint16_t TKeyboardWedge::GetXOffBufferSize() const { return FDCB.XoffLim; }
void TKeyboardWedge::SetXOffBufferSize(std::uint16_t Value) {
  Apply([&](DCB& d) { d.XoffLim = Value; });
}

void TKeyboardWedge::UpdateFlags(std::uint32_t Mask, bool Value) {
  Apply([&](DCB& d) {
    if (Value) d.Flags |= Mask;
    else d.Flags &= ~Mask;
  });
}

#define TOLVANE_WEDGE_FLAG(Name, Option)                                                \
  bool TKeyboardWedge::Get##Name() const { return (FDCB.Flags & OptionMask[Option]) != 0; } \
  void TKeyboardWedge::Set##Name(bool Value) { UpdateFlags(OptionMask[Option], Value); }
TOLVANE_WEDGE_FLAG(AbortOnError, kwAbortOnError)
TOLVANE_WEDGE_FLAG(AllowBufferOverruns, kwAllowBufferOverruns)
TOLVANE_WEDGE_FLAG(BinaryMode, kwBinaryMode)
TOLVANE_WEDGE_FLAG(CTSFlowControl, kwCTSFlowControl)
TOLVANE_WEDGE_FLAG(DiscardNulls, kwDiscardNulls)
TOLVANE_WEDGE_FLAG(DSRFlowControl, kwDSRFlowControl)
TOLVANE_WEDGE_FLAG(DSRSensitivity, kwDSRSensitivity)
TOLVANE_WEDGE_FLAG(ErrorReplacement, kwErrorReplacement)
TOLVANE_WEDGE_FLAG(ParityChecking, kwParityChecking)
TOLVANE_WEDGE_FLAG(XonXoff_In, kwXonXoff_In)
TOLVANE_WEDGE_FLAG(XonXoff_Out, kwXonXoff_Out)
#undef TOLVANE_WEDGE_FLAG

namespace {

// The Boolean accessor pair of each port option, by ordinal.
struct TOptionAccess {
  bool (TKeyboardWedge::*Get)() const;
  void (TKeyboardWedge::*Set)(bool);
};
constexpr TOptionAccess OptionAccess[] = {
    {&TKeyboardWedge::GetAbortOnError, &TKeyboardWedge::SetAbortOnError},
    {&TKeyboardWedge::GetAllowBufferOverruns, &TKeyboardWedge::SetAllowBufferOverruns},
    {&TKeyboardWedge::GetBinaryMode, &TKeyboardWedge::SetBinaryMode},
    {&TKeyboardWedge::GetCTSFlowControl, &TKeyboardWedge::SetCTSFlowControl},
    {&TKeyboardWedge::GetDiscardNulls, &TKeyboardWedge::SetDiscardNulls},
    {&TKeyboardWedge::GetDSRFlowControl, &TKeyboardWedge::SetDSRFlowControl},
    {&TKeyboardWedge::GetDSRSensitivity, &TKeyboardWedge::SetDSRSensitivity},
    {&TKeyboardWedge::GetErrorReplacement, &TKeyboardWedge::SetErrorReplacement},
    {&TKeyboardWedge::GetParityChecking, &TKeyboardWedge::SetParityChecking},
    {&TKeyboardWedge::GetXonXoff_In, &TKeyboardWedge::SetXonXoff_In},
    {&TKeyboardWedge::GetXonXoff_Out, &TKeyboardWedge::SetXonXoff_Out},
};
static_assert(std::size(OptionAccess) == kwFilterCtrlChars);

}  // namespace

TDCBOptions TKeyboardWedge::GetOptions() const {
  for (int i = 0; i < kwFilterCtrlChars; ++i) {
    const auto e = static_cast<TDCBOption>(i);
    if ((this->*OptionAccess[i].Get)()) FOptions.Include(e);
    else FOptions.Exclude(e);
  }
  return FOptions;
}

void TKeyboardWedge::SetOptions(TDCBOptions Value) {
  for (int i = 0; i < kwFilterCtrlChars; ++i) {
    const auto e = static_cast<TDCBOption>(i);
    if (Value.Contains(e) != FOptions.Contains(e)) (this->*OptionAccess[i].Set)(Value.Contains(e));
  }
  FOptions = Value;
}

}  // namespace tolvane
