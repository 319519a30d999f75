// The 2- and 5-digit add-ons drawn alone: their modules (read back from the
// pixels), compared with an independent encoder, where they stop, the
// conversion error of the 2-digit one, and zbar reading them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>

#include <vcl/SysUtils.h>
#include <zint.h>

#include "BarcodeDef.h"
#include "Decoders.h"
#include "RecordingCanvas.h"
#include "ZintRows.h"
#include "RenderSymbol.h"

namespace tolvane {
namespace {

using test::TRecordingCanvas;
using test::TrimmedModuleString;

// The left-hand digit patterns of ISO/IEC 15420 as module strings.
const char* const LCode[10] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                               "0110001", "0101111", "0111011", "0110111", "0001011"};
const char* const GCode[10] = {"0100111", "0110011", "0011011", "0100001", "0011101",
                               "0111001", "0000101", "0010001", "0001001", "0010111"};
const std::string Start = "1011", Delineator = "01";

// Digits in the given number sets, a delineator after each but the last.
std::string AddOn(const std::string& Digits, const std::string& Sets) {
  std::string Out = Start;
  for (std::size_t I = 0; I < Digits.size(); ++I) {
    if (I > 0) Out += Delineator;
    Out += (Sets[I] == 'G' ? GCode : LCode)[Digits[I] - '0'];
  }
  return Out;
}

using TEncoder = void (*)(vcl::TCanvas*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::string);

class AddOnEncoder : public ::testing::Test {
protected:
  static constexpr std::int32_t X = 6, Y = 3, BarHeight = 4;
  static constexpr std::int32_t CanvasWidth = 200, CanvasHeight = 9;
  TRecordingCanvas Canvas{CanvasWidth, CanvasHeight};

  // Draws on a fresh white bitmap with a red, clear caller's brush and reads
  // the modules back from row Y. The brush comes back however the encoder
  // ends (an exception included), and every rectangle is one dark module
  // from Y to Y + BarHeight.
  std::string Draw(TEncoder Encoder, const std::string& Text, std::int32_t Scale) {
    Canvas.Bitmap().SetSize(0, 0);
    Canvas.Bitmap().SetSize(CanvasWidth, CanvasHeight);
    Canvas.ClearLog();
    Canvas.GetBrush()->SetColor(vcl::clRed);
    Canvas.GetBrush()->SetStyle(vcl::bsClear);
    try {
      Encoder(&Canvas, X, Y, BarHeight, Scale, Text);
    } catch (...) {
      CheckAfterwards(Scale);
      throw;
    }
    CheckAfterwards(Scale);
    return TrimmedModuleString(Canvas.Bitmap(), Y, X, Scale);
  }

  void CheckAfterwards(std::int32_t Scale) {
    EXPECT_EQ(Canvas.GetBrush()->GetColor(), vcl::clRed);
    EXPECT_EQ(Canvas.GetBrush()->GetStyle(), vcl::bsClear);
    const std::string Modules = TrimmedModuleString(Canvas.Bitmap(), Y, X, Scale);
    EXPECT_EQ(Canvas.Rectangles.size(), static_cast<std::size_t>(std::count(Modules.begin(), Modules.end(), '1')));
    for (const test::TRectangleCall& R : Canvas.Rectangles) {
      EXPECT_EQ(R.X2 - R.X1, Scale);
      EXPECT_EQ(R.Y1, Y);
      EXPECT_EQ(R.Y2, Y + BarHeight);
      EXPECT_EQ(R.BrushColor, vcl::clBlack);
      EXPECT_EQ(R.BrushStyle, vcl::bsSolid);
    }
  }
};

// Sets worked out by hand: 2-digit from v mod 4, 5-digit from the weighted
// sum mod 10.
TEST_F(AddOnEncoder, DrawsStartAndDigitsInTheSetsTheValueGives) {
  const struct {
    const char* Why;
    TEncoder Encoder;
    std::string Text, Modules;
  } Cases[] = {
      {"53: v mod 4 = 1, L G", BarcodeUPC2ext, "53", "10110110001010100001"},
      {"7 is drawn as 07: v mod 4 = 3, G G", BarcodeUPC2ext, "7", "10110100111010010001"},
      {"123: only 12, v mod 4 = 0, L L", BarcodeUPC2ext, "123", AddOn("12", "LL")},
      {"10: v mod 4 = 2, G L", BarcodeUPC2ext, "10", AddOn("10", "GL")},
      {"empty (direct call only): '0' after padding, no second digit: stops after the delineator",
       BarcodeUPC2ext, "", Start + LCode[0] + Delineator},
      {"' 5' converts to 5, but a space is no digit: the start only", BarcodeUPC2ext, " 5", Start},
      {"'-5' converts to -5, but '-' is no digit: the start only", BarcodeUPC2ext, "-5", Start},
      {"52495: sum 141, check 1, G L G L L", BarcodeUPC5ext, "52495",
       "10110111001010010011010011101010001011010110001"},
      {"123 is drawn as 00123: sum 30, check 0, G G L L L", BarcodeUPC5ext, "123", AddOn("00123", "GGLLL")},
      {"1234567: only 12345, sum 81, check 1", BarcodeUPC5ext, "1234567", AddOn("12345", "GLGLL")},
      {"empty (direct call only): 00000, check 0", BarcodeUPC5ext, "", AddOn("00000", "GGLLL")},
      {"'A' third counts 17: sum 180, check 0; stops there after two delineators", BarcodeUPC5ext, "52A95",
       AddOn("52", "GG") + Delineator},
      {"'/' third counts -1: sum -3; row 7 (-3 + 10), L G, then stops", BarcodeUPC5ext, "00/00",
       AddOn("00", "LG") + Delineator},
      {"code 193 first: the start only", BarcodeUPC5ext, "\xC1" "2345", Start},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Why);
    const std::string Expected = C.Modules.substr(0, C.Modules.find_last_of('1') + 1);
    EXPECT_EQ(Draw(C.Encoder, C.Text, 1), Expected);
    EXPECT_EQ(Draw(C.Encoder, C.Text, 2), Expected);
  }
}

// A pair that is not a decimal number raises the class library's conversion
// error naming the text, after the start pattern and with the brush back;
// through CreateBC it reaches that function's caller.
TEST_F(AddOnEncoder, TwoDigitPairThatIsNoNumberRaisesEConvertError) {
  const std::string Pairs[] = {"5x", "x5", "::", "5\xC1"};
  for (const std::string& Pair : Pairs) {
    SCOPED_TRACE(Pair);
    try {
      Draw(BarcodeUPC2ext, Pair, 2);
      ADD_FAILURE() << "no EConvertError";
    } catch (const vcl::EConvertError& E) {
      EXPECT_NE(E.Message().find(Pair), std::string::npos) << E.Message();
    }
    EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y, X, 2), Start);
  }
  Canvas.GetBrush()->SetStyle(vcl::bsClear);
  EXPECT_THROW(CreateBC(&Canvas, vcl::clWhite, bcUPC2ext, 1, 40, 40, "5x", true), vcl::EConvertError);
  EXPECT_EQ(Canvas.GetBrush()->GetStyle(), vcl::bsClear);
}

// libzint encodes a 1- or 2-digit text given to BARCODE_EANX as the 2-digit
// add-on alone and 3 to 5 digits as the 5-digit one (padding in front with
// '0' as ours does). Measured: its row is exactly the add-on, start 1011
// first, no quiet zone, 20 or 47 modules, so whole rows compare. Every pair
// 00..99 gives each v mod 4 and every digit in both sets; the 200 five-digit
// texts K x 7919 mod 100000 give all ten check values and every digit in
// both sets at each position.
TEST_F(AddOnEncoder, ModulesMatchTheIndependentEncoder) {
  auto Compare = [this](TEncoder Encoder, const std::string& Text) {
    SCOPED_TRACE(Text);
    const test::TZintSymbol Peer = test::ZintEncode(BARCODE_EANX, Text);
    ASSERT_TRUE(Peer.Ok) << Peer.Error;
    ASSERT_EQ(Peer.Rows.size(), 1u);
    const std::string& Row = Peer.Rows[0];
    EXPECT_EQ(Draw(Encoder, Text, 1), Row.substr(0, Row.find_last_of('1') + 1));
  };
  for (int V = 0; V < 10; ++V) Compare(BarcodeUPC2ext, std::to_string(V));
  char Text[8];
  for (int V = 0; V < 100; ++V) {
    std::snprintf(Text, sizeof Text, "%02d", V);
    Compare(BarcodeUPC2ext, Text);
  }
  for (const char* Short : {"123", "4711", "905"}) Compare(BarcodeUPC5ext, Short);
  for (int K = 0; K < 200; ++K) {
    std::snprintf(Text, sizeof Text, "%05d", K * 7919 % 100000);
    Compare(BarcodeUPC5ext, Text);
  }
}

// ---- Decoding -------------------------------------------------------------------

constexpr std::int32_t SymbolHeight = 60;

std::string RenderAddOn(TBarCodeType Type, const std::string& Text, bool Interpret, const std::string& Name) {
  return test::RenderSymbolPng(Type, Text, 2, SymbolHeight, Interpret, Name);
}

struct TDecodeCase {
  const char* Name;
  TBarCodeType Type;
  std::string Text, Read;
};
void PrintTo(const TDecodeCase& C, std::ostream* Out) { *Out << C.Name << " \"" << C.Text << '"'; }

// Measured: zbar with ZbarRetailOptions reads a standalone add-on at 2
// pixels a module and reports its digits, padded as drawn. ZXingReader finds
// no standalone add-on, hence the comparison with libzint above.
const TDecodeCase DecodeCases[] = {
    {"Two53", bcUPC2ext, "53", "53"},
    {"TwoPadded", bcUPC2ext, "7", "07"},
    {"TwoNines", bcUPC2ext, "99", "99"},
    {"TwoFiltered", bcUPC2ext, "4a2", "42"},
    {"Five52495", bcUPC5ext, "52495", "52495"},
    {"FivePadded", bcUPC5ext, "123", "00123"},
    {"FiveNines", bcUPC5ext, "99999", "99999"},
    {"FiveFiltered", bcUPC5ext, "9-0-0-0-0", "90000"},
};

class AddOnDecode : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(AddOnDecode, ZbarReadsTheDigits) {
  const TDecodeCase& C = GetParam();
  for (bool Interpret : {false, true}) {
    const std::string Name = std::string("addon_") + C.Name + (Interpret ? "_line" : "_bars");
    SCOPED_TRACE(Name);
    const test::TDecodeResult Zbar =
        test::DecodeWithZbar(RenderAddOn(C.Type, C.Text, Interpret, Name), test::ZbarRetailOptions);
    EXPECT_TRUE(Zbar.Ok) << Zbar.Output;
    EXPECT_EQ(Zbar.Symbols, 1);
    EXPECT_EQ(Zbar.Text, C.Read);
  }
}

INSTANTIATE_TEST_SUITE_P(AddOnTexts, AddOnDecode, ::testing::ValuesIn(DecodeCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace tolvane
