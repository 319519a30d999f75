#include "RecordingCanvas.h"

namespace tolvane::test {

namespace {

// Pixels are TColor values; only the colour bits count.
constexpr std::uint32_t ColorBits = 0x00FFFFFF;

bool IsBlack(std::uint32_t Pixel) { return (Pixel & ColorBits) == 0; }

}  // namespace

TRecordingCanvas::TRecordingCanvas(std::int32_t Width, std::int32_t Height)
    : FBitmap(std::make_unique<vcl::TBitmap>()) {
  FBitmap->SetSize(Width, Height);  // a new bitmap's pixels are white
}

void TRecordingCanvas::Rectangle(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2) {
  Rectangles.push_back({X1, Y1, X2, Y2, GetBrush()->GetColor(), GetBrush()->GetStyle()});
  vcl::TCanvas::Rectangle(X1, Y1, X2, Y2);
}

void TRecordingCanvas::FillRect(const vcl::TRect& R) {
  FillRects.push_back(R);
  vcl::TCanvas::FillRect(R);
}

void TRecordingCanvas::TextOut(std::int32_t X, std::int32_t Y, const std::string& Text) {
  const vcl::TFont* Font = GetFont();
  TextOuts.push_back({X, Y, Text, Font->GetName(), Font->GetSize(), Font->GetColor(),
                      GetBrush()->GetColor()});
  vcl::TCanvas::TextOut(X, Y, Text);
}

void TRecordingCanvas::ClearLog() {
  Rectangles.clear();
  FillRects.clear();
  TextOuts.clear();
}

// The bitmap's rows are contiguous, Width pixels each.
vcl::TPixelSurface TRecordingCanvas::Surface() const {
  if (FBitmap->Empty()) return {};
  return {FBitmap->ScanLine(0), FBitmap->GetWidth(), FBitmap->GetHeight(), FBitmap->GetWidth()};
}

std::string ModuleString(const vcl::TBitmap& Bitmap, std::int32_t Row, std::int32_t X0,
                         std::int32_t Scale) {
  std::string Modules;
  if (Scale <= 0 || Row < 0 || Row >= Bitmap.GetHeight() || X0 < 0) return Modules;
  const std::uint32_t* Line = Bitmap.ScanLine(Row);
  for (std::int32_t X = X0; X + Scale <= Bitmap.GetWidth(); X += Scale) {
    int Dark = 0;
    for (std::int32_t P = X; P < X + Scale; ++P) Dark += IsBlack(Line[P]) ? 1 : 0;
    Modules.push_back(Dark == Scale ? '1' : Dark == 0 ? '0' : '?');
  }
  return Modules;
}

std::string TrimmedModuleString(const vcl::TBitmap& Bitmap, std::int32_t Row, std::int32_t X0,
                                std::int32_t Scale) {
  std::string Modules = ModuleString(Bitmap, Row, X0, Scale);
  Modules.erase(Modules.find_last_not_of('0') + 1);
  return Modules;
}

bool AllPixels(const vcl::TBitmap& Bitmap, vcl::TColor Color) {
  for (std::int32_t Y = 0; Y < Bitmap.GetHeight(); ++Y) {
    const std::uint32_t* Line = Bitmap.ScanLine(Y);
    for (std::int32_t X = 0; X < Bitmap.GetWidth(); ++X)
      if ((Line[X] & ColorBits) != (static_cast<std::uint32_t>(Color) & ColorBits)) return false;
  }
  return true;
}

}  // namespace tolvane::test
