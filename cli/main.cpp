// The tolvane command: renders barcodes with the package's components.
//
//   tolvane                      one sample of every symbology into ./tolvane-samples
//   tolvane samples [--dir DIR]  the same, into DIR
//   tolvane barcode [options] --output FILE TEXT
//   tolvane barcode [options] --batch [--input FILE] --output PATTERN
//   tolvane wedge --port NAME [settings]
//   tolvane export --database FILE --sql QUERY --output NAME [options]

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <sqlite3.h>

#include <vcl/SvgCanvas.h>

#include "Barcode.h"
#include "BarcodeDef.h"
#include "Cli.h"

extern const vcl::TResourceModule CliResources;

namespace {

using namespace tolvane;
using cli::UsageError;

constexpr const char* Usage =
    "usage: tolvane [samples [--dir DIR]]\n"
    "       tolvane barcode [options] --output FILE TEXT\n"
    "       tolvane barcode [options] --batch [--input FILE] --output PATTERN\n"
    "\n"
    "barcode renders TEXT and writes FILE as PNG, BMP or SVG by its extension;\n"
    "an output of - writes PNG to standard output.\n"
    "  --type TYPE     code128 (default), code39, upca, i2of5, code93, ean13, ean8,\n"
    "                  postnet, upce, upc2, upc5, or the enumeration name (bcCode39)\n"
    "  --scale N       module width in pixels, 1 or more (default 1)\n"
    "  --height N      symbol height in pixels, 1 or more (default 50)\n"
    "  --no-text       leave out the human-readable line\n"
    "  --color RRGGBB  background colour (default FFFFFF)\n"
    "  --batch         one TEXT per line of standard input (or --input FILE), one\n"
    "                  file per line; each run of # in PATTERN becomes the line\n"
    "                  number, zero-padded to the run's length (out-####.png)\n"
    "samples renders one symbol of every symbology into DIR (default ./tolvane-samples).\n";

void PrintUsage() { std::cout << Usage << "\n" << cli::WedgeUsage << "\n" << cli::ExportUsage; }

// Command-line names of the symbologies, in ordinal order.
constexpr const char* TypeNames[] = {"code128", "code39", "upca",    "i2of5", "code93", "ean13",
                                     "ean8",    "postnet", "upce", "upc2",  "upc5"};
static_assert(std::size(TypeNames) == bcUPC5ext + 1);

TBarCodeType ParseType(const std::string& Name) {
  for (int i = 0; i <= bcUPC5ext; ++i)
    if (vcl::SameText(Name, TypeNames[i]) || vcl::SameText(Name, BarCodeTypeInfo.Names[i]))
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
  bool Batch = false;
  std::string Input;  // batch input file; empty for standard input
};

enum class OutputKind { Png, Bmp, Svg, StdoutPng };

OutputKind KindOf(const std::string& Output) {
  if (Output == "-") return OutputKind::StdoutPng;
  const std::string ext = vcl::LowerCase(vcl::ExtractFileExt(Output));
  if (ext == ".png") return OutputKind::Png;
  if (ext == ".bmp") return OutputKind::Bmp;
  if (ext == ".svg") return OutputKind::Svg;
  throw UsageError{"output file '" + Output + "' must end in .png, .bmp or .svg"};
}

// The component as an application would set it up; the text comes later.
void Configure(TBarcodeBmp& Bc, const BarcodeRequest& R) {
  Bc.SetBarcodeType(R.Type);
  Bc.SetScale(R.Scale);
  Bc.SetHeight(R.Height);
  Bc.SetInterpret(R.Interpret);
  Bc.SetColor(R.Color);
}

// Writes the component's current symbol: the bitmap as PNG or BMP, or the
// same drawing made again on an SVG canvas.
void WriteSymbol(const TBarcodeBmp& Bc, const std::string& Output, OutputKind Kind) {
  const vcl::TBitmap& bitmap = *Bc.GetBitmap();
  switch (Kind) {
    case OutputKind::StdoutPng: {
      const std::vector<std::uint8_t> png = bitmap.SaveToPNG();
      if (std::fwrite(png.data(), 1, png.size(), stdout) != png.size() || std::fflush(stdout) != 0)
        throw vcl::EInOutError("cannot write to standard output", errno);
      return;
    }
    case OutputKind::Svg: {
      vcl::TSvgCanvas svg(bitmap.GetWidth(), bitmap.GetHeight());
      Bc.DrawTo(svg);
      svg.SaveToFile(Output);
      return;
    }
    case OutputKind::Png:
    case OutputKind::Bmp: bitmap.SaveToFile(Output); return;
  }
}

std::string NothingToEncode(const std::string& Text, TBarCodeType Type) {
  return "'" + Text + "' has no characters that " + TypeNames[Type] + " can encode";
}

void RenderBarcode(const BarcodeRequest& R) {
  const OutputKind kind = KindOf(R.Output);
  TBarcodeBmp bc(nullptr);
  Configure(bc, R);
  bc.SetBarcodeText(*R.Text);
  if (bc.GetBarcodeText().empty()) throw UsageError{NothingToEncode(*R.Text, R.Type)};
  WriteSymbol(bc, R.Output, kind);
}

// The output name of batch line Line: every run of '#' in Pattern becomes
// the line number, zero-padded to the run's length.
std::string BatchName(const std::string& Pattern, std::size_t Line) {
  const std::string number = std::to_string(Line);
  std::string out;
  for (std::size_t i = 0; i < Pattern.size();) {
    if (Pattern[i] != '#') {
      out += Pattern[i++];
      continue;
    }
    std::size_t run = 0;
    for (; i < Pattern.size() && Pattern[i] == '#'; ++i) ++run;
    if (number.size() < run) out.append(run - number.size(), '0');
    out += number;
  }
  return out;
}

// One file per input line, all drawn by one component. A line that filters
// to nothing is reported with its number and skipped; a file that cannot be
// written ends the run. The exit status is 1 when any line failed.
int RenderBatch(const BarcodeRequest& R) {
  if (R.Output == "-") throw UsageError{"--batch writes files: give --output PATTERN, not -"};
  if (R.Output.find('#') == std::string::npos)
    throw UsageError{"--batch needs a run of # in the --output pattern for the line number"};
  const OutputKind kind = KindOf(R.Output);
  std::ifstream file;
  if (!R.Input.empty()) {
    file.open(R.Input, std::ios::binary);
    if (!file) throw vcl::EInOutError("cannot open " + R.Input + ": " + vcl::SysErrorMessage(errno), errno);
  }
  std::istream& in = R.Input.empty() ? std::cin : file;
  TBarcodeBmp bc(nullptr);
  Configure(bc, R);
  std::size_t lineNo = 0, failed = 0;
  std::string line;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    bc.SetBarcodeText(line);
    if (bc.GetBarcodeText().empty()) {
      std::cerr << "tolvane: line " << lineNo << ": " << NothingToEncode(line, R.Type) << "\n";
      ++failed;
      continue;
    }
    WriteSymbol(bc, BatchName(R.Output, lineNo), kind);
  }
  if (in.bad())
    throw vcl::EInOutError("cannot read " + (R.Input.empty() ? std::string("standard input") : R.Input), errno);
  return failed ? 1 : 0;
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
    else if (a == "--batch") r.Batch = true;
    else if (a == "--input") r.Input = value();
    else if (a == "--") {
      if (i + 2 != Args.size()) throw UsageError{"expected exactly one TEXT after --"};
      r.Text = Args[++i];
    } else if (a.size() > 1 && a[0] == '-') throw UsageError{"unknown option '" + a + "' (try --help)"};
    else if (r.Text) throw UsageError{"more than one TEXT given: '" + *r.Text + "' and '" + a + "'"};
    else r.Text = a;
  }
  if (r.Output.empty()) throw UsageError{r.Batch ? "missing --output PATTERN" : "missing --output FILE"};
  if (r.Batch) {
    if (r.Text) throw UsageError{"--batch reads its texts from the input, not from '" + *r.Text + "'"};
    return RenderBatch(r);
  }
  if (!r.Input.empty()) throw UsageError{"--input goes with --batch"};
  if (!r.Text) throw UsageError{"missing the TEXT to encode"};
  RenderBarcode(r);
  return 0;
}

// Creates the sample database at Path from the SQL built into the program.
void WriteSampleDatabase(const std::string& Path) {
  static bool registered = false;
  if (!registered) vcl::RegisterResourceModule(&CliResources);
  registered = true;
  const vcl::TResourceEntry* sql = vcl::FindResource("STOCK", "SQL");
  if (!sql) throw vcl::EResNotFound("the sample database's SQL is missing from the program");
  std::filesystem::remove(Path);
  sqlite3* db = nullptr;
  if (sqlite3_open(Path.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    throw vcl::EInOutError("cannot create " + Path, errno);
  }
  char* err = nullptr;
  const int rc = sqlite3_exec(db, std::string(reinterpret_cast<const char*>(sql->Data), sql->Size).c_str(),
                              nullptr, nullptr, &err);
  const std::string msg = err ? err : "";
  sqlite3_free(err);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw vcl::EDatabaseError("cannot fill " + Path + ": " + msg);
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

  // One symbol of every symbology, each with a text it carries in full.
  struct Sample {
    TBarCodeType Type;
    const char* Text;
  };
  const Sample samples[] = {
      {bcCode128, "Tolvane-128"}, {bcCode39, "TOLVANE"},    {bcUPCA, "03600029145"},
      {bcInt2of5, "1234567890"},  {bcCode93, "Code 93"},    {bcEAN13, "400638133393"},
      {bcEAN8, "5512345"},        {bcPOSTNET, "12345"},     {bcUPCE, "425261"},
      {bcUPC2ext, "53"},          {bcUPC5ext, "52495"},
  };
  static_assert(std::size(samples) == bcUPC5ext + 1);
  for (const Sample& s : samples) {
    BarcodeRequest r;
    r.Type = s.Type;
    r.Scale = 2;
    r.Height = 100;
    r.Text = s.Text;
    r.Output = (std::filesystem::path(dir) / (std::string(TypeNames[s.Type]) + ".png")).string();
    RenderBarcode(r);
    std::cout << r.Output << "  " << TypeNames[s.Type] << " '" << s.Text << "'\n";
  }
  std::cout << "wrote " << std::size(samples) << " sample barcodes, one of each symbology, to "
            << std::filesystem::absolute(dir).lexically_normal().string() << "\n";

  // The shipped sample database, exported to every kind of file.
  const std::string db = (std::filesystem::path(dir) / "stock.db").string();
  WriteSampleDatabase(db);
  const std::string base = (std::filesystem::path(dir) / "stock").string();
  const std::string sql = "SELECT * FROM stock ORDER BY sku";
  std::cout << db << "  sample database, exported as\n";
  for (vcl::TTableType t : {vcl::ttASCII, vcl::ttDBase, vcl::ttParadox})
    std::cout << "  " << cli::ExportQuery(db, sql, base, t, deCOMMA, qcDOUBLEQUOTE, true) << "\n";
  return 0;
}

int Run(const std::vector<std::string>& Args) {
  if (Args.empty()) return CmdSamples({});
  const std::string& cmd = Args[0];
  const std::vector<std::string> rest(Args.begin() + 1, Args.end());
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    PrintUsage();
    return 0;
  }
  if (cmd == "--version") {
    std::cout << "tolvane " << TOLVANE_VERSION_STRING << " (class library " << TVCL_VERSION << ")\n";
    return 0;
  }
  for (const std::string& a : rest)
    if (a == "--help" || a == "-h") {
      PrintUsage();
      return 0;
    }
  if (cmd == "barcode") return CmdBarcode(rest);
  if (cmd == "samples") return CmdSamples(rest);
  if (cmd == "wedge") return cli::CmdWedge(rest);
  if (cmd == "export") return cli::CmdExport(rest);
  throw UsageError{"unknown command '" + cmd + "' (try --help)"};
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
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
