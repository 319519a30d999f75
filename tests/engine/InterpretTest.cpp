// PrintInterpret: the font and brush set-up every symbology gets, which
// symbologies draw the default line, and where that line goes.
#include <gtest/gtest.h>

#include <string>

#include "BarcodeDef.h"
#include "RecordingCanvas.h"

namespace tolvane {
namespace {

using test::TRecordingCanvas;

constexpr vcl::TColor TextBackground = vcl::clYellow;

// A caller's font and brush that differ from everything PrintInterpret sets.
class InterpretLine : public ::testing::Test {
protected:
  TRecordingCanvas Canvas{200, 60};

  void SetUp() override {
    Canvas.ClearLog();
    Canvas.GetFont()->SetName("Sans");
    Canvas.GetFont()->SetSize(5);
    Canvas.GetFont()->SetColor(vcl::clRed);
    Canvas.GetBrush()->SetColor(vcl::clBlue);
    Canvas.GetBrush()->SetStyle(vcl::bsDiagCross);
  }
};

// Every ordinal gets Courier New at 8 points a unit of Scale, black, on the
// given background; the brush style stays the caller's. Only the symbologies
// with the default line draw anything yet, and they draw the text as given.
TEST_F(InterpretLine, SetsUpTheFontForEveryTypeAndDrawsTheDefaultLine) {
  constexpr std::int32_t Scale = 2;
  const std::string Text = "ab\t1";  // not filtered: drawn as it comes
  struct {
    int Ordinal;
    bool DrawsLine;
  } const Cases[] = {
      {bcCode128, true}, {bcCode39, true},  {bcUPCA, false},    {bcInt2of5, true},
      {bcCode93, true},  {bcEAN13, false},  {bcEAN8, true},     {bcPOSTNET, false},
      {bcUPCE, false},   {bcUPC2ext, false}, {bcUPC5ext, false}, {11, false}, {255, false},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Ordinal);
    SetUp();
    PrintInterpret(&Canvas, TextBackground, static_cast<TBarCodeType>(C.Ordinal), Scale, 60, 200, Text);
    EXPECT_EQ(Canvas.GetFont()->GetName(), "Courier New");
    EXPECT_EQ(Canvas.GetFont()->GetSize(), 8 * Scale);
    EXPECT_EQ(Canvas.GetFont()->GetColor(), vcl::clBlack);
    EXPECT_EQ(Canvas.GetBrush()->GetColor(), TextBackground);
    EXPECT_EQ(Canvas.GetBrush()->GetStyle(), vcl::bsDiagCross);
    EXPECT_TRUE(Canvas.Rectangles.empty());
    ASSERT_EQ(Canvas.TextOuts.size(), C.DrawsLine ? 1u : 0u);
    if (!C.DrawsLine) continue;
    const test::TTextOutCall& Line = Canvas.TextOuts.front();
    EXPECT_EQ(Line.Text, Text);
    EXPECT_EQ(Line.FontName, "Courier New");
    EXPECT_EQ(Line.FontSize, 8 * Scale);
    EXPECT_EQ(Line.FontColor, vcl::clBlack);
    EXPECT_EQ(Line.BrushColor, TextBackground);
  }
}

// The line is centred on Width and rests on the bottom: x = Width/2 -
// TextWidth/2 and y = Height - TextHeight, both halves rounded toward zero,
// and nothing keeps it inside the area.
TEST_F(InterpretLine, DefaultLineIsCentredOnTheBottomEdge) {
  struct {
    const char* Why;
    std::int32_t Scale, Height, Width;
    std::string Text;
  } const Cases[] = {
      {"odd width", 1, 50, 101, "ABC-12"},
      {"Scale 3", 3, 90, 400, "CODE 39"},
      {"wider than the area: x below 0", 2, 40, 10, "0123456789ABCDEF"},
      {"negative width: -7/2 is -3", 1, 30, -7, "A"},
      {"line taller than the area: y below 0", 2, 5, 100, "A"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Why);
    SetUp();
    PrintInterpret(&Canvas, TextBackground, bcCode39, C.Scale, C.Height, C.Width, C.Text);
    ASSERT_EQ(Canvas.TextOuts.size(), 1u);
    // The font is left set, so the canvas measures the text as it was drawn.
    const std::int32_t TextWidth = Canvas.TextWidth(C.Text), TextHeight = Canvas.TextHeight(C.Text);
    ASSERT_GT(TextWidth, 0);
    EXPECT_EQ(Canvas.TextOuts[0].X, C.Width / 2 - TextWidth / 2);
    EXPECT_EQ(Canvas.TextOuts[0].Y, C.Height - TextHeight);
  }
}

}  // namespace
}  // namespace tolvane
