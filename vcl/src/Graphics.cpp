// Colours, brushes, pens, fonts, the canvas and the bitmap.
#include "vcl/Graphics.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <new>

#include "Fonts.h"
#include "ImageIO.h"

namespace vcl {

// ---- Colours ---------------------------------------------------------------------

namespace {

struct TColorName {
  TColor Value;
  const char* Name;
};
constexpr TColorName ColorNames[] = {
    {clBlack, "clBlack"},         {clMaroon, "clMaroon"},         {clGreen, "clGreen"},
    {clOlive, "clOlive"},         {clNavy, "clNavy"},             {clPurple, "clPurple"},
    {clTeal, "clTeal"},           {clGray, "clGray"},             {clSilver, "clSilver"},
    {clRed, "clRed"},             {clLime, "clLime"},             {clYellow, "clYellow"},
    {clBlue, "clBlue"},           {clFuchsia, "clFuchsia"},       {clAqua, "clAqua"},
    {clWhite, "clWhite"},         {clBtnFace, "clBtnFace"},       {clWindowText, "clWindowText"},
    {clWindow, "clWindow"},       {clBtnShadow, "clBtnShadow"},   {clBtnHighlight, "clBtnHighlight"},
    {clHighlight, "clHighlight"}, {clHighlightText, "clHighlightText"}, {clNone, "clNone"},
};

}  // namespace

// System colours resolve to the classic fixed scheme, so that drawings look
// the same everywhere: grey button faces with grey shadows and white
// highlights, black text on white windows, white on navy for selections.
// System colours this library has no name for resolve to black.
TColor ColorToRGB(TColor Color) {
  if (Color >= 0) return Color;
  switch (Color & 0xFF) {
    case clBtnFace & 0xFF: return clSilver;
    case clWindowText & 0xFF: return clBlack;
    case clWindow & 0xFF: return clWhite;
    case clBtnShadow & 0xFF: return clGray;
    case clBtnHighlight & 0xFF: return clWhite;
    case clHighlight & 0xFF: return clNavy;
    case clHighlightText & 0xFF: return clWhite;
    default: return clBlack;
  }
}

std::string ColorToString(TColor Color) {
  for (const TColorName& c : ColorNames)
    if (c.Value == Color) return c.Name;
  char text[16];
  std::snprintf(text, sizeof text, "$%08X", static_cast<unsigned>(static_cast<std::uint32_t>(Color)));
  return text;
}

// A colour name (any ASCII case), or a number: $ and up to eight hex digits
// for the bit pattern, or decimal within the 32-bit range.
TColor StringToColor(const std::string& S) {
  TColor color;
  if (IdentToColor(S, color)) return color;
  try {
    return StrToInt(S);
  } catch (const EConvertError&) {
    throw EConvertError("'" + S + "' is not a valid colour value");
  }
}

bool IdentToColor(const std::string& Ident, TColor& Color) {
  for (const TColorName& c : ColorNames)
    if (SameText(Ident, c.Name)) {
      Color = c.Value;
      return true;
    }
  return false;
}

// ---- Graphics objects and their published properties ------------------------------

namespace {

constexpr const char* BrushStyleNames[] = {"bsSolid",  "bsClear",     "bsHorizontal", "bsVertical",
                                           "bsFDiagonal", "bsBDiagonal", "bsCross",  "bsDiagCross"};
constexpr const char* PenStyleNames[] = {"psSolid",      "psDash",  "psDot",        "psDashDot",
                                         "psDashDotDot", "psClear", "psInsideFrame"};
constexpr const char* FontStyleNames[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};

}  // namespace

constinit const TEnumInfo BrushStyleInfo = {"TBrushStyle", BrushStyleNames,
                                            static_cast<int>(std::size(BrushStyleNames))};
constinit const TEnumInfo PenStyleInfo = {"TPenStyle", PenStyleNames, static_cast<int>(std::size(PenStyleNames))};
constinit const TEnumInfo FontStyleInfo = {"TFontStyle", FontStyleNames,
                                           static_cast<int>(std::size(FontStyleNames))};

namespace {

constexpr bool NeverStored(const TObject&) { return false; }
constexpr TPropInfo NotStored(TPropInfo P) {
  P.IsStored = &NeverStored;
  return P;
}

constexpr TPropInfo BrushProps[] = {
    WithDefault(ColorProp<TBrush, &TBrush::GetColor, &TBrush::SetColor>("Color"), clWhite),
    WithDefault(EnumProp<TBrush, &TBrush::GetStyle, &TBrush::SetStyle>("Style", &BrushStyleInfo), bsSolid),
};

constexpr TPropInfo PenProps[] = {
    WithDefault(ColorProp<TPen, &TPen::GetColor, &TPen::SetColor>("Color"), clBlack),
    WithDefault(EnumProp<TPen, &TPen::GetStyle, &TPen::SetStyle>("Style", &PenStyleInfo), psSolid),
    WithDefault(IntegerProp<TPen, &TPen::GetWidth, &TPen::SetWidth>("Width"), 1),
};

// Size is never stored: Height carries the same size exactly.
constexpr TPropInfo FontProps[] = {
    WithDefault(IntegerProp<TFont, &TFont::GetCharset, &TFont::SetCharset>("Charset"), DEFAULT_CHARSET),
    WithDefault(ColorProp<TFont, &TFont::GetColor, &TFont::SetColor>("Color"), clWindowText),
    IntegerProp<TFont, &TFont::GetHeight, &TFont::SetHeight>("Height"),
    StringProp<TFont, &TFont::GetName, &TFont::SetName>("Name"),
    NotStored(IntegerProp<TFont, &TFont::GetSize, &TFont::SetSize>("Size")),
    WithDefault(SetProp<TFont, &TFont::GetStyle, &TFont::SetStyle>("Style", &FontStyleInfo), 0),
};

}  // namespace

constinit const TClassInfo TGraphicsObject::ClassInfo = {"TGraphicsObject", &TPersistent::ClassInfo, nullptr, 0,
                                                         nullptr};
constinit const TClassInfo TBrush::ClassInfo = {"TBrush", &TGraphicsObject::ClassInfo, BrushProps,
                                                std::size(BrushProps), nullptr};
constinit const TClassInfo TPen::ClassInfo = {"TPen", &TGraphicsObject::ClassInfo, PenProps, std::size(PenProps),
                                              nullptr};
constinit const TClassInfo TFont::ClassInfo = {"TFont", &TGraphicsObject::ClassInfo, FontProps,
                                               std::size(FontProps), nullptr};
constinit const TClassInfo TCanvas::ClassInfo = {"TCanvas", &TPersistent::ClassInfo, nullptr, 0, nullptr};
constinit const TClassInfo TGraphic::ClassInfo = {"TGraphic", &TPersistent::ClassInfo, nullptr, 0, nullptr};
constinit const TClassInfo TBitmap::ClassInfo = {"TBitmap", &TGraphic::ClassInfo, nullptr, 0, nullptr};

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

// Every setter reports a change, even when the value stays the same: owners
// use OnChange to repaint, and a redundant repaint is harmless.
void TBrush::SetColor(TColor Value) {
  FColor = Value;
  Changed();
}
void TBrush::SetStyle(TBrushStyle Value) {
  FStyle = Value;
  Changed();
}
void TBrush::Assign(const TPersistent* Source) {
  if (auto* brush = dynamic_cast<const TBrush*>(Source)) {
    FColor = brush->FColor;
    FStyle = brush->FStyle;
    Changed();
    return;
  }
  inherited::Assign(Source);
}

void TPen::SetColor(TColor Value) {
  FColor = Value;
  Changed();
}
void TPen::SetWidth(std::int32_t Value) {
  FWidth = Value;
  Changed();
}
void TPen::SetStyle(TPenStyle Value) {
  FStyle = Value;
  Changed();
}
void TPen::Assign(const TPersistent* Source) {
  if (auto* pen = dynamic_cast<const TPen*>(Source)) {
    FColor = pen->FColor;
    FWidth = pen->FWidth;
    FStyle = pen->FStyle;
    Changed();
    return;
  }
  inherited::Assign(Source);
}

TFont::TFont() : FName("MS Sans Serif"), FHeight(-11) {}

void TFont::SetName(const std::string& Value) {
  FName = Value;
  Changed();
}

// Points to pixels at 96 per inch, rounded half up: 8 points are 11 pixels,
// 16 points 21. A size of 0 or below has no sensible em, so it becomes the
// smallest one, 1 pixel. Huge sizes saturate at the largest em Height holds.
void TFont::SetSize(std::int32_t Value) {
  const std::int64_t points = std::max<std::int64_t>(Value, 0);
  const std::int64_t pixels = std::clamp<std::int64_t>((points * PixelsPerInch + 36) / 72, 1,
                                                       std::numeric_limits<std::int32_t>::max());
  SetHeight(static_cast<std::int32_t>(-pixels));
}

// Pixels back to points, rounded half up. A negative Height is the em; a
// positive one is the cell height, converted the same way, which overstates
// the size a little (the cell is taller than the em) but keeps the two
// properties in step.
std::int32_t TFont::GetSize() const {
  const std::int64_t pixels = FHeight < 0 ? -std::int64_t{FHeight} : FHeight;
  return static_cast<std::int32_t>((pixels * 72 + PixelsPerInch / 2) / PixelsPerInch);
}

void TFont::SetHeight(std::int32_t Value) {
  FHeight = Value;
  Changed();
}
void TFont::SetColor(TColor Value) {
  FColor = Value;
  Changed();
}
void TFont::SetStyle(TFontStyles Value) {
  FStyle = Value;
  Changed();
}
void TFont::SetCharset(TFontCharset Value) {
  FCharset = Value;
  Changed();
}
void TFont::Assign(const TPersistent* Source) {
  if (auto* font = dynamic_cast<const TFont*>(Source)) {
    FName = font->FName;
    FHeight = font->FHeight;
    FColor = font->FColor;
    FStyle = font->FStyle;
    FCharset = font->FCharset;
    Changed();
    return;
  }
  inherited::Assign(Source);
}

// ---- Canvas --------------------------------------------------------------------

namespace {

using fonts::TBox;

bool Usable(const TPixelSurface& S) { return S.Pixels && S.Width > 0 && S.Height > 0 && S.Stride >= S.Width; }

// The pixels an operation may touch: the surface, narrowed by the clip rect.
TBox DrawArea(const TPixelSurface& S, bool HasClip, const TRect& Clip) {
  TBox box{0, 0, S.Width, S.Height};
  if (HasClip) {
    box.Left = std::max<std::int64_t>(box.Left, Clip.Left);
    box.Top = std::max<std::int64_t>(box.Top, Clip.Top);
    box.Right = std::min<std::int64_t>(box.Right, Clip.Right);
    box.Bottom = std::min<std::int64_t>(box.Bottom, Clip.Bottom);
  }
  return box;
}

TBox Intersect(const TBox& A, const TBox& B) {
  return {std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right), std::min(A.Bottom, B.Bottom)};
}

// The pixel value to paint for Color; false for clNone, which paints nothing.
bool PixelValue(TColor Color, std::uint32_t& Value) {
  const TColor rgb = ColorToRGB(Color);
  if (rgb == clNone) return false;
  Value = static_cast<std::uint32_t>(rgb) & 0x00FFFFFFu;
  return true;
}

std::uint32_t* PixelAt(const TPixelSurface& S, std::int64_t X, std::int64_t Y) {
  return S.Pixels + static_cast<std::size_t>(Y) * static_cast<std::size_t>(S.Stride) + static_cast<std::size_t>(X);
}

// Fills the part of Box inside Area (which lies within the surface).
// Barcode bars are boxes one or two modules wide and many rows high, so a
// narrow box is written column-wise without a fill call per row.
void FillBox(const TPixelSurface& S, const TBox& Area, const TBox& Box, std::uint32_t Value) {
  const TBox b = Intersect(Area, Box);
  if (b.Empty()) return;
  const auto width = static_cast<std::size_t>(b.Right - b.Left);
  const auto stride = static_cast<std::size_t>(S.Stride);
  std::uint32_t* row = PixelAt(S, b.Left, b.Top);
  std::uint32_t* const end = row + static_cast<std::size_t>(b.Bottom - b.Top) * stride;
  if (width <= 4) {
    for (; row != end; row += stride)
      for (std::size_t x = 0; x < width; ++x) row[x] = Value;
    return;
  }
  for (; row != end; row += stride) std::fill_n(row, width, Value);
}

// Hatched brushes paint as solid ones: a control that asked for a pattern
// gets its area covered rather than left see-through.
bool BrushPaints(const TBrush& Brush) { return Brush.GetStyle() != bsClear; }


// Antialiased glyph coverage: each channel moves from the pixel already
// there towards the text colour in proportion to the coverage.

std::uint32_t Blend(std::uint32_t Back, std::uint32_t Fore, std::uint32_t Coverage) {
  std::uint32_t result = 0;
  for (unsigned shift = 0; shift < 24; shift += 8) {
    const std::uint32_t b = (Back >> shift) & 0xFF, f = (Fore >> shift) & 0xFF;
    result |= ((b * (255 - Coverage) + f * Coverage + 127) / 255) << shift;
  }
  return result;
}

struct TBlendTarget {
  TBlendTarget(TPixelSurface S, std::uint32_t C) : Surface(S), Color(C) {}
  TPixelSurface Surface;
  std::uint32_t Color;
  // Text mostly lies on a plain background, so the blends over the first
  // background met are kept by coverage; other backgrounds blend directly.
  std::uint32_t TableBack = 0;
  bool HaveTableBack = false;
  std::array<std::uint32_t, 256> Table{};
  std::array<bool, 256> Known{};

  std::uint32_t Over(std::uint32_t Back, std::uint8_t Coverage) {
    if (!HaveTableBack) {
      TableBack = Back;
      HaveTableBack = true;
    }
    if (Back != TableBack) return Blend(Back, Color, Coverage);
    if (!Known[Coverage]) {
      Table[Coverage] = Blend(Back, Color, Coverage);
      Known[Coverage] = true;
    }
    return Table[Coverage];
  }
};

void BlendSpan(void* Context, std::int64_t X, std::int64_t Y, std::int32_t Length, std::uint8_t Coverage) {
  auto& t = *static_cast<TBlendTarget*>(Context);
  std::uint32_t* p = PixelAt(t.Surface, X, Y);
  if (Coverage == 255) {
    std::fill(p, p + Length, t.Color);
    return;
  }
  for (std::int32_t i = 0; i < Length; ++i) p[i] = t.Over(p[i], Coverage);
}

void BlendMask(void* Context, std::int64_t X, std::int64_t Y, std::int32_t Width, std::int32_t Height,
               const std::uint8_t* Coverage, std::int32_t Stride) {
  auto& t = *static_cast<TBlendTarget*>(Context);
  std::uint32_t* row = PixelAt(t.Surface, X, Y);
  for (std::int32_t y = 0; y < Height; ++y, row += t.Surface.Stride, Coverage += Stride)
    for (std::int32_t x = 0; x < Width; ++x) {
      const std::uint8_t c = Coverage[x];
      if (c == 255) row[x] = t.Color;
      else if (c) row[x] = t.Over(row[x], c);
    }
}

}  // namespace

namespace fonts {
TFontSpec SpecOf(const TFont& Font) {
  return {Font.GetName(), Font.GetHeight(), Font.GetStyle().Contains(fsBold), Font.GetStyle().Contains(fsItalic)};
}
}  // namespace fonts

TCanvas::TCanvas()
    : FBrush(std::make_unique<TBrush>()), FPen(std::make_unique<TPen>()), FFont(std::make_unique<TFont>()) {}

TCanvas::~TCanvas() = default;

// The interior first, then the outline on top. Pens wider than one pixel draw
// an outline of that thickness inside the rectangle, so the rectangle never
// grows; every pen style other than psClear draws a solid line.
void TCanvas::Rectangle(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2) {
  const TPixelSurface s = Surface();
  if (!Usable(s)) return;
  const TBox area = DrawArea(s, FHasClip, FClip);
  const std::int64_t ox = FOrigin.X, oy = FOrigin.Y;
  const TBox r{std::min(X1, X2) + ox, std::min(Y1, Y2) + oy, std::max(X1, X2) + ox, std::max(Y1, Y2) + oy};
  if (r.Empty()) return;
  std::uint32_t value = 0, outline = 0;
  const bool filled = BrushPaints(*FBrush) && PixelValue(FBrush->GetColor(), value);
  if (filled) FillBox(s, area, r, value);
  if (FPen->GetStyle() == psClear || !PixelValue(FPen->GetColor(), outline)) return;
  // An outline in the fill's own colour changes nothing (the barcode bars:
  // black on black), so skip its four strips.
  if (filled && outline == value) return;
  value = outline;
  const std::int64_t t = std::max<std::int64_t>(FPen->GetWidth(), 1);
  FillBox(s, area, {r.Left, r.Top, r.Right, std::min(r.Bottom, r.Top + t)}, value);
  FillBox(s, area, {r.Left, std::max(r.Top, r.Bottom - t), r.Right, r.Bottom}, value);
  FillBox(s, area, {r.Left, r.Top, std::min(r.Right, r.Left + t), r.Bottom}, value);
  FillBox(s, area, {std::max(r.Left, r.Right - t), r.Top, r.Right, r.Bottom}, value);
}

// Unlike Rectangle, a rectangle whose corners are swapped is empty.
void TCanvas::FillRect(const TRect& R) {
  const TPixelSurface s = Surface();
  std::uint32_t value;
  if (!Usable(s) || !BrushPaints(*FBrush) || !PixelValue(FBrush->GetColor(), value)) return;
  const std::int64_t ox = FOrigin.X, oy = FOrigin.Y;
  FillBox(s, DrawArea(s, FHasClip, FClip), {R.Left + ox, R.Top + oy, R.Right + ox, R.Bottom + oy}, value);
}

void TCanvas::TextOut(std::int32_t X, std::int32_t Y, const std::string& Text) {
  const TPixelSurface s = Surface();
  if (!Usable(s)) return;
  const fonts::TFontSpec request = fonts::SpecOf(*FFont);
  const fonts::TTextMetrics m = fonts::GetMetrics(request);
  const std::int64_t width = fonts::MeasureText(request, Text);
  const std::int64_t x = X + std::int64_t{FOrigin.X}, y = Y + std::int64_t{FOrigin.Y};
  const std::int64_t baseline = y + m.Ascent;
  const TBox area = DrawArea(s, FHasClip, FClip);
  std::uint32_t value;
  if (BrushPaints(*FBrush) && PixelValue(FBrush->GetColor(), value))
    FillBox(s, area, {x, y, x + width, baseline + m.Descent}, value);
  if (!PixelValue(FFont->GetColor(), value) || area.Empty()) return;
  TBlendTarget target(s, value);
  fonts::RenderText(request, Text, x, baseline, area, &BlendSpan, &BlendMask, &target);
  const TFontStyles style = FFont->GetStyle();
  if (style.Contains(fsUnderline))
    FillBox(s, area, {x, baseline + m.UnderlineTop, x + width, baseline + m.UnderlineTop + m.LineThickness}, value);
  if (style.Contains(fsStrikeOut))
    FillBox(s, area, {x, baseline + m.StrikeOutTop, x + width, baseline + m.StrikeOutTop + m.LineThickness}, value);
}

std::int32_t TCanvas::TextWidth(const std::string& Text) {
  const std::int64_t width = fonts::MeasureText(fonts::SpecOf(*FFont), Text);
  return static_cast<std::int32_t>(std::min<std::int64_t>(width, std::numeric_limits<std::int32_t>::max()));
}

std::int32_t TCanvas::TextHeight(const std::string&) {
  const fonts::TTextMetrics m = fonts::GetMetrics(fonts::SpecOf(*FFont));
  return m.Ascent + m.Descent;
}

// Like drawing, reading sees only the pixels inside the clip rect.
TColor TCanvas::GetPixel(std::int32_t X, std::int32_t Y) const {
  const TPixelSurface s = Surface();
  if (!Usable(s)) return clNone;
  const std::int64_t x = X + std::int64_t{FOrigin.X}, y = Y + std::int64_t{FOrigin.Y};
  const TBox area = DrawArea(s, FHasClip, FClip);
  if (x < area.Left || x >= area.Right || y < area.Top || y >= area.Bottom) return clNone;
  return static_cast<TColor>(*PixelAt(s, x, y) & 0x00FFFFFFu);
}

void TCanvas::SetPixel(std::int32_t X, std::int32_t Y, TColor Color) {
  const TPixelSurface s = Surface();
  std::uint32_t value;
  if (!Usable(s) || !PixelValue(Color, value)) return;
  const std::int64_t x = X + std::int64_t{FOrigin.X}, y = Y + std::int64_t{FOrigin.Y};
  FillBox(s, DrawArea(s, FHasClip, FClip), {x, y, x + 1, y + 1}, value);
}

// ---- Bitmap --------------------------------------------------------------------

// The bitmap's own canvas: it draws into whatever pixel buffer the bitmap has
// at the time of each call, so resizing never leaves it on a stale buffer.
class TBitmap::TBitmapCanvas final : public TCanvas {
public:
  explicit TBitmapCanvas(TBitmap& Owner) : FOwner(Owner) {}

protected:
  TPixelSurface Surface() const override {
    if (FOwner.Empty()) return {};
    return {FOwner.FPixels.data(), FOwner.FWidth, FOwner.FHeight, FOwner.FWidth};
  }

private:
  TBitmap& FOwner;
};

namespace {

constexpr std::uint32_t WhitePixel = 0x00FFFFFF;

[[noreturn]] void TooLarge(std::int64_t W, std::int64_t H, const char* Why) {
  throw EOutOfResources("Cannot make a bitmap of " + std::to_string(W) + " x " + std::to_string(H) +
                        " pixels: " + Why);
}

void CheckSaveable(const TBitmap& B) {
  // Neither format can hold a bitmap without pixels (PNG forbids a zero
  // dimension and many BMP readers reject one), so both refuse.
  if (B.Empty())
    throw EInvalidGraphic("cannot save an empty bitmap (" + std::to_string(B.GetWidth()) + " x " +
                          std::to_string(B.GetHeight()) + ")");
}

}  // namespace

TBitmap::TBitmap() : FCanvas(std::make_unique<TBitmapCanvas>(*this)) {}

TBitmap::~TBitmap() = default;

void TBitmap::SetWidth(std::int32_t Value) { SetSize(Value, FHeight); }
void TBitmap::SetHeight(std::int32_t Value) { SetSize(FWidth, Value); }

// The new buffer is built completely before anything changes, so a failure
// leaves the bitmap as it was.
void TBitmap::SetSize(std::int32_t W, std::int32_t H) {
  W = std::max(W, 0);
  H = std::max(H, 0);
  if (W == FWidth && H == FHeight) return;
  const std::int64_t count = std::int64_t{W} * H;
  if (count > imageio::MaxPixels) TooLarge(W, H, "more than 2^26 pixels");
  std::vector<std::uint32_t> pixels;
  try {
    pixels.assign(static_cast<std::size_t>(count), WhitePixel);
  } catch (const std::bad_alloc&) {
    TooLarge(W, H, "out of memory");
  }
  const std::size_t keepW = static_cast<std::size_t>(std::min(W, FWidth));
  const std::int32_t keepH = std::min(H, FHeight);
  if (!FPixels.empty())
    for (std::int32_t y = 0; y < keepH; ++y)
      std::copy_n(FPixels.data() + std::size_t(y) * std::size_t(FWidth), keepW,
                  pixels.data() + std::size_t(y) * std::size_t(W));
  FPixels.swap(pixels);
  FWidth = W;
  FHeight = H;
}

std::uint32_t* TBitmap::ScanLine(std::int32_t Y) {
  return FPixels.data() + static_cast<std::size_t>(Y) * static_cast<std::size_t>(FWidth);
}
const std::uint32_t* TBitmap::ScanLine(std::int32_t Y) const {
  return FPixels.data() + static_cast<std::size_t>(Y) * static_cast<std::size_t>(FWidth);
}

void TBitmap::SaveToFile(const std::string& FileName) const {
  const std::string ext = LowerCase(ExtractFileExt(FileName));
  std::vector<std::uint8_t> bytes;
  if (ext == ".png")
    bytes = SaveToPNG();
  else if (ext == ".bmp")
    bytes = SaveToBMP();
  else
    throw EInvalidGraphic("Cannot save a bitmap to '" + FileName + "': unsupported file extension '" + ext + "'");
  imageio::WriteFileAtomically(FileName, bytes);
}

std::vector<std::uint8_t> TBitmap::SaveToPNG() const {
  CheckSaveable(*this);
  return imageio::EncodePNG(FPixels.data(), FWidth, FHeight);
}

std::vector<std::uint8_t> TBitmap::SaveToBMP() const {
  CheckSaveable(*this);
  return imageio::EncodeBMP(FPixels.data(), FWidth, FHeight);
}

// Reads whatever the extension says; the bytes must be a BMP file.
void TBitmap::LoadFromFile(const std::string& FileName) {
  const std::vector<std::uint8_t> bytes = imageio::ReadWholeFile(FileName);
  try {
    LoadFromBMP(bytes.data(), bytes.size());
  } catch (EInvalidGraphic& e) {
    e.SetMessage(FileName + ": " + e.Message());
    throw;
  }
}

void TBitmap::LoadFromBMP(const std::uint8_t* Data, std::size_t Size) {
  imageio::TImage image = imageio::DecodeBMP(Data, Size);
  FPixels.swap(image.Pixels);
  FWidth = image.Width;
  FHeight = image.Height;
}

void TBitmap::Assign(const TPersistent* Source) {
  if (auto* bitmap = dynamic_cast<const TBitmap*>(Source)) {
    if (bitmap == this) return;
    std::vector<std::uint32_t> pixels;
    try {
      pixels = bitmap->FPixels;
    } catch (const std::bad_alloc&) {
      TooLarge(bitmap->FWidth, bitmap->FHeight, "out of memory");
    }
    FPixels.swap(pixels);
    FWidth = bitmap->FWidth;
    FHeight = bitmap->FHeight;
    return;
  }
  inherited::Assign(Source);
}

void TBitmap::DefineProperties(TFiler& Filer) {
  inherited::DefineProperties(Filer);
  Filer.DefineBinaryProperty(
      "Data", [this](const std::vector<std::uint8_t>& Bytes) { LoadFromBMP(Bytes.data(), Bytes.size()); },
      [this] { return SaveToBMP(); }, !Empty());
}

TColor TBitmap::GetTransparentColor() const {
  if (Empty()) return clNone;
  return static_cast<TColor>(FPixels[std::size_t(FHeight - 1) * std::size_t(FWidth)] & 0x00FFFFFFu);
}

}  // namespace vcl
