// Private to the class library: finding, loading, measuring and rasterising
// font faces for TCanvas.
//
// Typeface names are first looked up in a small table of our own that maps
// the common names to the Liberation families, so that metrics and pixels do
// not depend on how the machine's fontconfig is set up; any other name goes
// to fontconfig's best match. Faces are loaded with FreeType and cached
// process-wide by file and pixel size. Every entry point takes one global
// lock, so canvases on different threads can measure and draw concurrently.
#pragma once

#include <cstdint>
#include <string>

namespace vcl {
class TFont;
}

namespace vcl::fonts {

// What a TFont asks for, reduced to what picks and sizes a face.
struct TFontSpec {
  std::string Name;
  std::int32_t Height = -11;  // TFont::Height: negative = em, positive = cell height
  bool Bold = false;
  bool Italic = false;
};

// Vertical metrics of a face at one pixel size, all in whole pixels. Row
// offsets count from the baseline row, the first row below the glyphs'
// bodies (cell top + Ascent): 0 is that row, negative rows are above it.
struct TTextMetrics {
  std::int32_t Em = 0;               // pixels per em the face is rendered at
  std::int32_t Ascent = 0;           // baseline to top of the cell
  std::int32_t Descent = 0;          // baseline to bottom of the cell
  std::int32_t UnderlineTop = 0;     // first underline row (0 or below it)
  std::int32_t StrikeOutTop = 0;     // first strike-out row (negative: above the baseline)
  std::int32_t LineThickness = 1;    // rows of either line
};

// A rectangle of pixels, Left..Right-1 x Top..Bottom-1, in 64-bit so that
// callers can pass offset coordinates without overflowing.
struct TBox {
  std::int64_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Empty() const { return Left >= Right || Top >= Bottom; }
};

// Receives the coverage of a run of Length pixels starting at (X, Y), all
// inside the clip box given to RenderText. Coverage 255 is fully inside a glyph.
using TSpanSink = void (*)(void* Context, std::int64_t X, std::int64_t Y, std::int32_t Length,
                           std::uint8_t Coverage);

// Receives the coverage of a block of Width x Height pixels whose top-left
// pixel is (X, Y), all inside the clip box given to RenderText: row r starts
// at Coverage + r * Stride. Small glyphs arrive this way, from a cache.
using TMaskSink = void (*)(void* Context, std::int64_t X, std::int64_t Y, std::int32_t Width, std::int32_t Height,
                           const std::uint8_t* Coverage, std::int32_t Stride);

// Largest em a face is rendered or measured at; bigger requests are clamped.
constexpr std::int32_t MaxEmPixels = 4096;

// What picks and sizes the face of a font.
TFontSpec SpecOf(const TFont& Font);

// These raise EOutOfResources (naming the font) when no face can be loaded.
TTextMetrics GetMetrics(const TFontSpec& Request);
// The family name of the face Request resolves to ("Liberation Mono" for
// "Courier New").
std::string FamilyName(const TFontSpec& Request);
// Sum of the glyph advances of Text, each rounded to whole pixels; bytes are
// the characters U+0000..U+00FF.
std::int64_t MeasureText(const TFontSpec& Request, const std::string& Text);
// Rasterises Text antialiased with the pen starting at X and the baseline at
// row Baseline, reporting only the pixels inside Clip: cached small glyphs
// as blocks to MaskSink, large ones span by span to Sink.
void RenderText(const TFontSpec& Request, const std::string& Text, std::int64_t X, std::int64_t Baseline,
                const TBox& Clip, TSpanSink Sink, TMaskSink MaskSink, void* Context);

}  // namespace vcl::fonts
