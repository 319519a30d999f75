// The Interleaved 2 of 5 encoder: the modules it paints (read back from the
// pixels), the rectangles it asks for (one per bar, of the bar's full width),
// where it stops, the brush it leaves; and symbols drawn the way the component
// draws them, read back by two independent decoders.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "BarcodeDef.h"
#include "Decoders.h"
#include "RecordingCanvas.h"
#include "RenderSymbol.h"

namespace tolvane {
namespace {

using test::TRecordingCanvas;
using test::TrimmedModuleString;

// The published digit widths, bar or space order, N narrow and W wide:
// written out here independently of BC_Int2of5's bits.
const char* const DigitWidths[10] = {
    "NNWWN", "WNNNW", "NWNNW", "WWNNN", "NNWNW",  // 0..4
    "WNWNN", "NWWNN", "NNNWW", "WNNWN", "NWNWN",  // 5..9
};
const std::string Start = "1010";
const std::string Stop = "11101";

// The 18 modules of a pair: bars in the widths of Bars, spaces in those of
// Spaces, narrow one module, wide three.
std::string Pair(const std::string& Bars, const std::string& Spaces) {
  std::string Modules;
  for (std::size_t K = 0; K < 5; ++K) {
    Modules += Bars[K] == 'W' ? "111" : "1";
    Modules += Spaces[K] == 'W' ? "000" : "0";
  }
  return Modules;
}

// The pairs of an even digit string.
std::string Pairs(const std::string& Digits) {
  std::string Modules;
  for (std::size_t P = 0; P + 1 < Digits.size(); P += 2)
    Modules += Pair(DigitWidths[Digits[P] - '0'], DigitWidths[Digits[P + 1] - '0']);
  return Modules;
}

// A whole symbol of an even digit string.
std::string Symbol(const std::string& Digits) { return Start + Pairs(Digits) + Stop; }

// Without the light modules at the right end, as TrimmedModuleString reads.
std::string Trimmed(std::string Modules) {
  Modules.erase(Modules.find_last_not_of('0') + 1);
  return Modules;
}

// Draws at an offset from the canvas edge so that a wrong start shows.
class Int2of5Encoder : public ::testing::Test {
protected:
  static constexpr std::int32_t X = 7, Y = 2, BarHeight = 5;
  static constexpr std::int32_t CanvasWidth = 600, CanvasHeight = 10;
  TRecordingCanvas Canvas{CanvasWidth, CanvasHeight};

  // Draws on a fresh white bitmap and reads the modules back from row Y.
  std::string Draw(const std::string& Text, std::int32_t Scale) {
    Canvas.Bitmap().SetSize(0, 0);
    Canvas.Bitmap().SetSize(CanvasWidth, CanvasHeight);
    Canvas.ClearLog();
    BarcodeInt2of5(&Canvas, X, Y, BarHeight, Scale, Text);
    return TrimmedModuleString(Canvas.Bitmap(), Y, X, Scale);
  }
};

struct TModuleCase {
  const char* Why;
  std::string Text;
  std::string Modules;  // right-hand light modules trimmed
};

TEST_F(Int2of5Encoder, PaintsStartPairsStop) {
  const TModuleCase Cases[] = {
      {"12 worked by hand: start, bars WNNNW of 1 and spaces NWNNW of 2, stop", "12",
       "1010" "111010001010111000" "11101"},
      {"odd count: 123 is drawn as 0123", "123", Symbol("0123")},
      {"every digit as bars (0 2 4 6 8) and as spaces (1 3 5 7 9)", "0123456789",
       Symbol("0123456789")},
      {"every digit in the other role", "1032547698", Symbol("1032547698")},
      {"a single digit gets its '0' pad", "7", Symbol("07")},
      {"empty text called directly: start and stop only", "", Start + Stop},
      // A character outside '/'..':' ends the drawing at its pair: no stop.
      {"letter in the second pair", "12A4", Trimmed(Start + Pair(DigitWidths[1], DigitWidths[2]))},
      {"letter as the second digit of the first pair", "1A", Trimmed(Start)},
      {"'.' (46) is one below '/'", ".1", Trimmed(Start)},
      {"';' (59) is one above ':', padded to 0;", ";", Trimmed(Start)},
      {"code 177 ('1' + 128, a negative char)", "1\xB1", Trimmed(Start)},
      // The markers inside the text are drawn by the same rules (see the
      // encoder): a marker at the start of a pair draws its pattern, one in
      // the second place lends its byte as space widths.
      {"'/' second in a pair: 0xA0 as spaces, WNWNN", "1/", Start + Pair(DigitWidths[1], "WNWNN") + Stop},
      {"':' padded to 0:, 0xE8 as spaces WWWNW, then the real stop", ":",
       Start + Pair(DigitWidths[0], "WWWNW") + Stop},
      {"'/' first: a second start pattern, pairing shifted, the final ':' taken as spaces",
       "/1", Trimmed(Start + Start + Pair(DigitWidths[1], "WWWNW"))},
      {"':' first in a pair: the stop pattern mid-symbol", "12:3",
       Trimmed(Start + Pair(DigitWidths[1], DigitWidths[2]) + Stop + Pair(DigitWidths[3], "WWWNW"))},
  };
  for (const TModuleCase& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(Draw(C.Text, 1), C.Modules);
    EXPECT_EQ(Draw(C.Text, 2), C.Modules);  // the same modules, two pixels each
  }
}

// Scale 2, text 12: a pair's bar is one rectangle of its full width (6 pixels
// wide, 2 narrow), while the start and stop patterns go module by module, so
// the stop's wide bar is three 2-pixel rectangles. Bars fill rows Y..Y+4.
TEST_F(Int2of5Encoder, DrawsEachPairBarAsOneRectangle) {
  constexpr std::int32_t Scale = 2;
  ASSERT_EQ(Draw("12", Scale), "1010" "111010001010111000" "11101");
  // [first module, modules] of each rectangle, from the module string above.
  const int Spans[][2] = {
      {0, 1}, {2, 1},                                     // start
      {4, 3}, {8, 1}, {12, 1}, {14, 1}, {16, 3},          // bars of '1', WNNNW
      {22, 1}, {23, 1}, {24, 1}, {26, 1},                 // stop, module by module
  };
  std::vector<test::TRectangleCall> Expected;
  for (const auto& S : Spans)
    Expected.push_back({X + S[0] * Scale, Y, X + (S[0] + S[1]) * Scale, Y + BarHeight, vcl::clBlack,
                        vcl::bsSolid});
  EXPECT_EQ(Canvas.Rectangles, Expected);
  EXPECT_EQ(Canvas.DrawCalls(), Canvas.Rectangles.size());
  EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y + BarHeight - 1, X, Scale), Draw("12", Scale));
  EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y - 1, 0, 1), "");
  EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y + BarHeight, 0, 1), "");
}

// Through the component's path the odd text 123 is drawn as 0123: 45
// modules filling exactly the 65 that CalcWidth gives less the two quiet zones.
TEST(Int2of5Frame, OddTextFillsTheWidthCalcWidthGives) {
  const std::string Texts[] = {"123", "1234"};
  for (const std::string& Text : Texts) {
    SCOPED_TRACE(Text);
    const std::int32_t Width = CalcWidth(1, bcInt2of5, Text);
    ASSERT_EQ(Width, 65);
    TRecordingCanvas Canvas(Width, 20);
    CreateBC(&Canvas, vcl::clWhite, bcInt2of5, 1, 20, Width, Text, false);
    const std::string Zone(10, '0');
    const std::string Digits = Text.size() % 2 ? "0" + Text : Text;
    EXPECT_EQ(test::ModuleString(Canvas.Bitmap(), 0, 0, 1), Zone + Symbol(Digits) + Zone);
  }
}

// ---- Decoding ------------------------------------------------------------------

constexpr std::int32_t SymbolHeight = 60;

// Filter, size by CalcWidth, paint white, CreateBC without the text line:
// the component's path. Returns the PNG's file name.
std::string Render(const std::string& Text, std::int32_t Scale, const std::string& Name) {
  return test::RenderSymbolPng(bcInt2of5, Text, Scale, SymbolHeight, false, Name);
}

struct TDecodeCase {
  const char* Name;      // for the file and the test name
  std::string Text;      // given to FilterBCText
  std::string Expected;  // what both decoders report: the digits drawn, pad included
};
void PrintTo(const TDecodeCase& C, std::ostream* Out) { *Out << C.Name << " \"" << C.Text << '"'; }

// Measured: zbarimg and ZXingReader both report the digits as drawn, so an
// odd count comes back with the leading '0' the encoder put in front.
// ZXingReader reads no Interleaved 2 of 5 under 6 digits, so the shorter
// rows are for zbarimg only (which needs -Si25.min-length=2 for them).
const TDecodeCase DecodeCases[] = {
    {"Two", "12", "12"},
    {"OddThree", "123", "0123"},
    {"Four", "9876", "9876"},
    {"OneDigit", "5", "05"},
    {"Six", "123456", "123456"},
    {"OddSeven", "1234567", "01234567"},
    {"AllDigits", "0123456789", "0123456789"},
    {"AllDigitsOtherRole", "1032547698", "1032547698"},
    {"Zeros", "00000000", "00000000"},
    {"Nines", "99999999", "99999999"},
    {"Long", "12345678901234567890123", "012345678901234567890123"},
    {"Filtered", "12-34 ab56", "123456"},  // FilterBCText keeps the digits only
};

class Int2of5Decode : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(Int2of5Decode, DecodersReadBackTheDigitsDrawn) {
  const TDecodeCase& C = GetParam();
  const bool ZXingReads = C.Expected.size() >= 6;
  const std::int32_t Scales[] = {2, 1};
  for (std::int32_t Scale : Scales) {
    const std::string Name = std::string("i2of5_") + C.Name + "_s" + std::to_string(Scale);
    SCOPED_TRACE(Name);
    const std::string File = Render(C.Text, Scale, Name);
    if (ZXingReads) {
      const test::TDecodeResult ZXing = test::DecodeWithZXing(File);
      EXPECT_TRUE(ZXing.Ok) << ZXing.Output;
      EXPECT_EQ(ZXing.Symbols, 1);
      EXPECT_EQ(ZXing.Format, "ITF");
      EXPECT_EQ(ZXing.Text, C.Expected);
    }
    if (Scale != 2) continue;
    const test::TDecodeResult Zbar = test::DecodeWithZbar(File, test::ZbarRetailOptions);
    EXPECT_TRUE(Zbar.Ok) << Zbar.Output;
    EXPECT_EQ(Zbar.Symbols, 1);
    EXPECT_EQ(Zbar.Text, C.Expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Int2of5Texts, Int2of5Decode, ::testing::ValuesIn(DecodeCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace tolvane
