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

// Code 128: start character, data with code-set switches, modulo-103 check
// character and stop, 11 modules a symbol character (13 for the stop).
void BarcodeCode128(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                    std::int32_t Scale, std::string Text);
// The code set ('A', 'B' or 'C') a text starts in.
char Get_128_StartCode(std::string Text);
// The symbol string of Text: one character per symbol character, its code
// being the symbol value + 32; start, data and switches, check, stop.
std::string Optimize_128_bc(std::string Text);
// The modulo-103 check character (value + 32) of a symbol string without
// check and stop.
char Code128_Check_Digit(std::string Text);

// Code 93, full ASCII: start, one or two symbol characters per text
// character, check characters C and K, stop with termination bar.
void BarcodeCode93(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                   std::int32_t Scale, std::string Text);
std::uint8_t Mod93Left(std::string Text);   // the C check value 0..46
std::uint8_t Mod93Right(std::string Text);  // the K check value 0..46

// Interleaved 2 of 5: digit pairs (bars and spaces), a leading '0' for an odd
// count, between start and stop; wide elements are one rectangle of 3 modules.
void BarcodeInt2of5(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                    std::int32_t Scale, std::string Text);

// The UPC/EAN modulo-10 check digit of a digit string, as a character.
char Mod10Check(std::string Text);
// UPC-A (11 data digits), EAN-13 (12) and EAN-8 (7): padded in front with
// '0', check digit appended, guards and halves drawn.
void BarcodeUPCA(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                 std::int32_t Scale, std::string Text);
void BarcodeEAN13(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                  std::int32_t Scale, std::string Text);
void BarcodeEAN8(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                 std::int32_t Scale, std::string Text);

// UPC-E, number system 0: six digits whose parity carries the check digit of
// their UPC-A expansion.
void BarcodeUPCE(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                 std::int32_t Scale, std::string Text);
// The 11-digit UPC-A number six UPC-E digits stand for, or "".
std::string UPCE_Expand(std::string Text);
// The six UPC-E digits of an 11-digit UPC-A number, or "" when it has none.
std::string UPCA_to_UPCE(std::string Text);

// The 2- and 5-digit add-ons, drawn alone. The 2-digit one raises
// vcl::EConvertError when its pair is not a decimal number.
void BarcodeUPC2ext(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                    std::int32_t Scale, std::string Text);
void BarcodeUPC5ext(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                    std::int32_t Scale, std::string Text);

// POSTNET: full and half bars, a frame bar at each end, check digit appended.
void BarcodePOSTNET(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                    std::int32_t Scale, std::string Text);
// The digit that makes the digit sum a multiple of 10, as a character.
char POSTNET_Check(std::string Text);

// ---- Pattern tables -----------------------------------------------------------
// Code 39 characters 32 (' ') .. 91 ('['), indexed by code - 32: the 13
// modules of a character in bits 15..3, module 0 (bit 15) first; 0 = no pattern.
extern const std::uint32_t BC_Code39[60];

// Code 128 symbol values 0..106: 11 modules in bits 15..5; the stop (106)
// 13 modules in bits 15..3 with its final bar.
extern const std::uint16_t BC_Code128[107];
// Code 93: values 0..46 (9 modules in bits 15..7), 47 start/stop, 48 stop
// with the termination bar (10 modules).
extern const std::uint16_t BC_Code93[49];
// Code 93 full-ASCII map by character code 0..127: high byte the first
// symbol value, low byte the second or 255 when there is none.
extern const std::uint16_t BC_Code93_Reference[128];
// Interleaved 2 of 5 by code - 47: '/' start modules, '0'..'9' width flags
// (bit 7 - k set: element k wide), ':' stop modules.
extern const std::uint8_t BC_Int2of5[12];
// Retail words, little-endian 16-bit, high byte and low byte each a pattern
// read from bit 7: BC_UPCA by code - 47 ('/' guard, digits L|R, ':' centre);
// BC_EAN_LEFT by digit L|G; BC_EAN_RIGHT by digit R|EAN-13 parity (bits 7..2).
extern const std::uint16_t BC_UPCA[12];
extern const std::uint16_t BC_EAN_LEFT[10];
extern const std::uint16_t BC_EAN_RIGHT[10];
// UPC-E by digit L|G, and the parity by check digit: number system 0 in the
// high byte's bits 7..2, number system 1 in the low byte's.
extern const std::uint16_t BC_UPCE[10];
extern const std::uint16_t BC_UPCE_Parity[10];
// 5-digit add-on parity by check value: bits 7..3, 1 = G code.
extern const std::uint8_t BC_UPC5ext_Parity[10];
// POSTNET by digit: bits 7..3 the five bars, 1 = full, 0 = half.
extern const std::uint8_t BC_POSTNET[10];

}  // namespace tolvane
