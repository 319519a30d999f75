// PNG (through libpng) and BMP (our own code) encoding and decoding for
// TBitmap, and the file access behind its SaveToFile and LoadFromFile.
#include "ImageIO.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <new>

#include "vcl/SysUtils.h"

namespace vcl::imageio {
namespace {

constexpr std::uint32_t PixelsPerMetre = 3780;  // 96 dots per inch

// ---- PNG ---------------------------------------------------------------------------

// Shared by the libpng callbacks: where the bytes go and the last error text.
struct TPngWriteState {
  std::vector<std::uint8_t>* Out;
  char Error[160];
};

// libpng reports errors through this; it must not return, so it jumps back to
// the setjmp in WritePngImage.
[[noreturn]] void PngError(png_structp Png, png_const_charp Message) {
  auto* state = static_cast<TPngWriteState*>(png_get_error_ptr(Png));
  std::snprintf(state->Error, sizeof state->Error, "%s", Message);
  png_longjmp(Png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Appends encoded bytes. A failed allocation is turned into a libpng error
// only after the C++ exception has been handled, so no exception crosses libpng.
void PngWrite(png_structp Png, png_bytep Data, std::size_t Length) {
  auto* state = static_cast<TPngWriteState*>(png_get_io_ptr(Png));
  bool failed = false;
  try {
    state->Out->insert(state->Out->end(), Data, Data + Length);
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  if (failed) png_error(Png, "out of memory");
}

void PngFlush(png_structp) {}

// Runs the libpng write with its error jump. Nothing with a destructor lives
// in this frame, so the longjmp from PngError skips no cleanup. The TColor
// words are R, G, B, 0 in memory on a little-endian machine (RGB plus a filler
// byte, which libpng strips); on a big-endian one they are 0, B, G, R.
bool WritePngImage(png_structp Png, png_infop Info, const std::uint32_t* Pixels, std::uint32_t Width,
                   std::uint32_t Height) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_set_IHDR(Png, Info, Width, Height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(Png, Info, PixelsPerMetre, PixelsPerMetre, PNG_RESOLUTION_METER);
  png_write_info(Png, Info);
  if constexpr (std::endian::native == std::endian::little) {
    png_set_filler(Png, 0, PNG_FILLER_AFTER);
  } else {
    png_set_filler(Png, 0, PNG_FILLER_BEFORE);
    png_set_bgr(Png);
  }
  for (std::uint32_t y = 0; y < Height; ++y)
    png_write_row(Png, reinterpret_cast<png_const_bytep>(Pixels + std::size_t{y} * Width));
  png_write_end(Png, nullptr);
  return true;
}

// A picture of at most 256 colours as palette indexes, packed at the
// smallest PNG bit depth that holds them (a two-colour barcode takes one bit
// a pixel). Empty Palette when the picture has more colours.
struct TIndexedImage {
  std::vector<std::uint32_t> Palette;  // TColor values
  int BitDepth = 8;
  std::size_t RowBytes = 0;
  std::vector<std::uint8_t> Rows;      // Height rows of RowBytes
};

TIndexedImage ToIndexed(const std::uint32_t* Pixels, std::uint32_t Width, std::uint32_t Height) {
  TIndexedImage img;
  const std::size_t count = std::size_t{Width} * Height;
  std::vector<std::uint8_t> index(count);
  // Runs of one colour are the rule; between runs a small direct-mapped
  // cache of colour -> index saves searching the palette.
  struct TSlot {
    std::uint32_t Color = 0xFFFFFFFFu;  // never a pixel: pixels have no high byte
    std::uint8_t Index = 0;
  };
  std::array<TSlot, 64> cache{};
  std::uint32_t last = 0xFFFFFFFFu;
  std::uint8_t lastIndex = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t c = Pixels[i] & 0xFFFFFFu;
    if (c != last) {
      TSlot& slot = cache[(c ^ (c >> 7) ^ (c >> 15)) & 63];
      if (slot.Color != c) {
        auto it = std::find(img.Palette.begin(), img.Palette.end(), c);
        if (it == img.Palette.end()) {
          if (img.Palette.size() == 256) return {};
          img.Palette.push_back(c);
          it = img.Palette.end() - 1;
        }
        slot = {c, static_cast<std::uint8_t>(it - img.Palette.begin())};
      }
      last = c;
      lastIndex = slot.Index;
    }
    index[i] = lastIndex;
  }
  const std::size_t n = img.Palette.size();
  img.BitDepth = n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
  const unsigned depth = static_cast<unsigned>(img.BitDepth);
  img.RowBytes = (std::size_t{Width} * depth + 7) / 8;
  if (depth != 8) img.Rows.assign(img.RowBytes * Height, 0);
  if (depth == 8) {
    img.Rows = std::move(index);
    return img;
  }
  // 1, 2 or 4 bits a pixel: 8 / depth pixels a byte, the leftmost in the high bits.
  const unsigned perByteShift = depth == 1 ? 3 : depth == 2 ? 2 : 1;
  const std::uint32_t perByteMask = (1u << perByteShift) - 1;
  for (std::uint32_t y = 0; y < Height; ++y) {
    const std::uint8_t* src = index.data() + std::size_t{y} * Width;
    std::uint8_t* dst = img.Rows.data() + std::size_t{y} * img.RowBytes;
    for (std::uint32_t x = 0; x < Width; ++x)
      dst[x >> perByteShift] |= static_cast<std::uint8_t>(src[x] << (8 - depth * ((x & perByteMask) + 1)));
  }
  return img;
}

// The palette variant of WritePngImage. Filtering does not help palette
// rows, so none is applied, which also makes the writer faster.
bool WritePalettePng(png_structp Png, png_infop Info, const TIndexedImage* Img, std::uint32_t Width,
                     std::uint32_t Height) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_color palette[256];
  for (std::size_t i = 0; i < Img->Palette.size(); ++i) {  // TColor: 0x00BBGGRR
    const std::uint32_t c = Img->Palette[i];
    palette[i].red = static_cast<png_byte>(c);
    palette[i].green = static_cast<png_byte>(c >> 8);
    palette[i].blue = static_cast<png_byte>(c >> 16);
  }
  png_set_IHDR(Png, Info, Width, Height, Img->BitDepth, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(Png, Info, palette, static_cast<int>(Img->Palette.size()));
  png_set_pHYs(Png, Info, PixelsPerMetre, PixelsPerMetre, PNG_RESOLUTION_METER);
  png_set_filter(Png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  // Symbols are small: a smaller deflate hash (2^12 entries instead of 2^15)
  // costs nothing in size here and saves clearing 56 KiB for every file, and
  // the fastest deflate level halves the encoding time of a symbol with
  // antialiased text for files about a quarter larger (2.4 KB instead of
  // 1.8 KB for an EAN-13 at 2 pixels a module; 152 bytes without text).
  png_set_compression_mem_level(Png, 5);
  png_set_compression_level(Png, 1);
  png_write_info(Png, Info);
  for (std::uint32_t y = 0; y < Height; ++y) png_write_row(Png, Img->Rows.data() + std::size_t{y} * Img->RowBytes);
  png_write_end(Png, nullptr);
  return true;
}

// ---- BMP reading helpers ---------------------------------------------------------

[[noreturn]] void Invalid(const std::string& What) { throw EInvalidGraphic("Invalid bitmap: " + What); }

// Little-endian fields; callers have checked that the bytes are there.
std::uint16_t U16(const std::uint8_t* P) { return static_cast<std::uint16_t>(P[0] | (P[1] << 8)); }
std::uint32_t U32(const std::uint8_t* P) {
  return std::uint32_t{P[0]} | (std::uint32_t{P[1]} << 8) | (std::uint32_t{P[2]} << 16) |
         (std::uint32_t{P[3]} << 24);
}
std::int32_t I32(const std::uint8_t* P) { return static_cast<std::int32_t>(U32(P)); }

void Put16(std::uint8_t* P, std::uint32_t V) {
  P[0] = static_cast<std::uint8_t>(V);
  P[1] = static_cast<std::uint8_t>(V >> 8);
}
void Put32(std::uint8_t* P, std::uint32_t V) {
  Put16(P, V);
  Put16(P + 2, V >> 16);
}

constexpr std::uint32_t BI_RGB = 0, BI_BITFIELDS = 3;

// The header fields DecodeBMP needs, whatever the header version.
struct TBmpInfo {
  std::uint32_t HeaderSize = 0;
  std::int64_t Width = 0, Height = 0;  // Height as stored: negative = top-down
  std::uint32_t BitCount = 0, Compression = BI_RGB, ColorsUsed = 0;
};

TBmpInfo ReadInfoHeader(const std::uint8_t* Data, std::size_t Size) {
  if (Size < 14 + 4) Invalid("truncated header");
  TBmpInfo info;
  info.HeaderSize = U32(Data + 14);
  switch (info.HeaderSize) {
    case 12: case 40: case 52: case 56: case 108: case 124: break;
    default: Invalid("unsupported info header size " + std::to_string(info.HeaderSize));
  }
  if (Size < 14 + std::size_t{info.HeaderSize}) Invalid("truncated info header");
  const std::uint8_t* h = Data + 14;
  if (info.HeaderSize == 12) {  // BITMAPCOREHEADER: 16-bit sizes, always bottom-up
    info.Width = U16(h + 4);
    info.Height = U16(h + 6);
    info.BitCount = U16(h + 10);
  } else {
    info.Width = I32(h + 4);
    info.Height = I32(h + 8);
    info.BitCount = U16(h + 14);
    info.Compression = U32(h + 16);
    info.ColorsUsed = U32(h + 32);
  }
  return info;
}

// One channel of a BI_BITFIELDS pixel: the bits under Mask scaled to 0..255.
struct TChannel {
  std::uint32_t Mask = 0, Shift = 0, Max = 0;
  explicit TChannel(std::uint32_t M) : Mask(M) {
    if (!M) return;
    Shift = static_cast<std::uint32_t>(std::countr_zero(M));
    Max = M >> Shift;
    if ((Max & (Max + 1)) != 0) Invalid("non-contiguous colour mask");
  }
  std::uint32_t Get(std::uint32_t Pixel) const {
    return Max ? static_cast<std::uint32_t>((std::uint64_t{(Pixel & Mask) >> Shift} * 255 + Max / 2) / Max) : 0;
  }
};

std::uint32_t Bgr(const std::uint8_t* P) {
  return std::uint32_t{P[2]} | (std::uint32_t{P[1]} << 8) | (std::uint32_t{P[0]} << 16);
}

}  // namespace

// ---- Encoders -----------------------------------------------------------------

std::vector<std::uint8_t> EncodePNG(const std::uint32_t* Pixels, std::int32_t Width, std::int32_t Height) {
  std::vector<std::uint8_t> out;
  TPngWriteState state{&out, {}};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, &PngError, &PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = false;
  const auto w = static_cast<std::uint32_t>(Width), h = static_cast<std::uint32_t>(Height);
  const TIndexedImage indexed = ToIndexed(Pixels, w, h);
  if (info) {
    png_set_write_fn(png, &state, &PngWrite, &PngFlush);
    ok = indexed.Palette.empty() ? WritePngImage(png, info, Pixels, w, h) : WritePalettePng(png, info, &indexed, w, h);
  } else {
    std::snprintf(state.Error, sizeof state.Error, "out of memory");
  }
  png_destroy_write_struct(&png, &info);
  if (!ok) throw EOutOfResources(std::string("Cannot encode the bitmap as PNG: ") + state.Error);
  return out;
}

std::vector<std::uint8_t> EncodeBMP(const std::uint32_t* Pixels, std::int32_t Width, std::int32_t Height) {
  const std::size_t w = static_cast<std::size_t>(Width), h = static_cast<std::size_t>(Height);
  const std::size_t stride = (w * 3 + 3) & ~std::size_t{3};  // rows padded to 4 bytes
  const std::size_t imageSize = stride * h;
  if (imageSize > 0xFFFFFFFFu - 54) throw EInvalidGraphic("The bitmap is too large for a BMP file");
  std::vector<std::uint8_t> out;
  try {
    out.assign(54 + imageSize, 0);
  } catch (const std::bad_alloc&) {
    throw EOutOfResources("Out of memory writing a " + std::to_string(Width) + " x " +
                          std::to_string(Height) + " bitmap");
  }
  std::uint8_t* p = out.data();
  p[0] = 'B';
  p[1] = 'M';
  Put32(p + 2, static_cast<std::uint32_t>(out.size()));
  Put32(p + 10, 54);                 // pixel data offset
  Put32(p + 14, 40);                 // BITMAPINFOHEADER
  Put32(p + 18, static_cast<std::uint32_t>(Width));
  Put32(p + 22, static_cast<std::uint32_t>(Height));  // positive: bottom-up
  Put16(p + 26, 1);                  // planes
  Put16(p + 28, 24);                 // bits per pixel
  Put32(p + 30, BI_RGB);
  Put32(p + 34, static_cast<std::uint32_t>(imageSize));
  Put32(p + 38, PixelsPerMetre);
  Put32(p + 42, PixelsPerMetre);
  for (std::size_t y = 0; y < h; ++y) {
    const std::uint32_t* src = Pixels + (h - 1 - y) * w;
    std::uint8_t* dst = p + 54 + y * stride;
    for (std::size_t x = 0; x < w; ++x, dst += 3) {
      dst[0] = static_cast<std::uint8_t>(src[x] >> 16);  // blue
      dst[1] = static_cast<std::uint8_t>(src[x] >> 8);   // green
      dst[2] = static_cast<std::uint8_t>(src[x]);        // red
    }
  }
  return out;
}

// ---- Decoder -------------------------------------------------------------------

TImage DecodeBMP(const std::uint8_t* Data, std::size_t Size) {
  if (!Data || Size < 14) Invalid("truncated file header");
  if (Data[0] != 'B' || Data[1] != 'M') Invalid("not a BMP file");
  const std::uint32_t dataOffset = U32(Data + 10);
  const TBmpInfo info = ReadInfoHeader(Data, Size);

  if (info.Width <= 0) Invalid("width " + std::to_string(info.Width));
  if (info.Height == 0 || info.Height == INT32_MIN) Invalid("height " + std::to_string(info.Height));
  const bool topDown = info.Height < 0;
  const std::int64_t width = info.Width, height = topDown ? -info.Height : info.Height;
  if (width * height > MaxPixels)
    Invalid("dimensions " + std::to_string(width) + " x " + std::to_string(height) + " are too large");

  const std::uint32_t bpp = info.BitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
    Invalid("unsupported bit depth " + std::to_string(bpp));
  if (info.Compression != BI_RGB && !(info.Compression == BI_BITFIELDS && bpp == 32))
    Invalid("unsupported compression " + std::to_string(info.Compression));

  // 32-bit colour masks: fixed for BI_RGB; for BI_BITFIELDS they follow a
  // 40-byte header and are the header's first fields after it in later
  // versions, at the same file offset either way.
  std::uint32_t masks[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
  if (info.Compression == BI_BITFIELDS) {
    if (Size < 54 + 12) Invalid("truncated colour masks");
    for (int i = 0; i < 3; ++i) masks[i] = U32(Data + 54 + 4 * i);
  }
  const TChannel red(masks[0]), green(masks[1]), blue(masks[2]);

  // The palette follows the info header. Entries beyond 2^bpp cannot be
  // addressed and are not read; indices past the palette's end give black.
  std::uint32_t palette[256] = {};
  if (bpp <= 8) {
    const std::size_t capacity = std::size_t{1} << bpp;
    const std::size_t count = info.ColorsUsed ? std::min<std::size_t>(info.ColorsUsed, capacity) : capacity;
    const std::size_t entrySize = info.HeaderSize == 12 ? 3 : 4;
    const std::size_t start = 14 + std::size_t{info.HeaderSize};
    if ((Size - start) / entrySize < count) Invalid("truncated palette");
    for (std::size_t i = 0; i < count; ++i) palette[i] = Bgr(Data + start + i * entrySize);
  }

  // Check that every row is there before allocating; the last row's padding
  // may be missing, as some writers leave it out.
  const std::uint64_t rowBits = static_cast<std::uint64_t>(width) * bpp;
  const std::uint64_t stride = (rowBits + 31) / 32 * 4, rowBytes = (rowBits + 7) / 8;
  const std::uint64_t needed = stride * static_cast<std::uint64_t>(height - 1) + rowBytes;
  if (dataOffset < 14 + info.HeaderSize || dataOffset > Size) Invalid("pixel data offset " + std::to_string(dataOffset));
  if (needed > Size - dataOffset) Invalid("truncated pixel data");

  TImage image;
  image.Width = static_cast<std::int32_t>(width);
  image.Height = static_cast<std::int32_t>(height);
  try {
    image.Pixels.resize(static_cast<std::size_t>(width * height));
  } catch (const std::bad_alloc&) {
    throw EOutOfResources("Out of memory reading a " + std::to_string(width) + " x " + std::to_string(height) +
                          " bitmap");
  }

  const auto w = static_cast<std::size_t>(width);
  for (std::int64_t row = 0; row < height; ++row) {
    const std::uint8_t* src = Data + dataOffset + static_cast<std::size_t>(row) * stride;
    std::uint32_t* dst = image.Pixels.data() + static_cast<std::size_t>(topDown ? row : height - 1 - row) * w;
    switch (bpp) {
      case 1: case 4: case 8: {
        const unsigned perByte = 8 / bpp, mask = (1u << bpp) - 1;
        for (std::size_t x = 0; x < w; ++x) {
          const auto shift = static_cast<unsigned>(8 - bpp * (1 + x % perByte));  // leftmost pixel in the high bits
          dst[x] = palette[(src[x / perByte] >> shift) & mask];
        }
        break;
      }
      case 24:
        for (std::size_t x = 0; x < w; ++x) dst[x] = Bgr(src + 3 * x);
        break;
      case 32:
        for (std::size_t x = 0; x < w; ++x) {
          const std::uint32_t v = U32(src + 4 * x);
          dst[x] = red.Get(v) | (green.Get(v) << 8) | (blue.Get(v) << 16);
        }
        break;
    }
  }
  return image;
}

// ---- Files -------------------------------------------------------------------

namespace {

[[noreturn]] void IoFailure(const std::string& What, const std::string& FileName, int Code) {
  throw EInOutError(What + " '" + FileName + "': " + SysErrorMessage(Code), Code);
}

// Closes a descriptor when the scope ends.
struct TFd {
  int Fd;
  ~TFd() { if (Fd >= 0) ::close(Fd); }
};

bool WriteAll(int Fd, const std::uint8_t* P, std::size_t N) {
  while (N > 0) {
    const ssize_t n = ::write(Fd, P, N);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    P += n;
    N -= static_cast<std::size_t>(n);
  }
  return true;
}

// Largest file LoadFromFile reads: a 32-bit BMP of MaxPixels plus headers.
constexpr std::uint64_t MaxFileBytes = static_cast<std::uint64_t>(MaxPixels) * 4 + (1u << 20);

}  // namespace

void WriteFileAtomically(const std::string& FileName, const std::vector<std::uint8_t>& Bytes) {
  // A hidden name beside the target; O_EXCL with a per-process counter keeps
  // concurrent saves from sharing one, and mode 0666 lets the umask apply as
  // for any new file.
  static std::atomic<unsigned> counter{0};
  const std::string dir = ExtractFilePath(FileName), name = ExtractFileName(FileName);
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = dir + "." + name + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) IoFailure("Cannot create file", FileName, errno);

  auto fail = [&](int code) {
    ::unlink(temp.c_str());
    IoFailure("Cannot write file", FileName, code);
  };
  if (!WriteAll(fd, Bytes.data(), Bytes.size())) {
    const int code = errno ? errno : EIO;
    ::close(fd);
    fail(code);
  }
  if (::close(fd) != 0) fail(errno);
  if (::rename(temp.c_str(), FileName.c_str()) != 0) fail(errno);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& FileName) {
  TFd file{::open(FileName.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.Fd < 0) IoFailure("Cannot open file", FileName, errno);
  struct stat st {};
  if (::fstat(file.Fd, &st) != 0) IoFailure("Cannot read file", FileName, errno);
  if (S_ISDIR(st.st_mode)) IoFailure("Cannot read file", FileName, EISDIR);
  if (static_cast<std::uint64_t>(st.st_size) > MaxFileBytes)
    throw EInvalidGraphic("The file '" + FileName + "' is too large for a bitmap");
  std::vector<std::uint8_t> bytes;
  try {
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t buffer[65536];
    for (;;) {
      const ssize_t n = ::read(file.Fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) IoFailure("Cannot read file", FileName, errno);
      if (n == 0) break;
      if (bytes.size() + static_cast<std::size_t>(n) > MaxFileBytes)
        throw EInvalidGraphic("The file '" + FileName + "' is too large for a bitmap");
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
  } catch (const std::bad_alloc&) {
    throw EOutOfResources("Out of memory reading '" + FileName + "'");
  }
  return bytes;
}

}  // namespace vcl::imageio
