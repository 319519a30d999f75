// The Code 93 encoder: the check values C and K, the modules painted (read
// back from the pixels), where drawing stops, the brush it leaves; and
// full-ASCII symbols drawn the way the component draws them, read back by two
// independent decoders.
#include <gtest/gtest.h>

#include <cstdint>
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

// ---- Check values ----------------------------------------------------------------

// Values: digits 0..9, A..Z 10..35, shift characters 43..46. Each expectation
// was summed by hand from the right, C weighted 1..20 and K (C counted first,
// weight 1) 2..15, both wrapping to 1.
TEST(Code93Checks, WeightFromTheRightModulo47) {
  const struct {
    const char* Why;
    std::string Text;
    int C, K;
  } Cases[] = {
      {"TEST: C 243 mod 47 = 8, K 351 mod 47 = 22", "TEST", 8, 22},
      {"TEST93: C 464 -> 41 ('+'), K 617 -> 6", "TEST93", 41, 6},
      {"empty text", "", 0, 0},
      {"a is (+) A, values 46 10: C 10 + 92 -> 8, K 8 + 20 + 138 -> 25", "a", 8, 25},
      {"NUL is (%) U, values 44 30: C 118 -> 24, K 216 -> 28", std::string(1, '\0'), 24, 28},
      // 1 then zeros: the 1 takes whatever weight reaches the leftmost value.
      {"21 values: the leftmost takes C weight 1 again; K weight 7", "1" + std::string(20, '0'), 1, 8},
      {"20 values: the leftmost takes C weight 20, K weight 6", "1" + std::string(19, '0'), 20, 26},
      {"15 values: the leftmost takes K weight 1 again; C weight 15", "1" + std::string(14, '0'), 15, 16},
      {"14 values: K weight 15", "1" + std::string(13, '0'), 14, 29},
      {"our choice: a code above 127 has no value and is skipped", "TE\x80ST\xFF", 8, 22},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(Mod93Left(C.Text), C.C);
    EXPECT_EQ(Mod93Right(C.Text), C.K);
  }
}

// ---- Drawing ---------------------------------------------------------------------

// Modules of single symbol characters, from the published character set.
const std::string Start = "101011110";
const std::string StopBar = "1010111101";  // stop and termination bar
const std::string T = "110100110", E = "110010010", S = "110101100", M = "101001100";
const std::string A = "110101000", O = "100101100", P = "100010110", U = "110010110";
const std::string Zero = "100010100", Eight = "100010010";
const std::string ShiftPercent = "111011010", ShiftPlus = "100110010";

// Draws at an offset from the canvas edge so that a wrong start shows.
class Code93Encoder : public ::testing::Test {
protected:
  static constexpr std::int32_t X = 7, Y = 2, BarHeight = 5;
  static constexpr std::int32_t CanvasWidth = 600, CanvasHeight = 10;
  TRecordingCanvas Canvas{CanvasWidth, CanvasHeight};

  // Draws on a fresh white bitmap and reads the modules back from row Y.
  std::string Draw(const std::string& Text, std::int32_t Scale) {
    Canvas.Bitmap().SetSize(0, 0);
    Canvas.Bitmap().SetSize(CanvasWidth, CanvasHeight);
    Canvas.ClearLog();
    BarcodeCode93(&Canvas, X, Y, BarHeight, Scale, Text);
    return TrimmedModuleString(Canvas.Bitmap(), Y, X, Scale);
  }
};

struct TModuleCase {
  const char* Why;
  std::string Text;
  std::string Modules;  // right-hand light modules trimmed
};

TEST_F(Code93Encoder, PaintsStartValuesChecksAndStop) {
  const TModuleCase Cases[] = {
      {"TEST: start T E S T, C = 8, K = 22 (M), stop: 73 modules", "TEST",
       Start + T + E + S + T + Eight + M + StopBar},
      {"a: one character, two symbol values (+) A; C = 8, K = 25 (P)", "a",
       Start + ShiftPlus + A + Eight + P + StopBar},
      {"empty text drawn directly: C = K = 0, 37 modules", "", Start + Zero + Zero + StopBar},
      {"NUL drawn directly: (%) U, C = 24 (O), K = 28 (S)", std::string(1, '\0'),
       Start + ShiftPercent + U + O + S + StopBar},
      // A code above 127 ends the drawing before it: no checks, no stop.
      {"code 128 after T E", "TE\x80ST", Start + T + E.substr(0, 8)},
      {"code 255 first: the start character alone", "\xFF", Start.substr(0, 8)},
  };
  for (const TModuleCase& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(Draw(C.Text, 1), C.Modules);
    EXPECT_EQ(Draw(C.Text, 2), C.Modules);  // the same modules, two pixels each
  }
}

// Scale 3: one Scale-wide rectangle per dark module (a wide bar is several
// side by side), within rows Y..Y+Height-1, and nothing else drawn.
TEST_F(Code93Encoder, DrawsOneScaleWideRectanglePerDarkModule) {
  constexpr std::int32_t Scale = 3;
  const std::string Modules = Draw("TEST", Scale);
  ASSERT_EQ(Modules.size(), 73u);
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

// Filters Text, sizes a white bitmap by CalcWidth and draws through CreateBC
// without the line, as the component does; checks that the symbol ends 10
// light modules before the right edge. Returns the PNG's file name.
std::string RenderCode93(const std::string& Text, std::int32_t Scale, const std::string& Name) {
  const std::int32_t Width = CalcWidth(Scale, bcCode93, Text);
  TRecordingCanvas Canvas(Width, SymbolHeight);
  CreateBC(&Canvas, vcl::clWhite, bcCode93, Scale, SymbolHeight, Width, Text, false);
  const std::string Row = test::ModuleString(Canvas.Bitmap(), 0, 0, Scale);
  EXPECT_EQ(Row.find_last_of('1'), Row.size() - 11) << "the termination bar, then 10 light modules";
  EXPECT_EQ(Row.find('1'), 10u);
  const std::string File = test::TestTempDir() + "/" + Name + ".png";
  Canvas.Bitmap().SaveToFile(File);
  return File;
}

struct TDecodeCase {
  const char* Name;  // for the file and the test name
  std::string Text;
};
void PrintTo(const TDecodeCase& C, std::ostream* Out) { *Out << C.Name << " \"" << C.Text << '"'; }

// Together the rows hold every printable character and three controls.
// Measured: zbarimg and ZXingReader both read every shift pair back as the
// full-ASCII character it stands for (zbarimg without any option), and
// neither reports C or K, so each expects exactly the filtered text.
const TDecodeCase DecodeCases[] = {
    {"Test93", "TEST93"},                              // plain values, C = '+', K = '6'
    {"Digits", "0123456789"},
    {"Capitals", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
    {"PlainSigns", "A-B. C$D/E+F%G"},                  // the seven signs of their own, no shift
    {"LowerCase", "abcdefghijklmnopqrstuvwxyz"},       // (+) A .. (+) Z: both read lower case
    {"SlashShift", "!\"#&'()*,:"},                     // (/) A .. (/) Z: both read the signs
    {"PercentShift", ";<=>?@[\\]^_`{|}~"},             // (%) F .. (%) W: both read the signs
    {"Controls", "A\tB\x1B" "C\x7F"},                  // ($) I, (%) A, (%) T: both read HT, ESC, DEL
    {"SingleLowerCase", "a"},                          // one character, two values: both read 'a'
};

class Code93Decode : public ::testing::TestWithParam<TDecodeCase> {};

// zbar reads reliably from 2 pixels a module, ZXing from 1.
TEST_P(Code93Decode, DecodersReadBackTheFullAsciiText) {
  const TDecodeCase& C = GetParam();
  const std::string Text = FilterBCText(bcCode93, C.Text);
  for (std::int32_t Scale : {1, 2}) {
    const std::string Name = std::string("code93_") + C.Name + "_s" + std::to_string(Scale);
    SCOPED_TRACE(Name);
    const std::string File = RenderCode93(Text, Scale, Name);

    const test::TDecodeResult ZXing = test::DecodeWithZXing(File);
    EXPECT_TRUE(ZXing.Ok) << ZXing.Output;
    EXPECT_EQ(ZXing.Symbols, 1);
    EXPECT_EQ(ZXing.Format, "Code93");
    EXPECT_EQ(ZXing.Text, Text);
    if (Scale != 2) continue;
    const test::TDecodeResult Zbar = test::DecodeWithZbar(File);
    EXPECT_TRUE(Zbar.Ok) << Zbar.Output;
    EXPECT_EQ(Zbar.Symbols, 1);
    EXPECT_EQ(Zbar.Text, Text);
  }
}

INSTANTIATE_TEST_SUITE_P(Code93Texts, Code93Decode, ::testing::ValuesIn(DecodeCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace tolvane
