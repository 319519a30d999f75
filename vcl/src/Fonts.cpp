// Font face lookup, the process-wide FreeType face cache, text measurement
// and antialiased rasterisation for TCanvas.
#include "Fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include "vcl/SysUtils.h"

namespace vcl::fonts {
namespace {

// ---- Which file a typeface name stands for -------------------------------------

// The typeface names programs commonly ask for, mapped to the metric-compatible
// Liberation families that fonts-liberation2 installs here. Keeping this table
// ourselves makes text metrics the same on every machine, whatever its
// fontconfig configuration prefers.
constexpr const char* LiberationDir = "/usr/share/fonts/truetype/liberation2/";

struct TFamilyAlias {
  const char* Name;    // lower case, as compared
  const char* Family;  // file name stem
};
constexpr TFamilyAlias FamilyAliases[] = {
    {"courier new", "LiberationMono"},     {"courier", "LiberationMono"},
    {"arial", "LiberationSans"},           {"ms sans serif", "LiberationSans"},
    {"helvetica", "LiberationSans"},       {"times new roman", "LiberationSerif"},
};

const char* VariantName(bool Bold, bool Italic) {
  if (Bold) return Italic ? "BoldItalic" : "Bold";
  return Italic ? "Italic" : "Regular";
}

struct TFaceFile {
  std::string Path;
  int Index = 0;  // face within a collection file
};

// The file of our own table for Name, or an empty path when Name is not in it.
TFaceFile AliasFile(const std::string& Name, bool Bold, bool Italic) {
  const std::string key = LowerCase(Name);
  for (const TFamilyAlias& a : FamilyAliases)
    if (key == a.Name)
      return {std::string(LiberationDir) + a.Family + "-" + VariantName(Bold, Italic) + ".ttf", 0};
  return {};
}

// fontconfig's best match for the name and style in Config; it nearly always
// finds something, unless the machine has no scalable fonts at all.
TFaceFile FontconfigFile(FcConfig* Config, const std::string& Name, bool Bold, bool Italic) {
  TFaceFile result;
  if (!Config) return result;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return result;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(Name.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, Bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(Config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult status = FcResultNoMatch;
  if (FcPattern* match = FcFontMatch(Config, pattern, &status)) {
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
      result.Path = reinterpret_cast<const char*>(file);
      if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) result.Index = index;
    }
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return result;
}

// ---- Sizes and metrics -------------------------------------------------------------

std::int32_t CeilPixels(FT_Pos V) { return static_cast<std::int32_t>((V + 63) >> 6); }
std::int32_t RoundPixels(FT_Pos V) { return static_cast<std::int32_t>((V + 32) >> 6); }

// Ascent plus descent of Face at its current size, as FreeType scales them.
std::int32_t CellHeight(FT_Face Face) {
  return CeilPixels(Face->size->metrics.ascender) + CeilPixels(-Face->size->metrics.descender);
}

// The vertical metrics of a face already set to Em pixels. The underline sits
// where the face puts it, the strike-out line at the face's OS/2 position (or
// a third of the ascent above the baseline when it has none); both are kept
// inside the cell.
TTextMetrics ComputeMetrics(FT_Face Face, std::int32_t Em) {
  TTextMetrics m;
  m.Em = Em;
  m.Ascent = CeilPixels(Face->size->metrics.ascender);
  m.Descent = CeilPixels(-Face->size->metrics.descender);
  const FT_Fixed yScale = Face->size->metrics.y_scale;
  m.LineThickness = std::max(1, RoundPixels(FT_MulFix(Face->underline_thickness, yScale)));
  const double underlineCentre = -static_cast<double>(FT_MulFix(Face->underline_position, yScale)) / 64.0;
  const auto underlineTop = static_cast<std::int32_t>(std::lround(underlineCentre - m.LineThickness / 2.0));
  m.UnderlineTop = std::clamp(underlineTop, 0, std::max(0, m.Descent - m.LineThickness));
  std::int32_t strikeTop = -(m.Ascent / 3) - m.LineThickness;
  if (auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(Face, FT_SFNT_OS2)); os2 && os2->version != 0xFFFF)
    strikeTop = -RoundPixels(FT_MulFix(os2->yStrikeoutPosition, yScale));
  m.StrikeOutTop = std::clamp(strikeTop, -m.Ascent, std::max(-m.Ascent, m.Descent - m.LineThickness));
  return m;
}

// A face opened for one file at one pixel size, with the advances of the 256
// characters filled in as they are first asked for.
// One run of a rasterised glyph, relative to the pen on the baseline (raster
// coordinates: Y counts up from the baseline).
struct TGlyphSpan {
  std::int32_t X, Y, Length;
  std::uint8_t Coverage;
};
using TGlyphSpans = std::vector<TGlyphSpan>;

// A rasterised glyph as a block of coverage bytes: row 0 is the row Top
// (negative: above the baseline) and column 0 the column Left, both relative
// to the pen on the baseline.
struct TGlyphMask {
  std::int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  std::vector<std::uint8_t> Coverage;  // Width x Height
};

// Glyphs of faces up to this em are rasterised once and drawn from their
// cached masks; larger ones are rasterised each time, clipped to what shows.
constexpr std::int32_t MaxCachedGlyphEm = 128;

struct TSizedFace {
  FT_Face Face = nullptr;
  TTextMetrics Metrics;
  std::array<std::int32_t, 256> Advances;  // -1 until measured
  std::array<std::unique_ptr<TGlyphMask>, 256> Glyphs;  // rasterised on first use
  std::uint64_t LastUse = 0;               // for evicting the least recently used
};

// Everything FreeType-related, guarded by one mutex that every entry point of
// this file holds for its whole duration (FreeType faces must not be used by
// two threads at once).
class TFontCache {
public:
  TFontCache() = default;
  TFontCache(const TFontCache&) = delete;
  TFontCache& operator=(const TFontCache&) = delete;
  ~TFontCache() {
    for (auto& entry : FFaces) FT_Done_Face(entry.second->Face);
    if (FLibrary) FT_Done_FreeType(FLibrary);
    if (FConfig) FcConfigDestroy(FConfig);
  }

  std::mutex Lock;

  // The face for Request at its size; the caller holds Lock. EOutOfResources
  // when no candidate file loads.
  TSizedFace& Face(const TFontSpec& Request) {
    // Drawing asks for the same font many times in a row (a symbol's text
    // measures and draws several strings): the last answer is kept, so the
    // common case costs one comparison and allocates nothing.
    if (FLast && Request.Height == FLastSpec.Height && Request.Bold == FLastSpec.Bold &&
        Request.Italic == FLastSpec.Italic && Request.Name == FLastSpec.Name) {
      FLast->LastUse = ++FClock;
      return *FLast;
    }
    TSizedFace& face = Lookup(Request);
    FLast = &face;
    FLastSpec = Request;
    return face;
  }

  FT_Library Library() {
    if (!FLibrary && FT_Init_FreeType(&FLibrary) != 0) FLibrary = nullptr;
    return FLibrary;
  }

private:
  TSizedFace& Lookup(const TFontSpec& Request) {
    const TFaceFile& file = Resolve(Request);
    const std::int32_t em = EmFor(file, Request.Height);
    if (em <= 0) throw Failure(Request);
    const auto key = std::make_tuple(file.Path, file.Index, em);
    auto it = FFaces.find(key);
    if (it == FFaces.end()) {
      FT_Face face = Open(file, em);
      if (!face) throw Failure(Request);
      auto entry = std::make_unique<TSizedFace>();
      entry->Face = face;
      entry->Metrics = ComputeMetrics(face, em);
      entry->Advances.fill(-1);
      EvictIfFull();
      it = FFaces.emplace(key, std::move(entry)).first;
    }
    it->second->LastUse = ++FClock;
    return *it->second;
  }

  static constexpr std::size_t MaxFaces = 16;

  static EOutOfResources Failure(const TFontSpec& Request) {
    return EOutOfResources("Cannot load the font '" + Request.Name + "'");
  }

  // A scalable face of File at Em pixels, or null.
  FT_Face Open(const TFaceFile& File, std::int32_t Em) {
    FT_Library library = Library();
    FT_Face face = nullptr;
    if (!library || File.Path.empty() || FT_New_Face(library, File.Path.c_str(), File.Index, &face) != 0)
      return nullptr;
    if (!FT_IS_SCALABLE(face) || FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0 ||
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(Em)) != 0) {
      FT_Done_Face(face);
      return nullptr;
    }
    return face;
  }

  // The first loadable file among our own table's entry and fontconfig's
  // match, remembered per name and style.
  const TFaceFile& Resolve(const TFontSpec& Request) {
    const auto key = std::make_tuple(LowerCase(Request.Name), Request.Bold, Request.Italic);
    if (auto it = FFiles.find(key); it != FFiles.end()) return it->second;
    // fontconfig is asked only when our own table has no loadable file.
    for (int source = 0; source < 2; ++source) {
      const TFaceFile candidate = source == 0 ? AliasFile(Request.Name, Request.Bold, Request.Italic)
                                              : FontconfigFile(Config(), Request.Name, Request.Bold, Request.Italic);
      if (FT_Face probe = Open(candidate, 16)) {
        FT_Done_Face(probe);
        return FFiles.emplace(key, candidate).first->second;
      }
    }
    throw Failure(Request);
  }

  // Pixels per em for a TFont Height: -Height for a negative one; for a
  // positive one the largest em whose ascent plus descent is at most Height
  // (at least 1). Height 0 asks for no particular size and gets the smallest,
  // 1 pixel, like a Size of 0. 0 when the file cannot be opened.
  std::int32_t EmFor(const TFaceFile& File, std::int32_t Height) {
    if (Height < 0) return static_cast<std::int32_t>(std::min<std::int64_t>(-std::int64_t{Height}, MaxEmPixels));
    if (Height == 0) return 1;
    const auto key = std::make_tuple(File.Path, File.Index, Height);
    if (auto it = FCellEms.find(key); it != FCellEms.end()) return it->second;
    FT_Face face = Open(File, 16);
    if (!face) return 0;
    auto cellAt = [face](std::int32_t em) {
      return FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em)) == 0 ? CellHeight(face) : 0;
    };
    // Start from the unrounded design proportion, then step to the exact em.
    const std::int64_t designCell = std::int64_t{face->ascender} - face->descender;
    std::int64_t guess = designCell > 0 ? std::int64_t{Height} * face->units_per_EM / designCell : Height;
    auto em = static_cast<std::int32_t>(std::clamp<std::int64_t>(guess, 1, MaxEmPixels));
    while (em > 1 && cellAt(em) > Height) --em;
    while (em < MaxEmPixels && cellAt(em + 1) <= Height) ++em;
    FT_Done_Face(face);
    FCellEms.emplace(key, em);
    return em;
  }

  void EvictIfFull() {
    if (FFaces.size() < MaxFaces) return;
    auto oldest = std::min_element(FFaces.begin(), FFaces.end(), [](const auto& a, const auto& b) {
      return a.second->LastUse < b.second->LastUse;
    });
    if (oldest->second.get() == FLast) FLast = nullptr;
    FT_Done_Face(oldest->second->Face);
    FFaces.erase(oldest);
  }

  // A configuration of our own rather than fontconfig's process-wide
  // default: the host program may change or finalise that one, and ours is
  // freed with the cache instead of lingering until exit.
  FcConfig* Config() {
    if (!FConfig) FConfig = FcInitLoadConfigAndFonts();
    return FConfig;
  }

  FT_Library FLibrary = nullptr;
  FcConfig* FConfig = nullptr;
  TSizedFace* FLast = nullptr;  // the face of FLastSpec, while it is cached
  TFontSpec FLastSpec;
  std::uint64_t FClock = 0;
  std::map<std::tuple<std::string, bool, bool>, TFaceFile> FFiles;        // name, bold, italic
  std::map<std::tuple<std::string, int, std::int32_t>, std::unique_ptr<TSizedFace>> FFaces;  // file, index, em
  std::map<std::tuple<std::string, int, std::int32_t>, std::int32_t> FCellEms;  // file, index, cell height
};

TFontCache& Cache() {
  static TFontCache cache;
  return cache;
}

// The advance of character C in whole pixels (the hinted advance, rounded).
std::int32_t Advance(TSizedFace& F, unsigned char C) {
  std::int32_t& advance = F.Advances[C];
  if (advance < 0) {
    advance = 0;
    const FT_UInt glyph = FT_Get_Char_Index(F.Face, C);
    if (FT_Load_Glyph(F.Face, glyph, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) == 0)
      advance = std::max(0, RoundPixels(F.Face->glyph->advance.x));
  }
  return advance;
}

// ---- Rasterising -----------------------------------------------------------------

// Passed through FreeType to SpanCallback: maps raster coordinates (origin at
// the pen on the baseline, y up) to surface coordinates (y down).
struct TSpanTarget {
  std::int64_t PenX, Baseline;
  TBox Clip;
  TSpanSink Sink;
  void* Context;
};

void SpanCallback(int Y, int Count, const FT_Span* Spans, void* User) {
  const auto& t = *static_cast<const TSpanTarget*>(User);
  // Raster row Y covers the pixel row just above height Y over the baseline.
  const std::int64_t row = t.Baseline - 1 - Y;
  if (row < t.Clip.Top || row >= t.Clip.Bottom) return;
  for (int i = 0; i < Count; ++i) {
    const std::int64_t x0 = std::max(t.PenX + Spans[i].x, t.Clip.Left);
    const std::int64_t x1 = std::min(t.PenX + Spans[i].x + Spans[i].len, t.Clip.Right);
    if (x0 < x1 && Spans[i].coverage)
      t.Sink(t.Context, x0, row, static_cast<std::int32_t>(x1 - x0), Spans[i].coverage);
  }
}

std::int64_t FloorPixels(FT_Pos V) { return V >> 6; }

// Rasterises the glyph loaded in Face's slot with the pen at PenX. Only the
// part inside Clip is rasterised (FreeType's clip box, in raster coordinates
// relative to the pen, which also keeps them within FreeType's 16-bit span
// range), so a huge glyph far off the surface costs nothing.
void RenderGlyph(FT_Library Library, FT_Face Face, std::int64_t PenX, std::int64_t Baseline, const TBox& Clip,
                 TSpanSink Sink, void* Context) {
  FT_Outline& outline = Face->glyph->outline;
  FT_BBox box;
  FT_Outline_Get_CBox(&outline, &box);
  const std::int64_t left = std::max({FloorPixels(box.xMin), Clip.Left - PenX, std::int64_t{-32768}});
  const std::int64_t right = std::min({FloorPixels(box.xMax + 63), Clip.Right - PenX, std::int64_t{32767}});
  const std::int64_t bottom = std::max({FloorPixels(box.yMin), Baseline - Clip.Bottom, std::int64_t{-32768}});
  const std::int64_t top = std::min({FloorPixels(box.yMax + 63), Baseline - Clip.Top, std::int64_t{32767}});
  if (left >= right || bottom >= top) return;

  TSpanTarget target{PenX, Baseline, Clip, Sink, Context};
  FT_Raster_Params params{};
  params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
  params.gray_spans = &SpanCallback;
  params.user = &target;
  params.clip_box = {static_cast<FT_Pos>(left), static_cast<FT_Pos>(bottom), static_cast<FT_Pos>(right),
                     static_cast<FT_Pos>(top)};
  FT_Outline_Render(Library, &outline, &params);
}

void CollectSpans(int Y, int Count, const FT_Span* Spans, void* User) {
  auto& out = *static_cast<TGlyphSpans*>(User);
  for (int i = 0; i < Count; ++i)
    if (Spans[i].coverage) out.push_back({Spans[i].x, Y, Spans[i].len, Spans[i].coverage});
}

// The mask of character C of a small face, rasterised on first use.
const TGlyphMask& CachedGlyph(FT_Library Library, TSizedFace& F, unsigned char C) {
  std::unique_ptr<TGlyphMask>& slot = F.Glyphs[C];
  if (slot) return *slot;
  slot = std::make_unique<TGlyphMask>();
  TGlyphSpans spans;
  if (FT_Load_Glyph(F.Face, FT_Get_Char_Index(F.Face, C), FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) == 0 &&
      F.Face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
    FT_Raster_Params params{};
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT;
    params.gray_spans = &CollectSpans;
    params.user = &spans;
    FT_Outline_Render(Library, &F.Face->glyph->outline, &params);
  }
  if (spans.empty()) return *slot;
  std::int32_t left = spans[0].X, right = left, bottom = spans[0].Y, top = bottom;
  for (const TGlyphSpan& sp : spans) {
    left = std::min(left, sp.X);
    right = std::max(right, sp.X + sp.Length);
    bottom = std::min(bottom, sp.Y);
    top = std::max(top, sp.Y);
  }
  TGlyphMask& m = *slot;
  m.Left = left;
  m.Top = -1 - top;  // raster row Y is the pixel row just above height Y over the baseline
  m.Width = right - left;
  m.Height = top - bottom + 1;
  m.Coverage.assign(static_cast<std::size_t>(m.Width) * static_cast<std::size_t>(m.Height), 0);
  for (const TGlyphSpan& sp : spans)
    std::fill_n(m.Coverage.data() + static_cast<std::size_t>(top - sp.Y) * static_cast<std::size_t>(m.Width) +
                    static_cast<std::size_t>(sp.X - left),
                sp.Length, sp.Coverage);
  return m;
}

// Hands the part of a cached mask inside Clip, with the pen at PenX, to Sink.
void DrawMask(const TGlyphMask& M, std::int64_t PenX, std::int64_t Baseline, const TBox& Clip, TMaskSink Sink,
              void* Context) {
  if (M.Coverage.empty()) return;
  const std::int64_t x0 = std::max(PenX + M.Left, Clip.Left), x1 = std::min(PenX + M.Left + M.Width, Clip.Right);
  const std::int64_t y0 = std::max(Baseline + M.Top, Clip.Top), y1 = std::min(Baseline + M.Top + M.Height, Clip.Bottom);
  if (x0 >= x1 || y0 >= y1) return;
  const std::uint8_t* first = M.Coverage.data() + static_cast<std::size_t>(y0 - (Baseline + M.Top)) * static_cast<std::size_t>(M.Width) +
                              static_cast<std::size_t>(x0 - (PenX + M.Left));
  Sink(Context, x0, y0, static_cast<std::int32_t>(x1 - x0), static_cast<std::int32_t>(y1 - y0), first, M.Width);
}

}  // namespace

TTextMetrics GetMetrics(const TFontSpec& Request) {
  TFontCache& cache = Cache();
  std::lock_guard lock(cache.Lock);
  return cache.Face(Request).Metrics;
}

std::string FamilyName(const TFontSpec& Request) {
  TFontCache& cache = Cache();
  std::lock_guard lock(cache.Lock);
  const char* family = cache.Face(Request).Face->family_name;
  return family ? family : Request.Name;
}

std::int64_t MeasureText(const TFontSpec& Request, const std::string& Text) {
  TFontCache& cache = Cache();
  std::lock_guard lock(cache.Lock);
  TSizedFace& face = cache.Face(Request);
  std::int64_t width = 0;
  for (char c : Text) width += Advance(face, static_cast<unsigned char>(c));
  return width;
}

void RenderText(const TFontSpec& Request, const std::string& Text, std::int64_t X, std::int64_t Baseline,
                const TBox& Clip, TSpanSink Sink, TMaskSink MaskSink, void* Context) {
  TFontCache& cache = Cache();
  std::lock_guard lock(cache.Lock);
  TSizedFace& face = cache.Face(Request);
  FT_Library library = cache.Library();
  const std::int64_t margin = face.Metrics.Em;
  std::int64_t pen = X;
  for (char ch : Text) {
    const auto c = static_cast<unsigned char>(ch);
    const std::int32_t advance = Advance(face, c);
    // A glyph may overhang its advance (italics, accents), but not by an em:
    // glyphs further outside the clip are not even loaded.
    if (pen - margin >= Clip.Right) break;
    const bool visible = pen + advance + margin > Clip.Left;
    if (visible && face.Metrics.Em <= MaxCachedGlyphEm) {
      DrawMask(CachedGlyph(library, face, c), pen, Baseline, Clip, MaskSink, Context);
      pen += advance;
      continue;
    }
    const FT_UInt glyph = FT_Get_Char_Index(face.Face, c);
    if (visible && FT_Load_Glyph(face.Face, glyph, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) == 0 &&
        face.Face->glyph->format == FT_GLYPH_FORMAT_OUTLINE)
      RenderGlyph(library, face.Face, pen, Baseline, Clip, Sink, Context);
    pen += advance;
  }
}

}  // namespace vcl::fonts
