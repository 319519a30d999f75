// Colours, graphics objects and their property tables, canvas drawing and
// clipping, text, and bitmaps with their PNG and BMP files.
#include <gtest/gtest.h>
#include <png.h>  // types only: the functions are looked up at run time, see PngApi
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <vcl/Graphics.h>

namespace {

namespace fs = std::filesystem;
using namespace vcl;

// ---- Helpers -------------------------------------------------------------------

// The test's scratch directory: $TOLVANE_TEST_TMP when set (created if
// missing), otherwise a fresh one under /tmp.
const fs::path& TempRoot() {
  static const fs::path root = [] {
    if (const char* env = std::getenv("TOLVANE_TEST_TMP"); env && *env) {
      fs::create_directories(env);
      return fs::path(env);
    }
    char pattern[] = "/tmp/tolvane-graphics-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    return fs::path(pattern);
  }();
  return root;
}

// An empty directory of its own for one test.
fs::path FreshDir(const std::string& Name) {
  const fs::path dir = TempRoot() / ("graphics_" + Name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::vector<std::string> DirEntries(const fs::path& Dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename().string());
  return names;
}

std::vector<std::uint8_t> ReadBytes(const fs::path& File) {
  std::ifstream in(File, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TColor Pixel(const TBitmap& B, int X, int Y) { return static_cast<TColor>(B.ScanLine(Y)[X]); }

std::vector<TColor> Pixels(const TBitmap& B) {
  std::vector<TColor> all;
  for (int y = 0; y < B.GetHeight(); ++y)
    for (int x = 0; x < B.GetWidth(); ++x) all.push_back(Pixel(B, x, y));
  return all;
}

// The bitmap as text, one line a row: '.' white, 'R' red, 'G' green, 'B'
// blue, '?' anything else.
std::string Picture(const TBitmap& B) {
  std::string text;
  for (int y = 0; y < B.GetHeight(); ++y) {
    for (int x = 0; x < B.GetWidth(); ++x) {
      const TColor c = Pixel(B, x, y);
      text += c == clWhite ? '.' : c == clRed ? 'R' : c == clLime ? 'G' : c == clBlue ? 'B' : '?';
    }
    text += '\n';
  }
  return text;
}

// Every pixel inside Region is Inside and every other one white.
::testing::AssertionResult RegionIs(const TBitmap& B, const TRect& Region, TColor Inside) {
  for (int y = 0; y < B.GetHeight(); ++y)
    for (int x = 0; x < B.GetWidth(); ++x) {
      const bool in = x >= Region.Left && x < Region.Right && y >= Region.Top && y < Region.Bottom;
      const TColor want = in ? Inside : clWhite;
      if (Pixel(B, x, y) != want)
        return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << ColorToString(Pixel(B, x, y))
                                             << ", expected " << ColorToString(want);
    }
  return ::testing::AssertionSuccess();
}

void Put16(std::vector<std::uint8_t>& B, std::size_t At, std::uint32_t V) {
  B[At] = static_cast<std::uint8_t>(V);
  B[At + 1] = static_cast<std::uint8_t>(V >> 8);
}
void Put32(std::vector<std::uint8_t>& B, std::size_t At, std::uint32_t V) {
  Put16(B, At, V);
  Put16(B, At + 2, V >> 16);
}
std::uint32_t Get32(const std::vector<std::uint8_t>& B, std::size_t At) {
  return B[At] | (B[At + 1] << 8) | (B[At + 2] << 16) | (std::uint32_t{B[At + 3]} << 24);
}

// A BMP file put together field by field, so that each test states exactly
// what the file holds.
struct TBmpSpec {
  std::uint32_t HeaderSize = 40;
  std::int32_t Width = 1, Height = 1;
  std::uint16_t BitCount = 24;
  std::uint32_t Compression = 0;
  std::uint32_t ColorsUsed = 0;
  std::vector<TColor> Palette{};
  std::vector<std::uint32_t> Masks{};             // BI_BITFIELDS red, green, blue
  std::vector<std::vector<std::uint8_t>> Rows{};  // in file order, unpadded
};

std::vector<std::uint8_t> BuildBmp(const TBmpSpec& S) {
  std::vector<std::uint8_t> b(14 + S.HeaderSize, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 14, S.HeaderSize);
  if (S.HeaderSize == 12) {
    Put16(b, 18, static_cast<std::uint32_t>(S.Width));
    Put16(b, 20, static_cast<std::uint32_t>(S.Height));
    Put16(b, 22, 1);
    Put16(b, 24, S.BitCount);
  } else {
    Put32(b, 18, static_cast<std::uint32_t>(S.Width));
    Put32(b, 22, static_cast<std::uint32_t>(S.Height));
    Put16(b, 26, 1);
    Put16(b, 28, S.BitCount);
    Put32(b, 30, S.Compression);
    Put32(b, 46, S.ColorsUsed);
  }
  if (!S.Masks.empty() && S.HeaderSize == 40) b.resize(b.size() + 12);  // masks follow a 40-byte header
  for (std::size_t i = 0; i < S.Masks.size(); ++i) Put32(b, 54 + 4 * i, S.Masks[i]);
  for (TColor c : S.Palette) {
    b.insert(b.end(), {GetBValue(c), GetGValue(c), GetRValue(c)});
    if (S.HeaderSize != 12) b.push_back(0);
  }
  Put32(b, 10, static_cast<std::uint32_t>(b.size()));
  for (const auto& row : S.Rows) {
    b.insert(b.end(), row.begin(), row.end());
    b.resize(b.size() + (4 - row.size() % 4) % 4);  // each row padded to 4 bytes
  }
  Put32(b, 2, static_cast<std::uint32_t>(b.size()));
  return b;
}

// 24-bit row bytes (blue, green, red) of the colours.
std::vector<std::uint8_t> Row24(std::initializer_list<TColor> Colors) {
  std::vector<std::uint8_t> row;
  for (TColor c : Colors) row.insert(row.end(), {GetBValue(c), GetGValue(c), GetRValue(c)});
  return row;
}

// libpng's simplified reader decodes our PNG files independently of the
// library's writer.
// Decodes PNG bytes to TColor pixels (8-bit RGB); false when libpng rejects them.
bool DecodePng(const std::vector<std::uint8_t>& Bytes, int& Width, int& Height, std::vector<TColor>& Out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, Bytes.data(), Bytes.size())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  Width = static_cast<int>(image.width);
  Height = static_cast<int>(image.height);
  Out.clear();
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) Out.push_back(RGB(rgb[i], rgb[i + 1], rgb[i + 2]));
  return true;
}

// The 16 basic colours in the order 4-bit files use them.
const std::vector<TColor> Vga16 = {clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple, clTeal, clGray,
                                   clSilver, clRed, clLime, clYellow, clBlue, clFuchsia, clAqua, clWhite};

// A small bitmap whose every pixel differs, for file round trips. Width 5
// makes BMP rows need padding.
void FillPattern(TBitmap& B, int W = 5, int H = 3) {
  B.SetSize(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      B.ScanLine(y)[x] = static_cast<std::uint32_t>(RGB(static_cast<std::uint8_t>(40 * x + 1),
                                                        static_cast<std::uint8_t>(70 * y + 2),
                                                        static_cast<std::uint8_t>(255 - 13 * (x + y))));
}

// ---- Colours -----------------------------------------------------------------

TEST(ColorTest, NamesRoundTrip) {
  // A basic colour, a system colour, the no-colour value: names go both ways
  // and are looked up without regard to case.
  const std::pair<TColor, const char*> names[] = {
      {clBlack, "clBlack"}, {clFuchsia, "clFuchsia"}, {clBtnFace, "clBtnFace"}, {clNone, "clNone"},
  };
  for (const auto& [value, name] : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ColorToString(value), name);
    EXPECT_EQ(StringToColor(name), value);
    TColor found = 0;
    EXPECT_TRUE(IdentToColor(LowerCase(name), found));
    EXPECT_EQ(found, value);
  }
}

TEST(ColorTest, NumbersAndErrors) {
  EXPECT_EQ(ColorToString(0x123456), "$00123456");
  EXPECT_EQ(ColorToString(0x02FF00FF), "$02FF00FF");
  EXPECT_EQ(ColorToString(clSystemColor | 99), "$FF000063");
  const std::pair<const char*, TColor> numbers[] = {
      {"$00123456", 0x123456}, {"$ff", clRed}, {"255", clRed}, {"16777215", clWhite},
      {"-16777201", clBtnFace}, {"$FF00000F", clBtnFace}, {"CLAQUA", clAqua},
  };
  for (const auto& [text, value] : numbers) EXPECT_EQ(StringToColor(text), value) << text;
  for (const char* bad : {"clPink", "", "$", "12abc", "$123456789", "99999999999"})
    EXPECT_THROW(StringToColor(bad), EConvertError) << bad;
  TColor c = clRed;
  EXPECT_FALSE(IdentToColor("$000000FF", c));
  EXPECT_FALSE(IdentToColor("clRedd", c));
  EXPECT_EQ(c, clRed);
}

TEST(ColorTest, ColorToRGBResolvesSystemColours) {
  const std::pair<TColor, TColor> cases[] = {
      {clBtnFace, 0xC0C0C0}, {clWindowText, 0x000000},   {clWindow, 0xFFFFFF},
      {clBtnShadow, 0x808080}, {clBtnHighlight, 0xFFFFFF}, {clHighlight, RGB(0, 0, 128)},
      {clHighlightText, 0xFFFFFF}, {clRed, clRed},          {0x123456, 0x123456},
      {clNone, clNone},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ColorToRGB(in), out) << ColorToString(in);
}

// ---- Graphics objects ----------------------------------------------------------

TEST(FontTest, Defaults) {
  TFont f;
  EXPECT_EQ(f.GetName(), "MS Sans Serif");
  EXPECT_EQ(f.GetHeight(), -11);
  EXPECT_EQ(f.GetSize(), 8);
  EXPECT_EQ(f.GetColor(), clWindowText);
  EXPECT_EQ(f.GetCharset(), DEFAULT_CHARSET);
  EXPECT_TRUE(f.GetStyle().Empty());
}

TEST(FontTest, SizeAndHeightConversions) {
  // Points to pixels at 96 per inch, rounded; sizes of 0 or below become the
  // smallest em; huge sizes saturate instead of overflowing.
  const std::pair<std::int32_t, std::int32_t> sizeToHeight[] = {
      {8, -11}, {16, -21}, {10, -13}, {12, -16}, {72, -96}, {1, -1}, {0, -1}, {-5, -1}, {INT_MAX, -INT_MAX},
  };
  for (const auto& [size, height] : sizeToHeight) {
    TFont f;
    f.SetSize(size);
    EXPECT_EQ(f.GetHeight(), height) << "Size " << size;
  }
  // Negative heights are ems, positive ones cell heights; both convert back the same way.
  const std::pair<std::int32_t, std::int32_t> heightToSize[] = {
      {-11, 8}, {-21, 16}, {-96, 72}, {-1, 1}, {0, 0}, {14, 11}, {INT_MIN, 1610612736}, {INT_MAX, 1610612735},
  };
  for (const auto& [height, size] : heightToSize) {
    TFont f;
    f.SetHeight(height);
    EXPECT_EQ(f.GetSize(), size) << "Height " << height;
  }
}

// The property tables as the filer and the editors see them.
struct TPropExpect {
  const char* Name;
  TTypeKind Kind;
  bool HasDefault;
  std::int64_t Default;
};

void ExpectProps(const TClassInfo& Info, const TClassInfo* Parent, const std::vector<TPropExpect>& Want) {
  SCOPED_TRACE(Info.Name);
  EXPECT_EQ(Info.Parent, Parent);
  ASSERT_EQ(Info.PropCount, Want.size());
  for (std::size_t i = 0; i < Want.size(); ++i) {
    const TPropInfo& p = Info.Props[i];
    EXPECT_STREQ(p.Name, Want[i].Name);
    EXPECT_EQ(p.Kind, Want[i].Kind) << p.Name;
    EXPECT_EQ(p.HasDefault, Want[i].HasDefault) << p.Name;
    if (p.HasDefault) {
      EXPECT_EQ(p.Default, Want[i].Default) << p.Name;
    }
  }
}

TEST(GraphicsPropertiesTest, Tables) {
  ExpectProps(TBrush::ClassInfo, &TGraphicsObject::ClassInfo,
              {{"Color", TTypeKind::Color, true, clWhite}, {"Style", TTypeKind::Enumeration, true, bsSolid}});
  ExpectProps(TPen::ClassInfo, &TGraphicsObject::ClassInfo,
              {{"Color", TTypeKind::Color, true, clBlack},
               {"Style", TTypeKind::Enumeration, true, psSolid},
               {"Width", TTypeKind::Integer, true, 1}});
  ExpectProps(TFont::ClassInfo, &TGraphicsObject::ClassInfo,
              {{"Charset", TTypeKind::Integer, true, DEFAULT_CHARSET},
               {"Color", TTypeKind::Color, true, clWindowText},
               {"Height", TTypeKind::Integer, false, 0},
               {"Name", TTypeKind::String, false, 0},
               {"Size", TTypeKind::Integer, false, 0},
               {"Style", TTypeKind::Set, true, 0}});
  ExpectProps(TGraphicsObject::ClassInfo, &TPersistent::ClassInfo, {});
  ExpectProps(TCanvas::ClassInfo, &TPersistent::ClassInfo, {});
  ExpectProps(TGraphic::ClassInfo, &TPersistent::ClassInfo, {});
  ExpectProps(TBitmap::ClassInfo, &TGraphic::ClassInfo, {});

  EXPECT_EQ(TBrush::ClassInfo.Props[1].Enum, &BrushStyleInfo);
  EXPECT_EQ(TPen::ClassInfo.Props[1].Enum, &PenStyleInfo);
  EXPECT_EQ(TFont::ClassInfo.Props[5].Enum, &FontStyleInfo);
  EXPECT_EQ(BrushStyleInfo.Count, 8);
  EXPECT_STREQ(BrushStyleInfo.NameOf(bsDiagCross), "bsDiagCross");
  EXPECT_EQ(PenStyleInfo.Count, 7);
  EXPECT_STREQ(PenStyleInfo.NameOf(psInsideFrame), "psInsideFrame");
  EXPECT_EQ(FontStyleInfo.Count, 4);
  EXPECT_STREQ(FontStyleInfo.NameOf(fsStrikeOut), "fsStrikeOut");
  // Height carries the size, so Size is never written.
  TFont f;
  ASSERT_NE(TFont::ClassInfo.Props[4].IsStored, nullptr);
  EXPECT_FALSE(TFont::ClassInfo.Props[4].IsStored(f));
}

// Every published property: a fresh object holds its default, and writing
// through the table stores the value and reports one change.
TEST(GraphicsPropertiesTest, AccessorsAndDefaults) {
  TBrush brush;
  TPen pen;
  TFont font;
  const std::pair<TGraphicsObject*, std::vector<std::int64_t>> objects[] = {
      {&brush, {clRed, bsCross}},
      {&pen, {clBlue, psDot, 3}},
      {&font, {ANSI_CHARSET, clMaroon, -20, 0, 10, std::int64_t(TFontStyles{fsBold, fsUnderline})}},
  };
  for (const auto& [target, values] : objects) {
    TGraphicsObject* object = target;  // a lambda cannot capture a structured binding
    const TClassInfo& info = *object->ClassType();
    int changes = 0;
    object->OnChange = [&](TObject* Sender) {
      EXPECT_EQ(Sender, object);
      ++changes;
    };
    for (std::size_t i = 0; i < info.PropCount; ++i) {
      const TPropInfo& p = info.Props[i];
      SCOPED_TRACE(std::string(info.Name) + "." + p.Name);
      if (p.HasDefault) {
        EXPECT_EQ(p.GetOrd(*object), p.Default);
      }
      const int before = changes;
      if (p.Kind == TTypeKind::String) {
        p.SetStr(*object, "Arial");
        EXPECT_EQ(p.GetStr(*object), "Arial");
      } else if (std::string(p.Name) != "Size") {  // Size writes Height, checked below
        p.SetOrd(*object, values[i]);
        EXPECT_EQ(p.GetOrd(*object), values[i]);
      }
      if (std::string(p.Name) != "Size") {
        EXPECT_EQ(changes, before + 1);
      }
    }
  }
  TFont sized;
  TFont::ClassInfo.FindProperty("Size")->SetOrd(sized, 16);
  EXPECT_EQ(sized.GetHeight(), -21);
}

TEST(GraphicsPropertiesTest, AssignCopiesEverythingAndReportsOnce) {
  TFont src;
  src.SetName("Courier New");
  src.SetHeight(-30);
  src.SetColor(clRed);
  src.SetStyle({fsItalic});
  src.SetCharset(ANSI_CHARSET);
  TFont dst;
  int changes = 0;
  dst.OnChange = [&](TObject*) { ++changes; };
  dst.Assign(&src);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dst.GetName(), "Courier New");
  EXPECT_EQ(dst.GetHeight(), -30);
  EXPECT_EQ(dst.GetColor(), clRed);
  EXPECT_EQ(dst.GetStyle(), TFontStyles{fsItalic});
  EXPECT_EQ(dst.GetCharset(), ANSI_CHARSET);

  TPen pen, pen2;
  pen2.SetColor(clLime);
  pen2.SetWidth(4);
  pen2.SetStyle(psDash);
  pen.Assign(&pen2);
  EXPECT_EQ(pen.GetColor(), clLime);
  EXPECT_EQ(pen.GetWidth(), 4);
  EXPECT_EQ(pen.GetStyle(), psDash);

  TBrush brush, brush2;
  brush2.SetColor(clNavy);
  brush2.SetStyle(bsClear);
  brush.Assign(&brush2);
  EXPECT_EQ(brush.GetColor(), clNavy);
  EXPECT_EQ(brush.GetStyle(), bsClear);

  // Another class is left to TPersistent, which refuses it.
  EXPECT_THROW(dst.Assign(&brush), EConvertError);
  EXPECT_THROW(brush.Assign(&pen), EConvertError);
  EXPECT_EQ(dst.GetName(), "Courier New");
}

// ---- Canvas: rectangles and clipping ----------------------------------------------

class CanvasTest : public ::testing::Test {
protected:
  void SetUp() override { Reset(); }
  // A white 10 x 8 bitmap.
  void Reset() {
    Bmp.SetSize(0, 0);
    Bmp.SetSize(10, 8);
  }
  TBitmap Bmp;
  TCanvas& Canvas = *Bmp.GetCanvas();
};

TEST_F(CanvasTest, RectangleAndFillRectPaintExactlyTheirPixels) {
  struct TCase {
    const char* Name;
    TRect Args;
    TRect Rectangle;  // what Rectangle paints (corners in either order)
    TRect Fill;       // what FillRect paints (swapped corners: nothing)
  };
  const TCase cases[] = {
      {"inside", {2, 1, 6, 4}, {2, 1, 6, 4}, {2, 1, 6, 4}},
      {"swapped corners", {6, 4, 2, 1}, {2, 1, 6, 4}, {}},
      {"swapped x only", {6, 1, 2, 4}, {2, 1, 6, 4}, {}},
      {"one pixel", {9, 7, 10, 8}, {9, 7, 10, 8}, {9, 7, 10, 8}},
      {"partly outside top-left", {-3, -2, 3, 2}, {0, 0, 3, 2}, {0, 0, 3, 2}},
      {"partly outside bottom-right", {7, 5, 20, 30}, {7, 5, 10, 8}, {7, 5, 10, 8}},
      {"outside right", {10, 0, 15, 8}, {}, {}},
      {"outside above", {0, -5, 10, 0}, {}, {}},
      {"zero width", {3, 1, 3, 6}, {}, {}},
      {"zero height", {1, 4, 9, 4}, {}, {}},
      {"whole coordinate range", {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {0, 0, 10, 8}, {0, 0, 10, 8}},
      {"whole range swapped", {INT_MAX, INT_MAX, INT_MIN, INT_MIN}, {0, 0, 10, 8}, {}},
      {"at the top of the range", {INT_MAX - 1, 0, INT_MAX, 8}, {}, {}},
      {"at the bottom of the range", {INT_MIN, INT_MIN, INT_MIN + 1, INT_MIN + 1}, {}, {}},
  };
  Canvas.GetBrush()->SetColor(clRed);
  Canvas.GetPen()->SetStyle(psClear);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Reset();
    Canvas.Rectangle(c.Args.Left, c.Args.Top, c.Args.Right, c.Args.Bottom);
    EXPECT_TRUE(RegionIs(Bmp, c.Rectangle, clRed)) << "Rectangle";
    Reset();
    Canvas.FillRect(c.Args);
    EXPECT_TRUE(RegionIs(Bmp, c.Fill, clRed)) << "FillRect";
  }
}

TEST_F(CanvasTest, RectangleOutlineInPenColour) {
  Bmp.SetSize(8, 6);
  Canvas.GetPen()->SetColor(clBlue);
  Canvas.GetBrush()->SetStyle(bsClear);
  Canvas.Rectangle(1, 1, 6, 5);
  EXPECT_EQ(Picture(Bmp),
            "........\n"
            ".BBBBB..\n"
            ".B...B..\n"
            ".B...B..\n"
            ".BBBBB..\n"
            "........\n");

  // Interior in the brush colour, outline on top; edges outside are not drawn.
  Bmp.SetSize(0, 0);
  Bmp.SetSize(8, 6);
  Canvas.GetBrush()->SetStyle(bsSolid);
  Canvas.GetBrush()->SetColor(clLime);
  Canvas.Rectangle(-2, -2, 4, 3);
  Canvas.Rectangle(4, 2, 8, 6);
  EXPECT_EQ(Picture(Bmp),
            "GGGB....\n"
            "GGGB....\n"
            "BBBBBBBB\n"
            "....BGGB\n"
            "....BGGB\n"
            "....BBBB\n");
}

TEST_F(CanvasTest, WidePenDrawsInsideTheRectangle) {
  Bmp.SetSize(8, 7);
  Canvas.GetPen()->SetColor(clBlue);
  Canvas.GetPen()->SetWidth(2);
  Canvas.GetBrush()->SetColor(clRed);
  Canvas.Rectangle(0, 0, 7, 6);
  EXPECT_EQ(Picture(Bmp),
            "BBBBBBB.\n"
            "BBBBBBB.\n"
            "BBRRRBB.\n"
            "BBRRRBB.\n"
            "BBBBBBB.\n"
            "BBBBBBB.\n"
            "........\n");
  // Widths that cannot fit fill the rectangle; zero and below draw 1 pixel.
  Canvas.GetPen()->SetWidth(INT_MAX);
  Canvas.Rectangle(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  EXPECT_TRUE(RegionIs(Bmp, {0, 0, 8, 7}, clBlue));
  Canvas.GetPen()->SetWidth(-3);
  Canvas.Rectangle(0, 0, 3, 3);
  EXPECT_EQ(Pixel(Bmp, 1, 1), clRed);
  EXPECT_EQ(Pixel(Bmp, 0, 1), clBlue);
}

TEST_F(CanvasTest, OriginIsAddedWithoutOverflow) {
  struct TCase {
    TPoint Origin;
    TRect Args;
    TRect Painted;
  };
  const TCase cases[] = {
      {{3, 2}, {0, 0, 2, 2}, {3, 2, 5, 4}},
      {{-4, -4}, {0, 0, 6, 6}, {0, 0, 2, 2}},
      {{INT_MAX, 0}, {0, 0, 5, 5}, {}},
      {{INT_MAX, INT_MAX}, {INT_MIN, INT_MIN, 0, 0}, {0, 0, 10, 8}},
      {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX, INT_MIN, INT_MIN}, {}},
      {{INT_MIN, 0}, {INT_MAX, 0, INT_MAX - 1, 3}, {}},
  };
  Canvas.GetBrush()->SetColor(clRed);
  Canvas.GetPen()->SetColor(clRed);
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.Origin.X) + "," + std::to_string(c.Origin.Y));
    Reset();
    Canvas.SetOrigin(c.Origin);
    Canvas.Rectangle(c.Args.Left, c.Args.Top, c.Args.Right, c.Args.Bottom);
    EXPECT_TRUE(RegionIs(Bmp, c.Painted, clRed));
  }
}

TEST_F(CanvasTest, ClipRectLimitsEveryOperation) {
  Canvas.SetOrigin({3, 2});
  Canvas.SetClipRect({4, 3, 8, 6});  // surface coordinates, not moved by the origin
  Canvas.GetBrush()->SetColor(clRed);
  Canvas.GetPen()->SetColor(clRed);
  Canvas.FillRect({-100, -100, 100, 100});
  EXPECT_TRUE(RegionIs(Bmp, {4, 3, 8, 6}, clRed));
  Reset();
  Canvas.Rectangle(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  EXPECT_TRUE(RegionIs(Bmp, {4, 3, 8, 6}, clRed));
  Reset();
  Canvas.SetPixel(0, 0, clRed);  // (3,2): outside the clip
  Canvas.SetPixel(1, 1, clRed);  // (4,3): inside
  EXPECT_TRUE(RegionIs(Bmp, {4, 3, 5, 4}, clRed));
  EXPECT_EQ(Canvas.GetPixel(1, 1), clRed);
  EXPECT_EQ(Canvas.GetPixel(0, 0), clNone);

  // A clip partly off the surface and one with swapped corners.
  Canvas.SetOrigin({0, 0});
  Canvas.SetClipRect({-5, -5, 2, 2});
  Reset();
  Canvas.FillRect({0, 0, 10, 8});
  EXPECT_TRUE(RegionIs(Bmp, {0, 0, 2, 2}, clRed));
  Canvas.SetClipRect({6, 6, 2, 2});
  Reset();
  Canvas.FillRect({0, 0, 10, 8});
  EXPECT_TRUE(RegionIs(Bmp, {}, clRed));

  Canvas.ClearClipRect();
  Canvas.FillRect({0, 0, 10, 8});
  EXPECT_TRUE(RegionIs(Bmp, {0, 0, 10, 8}, clRed));
}

TEST_F(CanvasTest, PixelsAndColours) {
  Canvas.SetPixel(9, 7, clBlue);
  Canvas.SetPixel(10, 7, clBlue);
  Canvas.SetPixel(INT_MIN, INT_MAX, clBlue);
  EXPECT_TRUE(RegionIs(Bmp, {9, 7, 10, 8}, clBlue));
  EXPECT_EQ(Canvas.GetPixel(9, 7), clBlue);
  for (auto [x, y] : {std::pair{-1, 0}, {10, 0}, {0, 8}, {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}})
    EXPECT_EQ(Canvas.GetPixel(x, y), clNone) << x << "," << y;

  // System colours are drawn as their RGB values; clNone draws nothing.
  Canvas.GetBrush()->SetColor(clBtnFace);
  Canvas.FillRect({0, 0, 2, 2});
  EXPECT_EQ(Pixel(Bmp, 0, 0), 0xC0C0C0);
  EXPECT_EQ(Pixel(Bmp, 1, 1), 0xC0C0C0);
  EXPECT_EQ(Pixel(Bmp, 2, 2), clWhite);
  Canvas.GetBrush()->SetColor(clNone);
  Canvas.FillRect({0, 0, 10, 8});
  EXPECT_EQ(Pixel(Bmp, 5, 5), clWhite);
  Canvas.GetBrush()->SetStyle(bsClear);
  Canvas.GetBrush()->SetColor(clRed);
  Canvas.FillRect({0, 0, 10, 8});
  EXPECT_EQ(Pixel(Bmp, 5, 5), clWhite);
}

TEST(CanvasSurfaceTest, EmptyBitmapIsANoOp) {
  TBitmap b;
  TCanvas& c = *b.GetCanvas();
  c.Rectangle(0, 0, 10, 10);
  c.FillRect({0, 0, 10, 10});
  c.TextOut(0, 0, "x");
  c.SetPixel(0, 0, clRed);
  EXPECT_EQ(c.GetPixel(0, 0), clNone);
  b.SetWidth(5);  // still no rows
  c.FillRect({0, 0, 10, 10});
  EXPECT_TRUE(b.Empty());
}

// ---- Canvas: text ------------------------------------------------------------------

class CanvasTextTest : public ::testing::Test {
protected:
  void SetUp() override {
    Bmp.SetSize(80, 40);
    Font().SetName("Courier New");
    Font().SetSize(8);
    Font().SetColor(clBlack);
  }
  TFont& Font() { return *Canvas.GetFont(); }
  // The number of pixels for which Pred holds.
  int CountWhere(const std::function<bool(int, int, TColor)>& Pred) const {
    int n = 0;
    for (int y = 0; y < Bmp.GetHeight(); ++y)
      for (int x = 0; x < Bmp.GetWidth(); ++x) n += Pred(x, y, Pixel(Bmp, x, y));
    return n;
  }
  TBitmap Bmp;
  TCanvas& Canvas = *Bmp.GetCanvas();
};

bool Dark(TColor C) { return GetRValue(C) + GetGValue(C) + GetBValue(C) < 3 * 96; }

TEST_F(CanvasTextTest, CourierNewMetrics) {
  // Measured with FreeType on Liberation Mono, which our table maps Courier
  // New to: at 11 px (8 points) ascender 10 + descender 4, advance 7; at
  // 22 px ascender 19 + descender 7, advance 13. A positive Height picks the
  // largest em whose cell fits: 14 gives em 12 (cell 14, advance 7), 28 em 24
  // (cell 28, advance 14).
  struct TCase {
    std::int32_t Height;
    std::int32_t TextHeight, Advance;
  };
  for (const TCase& c : {TCase{-11, 14, 7}, TCase{-22, 26, 13}, TCase{14, 14, 7}, TCase{28, 28, 14}}) {
    SCOPED_TRACE("Height " + std::to_string(c.Height));
    Font().SetHeight(c.Height);
    EXPECT_EQ(Canvas.TextHeight(""), c.TextHeight);
    EXPECT_EQ(Canvas.TextHeight("Hg\xC4"), c.TextHeight);
    EXPECT_EQ(Canvas.TextWidth(""), 0);
    EXPECT_EQ(Canvas.TextWidth("W"), c.Advance);
    EXPECT_EQ(Canvas.TextWidth("0123456789 .,\xC4\xE9\xFF"), 16 * c.Advance);
  }
  Font().SetStyle({fsBold, fsItalic});
  Font().SetHeight(-11);
  EXPECT_EQ(Canvas.TextWidth("abc"), 21);
}

TEST_F(CanvasTextTest, OtherTypefacesResolve) {
  for (const char* name : {"Arial", "MS Sans Serif", "Times New Roman", "Helvetica", "Courier", "No Such Typeface"}) {
    Font().SetName(name);
    EXPECT_GT(Canvas.TextHeight("x"), 8) << name;
    EXPECT_GT(Canvas.TextWidth("x"), 0) << name;
  }
  // Absurd sizes are clamped rather than overflowing or exhausting memory.
  Font().SetHeight(INT_MIN);
  EXPECT_EQ(Canvas.TextWidth(std::string(1'000'000, 'M')), INT_MAX);
  Canvas.TextOut(-100, -100, "MW");
  Font().SetHeight(INT_MAX);
  EXPECT_GT(Canvas.TextHeight("x"), 0);
}

TEST_F(CanvasTextTest, TextOutPaintsTheCellThenTheGlyphs) {
  Canvas.GetBrush()->SetColor(clYellow);
  const int x = 5, y = 3;
  const int w = Canvas.TextWidth("Hi!"), h = Canvas.TextHeight("Hi!");
  Canvas.TextOut(x, y, "Hi!");
  auto inCell = [&](int px, int py) { return px >= x && px < x + w && py >= y && py < y + h; };
  EXPECT_EQ(CountWhere([&](int px, int py, TColor c) { return !inCell(px, py) && c != clWhite; }), 0);
  // Glyphs blend from yellow towards black, so no cell pixel stays white.
  EXPECT_EQ(CountWhere([&](int px, int py, TColor c) { return inCell(px, py) && c == clWhite; }), 0);
  EXPECT_GT(CountWhere([&](int px, int py, TColor c) { return inCell(px, py) && Dark(c); }), 10);
  EXPECT_GT(CountWhere([&](int, int, TColor c) { return c == clYellow; }), w * h / 2);
}

TEST_F(CanvasTextTest, ClearBrushLeavesTheBackground) {
  Bmp.SetSize(120, 60);
  Canvas.GetBrush()->SetStyle(bsClear);
  Canvas.GetBrush()->SetColor(clYellow);
  Font().SetColor(clRed);
  Font().SetHeight(-40);  // stems several pixels wide, their insides fully covered
  Canvas.TextOut(5, 3, "Hi!");
  EXPECT_EQ(CountWhere([](int, int, TColor c) { return c == clYellow; }), 0);
  // Red over white: red stays full and green and blue fall together with the
  // coverage, from white at the glyph edges to pure red inside the stems.
  EXPECT_EQ(CountWhere([](int, int, TColor c) {
              return c != clWhite && (GetRValue(c) != 255 || GetGValue(c) != GetBValue(c));
            }), 0);
  EXPECT_GT(CountWhere([](int, int, TColor c) { return c == clRed; }), 100);
  EXPECT_GT(CountWhere([](int, int, TColor c) { return GetGValue(c) > 0 && GetGValue(c) < 255; }), 20);
}

// Where a row grazes the top of a round glyph, the coverage grows towards
// the middle: drawn correctly, the ink rises to one peak and falls again
// across many grey levels (a reversed blend would show a valley instead).
TEST_F(CanvasTextTest, AntialiasingFollowsCoverage) {
  Bmp.SetSize(70, 80);
  Font().SetHeight(-60);
  Canvas.TextOut(0, 0, "O");
  int top = 0;
  while (top < Bmp.GetHeight() && CountWhere([&](int, int py, TColor c) { return py == top && c != clWhite; }) == 0)
    ++top;
  ASSERT_LT(top, Bmp.GetHeight());
  std::vector<int> ink;
  for (int x = 0; x < Bmp.GetWidth(); ++x)
    if (const int v = 255 - GetRValue(Pixel(Bmp, x, top)); v > 0) ink.push_back(v);
  ASSERT_GE(ink.size(), 6u);
  const auto peak = std::max_element(ink.begin(), ink.end());
  EXPECT_TRUE(std::is_sorted(ink.begin(), peak + 1)) << ::testing::PrintToString(ink);
  EXPECT_TRUE(std::is_sorted(ink.rbegin(), std::make_reverse_iterator(peak))) << ::testing::PrintToString(ink);
  EXPECT_LT(ink.front(), *peak / 2);
  EXPECT_LT(ink.back(), *peak / 2);
}

TEST_F(CanvasTextTest, GlyphsSitOnTheBaseline) {
  // '_' hangs at or below the baseline, '\'' is high above it.
  auto inkRows = [&](const char* Text, int& Top, int& Bottom) {
    Bmp.SetSize(0, 0);
    Bmp.SetSize(80, 40);
    Canvas.GetBrush()->SetStyle(bsClear);
    Canvas.TextOut(0, 10, Text);
    Top = INT_MAX;
    Bottom = INT_MIN;
    CountWhere([&](int, int py, TColor c) {
      if (Dark(c)) Top = std::min(Top, py), Bottom = std::max(Bottom, py);
      return false;
    });
  };
  int top, bottom, quoteTop, quoteBottom;
  inkRows("_", top, bottom);
  inkRows("'", quoteTop, quoteBottom);
  const int baseline = 10 + 10;  // Y + ascender
  EXPECT_GE(top, baseline);
  EXPECT_LT(bottom, 10 + 14);
  EXPECT_GE(quoteTop, 10);
  EXPECT_LT(quoteBottom, baseline - 4);
}

TEST_F(CanvasTextTest, StylesPickVariantsAndDrawLines) {
  auto ink = [&](TFontStyles Style, const char* Text) {
    Bmp.SetSize(0, 0);
    Bmp.SetSize(80, 40);
    Font().SetStyle(Style);
    Canvas.TextOut(2, 2, Text);
    return CountWhere([](int, int, TColor c) { return Dark(c); });
  };
  EXPECT_GT(ink({fsBold}, "WM"), ink({}, "WM") + 4);
  EXPECT_EQ(ink({}, "   "), 0);
  // A line of the full text width: 3 spaces of 7 pixels, thickness 1 at 11 px.
  EXPECT_EQ(ink({fsUnderline}, "   "), 21);
  EXPECT_EQ(ink({fsStrikeOut}, "   "), 21);
  EXPECT_EQ(ink({fsUnderline, fsStrikeOut}, "   "), 42);
}

TEST_F(CanvasTextTest, TextIsClipped) {
  Canvas.GetBrush()->SetColor(clYellow);
  Canvas.SetClipRect({10, 5, 20, 12});
  Canvas.TextOut(4, 2, "MMMMMMMM");
  EXPECT_EQ(CountWhere([](int px, int py, TColor c) {
              return (px < 10 || px >= 20 || py < 5 || py >= 12) && c != clWhite;
            }), 0);
  EXPECT_GT(CountWhere([](int, int, TColor c) { return Dark(c); }), 0);
  // Far off the surface, with origins that overflow 32 bits: nothing drawn.
  Canvas.ClearClipRect();
  const std::vector<TColor> before = Pixels(Bmp);
  for (auto [x, y] : {std::pair{INT_MAX, 0}, {INT_MIN, 0}, {INT_MAX - 3, INT_MAX - 3}, {-30, INT_MIN}}) {
    Canvas.SetOrigin({x > 0 ? 5 : -5, 0});
    Canvas.TextOut(x, y, "MMMM");
  }
  EXPECT_EQ(Pixels(Bmp), before);
}

// Canvases on different threads share the face cache; their pixels must be
// what one thread alone would draw.
TEST_F(CanvasTextTest, ConcurrentDrawingMatchesSerial) {
  auto draw = [](TBitmap& B, int Points) {
    B.SetSize(120, 40);
    B.GetCanvas()->GetFont()->SetName(Points % 2 ? "Arial" : "Courier New");
    B.GetCanvas()->GetFont()->SetSize(Points);
    B.GetCanvas()->TextOut(1, 1, "Tolvane 0123");
  };
  std::vector<std::vector<TColor>> expected;
  for (int points : {8, 9, 12, 16}) {
    TBitmap b;
    draw(b, points);
    expected.push_back(Pixels(b));
  }
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        const int k = (t + round) % 4;
        TBitmap b;
        draw(b, std::vector{8, 9, 12, 16}[k]);
        mismatches[t] += Pixels(b) != expected[k];
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

// ---- Bitmap -------------------------------------------------------------------

TEST(BitmapTest, DefaultsAndResizing) {
  TBitmap b;
  EXPECT_EQ(b.GetWidth(), 0);
  EXPECT_EQ(b.GetHeight(), 0);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.GetTransparentColor(), clNone);
  EXPECT_EQ(b.GetCanvas()->GetBrush()->GetStyle(), bsSolid);
  EXPECT_EQ(b.GetCanvas()->GetBrush()->GetColor(), clWhite);

  b.SetSize(3, 2);
  EXPECT_EQ(Pixels(b), std::vector<TColor>(6, clWhite));
  b.ScanLine(0)[0] = clRed;
  b.ScanLine(1)[2] = clBlue;
  b.SetSize(4, 3);  // grows: old pixels stay top-left, new ones are white
  EXPECT_EQ(Picture(b), "R...\n..B.\n....\n");
  b.SetWidth(2);
  EXPECT_EQ(Picture(b), "R.\n..\n..\n");
  b.SetHeight(-7);
  EXPECT_EQ(b.GetHeight(), 0);
  EXPECT_EQ(b.GetWidth(), 2);
  EXPECT_TRUE(b.Empty());
  b.SetSize(-1, 5);
  EXPECT_EQ(b.GetWidth(), 0);
}

TEST(BitmapTest, CanvasFollowsTheCurrentBuffer) {
  TBitmap b;
  b.SetSize(2, 2);
  TCanvas& c = *b.GetCanvas();
  c.GetBrush()->SetColor(clRed);
  c.FillRect({0, 0, 100, 100});
  b.SetSize(30, 20);
  c.GetBrush()->SetColor(clBlue);
  c.FillRect({28, 18, 100, 100});
  EXPECT_EQ(Pixel(b, 1, 1), clRed);
  EXPECT_EQ(Pixel(b, 2, 2), clWhite);
  EXPECT_EQ(Pixel(b, 29, 19), clBlue);
  EXPECT_EQ(c.GetPixel(29, 19), clBlue);
  b.SetSize(1, 1);
  c.Rectangle(-5, -5, 5, 5);
  EXPECT_EQ(Pixel(b, 0, 0), clBlue);
}

TEST(BitmapTest, TooLargeRaisesAndKeepsTheBitmap) {
  TBitmap b;
  FillPattern(b);
  const std::vector<TColor> before = Pixels(b);
  const std::pair<std::int32_t, std::int32_t> sizes[] = {{1 << 15, 1 << 14}, {INT_MAX, INT_MAX}, {1 << 29, 1}};
  for (const auto& [w, h] : sizes) {
    try {
      b.SetSize(w, h);
      ADD_FAILURE() << w << " x " << h << " did not raise";
    } catch (const EOutOfResources& e) {
      EXPECT_NE(e.Message().find(std::to_string(w) + " x " + std::to_string(h)), std::string::npos) << e.Message();
    }
  }
  EXPECT_THROW(b.SetWidth(1 << 28), EOutOfResources);  // times the height of 3
  EXPECT_EQ(b.GetWidth(), 5);
  EXPECT_EQ(b.GetHeight(), 3);
  EXPECT_EQ(Pixels(b), before);
}

TEST(BitmapTest, AssignAndTransparentColor) {
  TBitmap src;
  FillPattern(src);
  src.ScanLine(2)[0] = clLime;
  EXPECT_EQ(src.GetTransparentColor(), clLime);
  TBitmap dst;
  dst.GetCanvas()->GetBrush()->SetColor(clRed);
  dst.Assign(&src);
  EXPECT_EQ(dst.GetWidth(), 5);
  EXPECT_EQ(dst.GetHeight(), 3);
  EXPECT_EQ(Pixels(dst), Pixels(src));
  EXPECT_EQ(dst.GetCanvas()->GetBrush()->GetColor(), clRed);  // the canvas is not copied
  dst.Assign(&dst);
  EXPECT_EQ(Pixels(dst), Pixels(src));
  TFont font;
  EXPECT_THROW(dst.Assign(&font), EConvertError);
}

// A filer that keeps the one binary property it is shown.
struct TCaptureFiler : TFiler {
  std::string Name;
  std::function<void(const std::vector<std::uint8_t>&)> Read;
  std::function<std::vector<std::uint8_t>()> Write;
  bool HasData = false;
  void DefineBinaryProperty(const std::string& N, const std::function<void(const std::vector<std::uint8_t>&)>& R,
                            const std::function<std::vector<std::uint8_t>()>& W, bool H) override {
    Name = N, Read = R, Write = W, HasData = H;
  }
};

TEST(BitmapTest, StoredFormCarriesTheBmpAsData) {
  TBitmap empty;
  TCaptureFiler f;
  empty.DefineProperties(f);
  EXPECT_EQ(f.Name, "Data");
  EXPECT_FALSE(f.HasData);

  TBitmap src;
  FillPattern(src);
  src.DefineProperties(f);
  ASSERT_TRUE(f.HasData);
  const std::vector<std::uint8_t> data = f.Write();
  EXPECT_EQ(data, src.SaveToBMP());
  TBitmap dst;
  dst.DefineProperties(f);
  f.Read(data);
  EXPECT_EQ(Pixels(dst), Pixels(src));
  // A 16-colour glyph, as stored forms commonly carry.
  f.Read(BuildBmp({.Width = 2, .Height = 1, .BitCount = 4, .Palette = Vga16, .Rows = {{0x9C}}}));
  EXPECT_EQ(Pixels(dst), (std::vector<TColor>{clRed, clBlue}));
}

// ---- Bitmap files -----------------------------------------------------------------

TEST(BitmapFileTest, BmpLayoutAndRoundTrip) {
  TBitmap b;
  FillPattern(b);
  const std::vector<std::uint8_t> bytes = b.SaveToBMP();
  const std::uint32_t stride = 16;  // 5 pixels * 3 bytes, padded to 4
  ASSERT_EQ(bytes.size(), 54 + stride * 3);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(Get32(bytes, 2), bytes.size());
  EXPECT_EQ(Get32(bytes, 10), 54u);
  EXPECT_EQ(Get32(bytes, 14), 40u);
  EXPECT_EQ(Get32(bytes, 18), 5u);
  EXPECT_EQ(Get32(bytes, 22), 3u);  // positive: bottom-up
  EXPECT_EQ(bytes[28], 24);
  EXPECT_EQ(Get32(bytes, 30), 0u);
  EXPECT_EQ(Get32(bytes, 38), 3780u);
  EXPECT_EQ(Get32(bytes, 42), 3780u);
  // The first stored row is the bottom one, blue-green-red.
  const TColor bottomLeft = Pixel(b, 0, 2);
  EXPECT_EQ(bytes[54], GetBValue(bottomLeft));
  EXPECT_EQ(bytes[56], GetRValue(bottomLeft));
  EXPECT_EQ(bytes[54 + 15], 0);  // padding

  TBitmap back;
  back.LoadFromBMP(bytes.data(), bytes.size());
  EXPECT_EQ(back.GetWidth(), 5);
  EXPECT_EQ(Pixels(back), Pixels(b));

  const fs::path dir = FreshDir("bmp_round_trip");
  b.SaveToFile((dir / "pic.BMP").string());
  EXPECT_EQ(ReadBytes(dir / "pic.BMP"), bytes);
  TBitmap fromFile;
  fromFile.LoadFromFile((dir / "pic.BMP").string());
  EXPECT_EQ(Pixels(fromFile), Pixels(b));
  EXPECT_EQ(DirEntries(dir), std::vector<std::string>{"pic.BMP"});
}

TEST(BitmapFileTest, PngDecodesToTheSamePixels) {
  // The colour count picks the form: a palette at the smallest bit depth
  // that holds it, RGB past 256 colours. Widths that leave a row's last byte
  // part-filled check the packing.
  struct Row {
    int Colours, Width, Height;
    int BitDepth, ColourType;  // IHDR: 3 = palette, 2 = RGB
  } rows[] = {
      {1, 9, 2, 1, 3},  {2, 9, 3, 1, 3},  {3, 5, 3, 2, 3},     {16, 7, 4, 4, 3},
      {17, 7, 4, 8, 3}, {256, 16, 16, 8, 3}, {257, 17, 17, 8, 2},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Colours);
    TBitmap b;
    b.SetSize(r.Width, r.Height);
    for (int i = 0; i < r.Width * r.Height; ++i)
      b.ScanLine(i / r.Width)[i % r.Width] = static_cast<std::uint32_t>(RGB(
          static_cast<std::uint8_t>(i % r.Colours), static_cast<std::uint8_t>(i % r.Colours >> 8), 200));
    const std::vector<std::uint8_t> bytes = b.SaveToPNG();
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(bytes[24], r.BitDepth);
    EXPECT_EQ(bytes[25], r.ColourType);
    int w = 0, h = 0;
    std::vector<TColor> decoded;
    ASSERT_TRUE(DecodePng(bytes, w, h, decoded));
    EXPECT_EQ(w, r.Width);
    EXPECT_EQ(h, r.Height);
    EXPECT_EQ(decoded, Pixels(b));
  }
  TBitmap b;
  FillPattern(b, 7, 4);
  int w = 0, h = 0;
  std::vector<TColor> decoded;

  const fs::path dir = FreshDir("png_file");
  b.SaveToFile((dir / "pic.PnG").string());
  ASSERT_TRUE(DecodePng(ReadBytes(dir / "pic.PnG"), w, h, decoded));
  EXPECT_EQ(decoded, Pixels(b));
}

TEST(BitmapFileTest, SaveErrors) {
  const fs::path dir = FreshDir("save_errors");
  TBitmap b;
  FillPattern(b);
  for (const char* name : {"pic.gif", "pic", "pic.png.txt"}) {
    try {
      b.SaveToFile((dir / name).string());
      ADD_FAILURE() << name;
    } catch (const EInvalidGraphic& e) {
      EXPECT_NE(e.Message().find("'" + ExtractFileExt(name) + "'"), std::string::npos) << e.Message();
    }
  }
  TBitmap empty;
  empty.SetWidth(4);
  EXPECT_THROW(empty.SaveToFile((dir / "e.png").string()), EInvalidGraphic);
  EXPECT_THROW(empty.SaveToFile((dir / "e.bmp").string()), EInvalidGraphic);
  EXPECT_THROW(empty.SaveToPNG(), EInvalidGraphic);

  const std::string missing = (dir / "no" / "such" / "dir.png").string();
  try {
    b.SaveToFile(missing);
    ADD_FAILURE() << "saved into a missing directory";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
    EXPECT_NE(e.Message().find(missing), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find(SysErrorMessage(ENOENT)), std::string::npos) << e.Message();
  }
  // The target is a directory: the data is written, the rename fails, and the
  // temporary file must not be left behind.
  fs::create_directory(dir / "taken.bmp");
  EXPECT_THROW(b.SaveToFile((dir / "taken.bmp").string()), EInOutError);
  EXPECT_EQ(DirEntries(dir), std::vector<std::string>{"taken.bmp"});
  EXPECT_TRUE(fs::is_empty(dir / "taken.bmp"));
}

TEST(BitmapFileTest, LoadErrorsKeepTheBitmap) {
  const fs::path dir = FreshDir("load_errors");
  TBitmap b;
  FillPattern(b);
  const std::vector<TColor> before = Pixels(b);
  try {
    b.LoadFromFile((dir / "absent.bmp").string());
    ADD_FAILURE();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
  }
  std::ofstream((dir / "junk.bmp").string()) << "not a bitmap at all";
  try {
    b.LoadFromFile((dir / "junk.bmp").string());
    ADD_FAILURE();
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(e.Message().find("junk.bmp"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(Pixels(b), before);
}

// ---- Reading BMP files --------------------------------------------------------------

TEST(BitmapBmpTest, ReadsEveryFormat) {
  const TColor A = RGB(1, 2, 3), B = RGB(4, 5, 6), C = RGB(7, 8, 9), D = RGB(10, 11, 12), E = RGB(200, 100, 50),
               F = RGB(0, 255, 127);
  struct TCase {
    const char* Name;
    std::vector<std::uint8_t> File;
    int Width, Height;
    std::vector<TColor> Pixels;  // top row first
  };
  auto trimmed = [](std::vector<std::uint8_t> File, std::size_t N) {
    File.resize(File.size() - N);
    return File;
  };
  const TCase cases[] = {
      {"1 bpp, padded rows",
       BuildBmp({.Width = 10, .Height = 2, .BitCount = 1, .Palette = {clNavy, clYellow},
                 .Rows = {{0x7F, 0x80}, {0xA0, 0xC0}}}),
       10, 2,
       {clYellow, clNavy, clYellow, clNavy, clNavy, clNavy, clNavy, clNavy, clYellow, clYellow,
        clNavy, clYellow, clYellow, clYellow, clYellow, clYellow, clYellow, clYellow, clYellow, clNavy}},
      {"4 bpp, 16 colours, top-down",
       BuildBmp({.Width = 3, .Height = -2, .BitCount = 4, .Palette = Vga16, .Rows = {{0x09, 0xF0}, {0xCA, 0xE0}}}),
       3, 2, {clBlack, clRed, clWhite, clBlue, clLime, clAqua}},
      {"4 bpp, short palette, index past its end is black",
       BuildBmp({.Width = 3, .BitCount = 4, .ColorsUsed = 2, .Palette = {clRed, clBlue}, .Rows = {{0x10, 0x70}}}),
       3, 1, {clBlue, clRed, clBlack}},
      {"8 bpp",
       BuildBmp({.Width = 2, .Height = 2, .BitCount = 8, .ColorsUsed = 3, .Palette = {clGreen, clPurple, clTeal},
                 .Rows = {{2, 0}, {1, 1}}}),
       2, 2, {clPurple, clPurple, clTeal, clGreen}},
      {"24 bpp", BuildBmp({.Width = 3, .Height = 2, .Rows = {Row24({D, E, F}), Row24({A, B, C})}}), 3, 2,
       {A, B, C, D, E, F}},
      {"24 bpp, last row's padding missing",
       trimmed(BuildBmp({.Width = 1, .Height = 2, .Rows = {Row24({A}), Row24({B})}}), 1), 1, 2, {B, A}},
      {"32 bpp, alpha ignored",
       BuildBmp({.Width = 2, .BitCount = 32, .Rows = {{3, 2, 1, 0xFF, 0x30, 0x20, 0x10, 0x80}}}), 2, 1,
       {RGB(1, 2, 3), RGB(0x10, 0x20, 0x30)}},
      {"32 bpp bit fields, swapped channels",
       BuildBmp({.Width = 1, .BitCount = 32, .Compression = 3, .Masks = {0xFF, 0xFF00, 0xFF0000},
                 .Rows = {{0x11, 0x22, 0x33, 0}}}),
       1, 1, {RGB(0x11, 0x22, 0x33)}},
      {"32 bpp bit fields, 10 bits a channel, V4 header",
       BuildBmp({.HeaderSize = 108, .Width = 1, .BitCount = 32, .Compression = 3,
                 .Masks = {0x3FF00000, 0x000FFC00, 0x000003FF}, .Rows = {{0x00, 0x02, 0xF0, 0x3F}}}),
       1, 1, {RGB(255, 0, 128)}},
      {"core header, 24 bpp", BuildBmp({.HeaderSize = 12, .Width = 2, .Height = 2,
                                        .Rows = {Row24({C, D}), Row24({A, B})}}),
       2, 2, {A, B, C, D}},
      {"core header, 1 bpp", BuildBmp({.HeaderSize = 12, .Width = 2, .BitCount = 1, .Palette = {clRed, clLime},
                                       .Rows = {{0x40}}}),
       2, 1, {clRed, clLime}},
      {"V5 header, top-down", BuildBmp({.HeaderSize = 124, .Width = 2, .Height = -2,
                                        .Rows = {Row24({A, B}), Row24({C, D})}}),
       2, 2, {A, B, C, D}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBitmap b;
    ASSERT_NO_THROW(b.LoadFromBMP(c.File.data(), c.File.size()));
    EXPECT_EQ(b.GetWidth(), c.Width);
    EXPECT_EQ(b.GetHeight(), c.Height);
    EXPECT_EQ(Pixels(b), c.Pixels);
  }
}

TEST(BitmapBmpTest, MalformedFilesRaiseAndKeepTheBitmap) {
  const std::vector<std::uint8_t> good =
      BuildBmp({.Width = 2, .Height = 2, .Rows = {Row24({clRed, clBlue}), Row24({clLime, clWhite})}});
  ASSERT_EQ(good.size(), 70u);
  using TMutate = std::function<void(std::vector<std::uint8_t>&)>;
  const std::pair<const char*, TMutate> cases[] = {
      {"empty", [](auto& b) { b.clear(); }},
      {"bad magic", [](auto& b) { b[1] = 'A'; }},
      {"truncated file header", [](auto& b) { b.resize(10); }},
      {"truncated info header", [](auto& b) { b.resize(30); }},
      {"unknown info header size", [](auto& b) { Put32(b, 14, 20); }},
      {"info header longer than the file", [](auto& b) { Put32(b, 14, 124); }},
      {"16 bpp", [](auto& b) { Put16(b, 28, 16); }},
      {"2 bpp", [](auto& b) { Put16(b, 28, 2); }},
      {"0 bpp", [](auto& b) { Put16(b, 28, 0); }},
      {"run-length compression", [](auto& b) { Put32(b, 30, 1); }},
      {"bit fields at 24 bpp", [](auto& b) { Put32(b, 30, 3); }},
      {"zero width", [](auto& b) { Put32(b, 18, 0); }},
      {"negative width", [](auto& b) { Put32(b, 18, static_cast<std::uint32_t>(-2)); }},
      {"zero height", [](auto& b) { Put32(b, 22, 0); }},
      {"most negative height", [](auto& b) { Put32(b, 22, 0x80000000u); }},
      {"huge dimensions", [](auto& b) { Put32(b, 18, 50000), Put32(b, 22, 50000); }},
      {"allowed dimensions, data missing", [](auto& b) { Put32(b, 18, 16384), Put32(b, 22, 16384); }},
      {"widest row, data missing", [](auto& b) { Put32(b, 18, 0x7FFFFFFF), Put32(b, 22, 1); }},
      {"truncated pixels", [](auto& b) { b.resize(b.size() - 5); }},
      {"pixel offset past the end", [](auto& b) { Put32(b, 10, 71); }},
      {"pixel offset inside the header", [](auto& b) { Put32(b, 10, 20); }},
      {"truncated palette",
       [](auto& b) { b = BuildBmp({.BitCount = 8, .Palette = {clRed, clBlue}, .Rows = {{1}}}); }},
      {"non-contiguous mask",
       [](auto& b) {
         b = BuildBmp({.BitCount = 32, .Compression = 3, .Masks = {0xFF00FF, 0xFF00, 0}, .Rows = {{0, 0, 0, 0}}});
       }},
  };
  for (const auto& [name, mutate] : cases) {
    SCOPED_TRACE(name);
    std::vector<std::uint8_t> bytes = good;
    mutate(bytes);
    TBitmap b;
    b.SetSize(1, 1);
    b.ScanLine(0)[0] = clRed;
    EXPECT_THROW(b.LoadFromBMP(bytes.data(), bytes.size()), EInvalidGraphic);
    EXPECT_EQ(b.GetWidth(), 1);
    EXPECT_EQ(Pixel(b, 0, 0), clRed);
  }
  TBitmap b;
  EXPECT_THROW(b.LoadFromBMP(nullptr, 0), EInvalidGraphic);
}

}  // namespace
