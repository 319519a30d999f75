// The engine's frame: the symbology enumeration, text filtering, symbol
// widths, and CreateBC, which places a symbol on a canvas and hands it to the
// symbology's encoder.
#include "BarcodeDef.h"
#include "EngineInternal.h"

#include <iterator>

namespace tolvane {

namespace {

constexpr int BarCodeTypeCount = bcUPC5ext + 1;

// True for the ordinals 0..10; anything else is "no symbology".
constexpr bool IsKnownType(TBarCodeType BarcodeType) {
  return static_cast<int>(BarcodeType) < BarCodeTypeCount;
}

// Element names by ordinal, as the stored forms and the property editor show them.
constexpr const char* BarCodeTypeNames[BarCodeTypeCount] = {
    "bcCode128", "bcCode39", "bcUPCA", "bcInt2of5", "bcCode93",  "bcEAN13",
    "bcEAN8",    "bcPOSTNET", "bcUPCE", "bcUPC2ext", "bcUPC5ext",
};

}  // namespace

constinit const vcl::TEnumInfo BarCodeTypeInfo = {"TBarCodeType", BarCodeTypeNames,
                                                  BarCodeTypeCount};

// ---- Brush guard --------------------------------------------------------------

TBarBrush::TBarBrush(vcl::TCanvas* Canvas)
    : FCanvas(Canvas),
      FColor(Canvas->GetBrush()->GetColor()),
      FStyle(Canvas->GetBrush()->GetStyle()) {
  FCanvas->GetBrush()->SetColor(vcl::clBlack);
  FCanvas->GetBrush()->SetStyle(vcl::bsSolid);
}

TBarBrush::~TBarBrush() {
  FCanvas->GetBrush()->SetColor(FColor);
  FCanvas->GetBrush()->SetStyle(FStyle);
}

// ---- FilterBCText -----------------------------------------------------------

namespace {

constexpr unsigned char CodeNul = 0;
constexpr unsigned char CodeSpace = 32;
// Code 128 text is made of the codes 32..138.
constexpr unsigned char LastCode128 = 138;
// BC_Code39 covers codes 32 (' ') .. 91 ('[').
constexpr unsigned char FirstCode39 = 32;
constexpr unsigned char LastCode39 = FirstCode39 + std::size(BC_Code39) - 1;
constexpr std::size_t NoCut = std::string::npos;

// Whether a symbology can carry character C, one test per kind of symbology.
bool KeepCode128(unsigned char C) { return C >= CodeSpace && C <= LastCode128; }
bool KeepCode39(unsigned char C) {
  return C >= FirstCode39 && C <= LastCode39 && BC_Code39[C - FirstCode39] != 0;
}
bool KeepDigit(unsigned char C) { return C >= '0' && C <= '9'; }
bool KeepAnyButNul(unsigned char C) { return C != CodeNul; }

// What each symbology keeps of a text, and how many characters of data it
// holds when its length is fixed (the check digit is computed, not taken).
struct TFilterRule {
  bool (*Keep)(unsigned char);
  std::size_t Cut;
};

constexpr TFilterRule FilterRules[BarCodeTypeCount] = {
    /* bcCode128 */ {KeepCode128, NoCut},
    /* bcCode39  */ {KeepCode39, NoCut},
    /* bcUPCA    */ {KeepDigit, 11},
    /* bcInt2of5 */ {KeepDigit, NoCut},
    /* bcCode93  */ {KeepAnyButNul, NoCut},
    /* bcEAN13   */ {KeepDigit, 12},
    /* bcEAN8    */ {KeepDigit, 7},
    /* bcPOSTNET */ {KeepDigit, 11},
    /* bcUPCE    */ {KeepDigit, 6},
    /* bcUPC2ext */ {KeepDigit, 2},
    /* bcUPC5ext */ {KeepDigit, 5},
};

// An unknown ordinal keeps everything a string can carry but code 0.
constexpr TFilterRule UnknownTypeRule = {KeepAnyButNul, NoCut};

// Code 39 reads a..z as A..Z; every other byte stays as it is.
unsigned char AsciiUpper(unsigned char C) {
  return C >= 'a' && C <= 'z' ? static_cast<unsigned char>(C - 'a' + 'A') : C;
}

}  // namespace

// Keeps, in order, the characters the symbology can carry (Code 39 reads
// lower-case letters as upper case), then cuts a fixed-length symbology to
// its data length.
std::string FilterBCText(TBarCodeType BarcodeType, std::string Text) {
  const TFilterRule& Rule = IsKnownType(BarcodeType) ? FilterRules[BarcodeType] : UnknownTypeRule;
  const bool UpperFirst = BarcodeType == bcCode39;
  std::string Result;
  Result.reserve(Text.size());
  for (char Ch : Text) {
    unsigned char C = static_cast<unsigned char>(Ch);
    if (UpperFirst) C = AsciiUpper(C);
    if (Rule.Keep(C)) Result.push_back(static_cast<char>(C));
  }
  if (Rule.Cut != NoCut && Result.size() > Rule.Cut) Result.resize(Rule.Cut);
  return Result;
}

// ---- CalcWidth --------------------------------------------------------------

namespace {

// Ten light modules on either side of every symbol.
constexpr std::uint32_t QuietZoneModules = 2 * 10;

// Modules each symbology's encoder draws for L characters of filtered text
// (L wraps to 32 bits like the rest of the arithmetic).
std::uint32_t SymbolModules(TBarCodeType BarcodeType, const std::string& Text) {
  const auto L = static_cast<std::uint32_t>(Text.size());
  switch (BarcodeType) {
    // 13 modules a character (a light gap first), the data between '*' start and stop.
    case bcCode39: return 13 * (L + 2);
    // Guards 3 + 3 + 5, twelve digits of 7 modules: 11 + 84.
    case bcUPCA: return 95;
    case bcEAN13: return 95;
    // Guards 3 + 3 + 5, eight digits of 7 modules: 11 + 56.
    case bcEAN8: return 67;
    // Start guard 3, six digits of 7 modules, end guard 6.
    case bcUPCE: return 51;
    // Start 4 (1011), two digits of 7 modules and the separator of 2 between them.
    case bcUPC2ext: return 20;
    // Start 4 (1011), five digits of 7 modules, four separators of 2.
    case bcUPC5ext: return 47;
    // Nine modules a digit (two wide elements of three modules, three narrow),
    // an odd count padded with a leading zero; start 4 (nnnn) and stop 5 (wnn).
    case bcInt2of5: return 9 * (L % 2 == 0 ? L : L + 1) + 9;
    // Five bars a digit, each a bar module and a gap module, for the digits and
    // the check digit; the frame bar in front with its gap (2) and the one at the end (1).
    case bcPOSTNET: return 10 * (L + 1) + 3;
    // Eleven modules a symbol character, two more for the stop's final bar.
    case bcCode128: return 11 * static_cast<std::uint32_t>(Optimize_128_bc(Text).size()) + 2;
    // Nine modules a symbol value; start 9, the checks C and K 18, stop and
    // termination bar 10.
    case bcCode93: return 9 * Code93SymbolValueCount(Text) + 37;
  }
  return 0;
}

}  // namespace

// The symbol's modules and both quiet zones, times Scale; 0 for an unknown
// ordinal, and just the quiet zone for an empty text.
std::int32_t CalcWidth(std::int32_t Scale, TBarCodeType BarcodeType, std::string Text) {
  if (Text.empty()) return WrapMul(static_cast<std::int32_t>(QuietZoneModules), Scale);
  if (!IsKnownType(BarcodeType)) return 0;
  const std::uint32_t Modules = SymbolModules(BarcodeType, Text) + QuietZoneModules;
  return WrapMul(static_cast<std::int32_t>(Modules), Scale);
}

// ---- CreateBC ---------------------------------------------------------------

namespace {

// The symbol starts after the left quiet zone of ten modules.
constexpr std::int32_t LeftQuietModules = 10;
// With the human-readable line the bars leave this many modules free at the
// bottom (the add-on symbols three times as many at the top instead).
constexpr std::int32_t InterpretModules = 5;
constexpr std::int32_t AddOnInterpretFactor = 3;

using TEncoder = void (*)(vcl::TCanvas* Canvas, std::int32_t X, std::int32_t Y, std::int32_t Height,
                          std::int32_t Scale, std::string Text);

// Where the bars go vertically.
enum class TBarPlacement : std::uint8_t {
  AboveText,  // from the top down to the human-readable line
  FullHeight, // POSTNET: the full height, its bars carry no text line
  BelowText,  // the add-ons: their line sits above the bars
};

struct TSymbology {
  TEncoder Encode;
  TBarPlacement Placement;
};

constexpr TSymbology Symbologies[BarCodeTypeCount] = {
    /* bcCode128 */ {BarcodeCode128, TBarPlacement::AboveText},
    /* bcCode39  */ {BarcodeCode39, TBarPlacement::AboveText},
    /* bcUPCA    */ {BarcodeUPCA, TBarPlacement::AboveText},
    /* bcInt2of5 */ {BarcodeInt2of5, TBarPlacement::AboveText},
    /* bcCode93  */ {BarcodeCode93, TBarPlacement::AboveText},
    /* bcEAN13   */ {BarcodeEAN13, TBarPlacement::AboveText},
    /* bcEAN8    */ {BarcodeEAN8, TBarPlacement::AboveText},
    /* bcPOSTNET */ {BarcodePOSTNET, TBarPlacement::FullHeight},
    /* bcUPCE    */ {BarcodeUPCE, TBarPlacement::AboveText},
    /* bcUPC2ext */ {BarcodeUPC2ext, TBarPlacement::BelowText},
    /* bcUPC5ext */ {BarcodeUPC5ext, TBarPlacement::BelowText},
};

}  // namespace

// Draws the bars of Text after the left quiet zone, leaving room for the
// human-readable line when Interpret is set, and then the line itself. An
// empty text draws nothing at all; an unknown ordinal draws no bars.
void CreateBC(vcl::TCanvas* Canvas, vcl::TColor Color, TBarCodeType BarcodeType, std::int32_t Scale,
              std::int32_t Height, std::int32_t Width, std::string Text, bool Interpret) {
  const std::int32_t TextRoom = Interpret ? WrapMul(InterpretModules, Scale) : 0;
  if (Text.empty()) return;
  if (IsKnownType(BarcodeType)) {
    const TSymbology& Symbology = Symbologies[BarcodeType];
    std::int32_t Y = 0;
    std::int32_t BarHeight = WrapSub(Height, TextRoom);
    switch (Symbology.Placement) {
      case TBarPlacement::AboveText: break;
      case TBarPlacement::FullHeight: BarHeight = Height; break;
      case TBarPlacement::BelowText:
        Y = WrapMul(AddOnInterpretFactor, TextRoom);
        BarHeight = WrapSub(Height, Y);
        break;
    }
    if (Symbology.Encode)
      Symbology.Encode(Canvas, WrapMul(LeftQuietModules, Scale), Y, BarHeight, Scale, Text);
  }
  if (Interpret) PrintInterpret(Canvas, Color, BarcodeType, Scale, Height, Width, Text);
}

}  // namespace tolvane
