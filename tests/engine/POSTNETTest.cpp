// POSTNET: the check digit, the full and half bars the encoder paints (read
// back from the pixels), its rectangles, where it stops, the brush it leaves;
// and, since no decoder here reads POSTNET, the bars compared with those of
// an independent encoder (libzint).
#include <gtest/gtest.h>

#include <zint.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "BarcodeDef.h"
#include "RecordingCanvas.h"
#include "ZintRows.h"

namespace tolvane {
namespace {

using test::TRecordingCanvas;

// The USPS digit table, F full and h half, written out here independently of
// BC_POSTNET's bits.
const char* const DigitBars[10] = {
    "FFhhh", "hhhFF", "hhFhF", "hhFFh", "hFhhF",  // 0..4
    "hFhFh", "hFFhh", "FhhhF", "FhhFh", "FhFhh",  // 5..9
};

// Bars as modules: each bar one module, one light module ('.') between
// neighbours.
std::string Spaced(const std::string& Bars) {
  std::string Modules;
  for (char B : Bars) {
    if (!Modules.empty()) Modules += '.';
    Modules += B;
  }
  return Modules;
}

// The bars of a digit string that already ends in its check digit, with
// the frame bars when Framed.
std::string Bars(const std::string& Digits, bool Framed = true) {
  std::string Result = "F";
  for (char D : Digits) Result += DigitBars[D - '0'];
  return Framed ? Result + "F" : Result;
}

// The modules from X0 on, read from the top row Top and the bottom row
// Bottom: 'F' dark in both, 'h' dark at the bottom only, '.' light in both,
// '?' anything else (dark at the top only, or off the module grid). Light
// modules at the right end are left out.
std::string ReadBars(const vcl::TBitmap& Bitmap, std::int32_t Top, std::int32_t Bottom,
                     std::int32_t X0, std::int32_t Scale) {
  const std::string T = test::ModuleString(Bitmap, Top, X0, Scale);
  const std::string B = test::ModuleString(Bitmap, Bottom, X0, Scale);
  std::string Result;
  for (std::size_t I = 0; I < B.size(); ++I)
    Result += B[I] == '1' ? (T[I] == '1' ? 'F' : T[I] == '0' ? 'h' : '?')
                          : (B[I] == '0' && T[I] == '0' ? '.' : '?');
  Result.erase(Result.find_last_not_of('.') + 1);
  return Result;
}

struct TCheckCase {
  const char* Why;
  std::string Text;
  char Check;
};

TEST(POSTNETCheck, BringsTheDigitSumToAMultipleOfTen) {
  const TCheckCase Cases[] = {
      {"12345: sum 15", "12345", '5'},
      {"123456789: sum 45", "123456789", '5'},
      {"empty: sum 0 gives 0, not 10", "", '0'},
      {"sum 10 gives 0", "55", '0'},
      {"sum 1 gives 9", "1", '9'},
      {"eleven nines: sum 99", "99999999999", '1'},
      // Not validated: every code counts as code - 48.
      {"'A' counts 17", "A", '3'},
      {"'/' counts -1: truncated remainder -1, 10 - (-1) = 11", "/", ';'},
      {"code 255 counts 207", "\xFF", '3'},
  };
  for (const TCheckCase& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(POSTNET_Check(C.Text), C.Check);
  }
}

// Draws at an offset from the canvas edge so that a wrong start shows.
class POSTNETEncoder : public ::testing::Test {
protected:
  static constexpr std::int32_t X = 7, Y = 2, BarHeight = 8;
  static constexpr std::int32_t CanvasWidth = 700, CanvasHeight = 12;
  TRecordingCanvas Canvas{CanvasWidth, CanvasHeight};

  // Draws on a fresh white bitmap and reads the bars back.
  std::string Draw(const std::string& Text, std::int32_t Scale) {
    Canvas.Bitmap().SetSize(0, 0);
    Canvas.Bitmap().SetSize(CanvasWidth, CanvasHeight);
    Canvas.ClearLog();
    BarcodePOSTNET(&Canvas, X, Y, BarHeight, Scale, Text);
    return ReadBars(Canvas.Bitmap(), Y, Y + BarHeight - 1, X, Scale);
  }
};

struct TBarCase {
  const char* Why;
  std::string Text;
  std::string Bars;      // F and h, frame bars included
  std::size_t BarCount;  // 0: not checked
};

TEST_F(POSTNETEncoder, PaintsFrameDigitsCheckFrame) {
  const TBarCase Cases[] = {
      {"12345 + check 5 (sum 15), worked by hand from the USPS table", "12345",
       "F" "hhhFF" "hhFhF" "hhFFh" "hFhhF" "hFhFh" "hFhFh" "F", 32},
      {"123456789 + check 5: 10 digits", "123456789", Bars("1234567895"), 52},
      {"every digit", "0123456789", Bars("01234567895"), 57},
      {"empty text called directly: frame, check 0, frame", "", "F" "FFhhh" "F", 7},
      {"12 digits are drawn in full, check 2 (sum 48)", "123456789012", Bars("1234567890122"), 67},
      // A non-digit ends the drawing there, without the end frame bar.
      {"letter after two digits", "12A", Bars("12", false), 0},
      {"letter first: the start frame bar only", "A", "F", 0},
      {"'/' (47) is one below '0'", "1/", Bars("1", false), 0},
      {"':' (58) is one above '9'", "1:", Bars("1", false), 0},
      {"code 177 ('1' + 128, a negative char)", "\xB1", "F", 0},
  };
  for (const TBarCase& C : Cases) {
    SCOPED_TRACE(C.Why);
    for (std::int32_t Scale : {1, 2}) {
      EXPECT_EQ(Draw(C.Text, Scale), Spaced(C.Bars));
      EXPECT_EQ(Canvas.Rectangles.size(), C.Bars.size());  // one rectangle per bar
    }
    if (C.BarCount != 0) {
      EXPECT_EQ(C.Bars.size(), C.BarCount);
      EXPECT_EQ(Spaced(C.Bars).size(), 2 * C.BarCount - 1);  // 63 modules for 12345, 103 for 10 digits
    }
  }
}

// Scale 2, empty text (check 0, FFhhh): full bars from Y to Y + Height, half
// bars from Y + Height div 2, the division truncated toward zero.
TEST_F(POSTNETEncoder, HalfBarsStandOnTheBaselineFromHalfTheHeight) {
  constexpr std::int32_t Scale = 2;
  struct {
    const char* Why;
    std::int32_t Height, HalfTop;  // HalfTop relative to Y
  } const Cases[] = {
      {"Height 20: half bar Y + 10 .. Y + 20, 10 pixels", 20, 10},
      {"Height 21: half bar Y + 10 .. Y + 21, 11 pixels (the larger half)", 21, 10},
      {"Height -21: -21 div 2 is -10 (toward zero, not -11)", -21, -10},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Why);
    Canvas.ClearLog();
    BarcodePOSTNET(&Canvas, X, Y, C.Height, Scale, "");
    const std::int32_t Bottom = Y + C.Height, Half = Y + C.HalfTop;
    const std::vector<test::TRectangleCall> Expected = {
        {X, Y, X + 2, Bottom, vcl::clBlack, vcl::bsSolid},            // start frame, module 0
        {X + 4, Y, X + 6, Bottom, vcl::clBlack, vcl::bsSolid},        // '0': F at module 2
        {X + 8, Y, X + 10, Bottom, vcl::clBlack, vcl::bsSolid},       //      F at 4
        {X + 12, Half, X + 14, Bottom, vcl::clBlack, vcl::bsSolid},   //      h at 6
        {X + 16, Half, X + 18, Bottom, vcl::clBlack, vcl::bsSolid},   //      h at 8
        {X + 20, Half, X + 22, Bottom, vcl::clBlack, vcl::bsSolid},   //      h at 10
        {X + 24, Y, X + 26, Bottom, vcl::clBlack, vcl::bsSolid},      // end frame, module 12
    };
    EXPECT_EQ(Canvas.Rectangles, Expected);
    EXPECT_EQ(Canvas.DrawCalls(), Expected.size());
  }
  // In the pixels at Height 21: a half bar's first row is Y + 10.
  Canvas.Bitmap().SetSize(0, 0);
  Canvas.Bitmap().SetSize(40, 30);
  BarcodePOSTNET(&Canvas, X, Y, 21, Scale, "");
  EXPECT_EQ(ReadBars(Canvas.Bitmap(), Y + 10, Y + 20, X, Scale), Spaced("FFFFFFF"));
  EXPECT_EQ(ReadBars(Canvas.Bitmap(), Y + 9, Y + 20, X, Scale), Spaced("FFFhhhF"));
  EXPECT_EQ(test::TrimmedModuleString(Canvas.Bitmap(), Y + 21, 0, 1), "");
  EXPECT_EQ(test::TrimmedModuleString(Canvas.Bitmap(), Y - 1, 0, 1), "");
}

// The peer encoder, given the text without check digit, appends the check
// digit itself (measured: 12345 gives 63 modules, six digits). It returns two
// rows: the top one holds only the full bars, the bottom one every bar; it
// warns, but encodes, for lengths other than 5, 9 and 11. Our symbol, drawn
// the component's way, must have the same bars in the same places.
TEST(POSTNETPeer, BarsMatchTheIndependentEncoder) {
  const std::string Texts[] = {"12345", "123456789", "12345678901", "00000",
                               "99999999999", "1", "1234567", "55555555"};
  constexpr std::int32_t Scale = 1, Height = 40;
  for (const std::string& Text : Texts) {
    SCOPED_TRACE(Text);
    const test::TZintSymbol Peer = test::ZintEncode(BARCODE_POSTNET, Text);
    ASSERT_TRUE(Peer.Ok) << Peer.Error;
    ASSERT_EQ(Peer.Rows.size(), 2u);
    const std::string& Tall = Peer.Rows[0];
    const std::string& All = Peer.Rows[1];
    ASSERT_EQ(Tall.size(), All.size());
    std::string PeerBars;
    for (std::size_t I = 0; I < All.size(); ++I)
      PeerBars += All[I] == '1' ? (Tall[I] == '1' ? 'F' : 'h') : (Tall[I] == '1' ? '?' : '.');

    const std::int32_t Width = CalcWidth(Scale, bcPOSTNET, Text);
    ASSERT_EQ(Width, static_cast<std::int32_t>(All.size()) + 20);  // two quiet zones of 10
    TRecordingCanvas Canvas(Width, Height);
    CreateBC(&Canvas, vcl::clWhite, bcPOSTNET, Scale, Height, Width, Text, false);
    EXPECT_EQ(ReadBars(Canvas.Bitmap(), 0, Height - 1, 10 * Scale, Scale), PeerBars);
  }
}

}  // namespace
}  // namespace tolvane
