// The tolvane command line, run as a separate process.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <vcl/Graphics.h>

#include "BarcodeDef.h"
#include "Decoders.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct CliResult {
  int Status = -1;
  std::string Out, Err;
};

std::string Slurp(const fs::path& P) {
  std::ifstream in(P, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs the command with Args, standard output and error captured in files.
CliResult RunCli(const std::vector<std::string>& Args, const fs::path& Cwd, const std::string& Stdin = {}) {
  const fs::path out = Cwd / "cli.out", err = Cwd / "cli.err", in = Cwd / "cli.in";
  std::ofstream(in, std::ios::binary) << Stdin;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&fa, Cwd.c_str());
  std::vector<char*> argv{const_cast<char*>(TOLVANE_CLI)};
  for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  CliResult r;
  pid_t pid;
  if (posix_spawn(&pid, TOLVANE_CLI, &fa, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&fa);
  r.Out = Slurp(out);
  r.Err = Slurp(err);
  return r;
}

// Width and height from a PNG file's header chunk.
std::pair<int, int> PngSize(const std::string& Bytes) {
  auto be32 = [&](std::size_t at) {
    return (std::uint8_t(Bytes[at]) << 24) | (std::uint8_t(Bytes[at + 1]) << 16) |
           (std::uint8_t(Bytes[at + 2]) << 8) | std::uint8_t(Bytes[at + 3]);
  };
  if (Bytes.size() < 24 || Bytes.compare(1, 3, "PNG") != 0) return {-1, -1};
  return {be32(16), be32(20)};
}

class CliTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::path(tolvane::test::TestTempDir()) /
          ("cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  fs::path Dir;
};

TEST_F(CliTest, Code39ExampleDecodesAndHasTheEngineWidth) {
  CliResult r = RunCli({"barcode", "--type", "code39", "--scale", "2", "--output", "x.png", "abc-12$"}, Dir);
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::string png = (Dir / "x.png").string();
  EXPECT_EQ(PngSize(Slurp(png)), std::make_pair(tolvane::CalcWidth(2, tolvane::bcCode39, "ABC-12"), 50));
  EXPECT_EQ(tolvane::test::DecodeWithZbar(png).Text, "ABC-12");
  EXPECT_EQ(tolvane::test::DecodeWithZXing(png).Text, "ABC-12");
}

TEST_F(CliTest, OptionsReachTheComponent) {
  // Enumeration name for the type, no text line, a background colour, BMP by extension.
  CliResult r = RunCli({"barcode", "--type", "bcCode39", "--height", "30", "--no-text", "--color", "FF0000",
                        "-o", "y.bmp", "HELLO"}, Dir);
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::string bmp = Slurp(Dir / "y.bmp");
  ASSERT_GE(bmp.size(), 54u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  auto le32 = [&](std::size_t at) {
    return std::uint8_t(bmp[at]) | (std::uint8_t(bmp[at + 1]) << 8) | (std::uint8_t(bmp[at + 2]) << 16) |
           (std::uint8_t(bmp[at + 3]) << 24);
  };
  EXPECT_EQ(static_cast<int>(le32(18)), tolvane::CalcWidth(1, tolvane::bcCode39, "HELLO"));
  EXPECT_EQ(static_cast<int>(le32(22)), 30);
  // Bottom-up rows, blue-green-red: the first pixel is the quiet zone in red.
  const std::size_t px = le32(10);
  EXPECT_EQ(std::uint8_t(bmp[px]), 0);
  EXPECT_EQ(std::uint8_t(bmp[px + 2]), 255);
}

TEST_F(CliTest, DashWritesPngToStandardOutput) {
  CliResult r = RunCli({"barcode", "--type", "code39", "--output", "-", "TOLVANE"}, Dir);
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(PngSize(r.Out).first, tolvane::CalcWidth(1, tolvane::bcCode39, "TOLVANE"));
}

TEST_F(CliTest, BadArgumentsGiveOneLineAndNoOutputFile) {
  struct Row {
    std::vector<std::string> Args;
    const char* Message;
  } rows[] = {
      {{"barcode", "--type", "qr", "-o", "out.png", "1"}, "unknown barcode type 'qr'"},
      {{"barcode", "--frobnicate", "-o", "out.png", "1"}, "unknown option '--frobnicate'"},
      {{"barcode", "--scale", "0", "-o", "out.png", "1"}, "--scale must be 1 or more"},
      {{"barcode", "--scale", "two", "-o", "out.png", "1"}, "--scale needs a whole number"},
      {{"barcode", "--height", "-3", "-o", "out.png", "1"}, "--height must be 1 or more"},
      {{"barcode", "--color", "red", "-o", "out.png", "1"}, "--color needs six hex digits"},
      {{"barcode", "ABC"}, "missing --output FILE"},
      {{"barcode", "-o", "out.png"}, "missing the TEXT"},
      {{"barcode", "-o", "out.png", "A", "B"}, "more than one TEXT"},
      {{"barcode", "-o", "out.gif", "A"}, "must end in .png, .bmp or .svg"},
      {{"barcode", "--type", "code39", "-o", "out.png", "$%."}, "has no characters that code39 can encode"},
      {{"barcode", "--type", "code39", "-o", "no/such/dir/out.png", "A"}, "no/such/dir/out.png"},
      {{"barcode", "--scale"}, "--scale needs a value"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
  };
  for (const Row& row : rows) {
    CliResult r = RunCli(row.Args, Dir);
    EXPECT_NE(r.Status, 0) << row.Message;
    EXPECT_NE(r.Err.find(row.Message), std::string::npos) << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
    for (const auto& e : fs::directory_iterator(Dir)) {
      std::string name = e.path().filename().string();
      EXPECT_TRUE(name == "cli.out" || name == "cli.err" || name == "cli.in") << "left behind: " << name;
    }
  }
}

TEST_F(CliTest, NoArgumentsRendersTheSamplesAndSaysWhere) {
  CliResult r = RunCli({}, Dir);
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("tolvane-samples"), std::string::npos) << r.Out;
  // One file per symbology; everything but POSTNET and the standalone
  // add-ons (which ZXingReader does not read) decodes.
  int files = 0;
  for (const auto& e : fs::directory_iterator(Dir / "tolvane-samples")) {
    if (e.path().extension() != ".png") continue;
    ++files;
    const std::string stem = e.path().stem().string();
    if (stem == "postnet" || stem == "upc2" || stem == "upc5") continue;
    EXPECT_TRUE(tolvane::test::DecodeWithZXing(e.path().string()).Ok) << e.path();
  }
  EXPECT_EQ(files, 11);
  // And the sample database, exported to each kind of file.
  for (const char* name : {"stock.db", "stock.txt", "stock.dbf", "stock.pdx"}) {
    EXPECT_TRUE(fs::exists(Dir / "tolvane-samples" / name)) << name;
    EXPECT_NE(r.Out.find(name), std::string::npos) << r.Out;
  }
  EXPECT_EQ(Slurp(Dir / "tolvane-samples" / "stock.txt").substr(0, 27), "\"sku\",\"name\",\"qty\",\"price\",");
}

}  // namespace

namespace {

TEST_F(CliTest, HelpAndVersionGoToStandardOutput) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"barcode", "--help"}}) {
    CliResult r = RunCli(args, Dir);
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out.rfind("usage: tolvane", 0), 0u) << r.Out;
  }
  CliResult v = RunCli({"--version"}, Dir);
  EXPECT_EQ(v.Status, 0);
  EXPECT_EQ(v.Out.rfind("tolvane ", 0), 0u) << v.Out;
}

}  // namespace

namespace {

// Paints the SVG's rectangles in document order onto a white image of its
// size: enough to compare the bars with the bitmap, pixel for pixel.
std::vector<std::uint32_t> PaintSvgRects(const std::string& Svg, int Width, int Height) {
  std::vector<std::uint32_t> px(static_cast<std::size_t>(Width * Height), 0xFFFFFF);
  const std::regex rect(R"re(<rect x="(-?\d+)" y="(-?\d+)" width="(\d+)" height="(\d+)" fill="#([0-9a-f]{6})"/>)re");
  for (std::sregex_iterator it(Svg.begin(), Svg.end(), rect), end; it != end; ++it) {
    const int x = std::stoi((*it)[1]), y = std::stoi((*it)[2]), w = std::stoi((*it)[3]), h = std::stoi((*it)[4]);
    const auto rgb = static_cast<std::uint32_t>(std::stoul((*it)[5], nullptr, 16));
    const std::uint32_t color = (rgb >> 16) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);  // to 0x00BBGGRR
    for (int yy = std::max(y, 0); yy < std::min(y + h, Height); ++yy)
      for (int xx = std::max(x, 0); xx < std::min(x + w, Width); ++xx) px[static_cast<std::size_t>(yy * Width + xx)] = color;
  }
  return px;
}

TEST_F(CliTest, SvgHasTheBitmapsRectanglesAndItsTextAndScans) {
  const std::vector<std::string> common{"barcode", "--type", "code39", "--scale", "2", "--height", "60"};
  auto with = [&](const char* out) {
    std::vector<std::string> a = common;
    a.insert(a.end(), {"-o", out, "ABC-12"});
    return a;
  };
  ASSERT_EQ(RunCli(with("x.svg"), Dir).Status, 0);
  ASSERT_EQ(RunCli(with("x.bmp"), Dir).Status, 0);
  vcl::TBitmap bmp;
  bmp.LoadFromFile((Dir / "x.bmp").string());
  const std::string svg = Slurp(Dir / "x.svg");
  EXPECT_NE(svg.find("shape-rendering=\"crispEdges\""), std::string::npos);
  EXPECT_NE(svg.find("width=\"" + std::to_string(bmp.GetWidth()) + "\" height=\"60\""), std::string::npos);

  // The text where the bitmap's metrics put it: centred, standing on the
  // bottom edge, in the face the bitmap uses first.
  vcl::TBitmap probe;
  probe.SetSize(1, 1);
  vcl::TCanvas& c = *probe.GetCanvas();
  c.GetFont()->SetName("Courier New");
  c.GetFont()->SetSize(16);
  const int tw = c.TextWidth("ABC-12"), th = c.TextHeight("ABC-12");

  // Every pixel agrees but the glyphs themselves: the rows above the text
  // cell, and in the cell's rows everything left and right of it and the
  // cell's background, which the SVG paints as a rectangle too.
  const std::vector<std::uint32_t> painted = PaintSvgRects(svg, bmp.GetWidth(), bmp.GetHeight());
  const int cellLeft = bmp.GetWidth() / 2 - tw / 2, cellTop = 60 - th;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < bmp.GetWidth(); ++x) {
      const bool inCell = y >= cellTop && x >= cellLeft && x < cellLeft + tw;
      const std::uint32_t want = bmp.ScanLine(y)[x];
      if (inCell && want != 0xFFFFFF) continue;  // a glyph pixel
      ASSERT_EQ(painted[static_cast<std::size_t>(y * bmp.GetWidth() + x)], want) << x << "," << y;
    }
  const std::smatch m = [&] {
    std::smatch r;
    std::regex_search(svg, r, std::regex(R"re(<text x="(-?\d+)" y="(-?\d+)" font-family="'([^']+)'[^>]* textLength="(\d+)"[^>]*>ABC-12</text>)re"));
    return r;
  }();
  ASSERT_FALSE(m.empty()) << svg;
  EXPECT_EQ(std::stoi(m[1]), bmp.GetWidth() / 2 - tw / 2);
  EXPECT_EQ(m[3], "Liberation Mono");
  EXPECT_EQ(std::stoi(m[4]), tw);
  EXPECT_GT(std::stoi(m[2]), 60 - th);  // the baseline lies inside the cell
  EXPECT_LE(std::stoi(m[2]), 60);

  // A real renderer draws it, and a decoder reads what it drew.
  const std::string png = (Dir / "rendered.png").string();
  ASSERT_EQ(std::system(("rsvg-convert -o '" + png + "' '" + (Dir / "x.svg").string() + "'").c_str()), 0);
  EXPECT_EQ(tolvane::test::DecodeWithZbar(png).Text, "ABC-12");
}

TEST_F(CliTest, BatchWritesOneFilePerLineAndReportsTheLinesItCannotEncode) {
  const std::string input = "ABC\n\nabc$\r\n$$\nXYZ";  // line 2 empty, line 4 nothing Code 39 carries
  for (bool fromFile : {false, true}) {
    SCOPED_TRACE(fromFile ? "--input" : "stdin");
    fs::remove_all(Dir / "out");
    fs::create_directories(Dir / "out");
    std::vector<std::string> args{"barcode", "--type", "code39", "--batch", "-o", "out/sym-###.png"};
    if (fromFile) {
      std::ofstream(Dir / "lines.txt", std::ios::binary) << input;
      args.insert(args.end(), {"--input", "lines.txt"});
    }
    CliResult r = RunCli(args, Dir, fromFile ? "" : input);
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_NE(r.Err.find("line 2: '' has no characters"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("line 4: '$$' has no characters"), std::string::npos) << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 2) << r.Err;
    const std::pair<const char*, const char*> files[] = {{"sym-001.png", "ABC"}, {"sym-003.png", "ABC"}, {"sym-005.png", "XYZ"}};
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(Dir / "out")) ++count;
    EXPECT_EQ(count, std::size(files));
    for (const auto& [name, text] : files)
      EXPECT_EQ(tolvane::test::DecodeWithZXing((Dir / "out" / name).string()).Text, text) << name;
  }
  CliResult ok = RunCli({"barcode", "--type", "code39", "--batch", "-o", "s#.svg"}, Dir, "A\nB\n");
  EXPECT_EQ(ok.Status, 0) << ok.Err;
  EXPECT_TRUE(fs::exists(Dir / "s1.svg") && fs::exists(Dir / "s2.svg"));
  CliResult noRun = RunCli({"barcode", "--batch", "-o", "plain.png"}, Dir, "A\n");
  EXPECT_EQ(noRun.Status, 2);
  EXPECT_NE(noRun.Err.find("needs a run of #"), std::string::npos);
  CliResult missing = RunCli({"barcode", "--batch", "--input", "nope.txt", "-o", "n#.png"}, Dir);
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Err.find("cannot open nope.txt"), std::string::npos);
}

}  // namespace
