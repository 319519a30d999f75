// Renders one symbol with the installed package and checks its width.
#include <cstdio>

#include <Barcode.h>

int main(int argc, char** argv) {
  tolvane::TBarcodeBmp bc(nullptr);
  bc.SetBarcodeType(tolvane::bcCode39);
  bc.SetBarcodeText("CONSUMER");
  if (bc.GetBitmap()->GetWidth() != tolvane::CalcWidth(1, tolvane::bcCode39, "CONSUMER")) return 1;
  if (argc > 1) bc.GetBitmap()->SaveToFile(argv[1]);
  std::printf("consumer: rendered %dx%d\n", bc.GetBitmap()->GetWidth(), bc.GetBitmap()->GetHeight());
  return 0;
}
