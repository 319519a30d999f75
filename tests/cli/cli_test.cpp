// The tolvane command line, run as a separate process.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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
CliResult RunCli(const std::vector<std::string>& Args, const fs::path& Cwd) {
  const fs::path out = Cwd / "cli.out", err = Cwd / "cli.err";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
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
      {{"barcode", "-o", "out.gif", "A"}, "must end in .png or .bmp"},
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
      EXPECT_TRUE(name == "cli.out" || name == "cli.err") << "left behind: " << name;
    }
  }
}

TEST_F(CliTest, NoArgumentsRendersTheSamplesAndSaysWhere) {
  CliResult r = RunCli({}, Dir);
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("tolvane-samples"), std::string::npos) << r.Out;
  int decoded = 0;
  for (const auto& e : fs::directory_iterator(Dir / "tolvane-samples")) {
    tolvane::test::TDecodeResult d = tolvane::test::DecodeWithZXing(e.path().string());
    EXPECT_TRUE(d.Ok) << e.path();
    decoded += d.Ok;
  }
  EXPECT_GE(decoded, 3);
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
