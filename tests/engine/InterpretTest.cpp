// PrintInterpret: the font and brush set-up every symbology gets, which
// symbologies draw which strings, and where the default line, the retail
// layouts and the add-on line put them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
// given background; the brush style stays the caller's. The default line and
// the add-on line draw the text as given; UPC-A, EAN-13 and UPC-E split it
// into 4, 2 and 3 strings; POSTNET and unknown ordinals draw nothing.
TEST_F(InterpretLine, SetsUpTheFontForEveryTypeAndDrawsItsStrings) {
  constexpr std::int32_t Scale = 2;
  const std::string Text = "ab\t1";  // not filtered: drawn as it comes
  struct {
    int Ordinal;
    std::size_t Strings;
    bool TextAsGiven;
  } const Cases[] = {
      {bcCode128, 1, true}, {bcCode39, 1, true},  {bcUPCA, 4, false},    {bcInt2of5, 1, true},
      {bcCode93, 1, true},  {bcEAN13, 2, false},  {bcEAN8, 1, true},     {bcPOSTNET, 0, false},
      {bcUPCE, 3, false},   {bcUPC2ext, 1, true}, {bcUPC5ext, 1, true},  {11, 0, false},
      {255, 0, false},
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
    ASSERT_EQ(Canvas.TextOuts.size(), C.Strings);
    for (const test::TTextOutCall& Line : Canvas.TextOuts) {
      EXPECT_EQ(Line.FontName, "Courier New");
      EXPECT_EQ(Line.FontSize, 8 * Scale);
      EXPECT_EQ(Line.FontColor, vcl::clBlack);
      EXPECT_EQ(Line.BrushColor, TextBackground);
    }
    if (C.TextAsGiven) {
      EXPECT_EQ(Canvas.TextOuts.front().Text, Text);
    }
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

// Where each string of a layout goes: at the left edge, flush right, or
// centred on a point; measured with the canvas's own metrics, which the
// call leaves set.
enum class TAt { Left, Right, Centre };
// The line the strings stand on: the retail bottom line (cell reaching 2
// pixels below the area), the default line (resting on the bottom edge), or
// the top of the area (add-ons).
enum class TLine { Bottom, Default, Top };

struct TPlacedString {
  TAt At;
  std::int32_t CentreX;  // for TAt::Centre
  std::string Text;
};

struct TLayoutCase {
  const char* Why;
  TBarCodeType Type;
  std::int32_t Scale, Height, Width;
  std::string Text;
  TLine Line;
  std::vector<TPlacedString> Strings;  // in drawing order
};

// Check digits worked out by hand (modulo 10, weights 3, 1, ... from the
// right); centres are Width div 3, 2 x (Width div 3) and Width div 2.
TEST_F(InterpretLine, RetailAndAddOnLayouts) {
  const TLayoutCase Cases[] = {
      {"UPC-A 12345678901, check 2, Width 230: 230 div 3 = 76", bcUPCA, 1, 60, 230, "12345678901", TLine::Bottom,
       {{TAt::Left, 0, "1"}, {TAt::Right, 0, "2"}, {TAt::Centre, 76, "23456"}, {TAt::Centre, 152, "78901"}}},
      {"UPC-A 123 padded to 00000000123, check 6", bcUPCA, 1, 60, 230, "123", TLine::Bottom,
       {{TAt::Left, 0, "0"}, {TAt::Right, 0, "6"}, {TAt::Centre, 76, "00000"}, {TAt::Centre, 152, "00123"}}},
      {"UPC-A twelfth character shown in the check position", bcUPCA, 1, 60, 230, "036000291459",
       TLine::Bottom,
       {{TAt::Left, 0, "0"}, {TAt::Right, 0, "9"}, {TAt::Centre, 76, "36000"}, {TAt::Centre, 152, "29145"}}},
      {"UPC-A Scale 2, Width 460, Height 120; check 2", bcUPCA, 2, 120, 460, "03600029145", TLine::Bottom,
       {{TAt::Left, 0, "0"}, {TAt::Right, 0, "2"}, {TAt::Centre, 153, "36000"}, {TAt::Centre, 306, "29145"}}},
      {"UPC-A Width -7: -7 div 3 = -2 rounds toward zero", bcUPCA, 1, 60, -7, "12345678901", TLine::Bottom,
       {{TAt::Left, 0, "1"}, {TAt::Right, 0, "2"}, {TAt::Centre, -2, "23456"}, {TAt::Centre, -4, "78901"}}},
      {"EAN-13 400638133393, check 1 ends the second group", bcEAN13, 1, 60, 230, "400638133393", TLine::Bottom,
       {{TAt::Left, 0, "4"}, {TAt::Centre, 115, "006381 333931"}}},
      {"EAN-13 123 padded to 000000000123, check 6; odd width", bcEAN13, 1, 60, 231, "123", TLine::Bottom,
       {{TAt::Left, 0, "0"}, {TAt::Centre, 115, "000000 001236"}}},
      {"UPC-E 425261: 04210000526, check 4", bcUPCE, 1, 60, 142, "425261", TLine::Bottom,
       {{TAt::Left, 0, "0"}, {TAt::Right, 0, "4"}, {TAt::Centre, 71, "425261"}}},
      {"UPC-E 5 padded to 000005: 00000000005, check 5", bcUPCE, 2, 90, 284, "5", TLine::Bottom,
       {{TAt::Left, 0, "0"}, {TAt::Right, 0, "5"}, {TAt::Centre, 142, "000005"}}},
      {"UPC-E 42526x (direct call): no expansion, check 0", bcUPCE, 1, 60, 142, "42526x", TLine::Bottom,
       {{TAt::Left, 0, "0"}, {TAt::Right, 0, "0"}, {TAt::Centre, 71, "42526x"}}},
      {"UPC-E seventh character shown in the check position", bcUPCE, 1, 60, 142, "4252619", TLine::Bottom,
       {{TAt::Left, 0, "0"}, {TAt::Right, 0, "9"}, {TAt::Centre, 71, "425261"}}},
      {"EAN-8: the default line, text as given, no check digit", bcEAN8, 2, 60, 174, "5512345", TLine::Default,
       {{TAt::Centre, 87, "5512345"}}},
      {"5-digit add-on at the top", bcUPC5ext, 2, 60, 134, "52495", TLine::Top, {{TAt::Centre, 67, "52495"}}},
      {"5-digit add-on: y = 0 whatever the height", bcUPC5ext, 2, 200, 134, "52495", TLine::Top,
       {{TAt::Centre, 67, "52495"}}},
      {"2-digit add-on", bcUPC2ext, 1, 40, 40, "53", TLine::Top, {{TAt::Centre, 20, "53"}}},
  };
  for (const TLayoutCase& C : Cases) {
    SCOPED_TRACE(C.Why);
    SetUp();
    PrintInterpret(&Canvas, TextBackground, C.Type, C.Scale, C.Height, C.Width, C.Text);
    ASSERT_EQ(Canvas.TextOuts.size(), C.Strings.size());
    for (std::size_t I = 0; I < C.Strings.size(); ++I) {
      const TPlacedString& S = C.Strings[I];
      const test::TTextOutCall& Got = Canvas.TextOuts[I];
      const std::int32_t TW = Canvas.TextWidth(S.Text), TH = Canvas.TextHeight(S.Text);
      ASSERT_GT(TW, 0);
      const std::int32_t X = S.At == TAt::Left ? 0 : S.At == TAt::Right ? C.Width - TW : S.CentreX - TW / 2;
      const std::int32_t Y = C.Line == TLine::Bottom ? C.Height + 2 - TH : C.Line == TLine::Default ? C.Height - TH : 0;
      EXPECT_EQ(Got.Text, S.Text);
      EXPECT_EQ(Got.X, X) << S.Text;
      EXPECT_EQ(Got.Y, Y) << S.Text;
    }
  }
}

// Through CreateBC: the add-on's digits stand in the band above its bars,
// and without the line nothing but bars is drawn.
TEST_F(InterpretLine, AddOnLineThroughCreateBC) {
  constexpr std::int32_t Scale = 2, Height = 60, Width = 134;
  CreateBC(&Canvas, TextBackground, bcUPC5ext, Scale, Height, Width, "52495", true);
  ASSERT_EQ(Canvas.TextOuts.size(), 1u);
  EXPECT_EQ(Canvas.TextOuts[0].Y, 0);
  EXPECT_EQ(Canvas.TextOuts[0].X, Width / 2 - Canvas.TextWidth("52495") / 2);
  ASSERT_FALSE(Canvas.Rectangles.empty());
  for (const test::TRectangleCall& R : Canvas.Rectangles) {
    EXPECT_EQ(R.Y1, 15 * Scale);
    EXPECT_EQ(R.Y2, Height);
  }

  SetUp();
  CreateBC(&Canvas, TextBackground, bcUPC5ext, Scale, Height, Width, "52495", false);
  EXPECT_TRUE(Canvas.TextOuts.empty());
  ASSERT_FALSE(Canvas.Rectangles.empty());
  EXPECT_EQ(Canvas.Rectangles.front().Y1, 0);
}

}  // namespace
}  // namespace tolvane
