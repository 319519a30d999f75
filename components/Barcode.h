// The barcode components.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <vcl/Classes.h>
#include <vcl/Graphics.h>

#include "BarcodeDef.h"

namespace tolvane {

// A non-visual component that keeps one barcode symbol in a bitmap it owns.
// Every setter stores its value and redraws the bitmap at once, without
// comparing the new value with the old one, so Bitmap always holds the
// current symbol. The bar height is the bitmap's height; the width always
// follows the text, type and scale.
class TBarcodeBmp : public vcl::TComponent {
  TVCL_CLASS(TBarcodeBmp, vcl::TComponent)
  explicit TBarcodeBmp(vcl::TComponent* AOwner);
  ~TBarcodeBmp() override;

  std::int32_t GetHeight() const;
  void SetHeight(std::int32_t Value);
  // The same object for the component's whole life.
  vcl::TBitmap* GetBitmap() const { return FBitmap.get(); }
  const std::string& GetBarcodeText() const { return FText; }
  void SetBarcodeText(const std::string& Value);
  TBarCodeType GetBarcodeType() const { return FType; }
  // Refilters the stored text under the new type (characters dropped before
  // stay dropped) and redraws.
  void SetBarcodeType(TBarCodeType Value);
  std::int32_t GetScale() const { return FScale; }
  void SetScale(std::int32_t Value);
  bool GetInterpret() const { return FInterpret; }
  void SetInterpret(bool Value);
  vcl::TColor GetColor() const { return FColor; }
  void SetColor(vcl::TColor Value);

  // Redraws the bitmap from the stored state.
  void PaintBC();
  // Draws the current symbol on another canvas of the bitmap's size (an SVG
  // canvas, a printer): the same fill and the same engine calls.
  void DrawTo(vcl::TCanvas& Canvas) const;

private:
  std::unique_ptr<vcl::TBitmap> FBitmap;
  std::string FText;             // as filtered for FType
  std::string FStoredText;       // while loading: the text as stored, before filtering
  TBarCodeType FType = bcCode128;
  std::int32_t FScale = 1;       // module width in pixels
  bool FInterpret = true;        // print the human-readable line
  vcl::TColor FColor = vcl::clWhite;
};

// Paints a barcode on a Width x Height area of Canvas: the whole area
// filled with Color, then the symbol.
void PaintBarcode(vcl::TCanvas& Canvas, std::int32_t Width, std::int32_t Height, const std::string& Text,
                  TBarCodeType Type, std::int32_t Scale, bool Interpret, vcl::TColor Color);

// Redraws a barcode into Bitmap the way every bitmap barcode component does:
// the width from the engine, then PaintBarcode over the whole bitmap.
void PaintBarcodeBitmap(vcl::TBitmap& Bitmap, const std::string& Text, TBarCodeType Type,
                        std::int32_t Scale, bool Interpret, vcl::TColor Color);

}  // namespace tolvane
