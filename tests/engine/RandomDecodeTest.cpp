// Random texts per symbology, drawn the component's way and read back by an
// independent decoder (ZXingReader): a property check over inputs nobody
// picked by hand. The texts come from a fixed seed, TOLVANE_SEED when it is
// set, so any failure can be replayed; the seed and the text are in every
// failure message.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <random>
#include <sstream>
#include <string>

#include "BarcodeDef.h"
#include "Decoders.h"
#include "RenderSymbol.h"

namespace tolvane {
namespace {

constexpr int TextsPerSymbology = 8;
constexpr std::uint64_t DefaultSeed = 20240611;
constexpr std::int32_t Scale = 2, SymbolHeight = 60;

std::uint64_t Seed() {
  const char* Value = std::getenv("TOLVANE_SEED");
  return Value && *Value ? std::strtoull(Value, nullptr, 0) : DefaultSeed;
}

// Draws from a generator whose output the C++ standard fixes, so a seed gives
// the same texts with every standard library.
class TRandom {
public:
  explicit TRandom(std::uint64_t S) : FEngine(S) {}
  // 0 .. N - 1.
  std::size_t Below(std::size_t N) { return static_cast<std::size_t>(FEngine() % N); }
  // From .. To.
  std::size_t Between(std::size_t From, std::size_t To) { return From + Below(To - From + 1); }
  char Digit() { return static_cast<char>('0' + Below(10)); }
  std::string Digits(std::size_t N) {
    std::string S;
    while (S.size() < N) S += Digit();
    return S;
  }
  char OneOf(const std::string& Set) { return Set[Below(Set.size())]; }

private:
  std::mt19937_64 FEngine;
};

// The UPC/EAN check digit, computed here on its own: weights 3 and 1
// alternating from the rightmost data digit, which weighs 3.
char UpcCheck(const std::string& Data) {
  int Sum = 0;
  for (std::size_t I = 0; I < Data.size(); ++I) {
    const int Weight = (Data.size() - I) % 2 == 1 ? 3 : 1;
    Sum += Weight * (Data[I] - '0');
  }
  return static_cast<char>('0' + (10 - Sum % 10) % 10);
}

// The UPC-A number (number system 0, 11 digits) six UPC-E digits stand for,
// by the last digit's rule.
std::string UpceToUpca(const std::string& D) {
  switch (D[5]) {
    case '0': case '1': case '2': return "0" + D.substr(0, 2) + D[5] + "0000" + D.substr(2, 3);
    case '3': return "0" + D.substr(0, 3) + "00000" + D.substr(3, 2);
    case '4': return "0" + D.substr(0, 4) + "00000" + D[4];
    default: return "0" + D.substr(0, 5) + "0000" + D[5];
  }
}

struct TExpected {
  std::string Format;  // ZXingReader's format name
  std::string Text;
};

struct TSymbologyCase {
  const char* Name;
  TBarCodeType Type;
  std::function<std::string(TRandom&)> Generate;          // a text the symbology carries
  std::function<TExpected(const std::string&)> Expect;    // from the filtered text
};
void PrintTo(const TSymbologyCase& C, std::ostream* Out) { *Out << C.Name; }

const std::string Code39Set = " +-/0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";  // '*' is the readers' stop

// What ZXingReader reports, measured on symbols of the peer encoder:
// Code39, Code128 and Code93 the data; ITF the digits as drawn, so with the
// '0' pad of an odd count; UPC-A 12 digits with the check; EAN-13 13 digits,
// but one that begins with 0 comes back as UPC-A without that 0; EAN-8 8
// digits; UPC-E 8 digits, number system 0, the six, and the check digit of
// the UPC-A expansion.
const TSymbologyCase Cases[] = {
    {"Code39", bcCode39,
     [](TRandom& R) {
       std::string S;
       for (std::size_t N = R.Between(1, 16); S.size() < N;) S += R.OneOf(Code39Set);
       return S;
     },
     [](const std::string& T) { return TExpected{"Code39", T}; }},
    {"Code128", bcCode128,
     [](TRandom& R) {
       // Printable ASCII with runs of digits, so that code set C comes and goes.
       std::string S;
       for (std::size_t N = R.Between(1, 24); S.size() < N;)
         S += R.Below(3) == 0 ? R.Digits(R.Between(1, 8)) : std::string(1, static_cast<char>(R.Between(32, 126)));
       return S;
     },
     [](const std::string& T) { return TExpected{"Code128", T}; }},
    {"Code93", bcCode93,
     [](TRandom& R) {
       // Full ASCII but NUL, which no filter keeps.
       std::string S;
       for (std::size_t N = R.Between(1, 16); S.size() < N;) S += static_cast<char>(R.Between(1, 127));
       return S;
     },
     [](const std::string& T) { return TExpected{"Code93", T}; }},
    {"Int2of5", bcInt2of5, [](TRandom& R) { return R.Digits(R.Between(6, 24)); },
     [](const std::string& T) { return TExpected{"ITF", T.size() % 2 ? "0" + T : T}; }},
    {"UPCA", bcUPCA, [](TRandom& R) { return R.Digits(11); },
     [](const std::string& T) { return TExpected{"UPC-A", T + UpcCheck(T)}; }},
    {"EAN13", bcEAN13, [](TRandom& R) { return R.Digits(12); },
     [](const std::string& T) {
       const std::string Full = T + UpcCheck(T);
       return Full[0] == '0' ? TExpected{"UPC-A", Full.substr(1)} : TExpected{"EAN-13", Full};
     }},
    {"EAN8", bcEAN8, [](TRandom& R) { return R.Digits(7); },
     [](const std::string& T) { return TExpected{"EAN-8", T + UpcCheck(T)}; }},
    {"UPCE", bcUPCE, [](TRandom& R) { return R.Digits(6); },
     [](const std::string& T) { return TExpected{"UPC-E", "0" + T + UpcCheck(UpceToUpca(T))}; }},
};

// Printable for a failure message: bytes outside 32..126 as \xHH.
std::string Shown(const std::string& Text) {
  std::ostringstream Out;
  for (char Ch : Text) {
    const auto Code = static_cast<unsigned char>(Ch);
    if (Code >= 32 && Code < 127 && Ch != '\\') Out << Ch;
    else Out << "\\x" << std::hex << (Code < 16 ? "0" : "") << static_cast<int>(Code) << std::dec;
  }
  return Out.str();
}

// Filter, size by CalcWidth, paint white, CreateBC: the component's path.
std::string Render(TBarCodeType Type, const std::string& Filtered, const std::string& Name) {
  return test::RenderSymbolPng(Type, Filtered, Scale, SymbolHeight, false, Name);
}

class RandomDecode : public ::testing::TestWithParam<TSymbologyCase> {};

TEST_P(RandomDecode, ZXingReadsBackRandomTexts) {
  const TSymbologyCase& C = GetParam();
  const std::uint64_t S = Seed();
  // Each symbology its own stream, so its texts do not depend on the others.
  TRandom Random(S ^ (static_cast<std::uint64_t>(C.Type) + 1) * 0x9E3779B97F4A7C15ull);
  for (int I = 0; I < TextsPerSymbology; ++I) {
    const std::string Text = C.Generate(Random);
    SCOPED_TRACE(testing::Message() << "TOLVANE_SEED=" << S << ", text #" << I << " \"" << Shown(Text) << '"');
    const std::string Filtered = FilterBCText(C.Type, Text);
    ASSERT_EQ(Filtered, Text) << "the generator made a text the symbology does not carry";
    const TExpected Expected = C.Expect(Filtered);
    const std::string File = Render(C.Type, Filtered, std::string("random_") + C.Name + "_" + std::to_string(I));
    const test::TDecodeResult Read = test::DecodeWithZXing(File);
    EXPECT_TRUE(Read.Ok) << Read.Output;
    EXPECT_EQ(Read.Symbols, 1);
    EXPECT_EQ(Read.Format, Expected.Format);
    EXPECT_EQ(Shown(Read.Text), Shown(Expected.Text));
  }
}

INSTANTIATE_TEST_SUITE_P(Symbologies, RandomDecode, ::testing::ValuesIn(Cases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace tolvane
