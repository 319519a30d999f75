// The human-readable line under (or, for the add-ons, over) the bars.
#include <cstddef>
#include <string>
#include <utility>

#include "BarcodeDef.h"

namespace tolvane {

namespace {

const char* const InterpretFontName = "Courier New";
// The line is set at 8 points for every unit of Scale.
constexpr std::int32_t InterpretPointsPerScale = 8;
// Data lengths without the check digit, to which the layouts pad a text.
constexpr std::size_t UPCADataLength = 11;
constexpr std::size_t EAN13DataLength = 12;
constexpr std::size_t UPCEDataLength = 6;

// The text centred on the symbol area, its cell resting on the bottom edge.
// Integer halves round toward zero; a text wider than the area starts left
// of it and the canvas cuts it off.
void PrintDefaultLine(vcl::TCanvas* Canvas, std::int32_t Height, std::int32_t Width,
                      const std::string& Text) {
  const std::int32_t X = WrapSub(Width / 2, Canvas->TextWidth(Text) / 2);
  const std::int32_t Y = WrapSub(Height, Canvas->TextHeight(Text));
  Canvas->TextOut(X, Y, Text);
}

// Text with '0' put in front until it has Length characters.
std::string PadFront(std::string Text, std::size_t Length) {
  if (Text.size() < Length) Text.insert(0, Length - Text.size(), '0');
  return Text;
}

// The retail digits stand on the bottom line: their cell reaches 2 pixels
// below the bottom edge of the area.
void TextOnBottomLine(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Height, const std::string& Text) {
  Canvas->TextOut(X, WrapSub(WrapAdd(Height, 2), Canvas->TextHeight(Text)), Text);
}

// Text centred on CentreX on the bottom line.
void CentredOnBottomLine(vcl::TCanvas* Canvas, std::int32_t CentreX, std::int32_t Height,
                         const std::string& Text) {
  TextOnBottomLine(Canvas, WrapSub(CentreX, Canvas->TextWidth(Text) / 2), Height, Text);
}

// Text flush with the area's right edge on the bottom line.
void RightAlignedOnBottomLine(vcl::TCanvas* Canvas, std::int32_t Width, std::int32_t Height,
                              const std::string& Text) {
  TextOnBottomLine(Canvas, WrapSub(Width, Canvas->TextWidth(Text)), Height, Text);
}

// UPC-A: the number-system digit in the left quiet zone, the check digit
// flush right, the two groups of five centred on a third and two thirds of
// the width. A text of 12 or more characters shows its twelfth character in
// the check position, as the encoder draws it.
void PrintUPCALine(vcl::TCanvas* Canvas, std::int32_t Height, std::int32_t Width, std::string Text) {
  std::string S = PadFront(std::move(Text), UPCADataLength);
  S += Mod10Check(S);
  const std::int32_t Third = Width / 3;
  TextOnBottomLine(Canvas, 0, Height, S.substr(0, 1));
  RightAlignedOnBottomLine(Canvas, Width, Height, S.substr(11, 1));
  CentredOnBottomLine(Canvas, Third, Height, S.substr(1, 5));
  CentredOnBottomLine(Canvas, WrapMul(2, Third), Height, S.substr(6, 5));
}

// EAN-13: the leading digit in the left quiet zone, the two groups of six
// (the check digit ending the second) centred as one string with a space
// between them.
void PrintEAN13Line(vcl::TCanvas* Canvas, std::int32_t Height, std::int32_t Width, std::string Text) {
  std::string S = PadFront(std::move(Text), EAN13DataLength);
  S += Mod10Check(S);
  TextOnBottomLine(Canvas, 0, Height, S.substr(0, 1));
  CentredOnBottomLine(Canvas, Width / 2, Height, S.substr(1, 6) + ' ' + S.substr(7, 6));
}

// UPC-E: the number system, always 0, at the left; the check digit of the
// expansion flush right; the six digits centred. A text of 7 or more
// characters shows its seventh character in the check position.
void PrintUPCELine(vcl::TCanvas* Canvas, std::int32_t Height, std::int32_t Width, std::string Text) {
  std::string S = PadFront(std::move(Text), UPCEDataLength);
  S += Mod10Check(UPCE_Expand(S));
  TextOnBottomLine(Canvas, 0, Height, "0");
  RightAlignedOnBottomLine(Canvas, Width, Height, S.substr(6, 1));
  CentredOnBottomLine(Canvas, Width / 2, Height, S.substr(0, 6));
}

// The add-on's digits centred at the top, in the band CreateBC leaves above
// its bars.
void PrintAddOnLine(vcl::TCanvas* Canvas, std::int32_t Width, const std::string& Text) {
  Canvas->TextOut(WrapSub(Width / 2, Canvas->TextWidth(Text) / 2), 0, Text);
}

}  // namespace

// Sets the font and brush colour for every symbology (left set afterwards;
// the brush style stays as the caller had it), then draws the symbology's
// line. The retail symbologies and the add-ons get layouts of their own;
// POSTNET and unknown ordinals have no line.
void PrintInterpret(vcl::TCanvas* Canvas, vcl::TColor Color, TBarCodeType BarcodeType,
                    std::int32_t Scale, std::int32_t Height, std::int32_t Width, std::string Text) {
  vcl::TFont* Font = Canvas->GetFont();
  Font->SetName(InterpretFontName);
  Font->SetSize(WrapMul(InterpretPointsPerScale, Scale));
  Font->SetColor(vcl::clBlack);
  Canvas->GetBrush()->SetColor(Color);

  switch (BarcodeType) {
    case bcCode128:
    case bcCode39:
    case bcInt2of5:
    case bcCode93:
    case bcEAN8:
      PrintDefaultLine(Canvas, Height, Width, Text);
      break;
    case bcUPCA:
      PrintUPCALine(Canvas, Height, Width, std::move(Text));
      break;
    case bcEAN13:
      PrintEAN13Line(Canvas, Height, Width, std::move(Text));
      break;
    case bcUPCE:
      PrintUPCELine(Canvas, Height, Width, std::move(Text));
      break;
    case bcUPC2ext:
    case bcUPC5ext:
      PrintAddOnLine(Canvas, Width, Text);
      break;
    case bcPOSTNET:
      break;  // POSTNET carries no line
  }
}

}  // namespace tolvane
