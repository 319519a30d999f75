// Feeds arbitrary bytes to the BMP reader. Malformed input must raise
// vcl::Exception (never crash, read out of bounds or allocate wildly), and
// whatever loads must survive a write and re-read unchanged.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <vcl/Graphics.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  vcl::TBitmap bitmap;
  try {
    bitmap.LoadFromBMP(Data, Size);
  } catch (const vcl::Exception&) {
    return 0;
  }
  // Only small pictures are re-encoded, to keep each run fast.
  if (static_cast<std::int64_t>(bitmap.GetWidth()) * bitmap.GetHeight() > (1 << 20)) return 0;
  const std::vector<std::uint8_t> saved = bitmap.SaveToBMP();
  vcl::TBitmap again;
  again.LoadFromBMP(saved.data(), saved.size());
  if (again.GetWidth() != bitmap.GetWidth() || again.GetHeight() != bitmap.GetHeight()) __builtin_trap();
  for (std::int32_t y = 0; y < bitmap.GetHeight(); ++y)
    for (std::int32_t x = 0; x < bitmap.GetWidth(); ++x)
      if (again.ScanLine(y)[x] != bitmap.ScanLine(y)[x]) __builtin_trap();
  return 0;
}
