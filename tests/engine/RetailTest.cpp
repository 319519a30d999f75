// UPC-A, EAN-13 and EAN-8 and the modulo-10 check digit they share: the
// modules the encoders paint (read back from the pixels), where they stop,
// the rectangles and the brush they leave, the exported table layout, and
// symbols drawn through CreateBC read back by two independent decoders.
#include <gtest/gtest.h>

#include <algorithm>
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

// The digit patterns of the UPC/EAN standard (ISO/IEC 15420) written out as
// module strings: an oracle apart from the engine's hex words.
const char* const LCode[10] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                               "0110001", "0101111", "0111011", "0110111", "0001011"};
const char* const GCode[10] = {"0100111", "0110011", "0011011", "0100001", "0011101",
                               "0111001", "0000101", "0010001", "0001001", "0010111"};
const char* const RCode[10] = {"1110010", "1100110", "1101100", "1000010", "1011100",
                               "1001110", "1010000", "1000100", "1001000", "1110100"};
// EAN-13: the number sets of the six left-half digits by leading digit.
const char* const LeadingSets[10] = {"LLLLLL", "LLGLGG", "LLGGLG", "LLGGGL", "LGLLGG",
                                     "LGGLLG", "LGGGLL", "LGLGLG", "LGLGGL", "LGGLGL"};
const std::string Guard = "101", Centre = "01010";

std::string Left(const std::string& Digits, const std::string& Sets) {
  std::string Out;
  for (std::size_t I = 0; I < Digits.size(); ++I) Out += (Sets[I] == 'G' ? GCode : LCode)[Digits[I] - '0'];
  return Out;
}
std::string Right(const std::string& Digits) {
  std::string Out;
  for (char D : Digits) Out += RCode[D - '0'];
  return Out;
}
// Whole symbols for digit strings that include the check digit.
std::string UPCA(const std::string& Twelve) {
  return Guard + Left(Twelve.substr(0, 6), "LLLLLL") + Centre + Right(Twelve.substr(6, 6)) + Guard;
}
std::string EAN13(const std::string& Thirteen) {
  return Guard + Left(Thirteen.substr(1, 6), LeadingSets[Thirteen[0] - '0']) + Centre +
         Right(Thirteen.substr(7, 6)) + Guard;
}
std::string EAN8(const std::string& Eight) {
  return Guard + Left(Eight.substr(0, 4), "LLLL") + Centre + Right(Eight.substr(4, 4)) + Guard;
}

using TEncoder = void (*)(vcl::TCanvas*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::string);

// Draws at an offset from the canvas edge, with a caller's brush that is
// neither black nor solid, so that a wrong start or a brush not given back
// shows.
class RetailEncoder : public ::testing::Test {
protected:
  static constexpr std::int32_t X = 7, Y = 2, BarHeight = 5;
  static constexpr std::int32_t CanvasWidth = 700, CanvasHeight = 10;
  TRecordingCanvas Canvas{CanvasWidth, CanvasHeight};

  // Draws on a fresh white bitmap and reads the modules back from row Y.
  // Checks on the way that the brush came back, that every dark module is
  // one Scale-wide black rectangle from Y to Y + BarHeight (guards included),
  // and nothing else was drawn.
  std::string Draw(TEncoder Encoder, const std::string& Text, std::int32_t Scale) {
    Canvas.Bitmap().SetSize(0, 0);
    Canvas.Bitmap().SetSize(CanvasWidth, CanvasHeight);
    Canvas.ClearLog();
    Canvas.GetBrush()->SetColor(vcl::clRed);
    Canvas.GetBrush()->SetStyle(vcl::bsClear);
    Encoder(&Canvas, X, Y, BarHeight, Scale, Text);
    EXPECT_EQ(Canvas.GetBrush()->GetColor(), vcl::clRed);
    EXPECT_EQ(Canvas.GetBrush()->GetStyle(), vcl::bsClear);
    const std::string Modules = TrimmedModuleString(Canvas.Bitmap(), Y, X, Scale);
    EXPECT_EQ(Canvas.Rectangles.size(), static_cast<std::size_t>(std::count(Modules.begin(), Modules.end(), '1')));
    EXPECT_EQ(Canvas.DrawCalls(), Canvas.Rectangles.size());
    for (const test::TRectangleCall& R : Canvas.Rectangles) {
      EXPECT_EQ(R.X2 - R.X1, Scale);
      EXPECT_EQ(R.Y1, Y);
      EXPECT_EQ(R.Y2, Y + BarHeight);
      EXPECT_EQ(R.BrushColor, vcl::clBlack);
      EXPECT_EQ(R.BrushStyle, vcl::bsSolid);
    }
    return Modules;
  }
};

struct TModuleCase {
  const char* Why;
  TEncoder Encoder;
  std::string Text;
  std::string Modules;
};

// Hand-computed check digits are given in the comments as "check c".
TEST_F(RetailEncoder, PaintsGuardsDigitsAndCheckDigit) {
  const TModuleCase Cases[] = {
      // UPC-A
      {"UPC-A 03600029145, check 2: the standard's example row", BarcodeUPCA, "03600029145",
       "10100011010111101010111100011010001101000110101010110110011101001100110101110010011101101100101"},
      {"UPC-A 12345678901, check 2", BarcodeUPCA, "12345678901", UPCA("123456789012")},
      {"UPC-A padded in front: 00000000123, check 6", BarcodeUPCA, "123", UPCA("000000001236")},
      {"UPC-A empty text: all zeros, check 0", BarcodeUPCA, "", UPCA("000000000000")},
      {"UPC-A twelfth character stands in the check position", BarcodeUPCA, "036000291459", UPCA("036000291459")},
      {"UPC-A characters past the twelfth are not drawn", BarcodeUPCA, "0360002914527", UPCA("036000291452")},
      {"UPC-A L codes 0..5, R codes 6..9, 0, 5", BarcodeUPCA, "012345678905", UPCA("012345678905")},
      {"UPC-A L codes 6..9, 0, 1, R codes 2..7", BarcodeUPCA, "678901234567", UPCA("678901234567")},
      {"UPC-A ':' in the data: 01010 in place of a digit, 93 modules; ':' counts 10, check 2", BarcodeUPCA,
       "0360:029145", Guard + Left("0360", "LLLL") + Centre + LCode[0] + Centre + Right("291452") + Guard},
      {"UPC-A '/' right of the centre: its low byte 101; '/' counts -1, check 8", BarcodeUPCA, "03600029/45",
       Guard + Left("036000", "LLLLLL") + Centre + Right("29") + Guard + Right("458") + Guard},
      {"UPC-A ';' stops where it stands", BarcodeUPCA, "03600;29145", Guard + Left("03600", "LLLLL")},
      {"UPC-A space (below '/') stops", BarcodeUPCA, "0360 029145", Guard + Left("0360", "LLLL")},
      {"UPC-A code 193 (a signed char) stops", BarcodeUPCA, "0360002914\xC1",
       Guard + Left("036000", "LLLLLL") + Centre + Right("2914")},
      {"UPC-A '/' in the data makes the check '=' (sum -3), which stops before the end guard", BarcodeUPCA,
       "0000000000/", Guard + Left("000000", "LLLLLL") + Centre + Right("0000") + Guard},
      // EAN-13
      {"EAN-13 400638133393, check 1; leading 4 sets LGLLGG", BarcodeEAN13, "400638133393",
       "10100011010100111010111101111010001001011001101010100001010000101000010111010010000101100110101"},
      {"EAN-13 with a leading 0 draws UPC-A's bars", BarcodeEAN13, "003600029145",
       "10100011010111101010111100011010001101000110101010110110011101001100110101110010011101101100101"},
      {"EAN-13 padded in front: 000000000123, check 6", BarcodeEAN13, "123", EAN13("0000000001236")},
      {"EAN-13 empty text: all zeros, check 0", BarcodeEAN13, "", EAN13("0000000000000")},
      {"EAN-13 thirteenth character stands in the check position", BarcodeEAN13, "4006381333935",
       EAN13("4006381333935")},
      {"EAN-13 leading character not a digit: nothing at all", BarcodeEAN13, "x00638133393", ""},
      {"EAN-13 ':' in the left half stops (no guard pattern here)", BarcodeEAN13, "4006:8133393",
       Guard + Left("006", "LGL")},
      {"EAN-13 ';' in the right half stops", BarcodeEAN13, "40063813;393",
       Guard + Left("006381", "LGLLGG") + Centre + Right("3")},
      // EAN-8
      {"EAN-8 5512345, check 7", BarcodeEAN8, "5512345",
       "1010110001011000100110010010011010101000010101110010011101000100101"},
      {"EAN-8 padded in front: 0000123, check 6", BarcodeEAN8, "123", EAN8("00001236")},
      {"EAN-8 empty text: all zeros, check 0", BarcodeEAN8, "", EAN8("00000000")},
      {"EAN-8 eighth character stands in the check position; L 0..3, R 4..7", BarcodeEAN8, "01234567",
       EAN8("01234567")},
      {"EAN-8 L 4..7, R 8, 9, 0, 1", BarcodeEAN8, "45678901", EAN8("45678901")},
      {"EAN-8 L 8, 9, 0, 1, R 2..5", BarcodeEAN8, "89012345", EAN8("89012345")},
      {"EAN-8 ':' in the left half stops", BarcodeEAN8, "551:345", Guard + Left("551", "LLL")},
      {"EAN-8 ';' first in the right half stops after the centre guard", BarcodeEAN8, "5512;45",
       Guard + Left("5512", "LLLL") + Centre},
  };
  for (const TModuleCase& C : Cases) {
    SCOPED_TRACE(C.Why);
    // Light modules at the end of a stopped symbol do not show in pixels.
    const std::string Expected = C.Modules.substr(0, C.Modules.find_last_of('1') + 1);
    EXPECT_EQ(Draw(C.Encoder, C.Text, 1), Expected);
    EXPECT_EQ(Draw(C.Encoder, C.Text, 2), Expected);  // the same modules, two pixels each
  }
}

// Each leading digit picks its number sets for the left half; the texts put
// every digit into a G position at least once. Thirteen characters, so the
// last one is drawn as the check digit and no check needs computing.
TEST_F(RetailEncoder, EAN13LeadingDigitPicksTheLeftHalfNumberSets) {
  for (int Lead = 0; Lead < 10; ++Lead) {
    std::string Text(1, static_cast<char>('0' + Lead));
    for (int K = 0; K < 12; ++K) Text += static_cast<char>('0' + (Lead + K) % 10);
    SCOPED_TRACE(Text);
    EXPECT_EQ(Draw(BarcodeEAN13, Text, 1), EAN13(Text));
  }
}

// At Scale 3 the rectangles are exactly the dark modules, 3 pixels each;
// guard bars reach the same bottom row as data bars and nothing is painted
// above or below the bars.
TEST_F(RetailEncoder, GuardBarsAreAsLongAsDataBars) {
  constexpr std::int32_t Scale = 3;
  const TEncoder Encoders[] = {BarcodeUPCA, BarcodeEAN13, BarcodeEAN8};
  for (TEncoder Encoder : Encoders) {
    const std::string Modules = Draw(Encoder, "1234567", Scale);
    std::vector<test::TRectangleCall> Expected;
    for (std::size_t K = 0; K < Modules.size(); ++K)
      if (Modules[K] == '1') {
        const std::int32_t Left = X + static_cast<std::int32_t>(K) * Scale;
        Expected.push_back({Left, Y, Left + Scale, Y + BarHeight, vcl::clBlack, vcl::bsSolid});
      }
    EXPECT_EQ(Canvas.Rectangles, Expected);
    EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y + BarHeight - 1, X, Scale), Modules);
    EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y - 1, 0, 1), "");
    EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y + BarHeight, 0, 1), "");
  }
}

// Coordinates, widths and heights at the ends of the 32-bit range wrap
// around instead of overflowing (the sanitizer build would report it), and
// every retail encoder still gives the brush back.
TEST_F(RetailEncoder, ExtremeGeometryWrapsAround) {
  constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t Min = std::numeric_limits<std::int32_t>::min();
  const TEncoder Encoders[] = {BarcodeUPCA, BarcodeEAN13, BarcodeEAN8, BarcodeUPCE, BarcodeUPC5ext, BarcodeUPC2ext};
  const std::int32_t Values[][3] = {{Max, Max, Max}, {Min, Min, Min}, {Max - 3, 0, -1}, {0, Max, Min}};
  for (TEncoder Encoder : Encoders)
    for (const auto& V : Values) {
      Canvas.GetBrush()->SetColor(vcl::clRed);
      Canvas.GetBrush()->SetStyle(vcl::bsClear);
      Encoder(&Canvas, V[0], V[1], V[2], V[0], "12");
      EXPECT_EQ(Canvas.GetBrush()->GetColor(), vcl::clRed);
      EXPECT_EQ(Canvas.GetBrush()->GetStyle(), vcl::bsClear);
    }
}

// Weights 3, 1, 3, ... from the right; any character counts by its code - 48
// and the remainder keeps the sum's sign.
TEST(Mod10Check, WeightsFromTheRightAndValidatesNothing) {
  const struct {
    const char* Why;
    std::string Text;
    char Check;
  } Cases[] = {
      {"the standard's UPC-A example: sum 58", "03600029145", '2'},
      {"EAN-13 example", "400638133393", '1'},
      {"EAN-8 example", "5512345", '7'},
      {"UPC-E 425261 expanded", "04210000526", '4'},
      {"sum 98", "12345678901", '2'},
      {"empty: sum 0", "", '0'},
      {"one digit has weight 3: 10 - 3", "1", '7'},
      {"the next has weight 1: 10 - 1", "10", '9'},
      {"sum 20, a multiple of 10, gives 0, not 10", "55", '0'},
      {"':' counts 10: sum 30", ":", '0'},
      {"'A' counts 17: sum 51", "A", '9'},
      {"'/' counts -1: sum -3, remainder -3, 10 + 3 = 13", "/", '='},
      {"code 0 counts -48: sum -144, remainder -4", std::string(1, '\0'), '>'},
      {"code 255 counts 207 (bytes are unsigned): sum 621", "\xFF", '9'},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(Mod10Check(C.Text), C.Check);
  }
}

// The tables go out as little-endian 16-bit words one directly after the
// other: the low byte (right-hand pattern, or parity) comes first.
TEST(RetailTables, ExportedAsLittleEndianWordsOneAfterAnother) {
  static_assert(sizeof(BC_UPCA) == 24 && sizeof(BC_EAN_LEFT) == 20 && sizeof(BC_EAN_RIGHT) == 20);
  const auto* UPCA = reinterpret_cast<const unsigned char*>(BC_UPCA);
  const auto* Left = reinterpret_cast<const unsigned char*>(BC_EAN_LEFT);
  const auto* Right = reinterpret_cast<const unsigned char*>(BC_EAN_RIGHT);
  // '/' 0xA0A0, '0' 0x1AE4 ... '9' 0x16E8, ':' 0x5050.
  EXPECT_EQ(std::vector<unsigned char>(UPCA, UPCA + 4), (std::vector<unsigned char>{0xA0, 0xA0, 0xE4, 0x1A}));
  EXPECT_EQ(std::vector<unsigned char>(UPCA + 20, UPCA + 24), (std::vector<unsigned char>{0xE8, 0x16, 0x50, 0x50}));
  // digit 0 0x1A4E, digit 9 0x162E.
  EXPECT_EQ(std::vector<unsigned char>(Left, Left + 2), (std::vector<unsigned char>{0x4E, 0x1A}));
  EXPECT_EQ(std::vector<unsigned char>(Left + 18, Left + 20), (std::vector<unsigned char>{0x2E, 0x16}));
  // digit 1 0xCC2C: parity LLGLGG = 001011 in bits 7..2.
  EXPECT_EQ(std::vector<unsigned char>(Right + 2, Right + 4), (std::vector<unsigned char>{0x2C, 0xCC}));
}

// ---- Decoding -------------------------------------------------------------------

constexpr std::int32_t SymbolHeight = 60;

// Filter, size the bitmap by CalcWidth, paint it white, draw: the path the
// component takes. Returns the PNG's file name.
std::string Render(TBarCodeType Type, const std::string& Text, std::int32_t Scale, bool Interpret,
                   const std::string& Name) {
  return test::RenderSymbolPng(Type, Text, Scale, SymbolHeight, Interpret, Name);
}

struct TDecodeCase {
  const char* Name;
  TBarCodeType Type;
  std::string Text;
  std::string Read;    // what both decoders report: the data with its check digit
  const char* Format;  // ZXingReader's format name
};
void PrintTo(const TDecodeCase& C, std::ostream* Out) { *Out << C.Name << " \"" << C.Text << '"'; }

// Measured: both decoders report UPC-A as its 12 digits with the check
// digit, and an EAN-13 number that begins with 0 as that 12-digit UPC-A
// number (zbar with UPC-A enabled; without ZbarRetailOptions it reads UPC-A
// as the 13-digit EAN-13 0 + number instead).
const TDecodeCase DecodeCases[] = {
    {"UpcaExample", bcUPCA, "03600029145", "036000291452", "UPC-A"},
    {"UpcaDigits", bcUPCA, "12345678901", "123456789012", "UPC-A"},
    {"UpcaPadded", bcUPCA, "123", "000000001236", "UPC-A"},             // 00000000123, check 6
    {"UpcaNines", bcUPCA, "99999999999", "999999999993", "UPC-A"},      // 9 x 23 = 207, check 3
    {"UpcaFiltered", bcUPCA, "(6) 78901-23456 7", "678901234567", "UPC-A"},  // cut to 11 digits, check 7
    {"Ean13Example", bcEAN13, "400638133393", "4006381333931", "EAN-13"},
    {"Ean13Isbn", bcEAN13, "978030640615", "9780306406157", "EAN-13"},
    {"Ean13Lead5", bcEAN13, "590123412345", "5901234123457", "EAN-13"},
    {"Ean13Lead0", bcEAN13, "003600029145", "036000291452", "UPC-A"},   // leading 0: read as UPC-A
    {"Ean13Padded", bcEAN13, "123", "000000001236", "UPC-A"},           // 000000000123: leading 0 again
    {"Ean8Example", bcEAN8, "5512345", "55123457", "EAN-8"},
    {"Ean8Digits", bcEAN8, "9638507", "96385074", "EAN-8"},
    {"Ean8Padded", bcEAN8, "123", "00001236", "EAN-8"},
};

class RetailDecode : public ::testing::TestWithParam<TDecodeCase> {};

// zbar reads from 2 pixels a module, ZXing from 1 and 2; with and without
// the human-readable line.
TEST_P(RetailDecode, DecodersReadBackTheNumberWithItsCheckDigit) {
  const TDecodeCase& C = GetParam();
  struct {
    std::int32_t Scale;
    bool Interpret;
    bool Zbar;
  } const Renders[] = {{2, false, true}, {2, true, true}, {1, false, false}, {1, true, false}};
  for (const auto& R : Renders) {
    const std::string Name = std::string("retail_") + C.Name + "_s" + std::to_string(R.Scale) +
                             (R.Interpret ? "_line" : "_bars");
    SCOPED_TRACE(Name);
    const std::string File = Render(C.Type, C.Text, R.Scale, R.Interpret, Name);

    const test::TDecodeResult ZXing = test::DecodeWithZXing(File);
    EXPECT_TRUE(ZXing.Ok) << ZXing.Output;
    EXPECT_EQ(ZXing.Symbols, 1);
    EXPECT_EQ(ZXing.Format, C.Format);
    EXPECT_EQ(ZXing.Text, C.Read);
    if (!R.Zbar) continue;
    const test::TDecodeResult Zbar = test::DecodeWithZbar(File, test::ZbarRetailOptions);
    EXPECT_TRUE(Zbar.Ok) << Zbar.Output;
    EXPECT_EQ(Zbar.Symbols, 1);
    EXPECT_EQ(Zbar.Text, C.Read);
  }
}

INSTANTIATE_TEST_SUITE_P(RetailTexts, RetailDecode, ::testing::ValuesIn(DecodeCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace tolvane
