// The symbology enumeration, FilterBCText and CalcWidth: pure functions of
// their arguments, so each is checked against a table of cases.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "BarcodeDef.h"

namespace tolvane {
namespace {

// Ordinals past the last symbology: the first one, and the largest a byte holds.
constexpr auto FirstUnknown = static_cast<TBarCodeType>(11);
constexpr auto LastUnknown = static_cast<TBarCodeType>(255);

// Every byte 1..255 in order: what a filter keeps of it shows its whole rule.
std::string AllCodesButNul() {
  std::string S;
  for (int C = 1; C <= 255; ++C) S.push_back(static_cast<char>(C));
  return S;
}

// Bytes From..To in order.
std::string Codes(int From, int To) {
  std::string S;
  for (int C = From; C <= To; ++C) S.push_back(static_cast<char>(C));
  return S;
}

// Stored forms write and read a symbology by these names, by ordinal.
TEST(EngineTypeInfo, NamesFollowTheOrdinals) {
  const char* const Expected[] = {"bcCode128", "bcCode39", "bcUPCA",    "bcInt2of5",
                                  "bcCode93",  "bcEAN13",  "bcEAN8",    "bcPOSTNET",
                                  "bcUPCE",    "bcUPC2ext", "bcUPC5ext"};
  ASSERT_EQ(BarCodeTypeInfo.Count, 11);
  for (int Ord = 0; Ord < 11; ++Ord) EXPECT_STREQ(BarCodeTypeInfo.NameOf(Ord), Expected[Ord]);
  EXPECT_EQ(BarCodeTypeInfo.NameOf(11), nullptr);
}

struct TFilterCase {
  const char* Why;
  TBarCodeType Type;
  std::string In;
  std::string Out;
};

TEST(FilterBCText, KeepsWhatTheSymbologyCarriesAndCutsToItsLength) {
  const TFilterCase Cases[] = {
      {"Code 39 upper-cases, then drops '$' (no pattern)", bcCode39, "abc-12$", "ABC-12"},
      {"Code 39 keeps space * + - / 0-9 A-Z; a-z come back upper-cased; no cut", bcCode39,
       AllCodesButNul(),
       " *+-/0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZ"},
      {"UPC-A: 14 digits among - : ; give the first 11", bcUPCA, "01-23:45;67-89:01;23",
       "01234567890"},
      {"Code 128 keeps 32..138, drops TAB and 139..255", bcCode128,
       "\tA" + Codes(127, 138) + Codes(139, 255), "A" + Codes(127, 138)},
      {"Code 93 keeps TAB, lower case and 128..255", bcCode93, "\tab" + Codes(128, 255),
       "\tab" + Codes(128, 255)},
      {"Interleaved 2 of 5: digits, any number of them", bcInt2of5, "12a34 567890123456789",
       "1234567890123456789"},
      {"EAN-13 cuts to 12", bcEAN13, "1234567890123", "123456789012"},
      {"EAN-8: ten digits give the first seven", bcEAN8, "0123456789", "0123456"},
      {"POSTNET cuts to 11", bcPOSTNET, "123456789012", "12345678901"},
      {"UPC-E cuts to 6", bcUPCE, "12345678", "123456"},
      {"2-digit add-on cuts to 2", bcUPC2ext, "1x23", "12"},
      {"5-digit add-on keeps the digits of 5A19", bcUPC5ext, "5A19", "519"},
      {"Code 39 does not upper-case beyond a-z", bcCode39, "\xE1z", "Z"},
      {"unknown ordinal drops only code 0 and cuts nothing", FirstUnknown,
       std::string("a\0\tB", 4) + Codes(128, 255), "a\tB" + Codes(128, 255)},
      {"unknown ordinal 255 likewise", LastUnknown, AllCodesButNul(), AllCodesButNul()},
  };
  for (const TFilterCase& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(FilterBCText(C.Type, C.In), C.Out);
  }
}

// Code 0 ends C strings further down the line; no symbology may keep it.
TEST(FilterBCText, DropsCodeZeroForEveryOrdinal) {
  const std::string In("1\0" "2", 3);
  for (int Ord = 0; Ord <= 255; ++Ord) {
    SCOPED_TRACE(Ord);
    const std::string Out = FilterBCText(static_cast<TBarCodeType>(Ord), In);
    EXPECT_EQ(Out.find('\0'), std::string::npos);
    EXPECT_EQ(FilterBCText(static_cast<TBarCodeType>(Ord), std::string(1, '\0')), "");
  }
}

struct TWidthCase {
  const char* Why;
  std::int32_t Scale;
  TBarCodeType Type;
  std::string Text;
  std::int32_t Width;
};

TEST(CalcWidth, IsTheDrawnModulesPlusTwentyQuietModulesTimesScale) {
  constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
  const TWidthCase Cases[] = {
      {"Code 39: 13 x (2 + start/stop) + 20 = 72 modules", 2, bcCode39, "AB", 144},
      {"Code 39 at Scale 1: 13 x 3 + 20", 1, bcCode39, "A", 59},
      {"Int 2 of 5, odd length padded: 9 x 4 + 29", 1, bcInt2of5, "123", 65},
      {"Int 2 of 5, even length: 9 x 4 + 29", 1, bcInt2of5, "1234", 65},
      {"empty text: the quiet zone alone, 20 x 3", 3, bcUPCA, "", 60},
      {"UPC-A: 95 + 20, whatever the text", 3, bcUPCA, "1", 345},
      {"UPC-A full length is the same", 3, bcUPCA, "12345678901", 345},
      {"EAN-13: 95 + 20", 1, bcEAN13, "123", 115},
      {"EAN-8: 67 + 20", 1, bcEAN8, "1", 87},
      {"UPC-E: 51 + 20", 2, bcUPCE, "123456", 142},
      {"2-digit add-on: 20 + 20", 1, bcUPC2ext, "12", 40},
      {"5-digit add-on: 47 + 20", 1, bcUPC5ext, "12345", 67},
      {"POSTNET: 10 x (5 digits + check) + 3 + 20", 1, bcPOSTNET, "12345", 83},
      {"Code 128 1234: Start C, 12, 34, check, stop: 11 x 5 + 2 + 20", 1, bcCode128, "1234", 77},
      {"Code 128 12345: Code B and 5 after the pairs, 7 characters: 11 x 7 + 22", 1, bcCode128,
       "12345", 99},
      {"Code 128 ABC: Start B, A, B, C, check, stop: (11 x 6 + 22) x 2", 2, bcCode128, "ABC", 176},
      {"Code 93 ABC: 9 x 3 + 57 = 84 modules, x 2", 2, bcCode93, "ABC", 168},
      {"Code 93 a: one character, a shift pair: 9 x 2 + 57", 1, bcCode93, "a", 75},
      {"Code 93 TAB a A: two pairs and a plain letter: 9 x 5 + 57", 1, bcCode93, "\taA", 102},
      {"Code 93 code 128 counts one symbol character (our choice): 9 x 2 + 57", 1, bcCode93,
       "A\x80", 75},
      {"unknown ordinal, text: 0", 2, FirstUnknown, "A", 0},
      {"unknown ordinal, empty text: the quiet zone", 2, LastUnknown, "", 40},
      {"Scale 0 gives 0", 0, bcCode39, "A", 0},
      {"negative Scale is not validated: 59 x -1", -1, bcCode39, "A", -59},
      {"115 x (2^31 - 1) wraps to 2^31 - 115", Max, bcUPCA, "1", Max - 114},
      {"20 x (2^31 - 1) wraps to -20", Max, bcCode39, "", -20},
  };
  for (const TWidthCase& C : Cases) {
    SCOPED_TRACE(C.Why);
    EXPECT_EQ(CalcWidth(C.Scale, C.Type, C.Text), C.Width);
  }
}

}  // namespace
}  // namespace tolvane
