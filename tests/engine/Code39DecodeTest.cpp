// Code 39 symbols drawn the way the component draws them, saved as PNG and
// read back by two independent decoders: the one check that the patterns,
// their order and their widths make a symbol real readers accept.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "BarcodeDef.h"
#include "Decoders.h"
#include "RenderSymbol.h"

namespace tolvane {
namespace {

constexpr std::int32_t SymbolHeight = 50;

// Filter, size the bitmap by CalcWidth, paint it white, draw: the path the
// component takes. Returns the PNG's file name.
std::string RenderCode39(const std::string& Text, std::int32_t Scale, bool Interpret,
                         const std::string& Name) {
  return test::RenderSymbolPng(bcCode39, Text, Scale, SymbolHeight, Interpret, Name);
}

struct TDecodeCase {
  const char* Name;  // for the file and the test name
  std::string Text;
};
void PrintTo(const TDecodeCase& C, std::ostream* Out) { *Out << C.Name << " \"" << C.Text << '"'; }

// Together the texts hold every character the engine draws, except '*',
// which readers take for the stop character in the middle of a symbol.
const TDecodeCase DecodeCases[] = {
    {"Mixed", "ABC-12"},
    {"Space", "CODE 39"},
    {"Digits", "0123456789"},
    {"FirstLetters", "ABCDEFGHIJKLM"},
    {"LastLetters", "NOPQRSTUVWXYZ"},
    {"Signs", "+/-"},
    {"SingleSpace", " "},
    {"LowerCaseAndDollar", "abc-12$"},  // filtered to "ABC-12" first
};

class Code39Decode : public ::testing::TestWithParam<TDecodeCase> {};

// zbar reads reliably from 2 pixels a module, ZXing from 1. With and
// without the line below the bars, both must give back the filtered text.
TEST_P(Code39Decode, DecodersReadBackTheFilteredText) {
  const TDecodeCase& C = GetParam();
  const std::string Expected = FilterBCText(bcCode39, C.Text);
  struct {
    std::int32_t Scale;
    bool Interpret;
    bool Zbar;
  } const Renders[] = {{2, false, true}, {2, true, true}, {1, false, false}, {1, true, false}};
  for (const auto& R : Renders) {
    const std::string Name = std::string("code39_") + C.Name + "_s" + std::to_string(R.Scale) +
                             (R.Interpret ? "_line" : "_bars");
    SCOPED_TRACE(Name);
    const std::string File = RenderCode39(C.Text, R.Scale, R.Interpret, Name);

    const test::TDecodeResult ZXing = test::DecodeWithZXing(File);
    EXPECT_TRUE(ZXing.Ok) << ZXing.Output;
    EXPECT_EQ(ZXing.Symbols, 1);
    EXPECT_EQ(ZXing.Format, "Code39");
    EXPECT_EQ(ZXing.Text, Expected);
    if (!R.Zbar) continue;
    const test::TDecodeResult Zbar = test::DecodeWithZbar(File);
    EXPECT_TRUE(Zbar.Ok) << Zbar.Output;
    EXPECT_EQ(Zbar.Symbols, 1);
    EXPECT_EQ(Zbar.Text, Expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Code39Texts, Code39Decode, ::testing::ValuesIn(DecodeCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace tolvane
