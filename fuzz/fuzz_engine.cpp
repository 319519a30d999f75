// Fuzz target for the barcode engine: any symbology ordinal, any Scale and
// Height (zero, negative, huge), any text bytes. The bitmap stays small so
// that memory stays small, but the engine gets the raw values and must cope:
// no crash, no undefined behaviour, and the brush left as documented.
//
// Input layout:
//   byte 0      symbology ordinal 0..255
//   byte 1      flags (see below)
//   bytes 2..5  Scale: a signed byte, or with FlagRawScale all four bytes
//   bytes 6..9  Height: an unsigned byte, or with FlagRawHeight all four bytes
//   the rest    the text
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "BarcodeDef.h"

namespace {

using namespace tolvane;

constexpr std::uint8_t FlagInterpret = 1 << 0;
constexpr std::uint8_t FlagRawScale = 1 << 1;
constexpr std::uint8_t FlagRawHeight = 1 << 2;
constexpr std::uint8_t FlagUnfilteredCreate = 1 << 3;  // CreateBC on the raw text too
constexpr std::uint8_t FlagBrushClear = 1 << 4;
constexpr std::size_t HeaderSize = 10;

// Bitmaps never grow past this, whatever the engine is told.
constexpr std::int32_t MaxBitmapWidth = 1024, MaxBitmapHeight = 128;

constexpr vcl::TColor CallerBrush = vcl::clRed;
constexpr vcl::TColor TextBackground = vcl::clWhite;

// Four bytes, least significant first.
std::int32_t ReadInt32(const std::uint8_t* P) {
  std::uint32_t U = 0;
  for (int I = 3; I >= 0; --I) U = (U << 8) | P[I];
  return static_cast<std::int32_t>(U);
}

// A broken promise is a finding: stop where libFuzzer can see it.
void Check(bool Condition) {
  if (!Condition) __builtin_trap();
}

// The filter keeps no code 0, never lengthens, and a filtered text passes
// through again unchanged.
void FuzzFilter(TBarCodeType Type, const std::string& Text, const std::string& Filtered) {
  Check(Filtered.size() <= Text.size());
  Check(Filtered.find('\0') == std::string::npos);
  Check(FilterBCText(Type, Filtered) == Filtered);
}

void SetCallerBrush(vcl::TCanvas* Canvas, bool Clear) {
  Canvas->GetBrush()->SetColor(CallerBrush);
  Canvas->GetBrush()->SetStyle(Clear ? vcl::bsClear : vcl::bsSolid);
}

// CreateBC gives back the brush style, and the colour unless the line was drawn.
void FuzzCreate(vcl::TCanvas* Canvas, TBarCodeType Type, std::int32_t Scale, std::int32_t Height,
                std::int32_t Width, const std::string& Text, bool Interpret, bool Clear) {
  SetCallerBrush(Canvas, Clear);
  CreateBC(Canvas, TextBackground, Type, Scale, Height, Width, Text, Interpret);
  const bool LineDrawn = Interpret && !Text.empty();
  Check(Canvas->GetBrush()->GetColor() == (LineDrawn ? TextBackground : CallerBrush));
  Check(Canvas->GetBrush()->GetStyle() == (Clear ? vcl::bsClear : vcl::bsSolid));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size < HeaderSize) return 0;
  const auto Type = static_cast<TBarCodeType>(Data[0]);
  const std::uint8_t Flags = Data[1];
  const std::int32_t Scale =
      (Flags & FlagRawScale) ? ReadInt32(Data + 2) : static_cast<std::int8_t>(Data[2]);
  const std::int32_t Height = (Flags & FlagRawHeight) ? ReadInt32(Data + 6) : Data[6];
  const bool Interpret = Flags & FlagInterpret;
  const bool Clear = Flags & FlagBrushClear;
  const std::string Text(reinterpret_cast<const char*>(Data + HeaderSize), Size - HeaderSize);

  const std::string Filtered = FilterBCText(Type, Text);
  FuzzFilter(Type, Text, Filtered);
  Check(CalcWidth(Scale, Type, "") == WrapMul(20, Scale));
  const std::int32_t Width = CalcWidth(Scale, Type, Filtered);

  vcl::TBitmap Bitmap;
  Bitmap.SetSize(std::clamp(Width, 0, MaxBitmapWidth), std::clamp(Height, 0, MaxBitmapHeight));
  vcl::TCanvas* Canvas = Bitmap.GetCanvas();

  FuzzCreate(Canvas, Type, Scale, Height, Width, Filtered, Interpret, Clear);
  if (Flags & FlagUnfilteredCreate) FuzzCreate(Canvas, Type, Scale, Height, Width, Text, Interpret, Clear);

  // The encoder on the raw text, at the raw position, restores the brush exactly.
  SetCallerBrush(Canvas, Clear);
  BarcodeCode39(Canvas, WrapMul(10, Scale), 0, Height, Scale, Text);
  Check(Canvas->GetBrush()->GetColor() == CallerBrush);
  Check(Canvas->GetBrush()->GetStyle() == (Clear ? vcl::bsClear : vcl::bsSolid));
  return 0;
}
