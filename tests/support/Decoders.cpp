#include "Decoders.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

namespace tolvane::test {

namespace {

constexpr const char* ZbarProgram = "/usr/bin/zbarimg";
constexpr const char* ZXingProgram = "/usr/bin/ZXingReader";

struct TRunResult {
  int ExitStatus = -1;
  std::string Output;
};

// Runs Program with Args (no shell, so file names need no quoting) and
// collects its standard output. Standard error is discarded: both readers
// print unrelated noise there (zbarimg complains about a missing D-Bus).
TRunResult Run(const char* Program, const std::vector<std::string>& Args) {
  TRunResult Result;
  int Pipe[2];
  if (pipe(Pipe) != 0) return Result;
  const pid_t Child = fork();
  if (Child < 0) {
    close(Pipe[0]);
    close(Pipe[1]);
    return Result;
  }
  if (Child == 0) {
    dup2(Pipe[1], STDOUT_FILENO);
    const int Null = open("/dev/null", O_WRONLY);
    if (Null >= 0) dup2(Null, STDERR_FILENO);
    close(Pipe[0]);
    close(Pipe[1]);
    std::vector<char*> Argv;
    Argv.push_back(const_cast<char*>(Program));
    for (const std::string& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    execv(Program, Argv.data());
    _exit(127);
  }
  close(Pipe[1]);
  char Buffer[4096];
  for (;;) {
    const ssize_t N = read(Pipe[0], Buffer, sizeof Buffer);
    if (N > 0) Result.Output.append(Buffer, static_cast<std::size_t>(N));
    else if (N == 0 || errno != EINTR) break;
  }
  close(Pipe[0]);
  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0 && errno == EINTR) {}
  if (WIFEXITED(Status)) Result.ExitStatus = WEXITSTATUS(Status);
  return Result;
}

// The lines of a program's output, without their newlines.
std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> Result;
  std::istringstream In(Text);
  for (std::string Line; std::getline(In, Line);) Result.push_back(Line);
  return Result;
}

// The value of a "Key:   value" line of ZXingReader, or false when Line has another key.
bool FieldValue(const std::string& Line, const std::string& Key, std::string& Value) {
  if (Line.compare(0, Key.size() + 1, Key + ":") != 0) return false;
  const std::size_t Start = Line.find_first_not_of(' ', Key.size() + 1);
  Value = Start == std::string::npos ? std::string() : Line.substr(Start);
  return true;
}

// "41 42 43" -> "ABC".
std::string HexBytes(const std::string& Hex) {
  std::string Bytes;
  std::istringstream In(Hex);
  for (std::string Pair; In >> Pair;)
    Bytes.push_back(static_cast<char>(std::strtoul(Pair.c_str(), nullptr, 16)));
  return Bytes;
}

// "\"ABC\"" -> "ABC": the text between the first and the last quote.
std::string Unquoted(const std::string& Quoted) {
  const std::size_t First = Quoted.find('"'), Last = Quoted.rfind('"');
  if (First == std::string::npos || Last <= First) return Quoted;
  return Quoted.substr(First + 1, Last - First - 1);
}

}  // namespace

TDecodeResult DecodeWithZbar(const std::string& PngFile, const std::vector<std::string>& Options) {
  std::vector<std::string> args{"--raw", "-q"};
  args.insert(args.end(), Options.begin(), Options.end());
  args.push_back(PngFile);
  const TRunResult Ran = Run(ZbarProgram, args);
  TDecodeResult Result;
  Result.Output = Ran.Output;
  Result.ExitStatus = Ran.ExitStatus;
  if (Ran.ExitStatus != 0) return Result;  // 4: no symbol found; others: could not run
  const std::vector<std::string> Found = Lines(Ran.Output);
  Result.Symbols = static_cast<int>(Found.size());
  Result.Ok = !Found.empty();
  if (Result.Ok) Result.Text = Found.front();
  return Result;
}

TDecodeResult DecodeWithZXing(const std::string& PngFile) {
  const TRunResult Ran = Run(ZXingProgram, {PngFile});
  TDecodeResult Result;
  Result.Output = Ran.Output;
  Result.ExitStatus = Ran.ExitStatus;
  if (Ran.ExitStatus != 0) return Result;
  bool HaveBytes = false;
  for (const std::string& Line : Lines(Ran.Output)) {
    std::string Value;
    if (FieldValue(Line, "Text", Value)) {
      if (++Result.Symbols == 1) Result.Text = Unquoted(Value);
    } else if (Result.Symbols == 1 && !HaveBytes && FieldValue(Line, "Bytes", Value)) {
      Result.Text = HexBytes(Value);
      HaveBytes = true;
    } else if (Result.Symbols == 1 && Result.Format.empty() && FieldValue(Line, "Format", Value)) {
      Result.Format = Value;
    }
  }
  Result.Ok = Result.Symbols > 0;
  return Result;
}

std::string TestTempDir() {
  namespace fs = std::filesystem;
  const char* Env = std::getenv("TOLVANE_TEST_TMP");
  const fs::path Dir = Env && *Env ? fs::path(Env) : fs::temp_directory_path() / "tolvane-tests";
  fs::create_directories(Dir);
  std::string S = Dir.string();
  while (S.size() > 1 && S.back() == '/') S.pop_back();
  return S;
}

}  // namespace tolvane::test
