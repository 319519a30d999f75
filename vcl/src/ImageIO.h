// Private to the class library: encoding and decoding picture files for
// TBitmap, and the file reading and writing behind its SaveToFile and
// LoadFromFile. Pixels are TColor values (0x00BBGGRR), row-major, top row first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vcl::imageio {

// The most pixels a bitmap may have (256 MiB of pixel memory).
constexpr std::int64_t MaxPixels = std::int64_t{1} << 26;

struct TImage {
  std::int32_t Width = 0, Height = 0;
  std::vector<std::uint32_t> Pixels;  // Width * Height
};

// PNG, no alpha, 96 dpi: a palette image at the smallest bit depth when the
// picture has at most 256 colours (1 bit for a two-colour barcode), else
// 8-bit RGB. Width and Height must be positive.
std::vector<std::uint8_t> EncodePNG(const std::uint32_t* Pixels, std::int32_t Width, std::int32_t Height);
// 24-bit bottom-up BMP with a BITMAPINFOHEADER, 96 dpi. Width and Height must be positive.
std::vector<std::uint8_t> EncodeBMP(const std::uint32_t* Pixels, std::int32_t Width, std::int32_t Height);
// Any uncompressed 1/4/8/24/32-bit BMP (and 32-bit BI_BITFIELDS). Raises
// EInvalidGraphic for anything malformed or unsupported; never reads outside
// Data and checks that the pixel data is there before allocating for it.
TImage DecodeBMP(const std::uint8_t* Data, std::size_t Size);

// Writes Bytes to a temporary file beside FileName and renames it into place,
// so a failed save leaves neither a partial file nor a damaged old one.
// EInOutError naming the file and the system error.
void WriteFileAtomically(const std::string& FileName, const std::vector<std::uint8_t>& Bytes);
// The whole file; EInOutError when it cannot be read.
std::vector<std::uint8_t> ReadWholeFile(const std::string& FileName);

}  // namespace vcl::imageio
