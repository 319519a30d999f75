// Rendering symbols into bitmaps in memory: ours against the peer library
// libzint in the same run. Each case prints symbols per second for both and
// the ratio ours / peer (above 1: we are faster).
//
//   Code 39 "ABC-12", 2 px a module, with text
//   EAN-13 "400638133393", 2 px a module, with text
//   Code 128, a 20-character text, 2 px a module, with text
//   EAN-13 without text at 1 px a module, against a plain fill of the same
//     bitmap: the floor that no renderer can beat
//
// The peer's raster output at scale 1 draws 2 pixels a module.

#include <benchmark/benchmark.h>
#include <zint.h>

#include <cstdio>
#include <map>
#include <string>

#include "Barcode.h"

namespace {

using namespace tolvane;

const char* const Ean13 = "400638133393";
const char* const Code128Text = "TOLVANE-2026/12-ABCDE";  // 20 characters after the filter keeps all
const char* const Code39Text = "ABC-12";

// Ours: the component as an application uses it; each iteration sets the
// text, which filters, sizes, fills and draws the bitmap.
void Ours(benchmark::State& State, TBarCodeType Type, const char* Text, std::int32_t Scale, bool Interpret) {
  TBarcodeBmp bc(nullptr);
  bc.SetBarcodeType(Type);
  bc.SetScale(Scale);
  bc.SetInterpret(Interpret);
  for (auto _ : State) {
    bc.SetBarcodeText(Text);
    benchmark::DoNotOptimize(bc.GetBitmap()->ScanLine(0));
  }
  State.SetItemsProcessed(State.iterations());
}

void Peer(benchmark::State& State, int Symbology, const char* Text, bool Interpret) {
  for (auto _ : State) {
    zint_symbol* s = ZBarcode_Create();
    s->symbology = Symbology;
    s->scale = 1.0f;
    s->height = 25.0f;  // 50 pixels at 2 pixels a unit
    if (!Interpret) s->show_hrt = 0;
    ZBarcode_Encode_and_Buffer(s, reinterpret_cast<const unsigned char*>(Text), 0, 0);
    benchmark::DoNotOptimize(s->bitmap);
    ZBarcode_Delete(s);
  }
  State.SetItemsProcessed(State.iterations());
}

// The floor: filling the bitmap the EAN-13 symbol occupies at 1 px a module.
void Fill(benchmark::State& State) {
  vcl::TBitmap b;
  b.SetSize(CalcWidth(1, bcEAN13, Ean13), 50);
  vcl::TCanvas& c = *b.GetCanvas();
  c.GetBrush()->SetColor(vcl::clWhite);
  for (auto _ : State) {
    c.FillRect(vcl::Rect(0, 0, b.GetWidth(), b.GetHeight()));
    benchmark::DoNotOptimize(b.ScanLine(0));
  }
  State.SetItemsProcessed(State.iterations());
}

BENCHMARK_CAPTURE(Ours, Code39, bcCode39, Code39Text, 2, true);
BENCHMARK_CAPTURE(Peer, Code39, BARCODE_CODE39, Code39Text, true);
BENCHMARK_CAPTURE(Ours, EAN13, bcEAN13, Ean13, 2, true);
BENCHMARK_CAPTURE(Peer, EAN13, BARCODE_EANX, Ean13, true);
BENCHMARK_CAPTURE(Ours, Code128, bcCode128, Code128Text, 2, true);
BENCHMARK_CAPTURE(Peer, Code128, BARCODE_CODE128, Code128Text, true);
BENCHMARK_CAPTURE(Ours, EAN13Bars, bcEAN13, Ean13, 1, false);
BENCHMARK(Fill)->Name("Floor/EAN13Bars");

// Keeps the time per symbol of every run for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
  std::map<std::string, double> Nanos;
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& r : Runs)
      Nanos[r.benchmark_name()] = r.GetAdjustedRealTime() * (r.time_unit == benchmark::kMicrosecond ? 1e3 : 1.0);
    ConsoleReporter::ReportRuns(Runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto perSecond = [](double ns) { return ns > 0 ? 1e9 / ns : 0.0; };
  std::printf("\n%-10s %14s %14s %8s\n", "case", "ours/s", "peer/s", "ratio");
  for (const char* name : {"Code39", "EAN13", "Code128", "EAN13Bars"}) {
    const double ours = reporter.Nanos["Ours/" + std::string(name)];
    const double peer = std::string(name) == "EAN13Bars" ? reporter.Nanos["Floor/EAN13Bars"]
                                                         : reporter.Nanos["Peer/" + std::string(name)];
    if (ours <= 0 || peer <= 0) continue;
    std::printf("%-10s %14.0f %14.0f %8.2f%s\n", name, perSecond(ours), perSecond(peer), peer / ours,
                std::string(name) == "EAN13Bars" ? "  (peer: a plain fill, the floor)" : "");
  }
  benchmark::Shutdown();
  return 0;
}
