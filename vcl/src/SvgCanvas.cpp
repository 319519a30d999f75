#include "vcl/SvgCanvas.h"

#include <algorithm>
#include <cstdio>

#include "Fonts.h"
#include "ImageIO.h"

namespace vcl {

constinit const TClassInfo TSvgCanvas::ClassInfo = {"TSvgCanvas", &TCanvas::ClassInfo};

namespace {

std::string Hex(TColor Color) {
  const TColor rgb = ColorToRGB(Color);
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
  return buf;
}

// Text bytes are Latin-1; the document is UTF-8. Markup characters are
// escaped and the control characters XML cannot hold become U+FFFD.
std::string XmlText(const std::string& Text) {
  std::string out;
  for (char ch : Text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default:
        if (c < 32 && c != '\t') out += "\xEF\xBF\xBD";
        else if (c < 128) out += static_cast<char>(c);
        else {
          out += static_cast<char>(0xC0 | (c >> 6));
          out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
  }
  return out;
}

}  // namespace

TSvgCanvas::TSvgCanvas(std::int32_t Width, std::int32_t Height)
    : FWidth(std::max(Width, 0)), FHeight(std::max(Height, 0)) {}

void TSvgCanvas::Box(std::int64_t X1, std::int64_t Y1, std::int64_t X2, std::int64_t Y2, TColor Color) {
  if (X2 <= X1 || Y2 <= Y1 || Color == clNone) return;
  FBody += "<rect x=\"" + std::to_string(X1) + "\" y=\"" + std::to_string(Y1) + "\" width=\"" +
           std::to_string(X2 - X1) + "\" height=\"" + std::to_string(Y2 - Y1) + "\" fill=\"" + Hex(Color) +
           "\"/>\n";
}

// The same pixels a bitmap canvas paints: the interior when the brush is not
// clear, then a one-pixel (pen width) outline unless it is the fill's colour.
void TSvgCanvas::Rectangle(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2) {
  const std::int64_t l = std::min(X1, X2) + std::int64_t{GetOrigin().X}, r = std::max(X1, X2) + std::int64_t{GetOrigin().X};
  const std::int64_t t = std::min(Y1, Y2) + std::int64_t{GetOrigin().Y}, b = std::max(Y1, Y2) + std::int64_t{GetOrigin().Y};
  const bool filled = GetBrush()->GetStyle() != bsClear && GetBrush()->GetColor() != clNone;
  if (filled) Box(l, t, r, b, GetBrush()->GetColor());
  const TPen& pen = *GetPen();
  if (pen.GetStyle() == psClear || pen.GetColor() == clNone) return;
  if (filled && ColorToRGB(pen.GetColor()) == ColorToRGB(GetBrush()->GetColor())) return;
  const std::int64_t w = std::max<std::int64_t>(pen.GetWidth(), 1);
  Box(l, t, r, std::min(b, t + w), pen.GetColor());
  Box(l, std::max(t, b - w), r, b, pen.GetColor());
  Box(l, t, std::min(r, l + w), b, pen.GetColor());
  Box(std::max(l, r - w), t, r, b, pen.GetColor());
}

void TSvgCanvas::FillRect(const TRect& R) {
  if (GetBrush()->GetStyle() == bsClear) return;
  const std::int64_t ox = GetOrigin().X, oy = GetOrigin().Y;
  Box(R.Left + ox, R.Top + oy, R.Right + ox, R.Bottom + oy, GetBrush()->GetColor());
}

// The cell background as a rectangle, then the text on the cell's baseline,
// stretched to the width the bitmap canvas measures so that both agree.
void TSvgCanvas::TextOut(std::int32_t X, std::int32_t Y, const std::string& Text) {
  const fonts::TFontSpec request = fonts::SpecOf(*GetFont());
  const fonts::TTextMetrics m = fonts::GetMetrics(request);
  const std::int64_t width = fonts::MeasureText(request, Text);
  const std::int64_t x = X + std::int64_t{GetOrigin().X}, y = Y + std::int64_t{GetOrigin().Y};
  if (GetBrush()->GetStyle() != bsClear) Box(x, y, x + width, y + m.Ascent + m.Descent, GetBrush()->GetColor());
  if (Text.empty()) return;
  const TFont& font = *GetFont();
  std::string style;
  if (font.GetStyle().Contains(fsBold)) style += " font-weight=\"bold\"";
  if (font.GetStyle().Contains(fsItalic)) style += " font-style=\"italic\"";
  if (font.GetStyle().Contains(fsUnderline)) style += " text-decoration=\"underline\"";
  FBody += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y + m.Ascent) +
           "\" font-family=\"'" + XmlText(fonts::FamilyName(request)) + "', '" + XmlText(font.GetName()) +
           "', monospace\" font-size=\"" + std::to_string(m.Em) + "\" fill=\"" + Hex(font.GetColor()) + "\"" +
           style + " textLength=\"" + std::to_string(width) +
           "\" lengthAdjust=\"spacingAndGlyphs\" xml:space=\"preserve\">" + XmlText(Text) + "</text>\n";
}

std::string TSvgCanvas::Document() const {
  const std::string w = std::to_string(FWidth), h = std::to_string(FHeight);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + w + "\" height=\"" + h +
         "\" viewBox=\"0 0 " + w + " " + h + "\" shape-rendering=\"crispEdges\">\n" + FBody + "</svg>\n";
}

void TSvgCanvas::SaveToFile(const std::string& FileName) const {
  const std::string doc = Document();
  imageio::WriteFileAtomically(FileName, std::vector<std::uint8_t>(doc.begin(), doc.end()));
}

}  // namespace vcl
