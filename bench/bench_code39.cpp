// Rendering one Code 39 symbol into a bitmap: ours against a peer library,
// both at 2 pixels per module and 50 pixels high, both with the text line.
// Prints each time and the ratio ours / peer.

#include <benchmark/benchmark.h>
#include <zint.h>

#include <cstdio>
#include <map>
#include <string>

#include "Barcode.h"

namespace {

const char* const Text = "ABC-12";

void BM_TolvaneCode39(benchmark::State& State) {
  tolvane::TBarcodeBmp bc(nullptr);
  bc.SetBarcodeType(tolvane::bcCode39);
  bc.SetScale(2);
  bc.SetHeight(50);
  for (auto _ : State) {
    bc.SetBarcodeText(Text);  // filters, sizes, fills and draws
    benchmark::DoNotOptimize(bc.GetBitmap()->ScanLine(0));
  }
}
BENCHMARK(BM_TolvaneCode39);

void BM_PeerCode39(benchmark::State& State) {
  for (auto _ : State) {
    zint_symbol* s = ZBarcode_Create();
    s->symbology = BARCODE_CODE39;
    s->scale = 1.0f;  // the peer's scale 1 draws 2 pixels per module
    s->height = 25.0f;
    ZBarcode_Encode_and_Buffer(s, reinterpret_cast<const unsigned char*>(Text), 0, 0);
    benchmark::DoNotOptimize(s->bitmap);
    ZBarcode_Delete(s);
  }
}
BENCHMARK(BM_PeerCode39);

// Keeps the mean time per iteration of every run for the ratio line.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  std::map<std::string, double> Nanos;
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& r : Runs) Nanos[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(Runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double ours = reporter.Nanos["BM_TolvaneCode39"], peer = reporter.Nanos["BM_PeerCode39"];
  if (ours > 0 && peer > 0)
    std::printf("Code 39 render, ours / peer: %.2f (%.1f us vs %.1f us)\n", ours / peer, ours / 1000,
                peer / 1000);
  benchmark::Shutdown();
  return 0;
}
