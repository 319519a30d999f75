// A canvas for tests: it draws into a bitmap of its own, like any canvas, and
// keeps a log of the drawing calls made on it together with the brush and
// font in force at the time, so a test can check both what was asked and what
// came out in the pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <vcl/Graphics.h>

namespace tolvane::test {

struct TRectangleCall {
  std::int32_t X1, Y1, X2, Y2;
  vcl::TColor BrushColor;
  vcl::TBrushStyle BrushStyle;
  bool operator==(const TRectangleCall&) const = default;
};

struct TTextOutCall {
  std::int32_t X, Y;
  std::string Text;
  std::string FontName;
  std::int32_t FontSize;
  vcl::TColor FontColor;
  vcl::TColor BrushColor;
};

class TRecordingCanvas : public vcl::TCanvas {
public:
  // A Width x Height bitmap, white.
  TRecordingCanvas(std::int32_t Width, std::int32_t Height);

  vcl::TBitmap& Bitmap() { return *FBitmap; }
  const vcl::TBitmap& Bitmap() const { return *FBitmap; }

  void Rectangle(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2) override;
  void FillRect(const vcl::TRect& R) override;
  void TextOut(std::int32_t X, std::int32_t Y, const std::string& Text) override;

  // The calls so far, in order within each kind.
  std::vector<TRectangleCall> Rectangles;
  std::vector<vcl::TRect> FillRects;
  std::vector<TTextOutCall> TextOuts;
  // All drawing calls of any kind.
  std::size_t DrawCalls() const { return Rectangles.size() + FillRects.size() + TextOuts.size(); }
  void ClearLog();

protected:
  vcl::TPixelSurface Surface() const override;

private:
  std::unique_ptr<vcl::TBitmap> FBitmap;
};

// Row Row of Bitmap read as modules of Scale pixels from X0 to the right edge:
// '1' for a module whose pixels are all black, '0' for one with no black
// pixel, '?' for a module that is partly black (a bar off the module grid).
// A last module cut short by the edge is left out.
std::string ModuleString(const vcl::TBitmap& Bitmap, std::int32_t Row, std::int32_t X0,
                         std::int32_t Scale);

// The same with the light modules at the right end removed.
std::string TrimmedModuleString(const vcl::TBitmap& Bitmap, std::int32_t Row, std::int32_t X0,
                                std::int32_t Scale);

// True when every pixel of Bitmap is Color.
bool AllPixels(const vcl::TBitmap& Bitmap, vcl::TColor Color);

}  // namespace tolvane::test
