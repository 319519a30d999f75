// The Code 128 encoder: the start set, the symbol strings with their set
// switches, the check character, the modules painted (read back from the
// pixels), where drawing stops, the brush it leaves; and symbols drawn the
// way the component draws them, read back by two independent decoders.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "BarcodeDef.h"
#include "Decoders.h"
#include "RecordingCanvas.h"

namespace tolvane {
namespace {

using test::TRecordingCanvas;
using test::TrimmedModuleString;

// Symbol values of the fixed characters (ISO/IEC 15417).
constexpr int Fnc3 = 96, CodeC = 99, CodeB = 100, CodeA = 101, Fnc1 = 102;
constexpr int StartA = 103, StartB = 104, StartC = 105, Stop = 106;

// The set-B value of a printable character, and the set-A value of a control.
constexpr int B(char C) { return C - 32; }
constexpr int Ctl(int Code) { return Code + 64; }

// A symbol string from symbol values: each value as the character value + 32.
std::string Sym(std::initializer_list<int> Values) {
  std::string S;
  for (int V : Values) S.push_back(static_cast<char>(V + 32));
  return S;
}

std::string Bytes(const char* Data, std::size_t Size) { return std::string(Data, Size); }

// Without the light modules at the right end, as TrimmedModuleString reads.
std::string Trimmed(std::string Modules) {
  Modules.erase(Modules.find_last_not_of('0') + 1);
  return Modules;
}

// ---- Start set -------------------------------------------------------------------

TEST(Code128StartCode, FourDigitsGiveCAControlCharacterGivesA) {
  const struct {
    const char* Why;
    std::string Text;
    char Set;
  } Cases[] = {
      {"four digits open the text", "1234", 'C'},
      {"more digits, then letters: only the first four count", "12345ABC", 'C'},
      {"three digits are too few", "123", 'B'},
      {"a letter among the first four", "123A5", 'B'},
      {"digits later do not count", "A1234", 'B'},
      {"empty text", "", 'B'},
      {"a control character first, not last", "\tA", 'A'},
      {"a control character alone is also the last: B", "\t", 'B'},
      {"a control character at the end: B", "AB\x1F", 'B'},
      {"a control character followed by a lower-case letter", "A\tb", 'A'},
      {"followed by a capital: B", "A\tB", 'B'},
      {"the first control before a lower-case letter decides, not the first control", "A\t\tb", 'A'},
      {"A overrides C", "1234\tb", 'A'},
      {"NUL is a control character too", Bytes("\0a", 2), 'A'},
      {"129 is not a control character (no signed char)", "\x81" "a", 'B'},
      {"nor is 255 before a lower-case letter", "A\xFF" "a", 'B'},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(Get_128_StartCode(C.Text), C.Set);
  }
}

// ---- Symbol strings ---------------------------------------------------------------

struct TSymbolCase {
  const char* Why;
  std::string Text;
  std::string Symbol;  // start, data and switches, check, stop
};

// Each check value was summed by hand: start weighted 1, the n-th character
// after it weighted n, modulo 103 (for 1234: 105 + 12 + 34 x 2 = 185 -> 82).
TEST(Code128SymbolString, SwitchesSetsAsTheTextGoesOn) {
  const TSymbolCase Cases[] = {
      // The rows the symbology's description gives.
      {"1234: Start C, 12, 34, check 82, Stop", "1234", Sym({StartC, 12, 34, 82, Stop})},
      {"12345: the lone digit after the pairs goes into set B", "12345",
       Sym({StartC, 12, 34, CodeB, B('5'), 54, Stop})},
      {"12345A: digits never pair with a letter", "12345A",
       Sym({StartC, 12, 34, CodeB, B('5'), B('A'), 13, Stop})},
      {"A12345B: an odd run gives its first digit to set B", "A12345B",
       Sym({StartB, B('A'), B('1'), CodeC, 23, 45, CodeB, B('B'), 78, Stop})},
      {"ABC123: a run of three stays in set B", "ABC123",
       Sym({StartB, B('A'), B('B'), B('C'), B('1'), B('2'), B('3'), 67, Stop})},
      {"abc: check (104 + 65 + 132 + 201) mod 103 = 90, code 122", "abc",
       Sym({StartB, B('a'), B('b'), B('c'), 90, Stop})},
      {"one character: Start B, it, check, Stop", "X", Sym({StartB, B('X'), 57, Stop})},
      {"code 134 passes through as FNC1", "A\x86" "B", Sym({StartB, B('A'), Fnc1, B('B'), 31, Stop})},
      // Further paths through the rules.
      {"an even run from the start stays in set C", "123456", Sym({StartC, 12, 34, 56, 44, Stop})},
      {"a letter after the pairs: Code B", "1234A", Sym({StartC, 12, 34, CodeB, B('A'), 102, Stop})},
      {"an even run at the end of the text", "A1234", Sym({StartB, B('A'), CodeC, 12, 34, 95, Stop})},
      {"an odd run of five at the end", "A12345", Sym({StartB, B('A'), B('1'), CodeC, 23, 45, 64, Stop})},
      {"runs of 1, 2 and 3 stay in B; the run of 4 goes to C and back", "A1B22C333D4444E",
       Sym({StartB, B('A'), B('1'), B('B'), B('2'), B('2'), B('C'), B('3'), B('3'), B('3'), B('D'),
            CodeC, 44, 44, CodeB, B('E'), 43, Stop})},
      {"DEL is set B's value 95; 128 (FNC3) and 138 (Stop) pass through", "\x7F\x80\x8A",
       Sym({StartB, 95, Fnc3, Stop, 91, Stop})},
      // Set A: only unfiltered text has control characters.
      {"a control first: Start A, HT as 9 + 64; a digit stays in set A", "\t1",
       Sym({StartA, Ctl(9), B('1'), 4, Stop})},
      {"set B to A before a control, back to B before a code above 63", "A\tB",
       Sym({StartB, B('A'), CodeA, Ctl(9), CodeB, B('B'), 98, Stop})},
      {"a lower-case letter after a leading control: Code B", "\ta",
       Sym({StartA, Ctl(9), CodeB, B('a'), 56, Stop})},
      {"A overrides C: the digits go in set A one by one", "1234\tb",
       Sym({StartA, B('1'), B('2'), B('3'), B('4'), Ctl(9), CodeB, B('b'), 72, Stop})},
      {"a control as the last character: Code A before it", "ABC\x1F",
       Sym({StartB, B('A'), B('B'), B('C'), CodeA, Ctl(31), 56, Stop})},
      // Our choice: a set chosen for a character that has no value in it
      // gives way to the other of A and B.
      {"a single control character: Start A instead of B", "\t", Sym({StartA, Ctl(9), 73, Stop})},
      {"a single NUL likewise", Bytes("\0", 1), Sym({StartA, Ctl(0), 64, Stop})},
      {"a lone control after the pairs: Code A instead of Code B", "1234\t",
       Sym({StartC, 12, 34, CodeA, Ctl(9), 59, Stop})},
      {"'a' first where a later control chose set A: Start B instead", "a\tb",
       Sym({StartB, B('a'), CodeA, Ctl(9), CodeB, B('b'), 84, Stop})},
      {"'a' after the pairs where the rest starts in set A: Code B instead", "A1234a\tb",
       Sym({StartA, B('A'), CodeC, 12, 34, CodeB, B('a'), CodeA, Ctl(9), CodeB, B('b'), 24, Stop})},
      // Unfiltered bytes above 138 are copied like any other character.
      {"code 200 is copied as itself (value 168)", "A\xC8" "B", Sym({StartB, B('A'), 168, B('B'), 60, Stop})},
      {"empty text: Start B, the check 104 mod 103 = 1, Stop", "", Sym({StartB, 1, Stop})},
  };
  for (const TSymbolCase& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(Optimize_128_bc(C.Text), C.Symbol);
  }
}

TEST(Code128CheckDigit, WeightsEachCharacterByItsPlaceModulo103) {
  std::string StartAndOnes = Sym({StartB});
  StartAndOnes.append(103, '!');  // value 1 weighted 1..103
  const struct {
    const char* Why;
    std::string Symbol;
    char Check;
  } Cases[] = {
      {"empty: value 0", "", ' '},
      {"Start C 12 34: 185 mod 103 = 82", Sym({StartC, 12, 34}), Sym({82})[0]},
      {"Start B a b c: 502 mod 103 = 90", Sym({StartB, B('a'), B('b'), B('c')}), 'z'},
      {"weights past 103: 104 + 103 x 104 / 2 = 5460 -> 1", StartAndOnes, Sym({1})[0]},
      {"a lone start character is reduced too: 104 -> 1", Sym({StartB}), Sym({1})[0]},
      {"our choice: a negative value (code 1) still gives 0..102: -31 -> 72", Sym({0, -31}),
       Sym({72})[0]},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(Code128_Check_Digit(C.Symbol), C.Check);
  }
}

// ---- Drawing ---------------------------------------------------------------------

// Module strings of single symbol characters, from the symbology's table.
const std::string StartBModules = "11010010000";
const std::string StopModules = "1100011101011";

// Draws at an offset from the canvas edge so that a wrong start shows.
class Code128Encoder : public ::testing::Test {
protected:
  static constexpr std::int32_t X = 7, Y = 2, BarHeight = 5;
  static constexpr std::int32_t CanvasWidth = 900, CanvasHeight = 10;
  TRecordingCanvas Canvas{CanvasWidth, CanvasHeight};

  // Draws on a fresh white bitmap and reads the modules back from row Y.
  std::string Draw(const std::string& Text, std::int32_t Scale) {
    Canvas.Bitmap().SetSize(0, 0);
    Canvas.Bitmap().SetSize(CanvasWidth, CanvasHeight);
    Canvas.ClearLog();
    BarcodeCode128(&Canvas, X, Y, BarHeight, Scale, Text);
    return TrimmedModuleString(Canvas.Bitmap(), Y, X, Scale);
  }
};

struct TModuleCase {
  const char* Why;
  std::string Text;
  std::string Modules;  // right-hand light modules trimmed
};

TEST_F(Code128Encoder, PaintsElevenModulesACharacterAndThirteenForTheStop) {
  const std::string OneA = Draw("A", 1);
  ASSERT_EQ(OneA.size(), 11u * 3 + 13);
  const TModuleCase Cases[] = {
      {"1234: Start C, 12, 34, check 82, Stop as the description writes them, 57 modules", "1234",
       "11010011100" "10110011100" "10001011000" "10010011110" "1100011101011"},
      {"FNC1 (code 134): Start B, FNC1, check (104 + 102) mod 103 = 0, Stop", "\x86",
       StartBModules + "11110101110" "11011001100" + StopModules},
      // A character without a symbol value ends the drawing: no check, no stop.
      {"code 200 after A: Start B and A, as in the symbol of A", "A\xC8" "B", Trimmed(OneA.substr(0, 22))},
      {"code 139, one past the last value", "A\x8B", Trimmed(OneA.substr(0, 22))},
      {"code 200 first: Start B alone", "\xC8", Trimmed(StartBModules)},
  };
  for (const TModuleCase& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(Draw(C.Text, 1), C.Modules);
    EXPECT_EQ(Draw(C.Text, 2), C.Modules);  // the same modules, two pixels each
  }
}

// Scale 3: one Scale-wide rectangle per dark module (a wide bar is several
// side by side), within rows Y..Y+Height-1, and nothing else drawn.
TEST_F(Code128Encoder, DrawsOneScaleWideRectanglePerDarkModule) {
  constexpr std::int32_t Scale = 3;
  const std::string Modules = Draw("1234", Scale);
  ASSERT_EQ(Modules.size(), 57u);
  std::vector<test::TRectangleCall> Expected;
  for (std::size_t K = 0; K < Modules.size(); ++K)
    if (Modules[K] == '1')
      Expected.push_back({X + static_cast<std::int32_t>(K) * Scale, Y,
                          X + static_cast<std::int32_t>(K + 1) * Scale, Y + BarHeight, vcl::clBlack,
                          vcl::bsSolid});
  EXPECT_EQ(Canvas.Rectangles, Expected);
  EXPECT_EQ(Canvas.DrawCalls(), Canvas.Rectangles.size());
  EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y - 1, 0, 1), "");
  EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y + BarHeight, 0, 1), "");
}

// ---- Decoding ----------------------------------------------------------------------

constexpr std::int32_t SymbolHeight = 60;

// Sizes a white bitmap by CalcWidth and draws Text through CreateBC, without
// the line, as the component does after filtering; checks that the symbol
// ends 10 light modules before the right edge. Returns the PNG's file name.
std::string RenderCode128(const std::string& Text, std::int32_t Scale, const std::string& Name) {
  const std::int32_t Width = CalcWidth(Scale, bcCode128, Text);
  TRecordingCanvas Canvas(Width, SymbolHeight);
  CreateBC(&Canvas, vcl::clWhite, bcCode128, Scale, SymbolHeight, Width, Text, false);
  const std::string Row = test::ModuleString(Canvas.Bitmap(), 0, 0, Scale);
  EXPECT_EQ(Row.find_last_of('1'), Row.size() - 11) << "the stop's last bar, then 10 light modules";
  EXPECT_EQ(Row.find('1'), 10u);
  const std::string File = test::TestTempDir() + "/" + Name + ".png";
  Canvas.Bitmap().SaveToFile(File);
  return File;
}

struct TDecodeCase {
  const char* Name;  // for the file and the test name
  std::string Text;
  bool Filter;  // through FilterBCText first, as the component does
};
void PrintTo(const TDecodeCase& C, std::ostream* Out) { *Out << C.Name << " \"" << C.Text << '"'; }

// Measured: zbarimg and ZXingReader both give back exactly the text, the
// check character left out, across every set switch below. The unfiltered
// rows carry control characters, drawn directly (CreateBC does not filter),
// and show that our choices for a set that cannot carry a character make
// symbols both decoders read back to the original control characters.
const TDecodeCase DecodeCases[] = {
    {"StartC", "1234", true},                     // Start C, pairs only
    {"LoneDigit", "0123456789012", true},         // Start C, the 13th digit in set B
    {"OddRunInside", "A12345B", true},            // B, C, B
    {"ShortRun", "ABC123", true},                 // set B throughout
    {"Runs", "a1b22c333d4444e55555f", true},      // runs of every length up to 5
    {"MixedCase", "Hello, World!", true},
    {"Punctuation", " !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~", true},
    {"OneCharacter", "x", true},
    {"TabDropped", "TAB\there", true},            // the filter drops the TAB
    {"SingleControl", "\t", false},               // our choice: Start A
    {"ControlAfterPairs", "1234\t", false},       // our choice: Code A after set C
    {"LowerCaseBeforeControl", "A1234a\tb", false},  // our choice: Code B after set C
};

class Code128Decode : public ::testing::TestWithParam<TDecodeCase> {};

// zbar reads reliably from 2 pixels a module, ZXing from 1.
TEST_P(Code128Decode, DecodersReadBackTheText) {
  const TDecodeCase& C = GetParam();
  const std::string Text = C.Filter ? FilterBCText(bcCode128, C.Text) : C.Text;
  for (std::int32_t Scale : {1, 2}) {
    const std::string Name = std::string("code128_") + C.Name + "_s" + std::to_string(Scale);
    SCOPED_TRACE(Name);
    const std::string File = RenderCode128(Text, Scale, Name);

    const test::TDecodeResult ZXing = test::DecodeWithZXing(File);
    EXPECT_TRUE(ZXing.Ok) << ZXing.Output;
    EXPECT_EQ(ZXing.Symbols, 1);
    EXPECT_EQ(ZXing.Format, "Code128");
    EXPECT_EQ(ZXing.Text, Text);
    if (Scale != 2) continue;
    const test::TDecodeResult Zbar = test::DecodeWithZbar(File);
    EXPECT_TRUE(Zbar.Ok) << Zbar.Output;
    EXPECT_EQ(Zbar.Symbols, 1);
    EXPECT_EQ(Zbar.Text, Text);
  }
}

INSTANTIATE_TEST_SUITE_P(Code128Texts, Code128Decode, ::testing::ValuesIn(DecodeCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace tolvane
