// The keyboard wedge on real pseudo-terminals: bytes written on the master
// side must reach the focused control as WM_CHAR messages.

#include <gtest/gtest.h>

#include <chrono>
#include <dirent.h>
#include <memory>
#include <string>
#include <vector>

#include <vcl/Forms.h>
#include <vcl/Serial.h>

#include "KeyboardWedge.h"
#include "PtyPair.h"

namespace {

using namespace tolvane;
using namespace std::chrono_literals;
using tolvane::test::PtyPair;
using Clock = std::chrono::steady_clock;

// A focused control that records the WM_CHAR messages it receives.
class TRecorder : public vcl::TWinControl {
public:
  using vcl::TWinControl::TWinControl;
  struct Key {
    vcl::WPARAM Code;
    vcl::LPARAM LParam;
    bool operator==(const Key&) const = default;
  };
  std::vector<Key> Keys;
  std::string Text() const {
    std::string s;
    for (const Key& k : Keys) s += static_cast<char>(k.Code);
    return s;
  }
  void WndProc(vcl::TMessage& M) override {
    if (M.Msg == vcl::WM_CHAR) Keys.push_back({M.WParam, M.LParam});
    vcl::TWinControl::WndProc(M);
  }
};

// Runs the message loop until Done holds or two seconds pass.
template <class Pred>
bool PumpUntil(Pred Done) {
  const auto end = Clock::now() + 2s;
  while (!Done()) {
    if (Clock::now() > end) return false;
    vcl::Application().WaitMessage(20);
    vcl::Application().ProcessMessages();
  }
  return true;
}

// Runs the message loop for a while (to see that nothing more arrives).
void PumpFor(std::chrono::milliseconds Span) {
  const auto end = Clock::now() + Span;
  while (Clock::now() < end) {
    vcl::Application().WaitMessage(10);
    vcl::Application().ProcessMessages();
  }
}

int ThreadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}

bool PortIsFree(const std::string& Port) {
  const vcl::THandle h = vcl::FileOpen(Port, vcl::fmOpenRead);
  vcl::FileClose(h);
  return h != vcl::INVALID_HANDLE_VALUE;
}

class WedgeTest : public ::testing::Test {
protected:
  void SetUp() override {
    Focused.SetFocus();
    Wedge->SetPort(Pty.Port());
  }
  void TearDown() override { vcl::Screen().SetActiveControl(nullptr); }

  PtyPair Pty;
  TRecorder Focused{nullptr};
  std::unique_ptr<TKeyboardWedge> Wedge = std::make_unique<TKeyboardWedge>(nullptr);
};

TEST_F(WedgeTest, DeliversBytesInOrderUnderTheFilterRules) {
  const std::string controls("\x09\x1B\x02\x0A\x0D\x20\x7F\x80\xFF", 9);
  struct Row {
    const char* What;
    bool Filter;
    std::string Sent, Delivered;
  } rows[] = {
      {"a letter and a carriage return", false, "A\r", "A\r"},
      {"0x00 is never delivered, the bytes around it are", false, std::string("x\0y", 3), "xy"},
      {"0x00 with the filter on", true, std::string("x\0y", 3), "xy"},
      {"without the filter every other byte passes unchanged", false, controls, controls},
      {"the filter keeps LF, CR and 0x20..0x7F", true, controls, "\x0A\x0D\x20\x7F"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.What);
    Focused.Keys.clear();
    TDCBOptions opts = Wedge->GetOptions();
    if (r.Filter) opts.Include(kwFilterCtrlChars);
    else opts.Exclude(kwFilterCtrlChars);
    Wedge->SetOptions(opts);
    Wedge->SetActive(true);
    Pty.Write(r.Sent + "!");   // a closing marker, so the wait knows when all has arrived
    ASSERT_TRUE(PumpUntil([&] { return !Focused.Keys.empty() && Focused.Keys.back().Code == '!'; }));
    Wedge->SetActive(false);
    EXPECT_EQ(Focused.Text(), r.Delivered + "!");
    for (const TRecorder::Key& k : Focused.Keys) EXPECT_EQ(k.LParam, 0);
  }
}

TEST_F(WedgeTest, EachCharacterGoesToTheControlFocusedAtTheTime) {
  TRecorder other(nullptr);
  Wedge->SetActive(true);
  Pty.Write("a");
  ASSERT_TRUE(PumpUntil([&] { return Focused.Keys.size() == 1; }));
  other.SetFocus();
  Pty.Write("b");
  ASSERT_TRUE(PumpUntil([&] { return other.Keys.size() == 1; }));
  // With nothing focused the character has nowhere to go and is dropped.
  vcl::Screen().SetActiveControl(nullptr);
  Pty.Write("c");
  PumpFor(300ms);
  Focused.SetFocus();
  Pty.Write("d");
  ASSERT_TRUE(PumpUntil([&] { return Focused.Keys.size() == 2; }));
  Wedge->SetActive(false);
  EXPECT_EQ(Focused.Text(), "ad");
  EXPECT_EQ(other.Text(), "b");
}

TEST_F(WedgeTest, ActivationRunsOneReaderAndDeactivationReleasesThePort) {
  const int before = ThreadCount();
  Wedge->SetActive(false);   // deactivating an inactive wedge does nothing
  EXPECT_FALSE(Wedge->GetActive());
  Wedge->SetActive(true);
  Wedge->SetActive(true);
  EXPECT_TRUE(Wedge->GetActive());
  EXPECT_EQ(ThreadCount(), before + 1);
  Pty.Write("z");
  ASSERT_TRUE(PumpUntil([&] { return Focused.Keys.size() == 1; }));
  EXPECT_FALSE(PortIsFree(Pty.Port())) << "the reader holds the port exclusively";
  Wedge->SetActive(false);
  EXPECT_FALSE(Wedge->GetActive());
  EXPECT_TRUE(PortIsFree(Pty.Port()));
  EXPECT_TRUE(PumpUntil([&] { return ThreadCount() == before; }));
}

TEST_F(WedgeTest, DestroyingAnActiveWedgeStopsItsReaderFirst) {
  const int before = ThreadCount();
  Wedge->SetActive(true);
  Pty.Write("q");
  ASSERT_TRUE(PumpUntil([&] { return Focused.Keys.size() == 1; }));
  Wedge.reset();
  EXPECT_TRUE(PortIsFree(Pty.Port()));
  EXPECT_TRUE(PumpUntil([&] { return ThreadCount() == before; }));
}

TEST_F(WedgeTest, MissingPortKeepsPollingUntilDeactivated) {
  Wedge->SetPort("/dev/tolvane-no-such-port");
  Wedge->SetActive(true);
  PumpFor(250ms);
  EXPECT_TRUE(Wedge->GetActive());
  const auto start = Clock::now();
  Wedge->SetActive(false);
  EXPECT_FALSE(Wedge->GetActive());
  // At most one polling pause; the bound only catches a hang.
  EXPECT_LT(Clock::now() - start, 2s);
}

TEST_F(WedgeTest, FarSideClosingMidStreamDoesNotMakeTheReaderSpin) {
  Wedge->SetActive(true);
  Pty.Write("ab");
  ASSERT_TRUE(PumpUntil([&] { return Focused.Keys.size() == 2; }));
  Pty.CloseMaster();
  const double cpu = tolvane::test::ProcessCpuMs();
  PumpFor(500ms);
  // A reader that spun on the hung-up port would burn the whole half second.
  EXPECT_LT(tolvane::test::ProcessCpuMs() - cpu, 150.0);
  EXPECT_TRUE(Wedge->GetActive());
  Wedge->SetActive(false);
  EXPECT_FALSE(Wedge->GetActive());
  EXPECT_EQ(Focused.Text(), "ab");
}

// ---- Settings ---------------------------------------------------------------

TEST(WedgeSettingsTest, WordsAndCharacterFormsFollowTheirTables) {
  // No port: every change stays in the component's record.
  TKeyboardWedge w(nullptr);
  w.SetPort("/dev/tolvane-no-such-port");
  struct Row {
    void (TKeyboardWedge::*Set)(const std::string&);
    std::string (TKeyboardWedge::*Get)() const;
    const char* Written;
    const char* ReadBack;
  } rows[] = {
      {&TKeyboardWedge::SetParity, &TKeyboardWedge::GetParity, "Even", "Even"},
      {&TKeyboardWedge::SetParity, &TKeyboardWedge::GetParity, "Space", "Space"},
      {&TKeyboardWedge::SetParity, &TKeyboardWedge::GetParity, "even", "None"},   // case-sensitive
      {&TKeyboardWedge::SetParity, &TKeyboardWedge::GetParity, "", "None"},
      {&TKeyboardWedge::SetDTRControl, &TKeyboardWedge::GetDTRControl, "Disable", "Disable"},
      {&TKeyboardWedge::SetDTRControl, &TKeyboardWedge::GetDTRControl, "Toggle", "Handshake"},  // no toggle for DTR
      {&TKeyboardWedge::SetRTSControl, &TKeyboardWedge::GetRTSControl, "Handshake", "Handshake"},
      {&TKeyboardWedge::SetRTSControl, &TKeyboardWedge::GetRTSControl, "toggle", "Toggle"},  // unmatched: toggle
      {&TKeyboardWedge::SetRTSControl, &TKeyboardWedge::GetRTSControl, "Enable", "Enable"},
      // "#" form: the digits of the text count; nothing usable keeps the value.
      {&TKeyboardWedge::SetXOnChar, &TKeyboardWedge::GetXOnChar, "#17", "#17"},
      {&TKeyboardWedge::SetXOnChar, &TKeyboardWedge::GetXOnChar, "#", "#17"},
      {&TKeyboardWedge::SetXOnChar, &TKeyboardWedge::GetXOnChar, "abc", "#17"},
      {&TKeyboardWedge::SetXOnChar, &TKeyboardWedge::GetXOnChar, "#300", "#17"},
      {&TKeyboardWedge::SetXOnChar, &TKeyboardWedge::GetXOnChar, "#99999999999", "#17"},
      {&TKeyboardWedge::SetXOnChar, &TKeyboardWedge::GetXOnChar, "1x9", "#19"},
      {&TKeyboardWedge::SetXOnChar, &TKeyboardWedge::GetXOnChar, "-0x13", "#13"},   // sign and prefix dropped
      {&TKeyboardWedge::SetXOffChar, &TKeyboardWedge::GetXOffChar, "19", "#19"},
      {&TKeyboardWedge::SetErrorReplacementChar, &TKeyboardWedge::GetErrorReplacementChar, "#255", "#255"},
  };
  for (const Row& r : rows) {
    (w.*r.Set)(r.Written);
    EXPECT_EQ((w.*r.Get)(), r.ReadBack) << "written: '" << r.Written << "'";
  }
  w.SetBaudRate(9600);
  EXPECT_EQ(w.GetBaudRate(), 9600);
  w.SetStopBits(sbONE5STOPBITS);
  EXPECT_EQ(w.GetStopBits(), sbONE5STOPBITS);
  w.SetStopBits(static_cast<TStopBits>(7));   // anything else is two
  EXPECT_EQ(w.GetDCB().StopBits, 2);
  w.SetByteSize(0x107);                       // the low 8 bits
  EXPECT_EQ(w.GetByteSize(), 7);
}

TEST(WedgeSettingsTest, FreshComponentReadsCom1AndEmptyOptions) {
  TKeyboardWedge w(nullptr);
  EXPECT_EQ(w.GetPort(), "COM1");
  EXPECT_FALSE(w.GetActive());
  EXPECT_EQ(w.GetDCB().DCBlength, 28u);
  EXPECT_FALSE(w.GetOptions().Contains(kwFilterCtrlChars));
}

TEST(WedgeSettingsTest, PortRefusalIsReadBackAndFilterLivesOnlyInTheOptions) {
  PtyPair pty;
  TKeyboardWedge w(nullptr);
  w.SetPort(pty.Port());
  w.SetBaudRate(19200);
  EXPECT_EQ(w.GetBaudRate(), 19200);
  // A pseudo-terminal keeps 8 data bits whatever is asked: the refused
  // change is dropped and the record shows what the port holds.
  w.SetByteSize(7);
  EXPECT_EQ(w.GetByteSize(), 8);
  // The port flags come from the record; the filter only from the set.
  const TDCBOptions portFlags = w.GetOptions();
  w.SetOptions(TDCBOptions(portFlags).Include(kwFilterCtrlChars));
  EXPECT_EQ(w.GetOptions(), TDCBOptions(portFlags).Include(kwFilterCtrlChars));
  w.SetXonXoff_In(true);
  EXPECT_TRUE(w.GetOptions().Contains(kwXonXoff_In));
  EXPECT_TRUE(w.GetOptions().Contains(kwFilterCtrlChars));
}

TEST_F(WedgeTest, SettingsKeepTheWedgeActiveExceptPort) {
  Wedge->SetActive(true);
  Wedge->SetBaudRate(4800);
  EXPECT_TRUE(Wedge->GetActive());
  Wedge->SetParity("None");
  EXPECT_TRUE(Wedge->GetActive());
  Pty.Write("k");
  ASSERT_TRUE(PumpUntil([&] { return Focused.Keys.size() == 1; }));
  // The filter alone restarts nothing: the running reader still delivers a
  // tab, and only the next restart (any other setting) picks the filter up.
  Wedge->SetOptions(Wedge->GetOptions().Include(kwFilterCtrlChars));
  Pty.Write("\t");
  ASSERT_TRUE(PumpUntil([&] { return Focused.Keys.size() == 2; }));
  Wedge->SetBaudRate(9600);
  Pty.Write("\tm");
  ASSERT_TRUE(PumpUntil([&] { return Focused.Keys.size() == 3; }));
  EXPECT_EQ(Focused.Text(), "k\tm");
  Wedge->SetPort(Pty.Port());
  EXPECT_FALSE(Wedge->GetActive());
}

TEST(WedgeStoredFormTest, PortIsAppliedAfterTheSettingsBeforeIt) {
  PtyPair pty;
  TKeyboardWedge probe(nullptr);
  probe.SetPort(pty.Port());
  probe.SetBaudRate(38400);
  probe.SetStopBits(sbONESTOPBIT);
  const std::string text = "object Wedge1: TKeyboardWedge\n"
                           "  Active = True\n"
                           "  BaudRate = 4800\n"
                           "  Port = '" + pty.Port() + "'\n"
                           "  StopBits = sbTWOSTOPBITS\n"
                           "end\n";
  vcl::RegisterClass(&TKeyboardWedge::ClassInfo);
  std::unique_ptr<vcl::TComponent> c(vcl::ReadComponentText(text, nullptr));
  auto* w = vcl::As<TKeyboardWedge>(c.get());
  // Active and BaudRate went to COM1; Port then re-read the record from the
  // pty and left the wedge inactive; StopBits reached the pty.
  EXPECT_FALSE(w->GetActive());
  EXPECT_EQ(w->GetPort(), pty.Port());
  EXPECT_EQ(w->GetBaudRate(), 38400);
  EXPECT_EQ(w->GetStopBits(), sbTWOSTOPBITS);
  probe.SetPort(pty.Port());
  EXPECT_EQ(probe.GetStopBits(), sbTWOSTOPBITS);

  // Written back, every published setting is stored in declaration order.
  const std::string written = vcl::WriteComponentText(*w);
  const char* order[] = {"Active", "BaudRate", "DTRControl", "Options", "Parity", "Port",
                         "RTSControl", "StopBits", "ByteSize"};
  std::size_t at = 0;
  for (const char* name : order) {
    const std::size_t p = written.find(std::string("  ") + name + " = ");
    ASSERT_NE(p, std::string::npos) << name << " in\n" << written;
    EXPECT_GT(p, at) << name;
    at = p;
  }
  vcl::UnRegisterClass(&TKeyboardWedge::ClassInfo);
}

}  // namespace
