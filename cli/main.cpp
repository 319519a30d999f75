// The tolvane command: renders barcodes with the package's components.
//
//   tolvane                      renders sample barcodes into ./tolvane-samples
//   tolvane samples [--dir DIR]  the same, into DIR
//   tolvane barcode [options] --output FILE TEXT

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "Barcode.h"
#include "BarcodeDef.h"

namespace {

using namespace tolvane;

// A failure the user caused or can fix: one line on standard error.
struct UsageError {
  std::string Message;
};

constexpr const char* Usage =
    "usage: tolvane [samples [--dir DIR]]\n"
    "       tolvane barcode [--type TYPE] [--scale N] [--height N] [--no-text]\n"
    "                       [--color RRGGBB] --output FILE TEXT\n"
    "\n"
    "barcode renders TEXT and writes FILE as PNG or BMP by its extension;\n"
    "an output of - writes PNG to standard output.\n"
    "  --type TYPE     code128 (default), code39, upca, i2of5, code93, ean13, ean8,\n"
    "                  postnet, upce, upc2, upc5, or the enumeration name (bcCode39)\n"
    "  --scale N       module width in pixels, 1 or more (default 1)\n"
    "  --height N      symbol height in pixels, 1 or more (default 50)\n"
    "  --no-text       leave out the human-readable line\n"
    "  --color RRGGBB  background colour (default FFFFFF)\n"
    "samples renders a few sample symbols into DIR (default ./tolvane-samples).\n";

// Command-line names of the symbologies, in ordinal order.
constexpr const char* TypeNames[] = {"code128", "code39", "upca",    "i2of5", "code93", "ean13",
                                     "ean8",    "postnet", "upce", "upc2",  "upc5"};
static_assert(std::size(TypeNames) == bcUPC5ext + 1);

TBarCodeType ParseType(const std::string& Name) {
  for (int i = 0; i <= bcUPC5ext; ++i)
    if (vcl::LowerCase(Name) == TypeNames[i] || vcl::LowerCase(Name) == vcl::LowerCase(BarCodeTypeInfo.Names[i]))
      return static_cast<TBarCodeType>(i);
  throw UsageError{"unknown barcode type '" + Name + "' (try --help)"};
}

std::int32_t ParsePositive(const std::string& Option, const std::string& Text) {
  std::int32_t v = 0;
  try {
    if (Text.empty() || Text[0] == '$') throw vcl::EConvertError("");
    v = vcl::StrToInt(Text);
  } catch (const vcl::EConvertError&) {
    throw UsageError{Option + " needs a whole number, not '" + Text + "'"};
  }
  if (v < 1) throw UsageError{Option + " must be 1 or more, not " + Text};
  return v;
}

vcl::TColor ParseColor(const std::string& Text) {
  auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  if (Text.size() != 6 || !std::all_of(Text.begin(), Text.end(), hex))
    throw UsageError{"--color needs six hex digits RRGGBB, not '" + Text + "'"};
  unsigned long rgb = std::stoul(Text, nullptr, 16);
  return vcl::RGB(static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                  static_cast<std::uint8_t>(rgb));
}

struct BarcodeRequest {
  TBarCodeType Type = bcCode128;
  std::int32_t Scale = 1;
  std::int32_t Height = 50;
  bool Interpret = true;
  vcl::TColor Color = vcl::clWhite;
  std::string Output;
  std::optional<std::string> Text;
};

// Saves the bitmap as the output name asks; "-" is PNG on standard output.
void WriteOutput(const vcl::TBitmap& Bitmap, const std::string& Output) {
  if (Output == "-") {
    std::vector<std::uint8_t> png = Bitmap.SaveToPNG();
    if (std::fwrite(png.data(), 1, png.size(), stdout) != png.size() || std::fflush(stdout) != 0)
      throw vcl::EInOutError("cannot write to standard output", errno);
    return;
  }
  std::string ext = vcl::LowerCase(vcl::ExtractFileExt(Output));
  if (ext != ".png" && ext != ".bmp")
    throw UsageError{"output file '" + Output + "' must end in .png or .bmp"};
  Bitmap.SaveToFile(Output);
}

// Renders one request with a TBarcodeBmp, setting its properties the way an
// application would.
void RenderBarcode(const BarcodeRequest& R) {
  TBarcodeBmp bc(nullptr);
  bc.SetBarcodeType(R.Type);
  bc.SetScale(R.Scale);
  bc.SetHeight(R.Height);
  bc.SetInterpret(R.Interpret);
  bc.SetColor(R.Color);
  bc.SetBarcodeText(*R.Text);
  if (bc.GetBarcodeText().empty())
    throw UsageError{"'" + *R.Text + "' has no characters that " + TypeNames[R.Type] + " can encode"};
  WriteOutput(*bc.GetBitmap(), R.Output);
}

int CmdBarcode(const std::vector<std::string>& Args) {
  BarcodeRequest r;
  for (std::size_t i = 0; i < Args.size(); ++i) {
    const std::string& a = Args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= Args.size()) throw UsageError{a + " needs a value"};
      return Args[++i];
    };
    if (a == "--type") r.Type = ParseType(value());
    else if (a == "--scale") r.Scale = ParsePositive(a, value());
    else if (a == "--height") r.Height = ParsePositive(a, value());
    else if (a == "--no-text") r.Interpret = false;
    else if (a == "--color") r.Color = ParseColor(value());
    else if (a == "--output" || a == "-o") r.Output = value();
    else if (a == "--") {
      if (i + 2 != Args.size()) throw UsageError{"expected exactly one TEXT after --"};
      r.Text = Args[++i];
    } else if (a.size() > 1 && a[0] == '-') throw UsageError{"unknown option '" + a + "' (try --help)"};
    else if (r.Text) throw UsageError{"more than one TEXT given: '" + *r.Text + "' and '" + a + "'"};
    else r.Text = a;
  }
  if (r.Output.empty()) throw UsageError{"missing --output FILE"};
  if (!r.Text) throw UsageError{"missing the TEXT to encode"};
  RenderBarcode(r);
  return 0;
}

// The built-in samples: what the command does with no arguments.
int CmdSamples(const std::vector<std::string>& Args) {
  std::string dir = "tolvane-samples";
  for (std::size_t i = 0; i < Args.size(); ++i) {
    if (Args[i] == "--dir" && i + 1 < Args.size()) dir = Args[++i];
    else throw UsageError{"unknown argument '" + Args[i] + "' (try --help)"};
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) throw vcl::EInOutError("cannot create directory " + dir + ": " + ec.message(), ec.value());

  struct Sample {
    const char* File;
    TBarCodeType Type;
    const char* Text;
    std::int32_t Scale;
  };
  const Sample samples[] = {
      {"code39-tolvane.png", bcCode39, "TOLVANE", 2},
      {"code39-abc-12.png", bcCode39, "abc-12$", 2},
      {"code39-order.png", bcCode39, "ORDER 4711/B", 3},
  };
  for (const Sample& s : samples) {
    BarcodeRequest r;
    r.Type = s.Type;
    r.Scale = s.Scale;
    r.Height = 50 * s.Scale;
    r.Text = s.Text;
    r.Output = (std::filesystem::path(dir) / s.File).string();
    RenderBarcode(r);
    std::cout << r.Output << "  " << TypeNames[s.Type] << " '" << s.Text << "'\n";
  }
  std::cout << "wrote " << std::size(samples) << " sample barcodes to "
            << std::filesystem::absolute(dir).lexically_normal().string() << "\n";
  return 0;
}

int Run(const std::vector<std::string>& Args) {
  if (Args.empty()) return CmdSamples({});
  const std::string& cmd = Args[0];
  std::vector<std::string> rest(Args.begin() + 1, Args.end());
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::cout << Usage;
    return 0;
  }
  if (cmd == "--version") {
    std::cout << "tolvane " << TOLVANE_VERSION_STRING << " (class library " << TVCL_VERSION << ")\n";
    return 0;
  }
  for (const std::string& a : rest)
    if (a == "--help" || a == "-h") {
      std::cout << Usage;
      return 0;
    }
  if (cmd == "barcode") return CmdBarcode(rest);
  if (cmd == "samples") return CmdSamples(rest);
  throw UsageError{"unknown command '" + cmd + "' (try --help)"};
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& e) {
    std::cerr << "tolvane: " << e.Message << "\n";
    return 2;
  } catch (const vcl::Exception& e) {
    std::cerr << "tolvane: " << e.Message() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "tolvane: " << e.what() << "\n";
    return 1;
  }
}
