// CreateBC: where the bars go, when the human-readable line is drawn, that an
// empty text draws nothing, and what it leaves of the brush.
#include <gtest/gtest.h>

#include <string>

#include "BarcodeDef.h"
#include "RecordingCanvas.h"

namespace tolvane {
namespace {

using test::TRecordingCanvas;

constexpr auto FirstUnknown = static_cast<TBarCodeType>(11);
constexpr auto LastUnknown = static_cast<TBarCodeType>(255);
// A brush colour a barcode never uses, so that a change shows.
constexpr vcl::TColor CallerBrush = vcl::clRed;
constexpr vcl::TColor TextBackground = vcl::clYellow;

// A canvas for a Code 39 symbol sized by CalcWidth, as the component does it,
// with a caller's brush that CreateBC has to respect.
class CreateBCTest : public ::testing::Test {
protected:
  static constexpr std::int32_t Scale = 2, Height = 60;
  const std::string Text = "A";
  const std::int32_t Width = CalcWidth(Scale, bcCode39, Text);
  TRecordingCanvas Canvas{Width, Height};

  void SetUp() override {
    Canvas.GetBrush()->SetColor(CallerBrush);
    Canvas.GetBrush()->SetStyle(vcl::bsClear);
  }
};

// With the line the bars stop 5 modules short of the bottom (rows 0..49 of
// 60); without it they run the full height. The first dark module is module
// 1 of the start character after 10 quiet modules.
TEST_F(CreateBCTest, Code39BarsLeaveFiveModulesForTheLine) {
  const std::int32_t FirstBar = (10 + 1) * Scale;
  struct {
    bool Interpret;
    std::int32_t Bottom;
  } const Cases[] = {{true, Height - 5 * Scale}, {false, Height}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Interpret);
    TRecordingCanvas Fresh(Width, Height);
    CreateBC(&Fresh, TextBackground, bcCode39, Scale, Height, Width, Text, C.Interpret);
    ASSERT_FALSE(Fresh.Rectangles.empty());
    EXPECT_EQ(Fresh.Rectangles.front().X1, FirstBar);
    for (const test::TRectangleCall& R : Fresh.Rectangles) {
      EXPECT_EQ(R.Y1, 0);
      EXPECT_EQ(R.Y2, C.Bottom);
    }
    EXPECT_EQ(Fresh.TextOuts.size(), C.Interpret ? 1u : 0u);
    // The pixels agree (the line is centred, well clear of the first bar).
    EXPECT_EQ(Fresh.GetPixel(FirstBar, 0), vcl::clBlack);
    EXPECT_EQ(Fresh.GetPixel(FirstBar, C.Bottom - 1), vcl::clBlack);
    if (C.Bottom < Height) {
      EXPECT_NE(Fresh.GetPixel(FirstBar, C.Bottom), vcl::clBlack);
    }
  }
}

// CalcWidth and the encoder agree: the symbol ends exactly 10 quiet modules
// before the right edge of a bitmap CalcWidth wide.
TEST_F(CreateBCTest, Code39EndsTenModulesBeforeCalcWidth) {
  const std::string Long = "CODE 39-+/";
  const std::int32_t W = CalcWidth(Scale, bcCode39, Long);
  TRecordingCanvas Wide(W, Height);
  CreateBC(&Wide, TextBackground, bcCode39, Scale, Height, W, Long, false);
  const std::string Row = test::ModuleString(Wide.Bitmap(), 0, 0, Scale);
  ASSERT_EQ(Row.size(), std::size_t(W / Scale));
  EXPECT_EQ(Row.find('1'), 10u + 1u);                 // module 1 of the start character
  EXPECT_EQ(Row.find_last_of('1'), Row.size() - 11);  // the stop's last bar, then 10 light
  EXPECT_EQ(Row.find('?'), std::string::npos);
}

// An empty text: not a bar, not a line, not a pixel, and the brush and font
// untouched, whatever the symbology and with the line asked for.
TEST_F(CreateBCTest, EmptyTextDrawsNothingAtAll) {
  const TBarCodeType Types[] = {bcCode39, bcCode128, bcUPCA, bcPOSTNET, bcUPC5ext, LastUnknown};
  Canvas.GetFont()->SetName("Sans");
  for (TBarCodeType Type : Types) {
    SCOPED_TRACE(static_cast<int>(Type));
    CreateBC(&Canvas, TextBackground, Type, Scale, Height, Width, "", true);
    EXPECT_EQ(Canvas.DrawCalls(), 0u);
    EXPECT_TRUE(test::AllPixels(Canvas.Bitmap(), vcl::clWhite));
    EXPECT_EQ(Canvas.GetBrush()->GetColor(), CallerBrush);
    EXPECT_EQ(Canvas.GetFont()->GetName(), "Sans");
  }
}

// The symbologies whose encoders are still to come, and unknown ordinals,
// draw no bars.
TEST_F(CreateBCTest, AnOrdinalOutsideTheSymbologiesDrawsNoBars) {
  for (TBarCodeType Type : {FirstUnknown, LastUnknown}) {
    SCOPED_TRACE(static_cast<int>(Type));
    CreateBC(&Canvas, TextBackground, Type, Scale, Height, Width, "12345", false);
    EXPECT_EQ(Canvas.DrawCalls(), 0u);
  }
  EXPECT_TRUE(test::AllPixels(Canvas.Bitmap(), vcl::clWhite));
}

// The brush style always comes back; the colour comes back unless the line
// was drawn, which leaves the brush in the text background colour.
TEST_F(CreateBCTest, BrushAfterwards) {
  struct {
    const char* Why;
    TBarCodeType Type;
    std::string Text;
    bool Interpret;
    vcl::TColor Brush;
  } const Cases[] = {
      {"bars only", bcCode39, "A", false, CallerBrush},
      {"bars and line", bcCode39, "A", true, TextBackground},
      {"empty text: no line", bcCode39, "", true, CallerBrush},
      {"Code 128, line", bcCode128, "A", true, TextBackground},
      {"unknown ordinal, line set-up only", FirstUnknown, "A", true, TextBackground},
      {"unknown ordinal, no line", FirstUnknown, "A", false, CallerBrush},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Why);
    SetUp();
    CreateBC(&Canvas, TextBackground, C.Type, Scale, Height, Width, C.Text, C.Interpret);
    EXPECT_EQ(Canvas.GetBrush()->GetColor(), C.Brush);
    EXPECT_EQ(Canvas.GetBrush()->GetStyle(), vcl::bsClear);
  }
}

// An unknown ordinal with the line: the font and brush are set up as for any
// symbology, and nothing is drawn.
TEST_F(CreateBCTest, UnknownOrdinalWithLineSetsUpTheFontOnly) {
  constexpr std::int32_t BigScale = 3;
  Canvas.GetFont()->SetName("Sans");
  Canvas.GetFont()->SetSize(5);
  Canvas.GetFont()->SetColor(vcl::clRed);
  CreateBC(&Canvas, TextBackground, FirstUnknown, BigScale, Height, Width, "ABC", true);
  EXPECT_EQ(Canvas.GetFont()->GetName(), "Courier New");
  EXPECT_EQ(Canvas.GetFont()->GetSize(), 8 * BigScale);
  EXPECT_EQ(Canvas.GetFont()->GetColor(), vcl::clBlack);
  EXPECT_EQ(Canvas.GetBrush()->GetColor(), TextBackground);
  EXPECT_EQ(Canvas.DrawCalls(), 0u);
  EXPECT_TRUE(test::AllPixels(Canvas.Bitmap(), vcl::clWhite));
}

}  // namespace
}  // namespace tolvane
