// The Code 39 encoder on its own: the modules it paints (read back from the
// pixels), the rectangles it asks for, where it stops, and that it leaves
// the caller's brush, pen and font as they were.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BarcodeDef.h"
#include "RecordingCanvas.h"

namespace tolvane {
namespace {

using test::TRecordingCanvas;
using test::TrimmedModuleString;

// Module strings of single characters, module 0 (the light gap) first.
const std::string Star = "0100101101101";   // '*' 0x4B68
const std::string A = "0110101001011";      // 'A' 0x6A58
const std::string B = "0101101001011";      // 'B' 0x5A58
const std::string Space = "0100110101101";  // ' ' 0x4D68
const std::string Light = std::string(13, '0');  // a code in range without a pattern

// Draws at an offset from the canvas edge so that a wrong start shows.
class Code39Encoder : public ::testing::Test {
protected:
  static constexpr std::int32_t X = 7, Y = 2, BarHeight = 5;
  static constexpr std::int32_t CanvasWidth = 900, CanvasHeight = 10;
  TRecordingCanvas Canvas{CanvasWidth, CanvasHeight};

  // Draws on a fresh white bitmap and reads the modules back from row Y.
  std::string Draw(const std::string& Text, std::int32_t Scale) {
    Canvas.Bitmap().SetSize(0, 0);
    Canvas.Bitmap().SetSize(CanvasWidth, CanvasHeight);
    BarcodeCode39(&Canvas, X, Y, BarHeight, Scale, Text);
    return TrimmedModuleString(Canvas.Bitmap(), Y, X, Scale);
  }
};

struct TModuleCase {
  const char* Why;
  std::string Text;
  std::string Modules;  // right-hand light modules trimmed
};

TEST_F(Code39Encoder, PaintsStartTextStopThirteenModulesEach) {
  const TModuleCase Cases[] = {
      {"'*' A '*'", "A", Star + A + Star},
      {"empty text: start and stop only, 26 modules", "", Star + Star},
      {"'*' in the text draws the start/stop pattern", "A*B", Star + A + Star + B + Star},
      {"space has a pattern of its own", " ", Star + Space + Star},
      {"'$' has no pattern: 13 light modules, drawing goes on", "$B", Star + Light + B + Star},
      {"'[' (91) is the last code in range, no pattern", "[", Star + Light + Star},
      {"lower case stops: no upper-casing, no stop character", "AaB", Star + A},
      {"'\\' (92) is above the table: stops", "A\\B", Star + A},
      {"code 31 is below the table: stops", "A\x1F" "B", Star + A},
      {"code 193 (a signed char) stops too", "A\xC1" "B", Star + A},
      {"a stop at the first character leaves the start character alone", "a", Star},
  };
  for (const TModuleCase& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(Draw(C.Text, 1), C.Modules);
    EXPECT_EQ(Draw(C.Text, 2), C.Modules);  // the same modules, two pixels each
  }
}

// Scale 3: one rectangle per dark module, 3 pixels wide, so a wide bar is
// two rectangles side by side, and the bars fill rows Y..Y+Height-1 only.
TEST_F(Code39Encoder, DrawsOneScaleWideRectanglePerDarkModule) {
  constexpr std::int32_t Scale = 3;
  const std::string Modules = Draw("", Scale);
  ASSERT_EQ(Modules, Star + Star);
  // The dark modules of "**".
  const int Dark[] = {1, 4, 6, 7, 9, 10, 12, 14, 17, 19, 20, 22, 23, 25};
  std::vector<test::TRectangleCall> Expected;
  for (int K : Dark)
    Expected.push_back({X + K * Scale, Y, X + (K + 1) * Scale, Y + BarHeight, vcl::clBlack, vcl::bsSolid});
  EXPECT_EQ(Canvas.Rectangles, Expected);
  EXPECT_EQ(Canvas.DrawCalls(), Canvas.Rectangles.size());

  EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y + BarHeight - 1, X, Scale), Modules);
  EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y - 1, 0, 1), "");
  EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y + BarHeight, 0, 1), "");
  // Nothing left of the first dark module at X + Scale.
  EXPECT_EQ(TrimmedModuleString(Canvas.Bitmap(), Y, 0, 1).find('1'), std::size_t(X + Scale));
}

}  // namespace
}  // namespace tolvane
