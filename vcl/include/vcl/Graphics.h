// Colours, brushes, pens, fonts, canvases and bitmaps.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"

namespace vcl {

// 0x00BBGGRR: 0 is black, 0x00FFFFFF white. Negative values are reserved for
// system colours (clBtnFace and friends), which a canvas resolves to RGB.
using TColor = std::int32_t;

constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);
constexpr TColor clBtnFace = clSystemColor | 15, clWindowText = clSystemColor | 8,
                 clWindow = clSystemColor | 5, clBtnShadow = clSystemColor | 16,
                 clBtnHighlight = clSystemColor | 20, clHighlight = clSystemColor | 13,
                 clHighlightText = clSystemColor | 14;
constexpr TColor clNone = 0x1FFFFFFF;

// The RGB value a colour stands for (system colours resolved to fixed values).
TColor ColorToRGB(TColor Color);
// "clWhite" for a named colour, otherwise "$00BBGGRR"; and back (EConvertError).
std::string ColorToString(TColor Color);
TColor StringToColor(const std::string& S);
bool IdentToColor(const std::string& Ident, TColor& Color);

constexpr std::uint8_t GetRValue(TColor c) { return static_cast<std::uint8_t>(c & 0xFF); }
constexpr std::uint8_t GetGValue(TColor c) { return static_cast<std::uint8_t>((c >> 8) & 0xFF); }
constexpr std::uint8_t GetBValue(TColor c) { return static_cast<std::uint8_t>((c >> 16) & 0xFF); }
constexpr TColor RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<TColor>(r | (g << 8) | (b << 16));
}

struct TPoint { std::int32_t X = 0, Y = 0; };
struct TRect {
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TRect&) const = default;
};
constexpr TRect Rect(std::int32_t L, std::int32_t T, std::int32_t R, std::int32_t B) { return {L, T, R, B}; }

// Base of brush, pen and font: a persistent object that reports changes.
class TGraphicsObject : public TPersistent {
  TVCL_CLASS(TGraphicsObject, TPersistent)
  std::function<void(TObject*)> OnChange;
protected:
  void Changed();
};

enum TBrushStyle : std::uint8_t { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal,
                                  bsBDiagonal, bsCross, bsDiagCross };
extern const TEnumInfo BrushStyleInfo;

class TBrush : public TGraphicsObject {
  TVCL_CLASS(TBrush, TGraphicsObject)
  TColor GetColor() const { return FColor; }
  void SetColor(TColor Value);
  TBrushStyle GetStyle() const { return FStyle; }
  void SetStyle(TBrushStyle Value);
  void Assign(const TPersistent* Source) override;
private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
};

enum TPenStyle : std::uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
extern const TEnumInfo PenStyleInfo;

// Black, one pixel wide, solid by default.
class TPen : public TGraphicsObject {
  TVCL_CLASS(TPen, TGraphicsObject)
  TColor GetColor() const { return FColor; }
  void SetColor(TColor Value);
  std::int32_t GetWidth() const { return FWidth; }
  void SetWidth(std::int32_t Value);
  TPenStyle GetStyle() const { return FStyle; }
  void SetStyle(TPenStyle Value);
  void Assign(const TPersistent* Source) override;
private:
  TColor FColor = clBlack;
  std::int32_t FWidth = 1;
  TPenStyle FStyle = psSolid;
};

enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
extern const TEnumInfo FontStyleInfo;
using TFontCharset = std::uint8_t;
constexpr TFontCharset ANSI_CHARSET = 0, DEFAULT_CHARSET = 1;

// Size is in points at 96 pixels per inch; Height is the same size in pixels,
// negative for the em height (Size 8 is Height -11), positive for the cell
// height (ascent plus descent).
class TFont : public TGraphicsObject {
  TVCL_CLASS(TFont, TGraphicsObject)
  static constexpr int PixelsPerInch = 96;
  TFont();
  const std::string& GetName() const { return FName; }
  void SetName(const std::string& Value);
  std::int32_t GetSize() const;
  void SetSize(std::int32_t Value);
  std::int32_t GetHeight() const { return FHeight; }
  void SetHeight(std::int32_t Value);
  TColor GetColor() const { return FColor; }
  void SetColor(TColor Value);
  TFontStyles GetStyle() const { return FStyle; }
  void SetStyle(TFontStyles Value);
  TFontCharset GetCharset() const { return FCharset; }
  void SetCharset(TFontCharset Value);
  void Assign(const TPersistent* Source) override;
private:
  std::string FName;
  std::int32_t FHeight;
  TColor FColor = clWindowText;
  TFontStyles FStyle;
  TFontCharset FCharset = DEFAULT_CHARSET;
};

// What a canvas draws into: 32-bit pixels, each a TColor (0x00BBGGRR).
struct TPixelSurface {
  std::uint32_t* Pixels = nullptr;
  std::int32_t Width = 0, Height = 0;
  std::int32_t Stride = 0;  // pixels per row
};

// Drawing operations on a pixel surface. Every operation clips to the
// surface (and to ClipRect): no coordinate, size or font can make it write
// outside the pixels. The operations are virtual so that a test can record
// what the barcode engine asks of its surface.
class TCanvas : public TPersistent {
  TVCL_CLASS(TCanvas, TPersistent)
  TCanvas();
  ~TCanvas() override;

  TBrush* GetBrush() const { return FBrush.get(); }
  TPen* GetPen() const { return FPen.get(); }
  TFont* GetFont() const { return FFont.get(); }

  // Columns X1..X2-1 and rows Y1..Y2-1 (corners in either order): the
  // interior in the brush colour when the brush is solid, the outline in the
  // pen colour unless the pen is psClear.
  virtual void Rectangle(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2);
  // Fills Left..Right-1 x Top..Bottom-1 with the brush, no outline.
  virtual void FillRect(const TRect& R);
  // Draws Text with the top-left corner of its cell at (X, Y); the cell is
  // TextWidth x TextHeight and is first painted in the brush colour when the
  // brush is solid. Text is 8-bit: byte c is the character U+00c.
  virtual void TextOut(std::int32_t X, std::int32_t Y, const std::string& Text);
  // Sum of the advances of the characters.
  virtual std::int32_t TextWidth(const std::string& Text);
  // The face's ascent plus descent at the font's size.
  virtual std::int32_t TextHeight(const std::string& Text);

  TColor GetPixel(std::int32_t X, std::int32_t Y) const;  // clNone outside
  void SetPixel(std::int32_t X, std::int32_t Y, TColor Color);

  // Drawing offset and clip in surface coordinates (controls draw on their
  // form's surface this way). The clip is intersected with the surface.
  void SetOrigin(TPoint Origin) { FOrigin = Origin; }
  TPoint GetOrigin() const { return FOrigin; }
  void SetClipRect(const TRect& R) { FClip = R; FHasClip = true; }
  void ClearClipRect() { FHasClip = false; }

protected:
  // The surface to draw on now; an empty surface makes every operation a no-op.
  virtual TPixelSurface Surface() const = 0;

private:
  std::unique_ptr<TBrush> FBrush;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TFont> FFont;
  TPoint FOrigin;
  TRect FClip;
  bool FHasClip = false;
};

class TGraphic : public TPersistent {
  TVCL_CLASS(TGraphic, TPersistent)
  virtual std::int32_t GetWidth() const = 0;
  virtual std::int32_t GetHeight() const = 0;
  virtual void SetWidth(std::int32_t Value) = 0;
  virtual void SetHeight(std::int32_t Value) = 0;
  virtual bool Empty() const { return GetWidth() <= 0 || GetHeight() <= 0; }
  // PNG or BMP by the extension; EInOutError when the file cannot be written,
  // EInvalidGraphic for an extension the class cannot write.
  virtual void SaveToFile(const std::string& FileName) const = 0;
  virtual void LoadFromFile(const std::string& FileName) = 0;
};

// A bitmap of 32-bit pixels. Width and height below zero count as zero.
// Growing keeps the pixels that stay inside and makes the new ones white. A
// size too large to allocate (more than 2^26 pixels, 256 MiB, or when memory runs out)
// raises EOutOfResources and leaves the bitmap as it was.
class TBitmap : public TGraphic {
  TVCL_CLASS(TBitmap, TGraphic)
  TBitmap();
  ~TBitmap() override;
  std::int32_t GetWidth() const override { return FWidth; }
  std::int32_t GetHeight() const override { return FHeight; }
  void SetWidth(std::int32_t Value) override;
  void SetHeight(std::int32_t Value) override;
  void SetSize(std::int32_t W, std::int32_t H);
  TCanvas* GetCanvas() const { return FCanvas.get(); }

  // Row y of the pixels (Width entries); undefined for y outside 0..Height-1.
  std::uint32_t* ScanLine(std::int32_t Y);
  const std::uint32_t* ScanLine(std::int32_t Y) const;

  // Both drop any alpha. PNG is a palette image when the picture has at most
  // 256 colours (one bit a pixel for a two-colour symbol), else 8-bit RGB; BMP
  // is 24-bit uncompressed.
  void SaveToFile(const std::string& FileName) const override;
  std::vector<std::uint8_t> SaveToPNG() const;
  std::vector<std::uint8_t> SaveToBMP() const;
  // Reads BMP files: 1, 4, 8, 24 and 32 bits per pixel, uncompressed,
  // bottom-up or top-down. Anything malformed raises EInvalidGraphic and
  // leaves the bitmap as it was.
  void LoadFromFile(const std::string& FileName) override;
  void LoadFromBMP(const std::uint8_t* Data, std::size_t Size);

  // Copies another bitmap's size and pixels.
  void Assign(const TPersistent* Source) override;
  // Stored forms carry the pixels as "Data" (a BMP file) when not empty.
  void DefineProperties(TFiler& Filer) override;

  // The colour treated as see-through when the bitmap is drawn transparently:
  // by default the bottom-left pixel's colour.
  TColor GetTransparentColor() const;

private:
  class TBitmapCanvas;
  std::int32_t FWidth = 0, FHeight = 0;
  std::vector<std::uint32_t> FPixels;
  std::unique_ptr<TCanvas> FCanvas;
};

}  // namespace vcl
