#include "RenderSymbol.h"

#include <vcl/Graphics.h>

#include "Decoders.h"

namespace tolvane::test {

std::string RenderSymbolPng(TBarCodeType Type, const std::string& Text, std::int32_t Scale, std::int32_t Height,
                            bool Interpret, const std::string& Name) {
  const std::string Filtered = FilterBCText(Type, Text);
  const std::int32_t Width = CalcWidth(Scale, Type, Filtered);
  vcl::TBitmap Bitmap;
  Bitmap.SetSize(Width, Height);
  vcl::TCanvas* Canvas = Bitmap.GetCanvas();
  Canvas->GetBrush()->SetColor(vcl::clWhite);
  Canvas->GetBrush()->SetStyle(vcl::bsSolid);
  Canvas->FillRect(vcl::Rect(0, 0, Width, Height));
  CreateBC(Canvas, vcl::clWhite, Type, Scale, Height, Width, Filtered, Interpret);
  const std::string File = TestTempDir() + "/" + Name + ".png";
  Bitmap.SaveToFile(File);
  return File;
}

}  // namespace tolvane::test
