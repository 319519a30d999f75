// The barcode engine: symbologies, text filtering, symbol widths, and the
// encoders that paint bars on a canvas. Stateless free functions and constant
// pattern tables; nothing here keeps data between calls.
#pragma once

#include <cstdint>
#include <string>

#include <vcl/Graphics.h>

namespace tolvane {

// The symbology, one byte. Every function also takes an ordinal outside
// 0..10 and treats it as no symbology at all.
enum TBarCodeType : std::uint8_t {
  bcCode128, bcCode39, bcUPCA, bcInt2of5, bcCode93, bcEAN13, bcEAN8,
  bcPOSTNET, bcUPCE, bcUPC2ext, bcUPC5ext,
};
extern const vcl::TEnumInfo BarCodeTypeInfo;

// Drops the characters the symbology cannot carry (upper-casing Code 39
// first) and cuts fixed-length symbologies to their data length.
std::string FilterBCText(TBarCodeType BarcodeType, std::string Text);

// Width in pixels of the symbol area for Text, both quiet zones included.
std::int32_t CalcWidth(std::int32_t Scale, TBarCodeType BarcodeType, std::string Text);

// Draws the bars at X = 10 x Scale and, when Interpret is set, the
// human-readable line. Does not fill the background and does not filter.
void CreateBC(vcl::TCanvas* Canvas, vcl::TColor Color, TBarCodeType BarcodeType, std::int32_t Scale,
              std::int32_t Height, std::int32_t Width, std::string Text, bool Interpret);

// The human-readable line for the symbology: sets the font to Courier New at
// 8 x Scale points in black and the brush colour to Color, then draws.
void PrintInterpret(vcl::TCanvas* Canvas, vcl::TColor Color, TBarCodeType BarcodeType,
                    std::int32_t Scale, std::int32_t Height, std::int32_t Width, std::string Text);

// ---- Encoder support -----------------------------------------------------------
// Scale, Height, Width and the coordinates derived from them are 32-bit values
// whose arithmetic wraps around like the machine's: a caller may pass any
// value and never gets undefined behaviour, only a coordinate the canvas clips.
constexpr std::int32_t WrapAdd(std::int32_t A, std::int32_t B) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(A) + static_cast<std::uint32_t>(B));
}
constexpr std::int32_t WrapSub(std::int32_t A, std::int32_t B) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(A) - static_cast<std::uint32_t>(B));
}
constexpr std::int32_t WrapMul(std::int32_t A, std::int32_t B) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(A) * static_cast<std::uint32_t>(B));
}

// Held by an encoder for the length of its call: switches the canvas brush to
// solid black for the bars and gives the caller's brush colour and style back
// however the encoder returns.
class TBarBrush {
public:
  explicit TBarBrush(vcl::TCanvas* Canvas);
  ~TBarBrush();
  TBarBrush(const TBarBrush&) = delete;
  TBarBrush& operator=(const TBarBrush&) = delete;

private:
  vcl::TCanvas* FCanvas;
  vcl::TColor FColor;
  vcl::TBrushStyle FStyle;
};

// ---- Encoders ---------------------------------------------------------------
// Each paints its dark modules as black rectangles from (x, Y) to
// (x + Scale, Y + Height), starting at x = X, and restores the brush.

// Code 39: '*' + Text + '*', 13 modules a character (a light gap module first).
void BarcodeCode39(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                   std::int32_t Scale, std::string Text);

// ---- Pattern tables -----------------------------------------------------------
// Code 39 characters 32 (' ') .. 91 ('['), indexed by code - 32: the 13
// modules of a character in bits 15..3, module 0 (bit 15) first; 0 = no pattern.
extern const std::uint32_t BC_Code39[60];

}  // namespace tolvane
