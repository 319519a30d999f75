// A canvas that writes SVG instead of pixels.
#pragma once

#include <cstdint>
#include <string>

#include "Graphics.h"

namespace vcl {

// Every drawing operation becomes SVG elements in a document of Width x
// Height pixels: a rectangle per Rectangle and FillRect, exactly covering the
// pixels a bitmap canvas would paint, and text as SVG text at the position and
// width the bitmap canvas's metrics give, in a font-family list that starts
// with the face a bitmap would use. Shapes render with crisp edges, so the
// symbol stays sharp at any zoom. The origin offset applies; the clip rect
// does not (the SVG viewport cuts what lies outside).
class TSvgCanvas : public TCanvas {
  TVCL_CLASS(TSvgCanvas, TCanvas)
  TSvgCanvas(std::int32_t Width, std::int32_t Height);

  void Rectangle(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2) override;
  void FillRect(const TRect& R) override;
  void TextOut(std::int32_t X, std::int32_t Y, const std::string& Text) override;

  std::int32_t GetWidth() const { return FWidth; }
  std::int32_t GetHeight() const { return FHeight; }
  // The complete document.
  std::string Document() const;
  // Writes the document; EInOutError naming the file when it cannot, and no
  // partial file is left.
  void SaveToFile(const std::string& FileName) const;

protected:
  TPixelSurface Surface() const override { return {}; }

private:
  void Box(std::int64_t X1, std::int64_t Y1, std::int64_t X2, std::int64_t Y2, TColor Color);

  std::int32_t FWidth, FHeight;
  std::string FBody;  // the elements so far
};

}  // namespace vcl
