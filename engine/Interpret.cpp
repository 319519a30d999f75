// The human-readable line under (or, for the add-ons, over) the bars.
#include "BarcodeDef.h"

namespace tolvane {

namespace {

const char* const InterpretFontName = "Courier New";
// The line is set at 8 points for every unit of Scale.
constexpr std::int32_t InterpretPointsPerScale = 8;

// The text centred on the symbol area, its cell resting on the bottom edge.
// Integer halves round toward zero; a text wider than the area starts left
// of it and the canvas cuts it off.
void PrintDefaultLine(vcl::TCanvas* Canvas, std::int32_t Height, std::int32_t Width,
                      const std::string& Text) {
  const std::int32_t X = WrapSub(Width / 2, Canvas->TextWidth(Text) / 2);
  const std::int32_t Y = WrapSub(Height, Canvas->TextHeight(Text));
  Canvas->TextOut(X, Y, Text);
}

}  // namespace

// Sets the font and brush colour for every symbology (left set afterwards;
// the brush style stays as the caller had it), then draws the symbology's
// line. The retail symbologies and the add-ons get their own layouts with
// their encoders; POSTNET and unknown ordinals have no line.
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
    case bcEAN13:
    case bcUPCE:
      break;  // the retail layout (digits split around the guards) comes with its encoder
    case bcUPC2ext:
    case bcUPC5ext:
      break;  // the add-on line above the bars comes with its encoder
    case bcPOSTNET:
      break;  // POSTNET carries no line
  }
}

}  // namespace tolvane
