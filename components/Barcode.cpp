#include "Barcode.h"

namespace tolvane {

using namespace vcl;

constexpr TPropInfo BarcodeBmpProps[] = {
    IntegerProp<TBarcodeBmp, &TBarcodeBmp::GetHeight, &TBarcodeBmp::SetHeight>("Height"),
    ClassProp<TBarcodeBmp, TBitmap, &TBarcodeBmp::GetBitmap>("Bitmap"),
    StringProp<TBarcodeBmp, &TBarcodeBmp::GetBarcodeText, &TBarcodeBmp::SetBarcodeText>("BarcodeText"),
    EnumProp<TBarcodeBmp, &TBarcodeBmp::GetBarcodeType, &TBarcodeBmp::SetBarcodeType>("BarcodeType",
                                                                                      &BarCodeTypeInfo),
    IntegerProp<TBarcodeBmp, &TBarcodeBmp::GetScale, &TBarcodeBmp::SetScale>("Scale"),
    BooleanProp<TBarcodeBmp, &TBarcodeBmp::GetInterpret, &TBarcodeBmp::SetInterpret>("Interpret"),
    ColorProp<TBarcodeBmp, &TBarcodeBmp::GetColor, &TBarcodeBmp::SetColor>("Color"),
};
constinit const TClassInfo TBarcodeBmp::ClassInfo = {"TBarcodeBmp", &TComponent::ClassInfo, BarcodeBmpProps,
                                                     std::size(BarcodeBmpProps),
                                                     &ConstructComponent<TBarcodeBmp>};

void PaintBarcode(TCanvas& Canvas, std::int32_t Width, std::int32_t Height, const std::string& Text,
                  TBarCodeType Type, std::int32_t Scale, bool Interpret, TColor Color) {
  Canvas.GetBrush()->SetColor(Color);
  Canvas.FillRect(Rect(0, 0, Width, Height));
  CreateBC(&Canvas, Color, Type, Scale, Height, Width, Text, Interpret);
}

void PaintBarcodeBitmap(TBitmap& Bitmap, const std::string& Text, TBarCodeType Type, std::int32_t Scale,
                        bool Interpret, TColor Color) {
  Bitmap.SetWidth(CalcWidth(Scale, Type, Text));
  PaintBarcode(*Bitmap.GetCanvas(), Bitmap.GetWidth(), Bitmap.GetHeight(), Text, Type, Scale, Interpret, Color);
}

// The construction order matters to nobody but is kept plain: the bitmap
// first, then the settings, then the canvas's brush style. Nothing is drawn
// until the first setter runs.
TBarcodeBmp::TBarcodeBmp(TComponent* AOwner) : TComponent(AOwner), FBitmap(std::make_unique<TBitmap>()) {
  FBitmap->SetHeight(50);
  FScale = 1;
  FBitmap->SetWidth(20 * FScale);
  FInterpret = true;
  FType = bcCode128;
  FColor = clWhite;
  FBitmap->GetCanvas()->GetBrush()->SetStyle(bsSolid);
}

TBarcodeBmp::~TBarcodeBmp() = default;

std::int32_t TBarcodeBmp::GetHeight() const { return FBitmap->GetHeight(); }

void TBarcodeBmp::PaintBC() { PaintBarcodeBitmap(*FBitmap, FText, FType, FScale, FInterpret, FColor); }

void TBarcodeBmp::DrawTo(TCanvas& Canvas) const {
  PaintBarcode(Canvas, FBitmap->GetWidth(), FBitmap->GetHeight(), FText, FType, FScale, FInterpret, FColor);
}

void TBarcodeBmp::SetHeight(std::int32_t Value) {
  FBitmap->SetHeight(Value);
  PaintBC();
}

// A stored form sets BarcodeText before BarcodeType, so the text would first
// be filtered under the default type and lose what only the stored type can
// carry (a Code 93 tab, say). While loading, the type setter therefore
// refilters the text as stored rather than the text kept so far.
void TBarcodeBmp::SetBarcodeText(const std::string& Value) {
  if (ComponentState().Contains(vcl::csLoading)) FStoredText = Value;
  FText = FilterBCText(FType, Value);
  PaintBC();
}

void TBarcodeBmp::SetBarcodeType(TBarCodeType Value) {
  FType = Value;
  std::string text = FText;
  if (ComponentState().Contains(vcl::csLoading) && !FStoredText.empty()) text = std::move(FStoredText);
  FStoredText.clear();
  SetBarcodeText(text);
  PaintBC();
}

void TBarcodeBmp::SetScale(std::int32_t Value) {
  FScale = Value;
  PaintBC();
}

void TBarcodeBmp::SetInterpret(bool Value) {
  FInterpret = Value;
  PaintBC();
}

void TBarcodeBmp::SetColor(TColor Value) {
  FColor = Value;
  PaintBC();
}

}  // namespace tolvane
