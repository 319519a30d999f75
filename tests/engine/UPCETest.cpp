// UPC-E: the conversions between the six-digit and the UPC-A form, the
// modules the encoder paints (parity from the check digit of the expansion),
// where it stops, and symbols read back by two independent decoders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>

#include "BarcodeDef.h"
#include "Decoders.h"
#include "RecordingCanvas.h"
#include "RenderSymbol.h"

namespace tolvane {
namespace {

using test::TRecordingCanvas;
using test::TrimmedModuleString;

// UPC-E expansions and conversions; expected values worked out by hand from
// the zero-suppression rules.
TEST(UPCEExpand, PutsTheSuppressedZerosWhereTheSixthDigitSays) {
  const struct {
    const char* Why;
    std::string Text, Expanded;
  } Cases[] = {
      {"0..2: manufacturer E1 E2 k, product 00 E3..E5", "425261", "04210000526"},
      {"k = 0", "123450", "01200000345"},
      {"k = 2", "123452", "01220000345"},
      {"3: manufacturer E1..E3 00, product 000 E4 E5", "123453", "01230000045"},
      {"4: manufacturer E1..E4 0, product 0000 E5", "123454", "01234000005"},
      {"5..9: manufacturer E1..E5, product 0000 k", "123455", "01234500005"},
      {"k = 9", "654329", "06543200009"},
      {"another k = 1", "654321", "06510000432"},
      {"only the first six characters count", "1234567", "01234500006"},
      {"E1..E5 are copied unchecked", "AB3453", "0AB30000045"},
      {"five characters: empty", "12345", ""},
      {"empty text", "", ""},
      {"sixth character not a digit: empty", "12345A", ""},
      {"sixth character below '0': empty", "12345/", ""},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(UPCE_Expand(C.Text), C.Expanded);
  }
}

TEST(UPCAToUPCE, TriesTheSuppressionsInOrder) {
  const struct {
    const char* Why;
    std::string Text, Converted;
  } Cases[] = {
      {"rule 1: A5..A8 zero, A4 0..2", "01200000345", "123450"},
      {"rule 1 with A4 = 0 although A5..A9 are zero too", "01500000345", "153450"},
      {"rule 2: A5..A9 zero", "01230000045", "123453"},
      {"rule 2 when A4 is 3 or more", "01250000045", "125453"},
      {"rule 3: A6..A10 zero", "01234000005", "123454"},
      {"rule 4: A7..A10 zero, A11 5..9", "01234500006", "123456"},
      {"rule 4 needs A11 of 5 or more", "01234500004", ""},
      {"no zero run: no UPC-E form", "01234567890", ""},
      {"the number system is not looked at", "71200000345", "123450"},
      {"a twelfth character (check digit) is ignored", "012000003455", "123450"},
      {"ten characters: empty", "0120000034", ""},
      {"empty text", "", ""},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(UPCA_to_UPCE(C.Text), C.Converted);
  }
}

// Every number a rule accepts expands back to "0" + A2..A11. The sweep puts
// 0, 2, 3, 4 and 5 (both sides of the A4 <= 2 and A11 >= 5 limits) at the
// positions the rules look at for a digit and 0 or 1 where they look for
// zeros: 250,000 numbers, all four rules among them.
TEST(UPCAToUPCE, EveryConversionExpandsBack) {
  const char Edge[] = {'0', '2', '3', '4', '5'};
  // By the last UPC-E digit, which tells the rule: 0..2, 3, 4, 5..9.
  int ByRule[4] = {};
  std::string A = "00000000000";
  for (int N = 0; N < 5 * 5 * 5 * 5 * 5 * 5 * 16; ++N) {
    int V = N;
    for (int P : {1, 2, 3, 4, 5, 10}) {
      A[static_cast<std::size_t>(P)] = Edge[V % 5];
      V /= 5;
    }
    for (int P = 6; P <= 9; ++P) {
      A[static_cast<std::size_t>(P)] = static_cast<char>('0' + V % 2);
      V /= 2;
    }
    A[0] = static_cast<char>('0' + N % 10);  // the number system, ignored
    const std::string E = UPCA_to_UPCE(A);
    if (E.empty()) continue;
    ASSERT_EQ(E.size(), 6u) << A;
    ASSERT_EQ(UPCE_Expand(E), "0" + A.substr(1)) << A;
    ++ByRule[E[5] <= '2' ? 0 : E[5] == '3' ? 1 : E[5] == '4' ? 2 : 3];
  }
  for (int Count : ByRule) EXPECT_GT(Count, 100);
}

// The left-hand digit patterns of ISO/IEC 15420 as module strings.
const char* const LCode[10] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                               "0110001", "0101111", "0111011", "0110111", "0001011"};
const char* const GCode[10] = {"0100111", "0110011", "0011011", "0100001", "0011101",
                               "0111001", "0000101", "0010001", "0001001", "0010111"};
const std::string Start = "101", End = "010101";

std::string Digits(const std::string& Text, const std::string& Sets) {
  std::string Out;
  for (std::size_t I = 0; I < Text.size(); ++I) Out += (Sets[I] == 'G' ? GCode : LCode)[Text[I] - '0'];
  return Out;
}

class UPCEEncoder : public ::testing::Test {
protected:
  static constexpr std::int32_t X = 5, Y = 1, BarHeight = 4;
  static constexpr std::int32_t CanvasWidth = 500, CanvasHeight = 8;
  TRecordingCanvas Canvas{CanvasWidth, CanvasHeight};

  // Draws on a fresh white bitmap with a red, clear caller's brush; checks
  // that it came back and that every rectangle is one dark module of the
  // full bar height.
  std::string Draw(const std::string& Text, std::int32_t Scale) {
    Canvas.Bitmap().SetSize(0, 0);
    Canvas.Bitmap().SetSize(CanvasWidth, CanvasHeight);
    Canvas.ClearLog();
    Canvas.GetBrush()->SetColor(vcl::clRed);
    Canvas.GetBrush()->SetStyle(vcl::bsClear);
    BarcodeUPCE(&Canvas, X, Y, BarHeight, Scale, Text);
    EXPECT_EQ(Canvas.GetBrush()->GetColor(), vcl::clRed);
    EXPECT_EQ(Canvas.GetBrush()->GetStyle(), vcl::bsClear);
    const std::string Modules = TrimmedModuleString(Canvas.Bitmap(), Y, X, Scale);
    EXPECT_EQ(Canvas.Rectangles.size(), static_cast<std::size_t>(std::count(Modules.begin(), Modules.end(), '1')));
    for (const test::TRectangleCall& R : Canvas.Rectangles) {
      EXPECT_EQ(R.X2 - R.X1, Scale);
      EXPECT_EQ(R.Y1, Y);
      EXPECT_EQ(R.Y2, Y + BarHeight);
      EXPECT_EQ(R.BrushColor, vcl::clBlack);
    }
    // The guards reach the bottom row like the digits.
    EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y + BarHeight - 1, X, Scale), Modules);
    return Modules;
  }
};

// The check digit (of the expansion, worked out by hand) and its
// number-system-0 parities are given in each comment.
TEST_F(UPCEEncoder, DrawsTheParityOfTheExpansionsCheckDigit) {
  const struct {
    const char* Why;
    std::string Text, Modules;
  } Cases[] = {
      {"425261 -> 04210000526, check 4, GLGGLL", "425261",
       "101001110100100110111001001101101011110011001010101"},
      {"123453 -> 01230000045, check 1, GGLGLL", "123453", Start + Digits("123453", "GGLGLL") + End},
      {"123454 -> 01234000005, check 3, GGLLLG", "123454", Start + Digits("123454", "GGLLLG") + End},
      {"654321 -> 06510000432, check 7, GLGLGL", "654321", Start + Digits("654321", "GLGLGL") + End},
      {"123450 -> 01200000345, check 5, GLLGGL", "123450", Start + Digits("123450", "GLLGGL") + End},
      {"padded: 000005 -> 00000000005, check 5, GLLGGL", "5", Start + Digits("000005", "GLLGGL") + End},
      {"empty: 000000, check 0, GGGLLL", "", Start + Digits("000000", "GGGLLL") + End},
      {"past six: 7, 8 L; 9..14 the low byte's LGLLGG; 15, 16 (bits 1, 0) and beyond L",
       "425261" "01" "234567" "89" "01",
       Start + Digits("425261", "GLGGLL") + Digits("01", "LL") + Digits("234567", "LGLLGG") +
           Digits("8901", "LLLL") + End},
      {"'A' stops; it counts 17 in 04210000A26, check 8, GLGLLG", "42A261", Start + Digits("42", "GL")},
      {"sixth not a digit: no expansion, check 0, GGGLLL, stops at it", "42526x",
       Start + Digits("42526", "GGGLL")},
      {"'!' makes the check value 17; drawn with row 7 (17 mod 10), GLGLGL", "4252!1",
       Start + Digits("4252", "GLGL")},
      {"code 193 first: the start guard only", "\xC1" "25261", Start},
      {"a non-digit seventh character stops before the end guard", "425261x",
       Start + Digits("425261", "GLGGLL")},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Why);
    const std::string Expected = C.Modules.substr(0, C.Modules.find_last_of('1') + 1);
    EXPECT_EQ(Draw(C.Text, 1), Expected);
    EXPECT_EQ(Draw(C.Text, 3), Expected);
  }
}

// ---- Decoding -------------------------------------------------------------------

constexpr std::int32_t SymbolHeight = 60;

std::string RenderUPCE(const std::string& Text, std::int32_t Scale, bool Interpret, const std::string& Name) {
  return test::RenderSymbolPng(bcUPCE, Text, Scale, SymbolHeight, Interpret, Name);
}

struct TDecodeCase {
  const char* Name;
  std::string Text;
  std::string Read;
};
void PrintTo(const TDecodeCase& C, std::ostream* Out) { *Out << C.Name << " \"" << C.Text << '"'; }

// Measured: zbar (with ZbarRetailOptions) and ZXing both report UPC-E as 8
// digits, the number system 0, the six digits and the check digit of the
// expansion. (zbar without the options reads it as the EAN-13 0 + expansion
// + check, 0042100005264 for 425261.)
const TDecodeCase DecodeCases[] = {
    {"Example", "425261", "04252614"},
    {"Sixth3", "123453", "01234531"},
    {"Sixth4", "123454", "01234543"},
    {"Sixth1", "654321", "06543217"},
    {"Sixth0", "123450", "01234505"},
    {"Sixth9", "987659", "09876590"},  // 09876500009: sum 90, check 0
    {"Padded", "5", "00000055"},        // 000005 -> 00000000005, check 5
    {"Filtered", "12-34-53 x", "01234531"},
};

class UPCEDecode : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(UPCEDecode, DecodersReadNumberSystemDigitsAndCheck) {
  const TDecodeCase& C = GetParam();
  struct {
    std::int32_t Scale;
    bool Interpret;
    bool Zbar;
  } const Renders[] = {{2, false, true}, {2, true, true}, {1, false, false}, {1, true, false}};
  for (const auto& R : Renders) {
    const std::string Name = std::string("upce_") + C.Name + "_s" + std::to_string(R.Scale) +
                             (R.Interpret ? "_line" : "_bars");
    SCOPED_TRACE(Name);
    const std::string File = RenderUPCE(C.Text, R.Scale, R.Interpret, Name);

    const test::TDecodeResult ZXing = test::DecodeWithZXing(File);
    EXPECT_TRUE(ZXing.Ok) << ZXing.Output;
    EXPECT_EQ(ZXing.Symbols, 1);
    EXPECT_EQ(ZXing.Format, "UPC-E");
    EXPECT_EQ(ZXing.Text, C.Read);
    if (!R.Zbar) continue;
    const test::TDecodeResult Zbar = test::DecodeWithZbar(File, test::ZbarRetailOptions);
    EXPECT_TRUE(Zbar.Ok) << Zbar.Output;
    EXPECT_EQ(Zbar.Symbols, 1);
    EXPECT_EQ(Zbar.Text, C.Read);
  }
}

INSTANTIATE_TEST_SUITE_P(UPCETexts, UPCEDecode, ::testing::ValuesIn(DecodeCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace tolvane
