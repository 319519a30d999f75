// What every encoder promises whatever it is given: the caller's brush comes
// back, pen and font are never touched, every bar is painted black and solid,
// and extreme geometry only wraps the coordinates.

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "BarcodeDef.h"
#include "RecordingCanvas.h"

namespace tolvane {
namespace {

using TEncoder = void (*)(vcl::TCanvas*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::string);

struct TEncoderCase {
  const char* Name;
  TEncoder Encode;
  std::vector<std::string> Texts;  // a full symbol, the empty text, and texts that stop early
};

const TEncoderCase Encoders[] = {
    {"Code39", BarcodeCode39, {"A", "", "AaB", "A\\", "$"}},
    {"Code128", BarcodeCode128, {"1234", "", "A\xC8", "a\tb"}},
    {"Code93", BarcodeCode93, {"TEST", "", "TE\x80ST", "\xFF"}},
    {"Int2of5", BarcodeInt2of5, {"12", "", "12A4", "1A", "/1"}},
    {"UPCA", BarcodeUPCA, {"03600029145", "", "036;", "0:1"}},
    {"EAN13", BarcodeEAN13, {"400638133393", "", "4006A", "A1"}},
    {"EAN8", BarcodeEAN8, {"5512345", "", "55A"}},
    {"POSTNET", BarcodePOSTNET, {"12345", "", "12A", "A"}},
    {"UPCE", BarcodeUPCE, {"425261", "", "42A261"}},
    {"UPC2ext", BarcodeUPC2ext, {"53", "", "7"}},
    {"UPC5ext", BarcodeUPC5ext, {"52495", "", "52A95"}},
};

class EncoderContract : public ::testing::TestWithParam<TEncoderCase> {
protected:
  test::TRecordingCanvas Canvas{240, 80};

  // A caller's brush, pen and font that are nothing like the encoder's own.
  void SetCallerState() {
    Canvas.GetBrush()->SetColor(vcl::clRed);
    Canvas.GetBrush()->SetStyle(vcl::bsClear);
    Canvas.GetPen()->SetColor(vcl::clBlue);
    Canvas.GetPen()->SetWidth(3);
    Canvas.GetFont()->SetName("Sans");
    Canvas.GetFont()->SetColor(vcl::clGreen);
  }
};

TEST_P(EncoderContract, LeavesBrushPenAndFontAsTheCallerHadThem) {
  for (const std::string& Text : GetParam().Texts) {
    SCOPED_TRACE(Text);
    SetCallerState();
    Canvas.ClearLog();
    GetParam().Encode(&Canvas, 5, 5, 40, 1, Text);

    EXPECT_EQ(Canvas.GetBrush()->GetColor(), vcl::clRed);
    EXPECT_EQ(Canvas.GetBrush()->GetStyle(), vcl::bsClear);
    EXPECT_EQ(Canvas.GetPen()->GetColor(), vcl::clBlue);
    EXPECT_EQ(Canvas.GetPen()->GetWidth(), 3);
    EXPECT_EQ(Canvas.GetFont()->GetName(), "Sans");
    EXPECT_EQ(Canvas.GetFont()->GetColor(), vcl::clGreen);
    EXPECT_TRUE(Canvas.TextOuts.empty());
    ASSERT_FALSE(Canvas.Rectangles.empty()) << "every case draws at least its start";
    for (const test::TRectangleCall& R : Canvas.Rectangles) {
      EXPECT_EQ(R.BrushColor, vcl::clBlack);
      EXPECT_EQ(R.BrushStyle, vcl::bsSolid);
    }
  }
}

// Scale and Height at the ends of their range only wrap the coordinates (no
// overflow for the sanitizers to report): the symbol keeps its bars.
TEST_P(EncoderContract, ExtremeScaleAndHeightDrawTheSameBars) {
  constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t Min = std::numeric_limits<std::int32_t>::min();
  const std::string& Text = GetParam().Texts.front();
  GetParam().Encode(&Canvas, 5, 5, 40, 1, Text);
  const std::size_t Bars = Canvas.Rectangles.size();
  const std::int32_t Values[] = {Max, Min, 0, -3, Max / 3 + 1};
  for (std::int32_t Scale : Values)
    for (std::int32_t Height : Values) {
      SCOPED_TRACE(testing::Message() << "Scale " << Scale << ", Height " << Height);
      Canvas.ClearLog();
      GetParam().Encode(&Canvas, Max, Max, Height, Scale, Text);
      EXPECT_EQ(Canvas.Rectangles.size(), Bars);
    }
}

INSTANTIATE_TEST_SUITE_P(Encoders, EncoderContract, ::testing::ValuesIn(Encoders),
                         [](const ::testing::TestParamInfo<TEncoderCase>& Info) { return Info.param.Name; });

}  // namespace
}  // namespace tolvane
