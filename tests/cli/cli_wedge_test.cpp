// tolvane wedge, run as a separate process on one end of a socat-linked
// pair of pseudo-terminals while the test writes on the other end.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "Decoders.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A child process with its standard output and error on pipes.
class TChild {
public:
  explicit TChild(const std::vector<std::string>& Argv) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    std::vector<char*> argv;
    for (const std::string& a : Argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawnp(&FPid, argv[0], &fa, nullptr, argv.data(), environ) != 0) FPid = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    close(err[1]);
    FOut = out[0];
    FErr = err[0];
  }
  ~TChild() {
    if (FPid > 0 && !FExited) {
      kill(FPid, SIGKILL);
      waitpid(FPid, nullptr, 0);
    }
    if (FOut >= 0) close(FOut);
    if (FErr >= 0) close(FErr);
  }
  bool Started() const { return FPid > 0; }

  // Collects output until Done(Out, Err) holds or Timeout passes.
  template <class Pred>
  bool ReadUntil(Pred Done, std::chrono::milliseconds Timeout = 5000ms) {
    const auto end = Clock::now() + Timeout;
    while (!Done(Out, Err)) {
      if (Clock::now() > end) return false;
      Drain(20);
    }
    return true;
  }
  void Signal(int Sig) { kill(FPid, Sig); }
  // Exit status (128 + signal when killed), or -1 when it has not exited in time.
  int Wait(std::chrono::milliseconds Timeout = 5000ms) {
    const auto end = Clock::now() + Timeout;
    int status = 0;
    while (waitpid(FPid, &status, WNOHANG) == 0) {
      if (Clock::now() > end) return -1;
      Drain(20);
    }
    FExited = true;
    Drain(0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  std::string Out, Err;

private:
  void Drain(int TimeoutMs) {
    pollfd fds[2] = {{FOut, POLLIN, 0}, {FErr, POLLIN, 0}};
    bool got = false;
    if (poll(fds, 2, TimeoutMs) > 0) {
      char buf[4096];
      for (int i = 0; i < 2; ++i)
        if (fds[i].revents & (POLLIN | POLLHUP)) {
          const ssize_t n = read(fds[i].fd, buf, sizeof buf);
          if (n > 0) (i == 0 ? Out : Err).append(buf, static_cast<std::size_t>(n));
          got = got || n > 0;
        }
    }
    // Both pipes closed (the child has gone): wait as long as asked anyway.
    if (!got && TimeoutMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(TimeoutMs));
  }
  pid_t FPid = -1;
  int FOut = -1, FErr = -1;
  bool FExited = false;
};

// Two pseudo-terminals joined by socat: what is written to one end comes out
// of the other.
class CliWedgeTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::path(tolvane::test::TestTempDir()) /
          ("wedge-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    Near = (Dir / "near").string();
    Far = (Dir / "far").string();
    Socat = std::make_unique<TChild>(std::vector<std::string>{
        "socat", "pty,raw,echo=0,link=" + Near, "pty,raw,echo=0,link=" + Far});
    ASSERT_TRUE(Socat->Started()) << "socat is needed for these tests";
    const auto end = Clock::now() + 5s;
    while (!(fs::exists(Near) && fs::exists(Far)) && Clock::now() < end) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(fs::exists(Near) && fs::exists(Far)) << Socat->Err;
    // Non-blocking: a test whose reader is gone must fail, not hang on a full pty.
    NearFd = open(Near.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    ASSERT_GE(NearFd, 0);
  }
  void TearDown() override {
    if (NearFd >= 0) close(NearFd);
  }
  void Send(const std::string& Bytes) {
    std::size_t at = 0;
    const auto end = Clock::now() + 5s;
    while (at < Bytes.size() && Clock::now() < end) {
      const ssize_t n = write(NearFd, Bytes.data() + at, Bytes.size() - at);
      if (n > 0) at += static_cast<std::size_t>(n);
      else std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(at, Bytes.size()) << "the pty did not take the bytes";
  }
  // Starts the wedge on the far end and waits until it delivers.
  std::unique_ptr<TChild> StartWedge(std::vector<std::string> Options) {
    std::vector<std::string> argv{TOLVANE_CLI, "wedge", "--port", Far};
    argv.insert(argv.end(), Options.begin(), Options.end());
    auto child = std::make_unique<TChild>(argv);
    EXPECT_TRUE(child->Started()) << TOLVANE_CLI;
    // Knock until the reader answers: it opens the port a moment after start.
    const bool up = child->ReadUntil([&](const std::string& Out, const std::string&) {
      Send(".");
      return Out.find('.') != std::string::npos;
    });
    EXPECT_TRUE(up) << child->Err;
    child->ReadUntil([](const std::string&, const std::string&) { return false; }, 150ms);
    child->Out.clear();
    return child;
  }

  fs::path Dir;
  std::string Near, Far;
  std::unique_ptr<TChild> Socat;
  int NearFd = -1;
};

TEST_F(CliWedgeTest, BytesWrittenOnOneEndComeOutOfTheCommandOnTheOther) {
  auto wedge = StartWedge({"--baud", "9600", "--filter-control"});
  // With the filter: the tab and the escape are dropped, CR and LF pass.
  Send("AB\tC\x1b" "12\r\n!");
  EXPECT_TRUE(wedge->ReadUntil([](const std::string& Out, const std::string&) {
    return Out.find('!') != std::string::npos;
  })) << wedge->Out;
  EXPECT_EQ(wedge->Out, "ABC12\r\n!");
  const auto stopAt = Clock::now();
  wedge->Signal(SIGINT);
  EXPECT_EQ(wedge->Wait(), 0) << wedge->Err;
  EXPECT_LT(Clock::now() - stopAt, 3s);   // a bound against hangs only
}

TEST_F(CliWedgeTest, WithoutTheFilterEveryByteButNulPasses) {
  auto wedge = StartWedge({});
  Send(std::string("a\0\x01\xff!", 5));
  EXPECT_TRUE(wedge->ReadUntil([](const std::string& Out, const std::string&) {
    return Out.find('!') != std::string::npos;
  }));
  EXPECT_EQ(wedge->Out, "a\x01\xff!");
  wedge->Signal(SIGTERM);
  EXPECT_EQ(wedge->Wait(), 0);
}

TEST_F(CliWedgeTest, SettingsThePortRefusesAreReported) {
  // A pseudo-terminal keeps 8 data bits and no parity.
  auto wedge = StartWedge({"--bytesize", "7", "--parity", "even"});
  EXPECT_NE(wedge->Err.find("did not take data bits 7; it holds 8"), std::string::npos) << wedge->Err;
  EXPECT_NE(wedge->Err.find("did not take parity Even; it holds None"), std::string::npos) << wedge->Err;
  wedge->Signal(SIGINT);
  EXPECT_EQ(wedge->Wait(), 0);
}

TEST_F(CliWedgeTest, BadArgumentsGiveAClearErrorAndNonZeroExit) {
  struct Row {
    std::vector<std::string> Args;
    int Status;
    const char* Message;
  } rows[] = {
      {{"wedge"}, 2, "wedge needs --port NAME"},
      {{"wedge", "--port", Far, "--parity", "Sometimes"}, 2, "--parity takes one of None, Odd, Even, Mark, Space"},
      {{"wedge", "--port", Far, "--stopbits", "3"}, 2, "--stopbits takes 1, 1.5 or 2"},
      {{"wedge", "--port", Far, "--baud", "fast"}, 2, "--baud needs a whole number"},
      {{"wedge", "--port", Far, "--bytesize", "9"}, 2, "--bytesize must be 5 to 8"},
      {{"wedge", "--port", Far, "--rts", "Sideways"}, 2, "--rts takes one of"},
      {{"wedge", "--port", Far, "--speed", "9600"}, 2, "unknown wedge argument '--speed'"},
      {{"wedge", "--port", (Dir / "absent").string()}, 1, "No such file or directory"},
      {{"wedge", "--port", "/dev/null"}, 2, "is not a serial port"},
  };
  for (const Row& r : rows) {
    std::vector<std::string> argv{TOLVANE_CLI};
    argv.insert(argv.end(), r.Args.begin(), r.Args.end());
    TChild c(argv);
    EXPECT_EQ(c.Wait(), r.Status) << r.Message;
    EXPECT_NE(c.Err.find(r.Message), std::string::npos) << c.Err;
  }
}

}  // namespace
