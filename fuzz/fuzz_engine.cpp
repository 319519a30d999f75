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

using TEncoder = void (*)(vcl::TCanvas*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::string);
constexpr TEncoder Encoders[] = {BarcodeCode128, BarcodeCode39, BarcodeUPCA,    BarcodeInt2of5,
                                 BarcodeCode93,  BarcodeEAN13,  BarcodeEAN8,    BarcodePOSTNET,
                                 BarcodeUPCE,    BarcodeUPC2ext, BarcodeUPC5ext};

// The check functions and conversions take any bytes; their results have
// the stated forms.
void FuzzHelpers(const std::string& Text) {
  const std::string Symbols = Optimize_128_bc(Text);
  Check(!Symbols.empty() && static_cast<unsigned char>(Symbols.back()) == 138);  // ends with Stop
  const char Start = Get_128_StartCode(Text);
  Check(Start == 'A' || Start == 'B' || Start == 'C');
  (void)Code128_Check_Digit(Text);
  Check(Mod93Left(Text) < 47 && Mod93Right(Text) < 47);
  (void)Mod10Check(Text);
  (void)POSTNET_Check(Text);
  const std::string Expanded = UPCE_Expand(Text);
  Check(Expanded.empty() || Expanded.size() == 11);
  const std::string Zero = UPCA_to_UPCE(Text);
  Check(Zero.empty() || Zero.size() == 6);
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

// CreateBC gives back the brush style, and the colour unless the line was
// drawn. Only the 2-digit add-on raises, and only for a pair that is not a
// number, which the filter never lets through.
void FuzzCreate(vcl::TCanvas* Canvas, TBarCodeType Type, std::int32_t Scale, std::int32_t Height,
                std::int32_t Width, const std::string& Text, bool Interpret, bool Clear, bool Filtered) {
  SetCallerBrush(Canvas, Clear);
  bool Raised = false;
  try {
    CreateBC(Canvas, TextBackground, Type, Scale, Height, Width, Text, Interpret);
  } catch (const vcl::EConvertError&) {
    Check(!Filtered && Type == bcUPC2ext);
    Raised = true;
  }
  const bool LineDrawn = Interpret && !Text.empty() && !Raised;
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

  FuzzCreate(Canvas, Type, Scale, Height, Width, Filtered, Interpret, Clear, true);
  if (Flags & FlagUnfilteredCreate) FuzzCreate(Canvas, Type, Scale, Height, Width, Text, Interpret, Clear, false);
  FuzzHelpers(Text);

  // An encoder (picked by the ordinal) on the raw text, at the raw position,
  // restores the brush exactly, also when it raises.
  SetCallerBrush(Canvas, Clear);
  const std::size_t Which = Data[0] % std::size(Encoders);
  try {
    Encoders[Which](Canvas, WrapMul(10, Scale), 0, Height, Scale, Text);
  } catch (const vcl::EConvertError&) {
    Check(Encoders[Which] == BarcodeUPC2ext);
  }
  Check(Canvas->GetBrush()->GetColor() == CallerBrush);
  Check(Canvas->GetBrush()->GetStyle() == (Clear ? vcl::bsClear : vcl::bsSolid));
  return 0;
}
