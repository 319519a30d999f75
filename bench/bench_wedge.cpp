// The keyboard wedge on a pseudo-terminal pair, measured in one run:
//  - delivered characters per second for a 1 MB burst, against the floor of a
//    plain loop of one-byte read() calls on the same kind of pair;
//  - the time from the first byte after a quiet period to its message;
//  - the CPU an idle active wedge uses;
//  - how long deactivation takes;
//  - heap allocations made while the burst is delivered.

#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <vcl/Forms.h>

#include "KeyboardWedge.h"

namespace {

std::atomic<long> Allocations{0};

using Clock = std::chrono::steady_clock;
double Ms(Clock::duration D) { return std::chrono::duration<double, std::milli>(D).count(); }

double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

struct Pair {
  int Master = -1, Slave = -1;
  std::string Port;
  Pair() {
    char name[128];
    if (openpty(&Master, &Slave, name, nullptr, nullptr) != 0) {
      std::perror("openpty");
      std::exit(1);
    }
    Port = name;
    termios t{};
    tcgetattr(Slave, &t);
    cfmakeraw(&t);
    tcsetattr(Slave, TCSANOW, &t);
  }
  ~Pair() {
    close(Master);
    close(Slave);
  }
  void WriteAll(const std::string& Bytes) const {
    std::size_t at = 0;
    while (at < Bytes.size()) {
      const ssize_t n = write(Master, Bytes.data() + at, Bytes.size() - at);
      if (n <= 0) return;
      at += static_cast<std::size_t>(n);
    }
  }
};

class TCounter : public vcl::TWinControl {
public:
  using vcl::TWinControl::TWinControl;
  long Count = 0;
  Clock::time_point Last;

protected:
  void KeyPress(char&) override {
    ++Count;
    Last = Clock::now();
  }
};

// The bytes of the burst: 1..255 over and over (no 0x00, which the wedge never delivers).
std::string Burst(std::size_t Size) {
  std::string s(Size, '\0');
  for (std::size_t i = 0; i < Size; ++i) s[i] = static_cast<char>(1 + i % 255);
  return s;
}

double FloorRate(const std::string& Data) {
  Pair p;
  const auto start = Clock::now();
  std::thread writer([&] { p.WriteAll(Data); });
  char c;
  std::size_t got = 0;
  while (got < Data.size() && read(p.Slave, &c, 1) == 1) ++got;
  const auto end = Clock::now();
  writer.join();
  return static_cast<double>(got) / (Ms(end - start) / 1e3);
}

void PumpUntil(const TCounter& C, long Count, std::chrono::seconds Limit) {
  const auto end = Clock::now() + Limit;
  while (C.Count < Count && Clock::now() < end) {
    vcl::Application().WaitMessage(50);
    vcl::Application().ProcessMessages();
  }
}

}  // namespace

void* operator new(std::size_t Size) {
  Allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(Size ? Size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* P) noexcept { std::free(P); }
void operator delete(void* P, std::size_t) noexcept { std::free(P); }

int main() {
  using namespace tolvane;
  const std::string data = Burst(1 << 20);

  std::printf("keyboard wedge on a pseudo-terminal pair, 1 MB burst\n");
  const double floor = FloorRate(data);

  Pair p;
  TCounter target(nullptr);
  target.SetFocus();
  TKeyboardWedge wedge(nullptr);
  wedge.SetPort(p.Port);
  wedge.SetActive(true);
  // Warm up: the queue settles at its size, the reader has the port open.
  p.WriteAll("warm");
  PumpUntil(target, 4, std::chrono::seconds(5));
  target.Count = 0;

  const auto start = Clock::now();
  std::thread writer([&] { p.WriteAll(data); });
  const long allocBefore = Allocations.load();   // after the writer thread's own start
  PumpUntil(target, static_cast<long>(data.size()), std::chrono::seconds(120));
  writer.join();
  const long allocs = Allocations.load() - allocBefore;
  const double wedgeRate = static_cast<double>(target.Count) / (Ms(target.Last - start) / 1e3);
  std::printf("  plain one-byte read() loop    %10.0f bytes/s\n", floor);
  std::printf("  wedge, delivered WM_CHAR      %10.0f chars/s   (%ld of %zu delivered)\n", wedgeRate,
              target.Count, data.size());
  std::printf("  ratio wedge / floor           %10.2f\n", wedgeRate / floor);
  std::printf("  heap allocations in the burst %10ld           (%.6f per character)\n", allocs,
              static_cast<double>(allocs) / static_cast<double>(data.size()));

  // Latency: a byte after a quiet period waits for the reader's polling pause.
  std::vector<double> lat;
  for (int i = 0; i < 20; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(150 + 37 * (i % 3)));
    const long before = target.Count;
    const auto sent = Clock::now();
    p.WriteAll("x");
    PumpUntil(target, before + 1, std::chrono::seconds(5));
    lat.push_back(Ms(target.Last - sent));
  }
  double sum = 0, worst = 0;
  for (double l : lat) {
    sum += l;
    worst = std::max(worst, l);
  }
  std::printf("  first byte after quiet        %10.1f ms mean, %.1f ms worst (20 trials)\n",
              sum / static_cast<double>(lat.size()), worst);

  // Idle: the reader polls ten times a second; the main loop waits for messages.
  const int idleSeconds = std::getenv("WEDGE_IDLE_SECONDS") ? std::atoi(std::getenv("WEDGE_IDLE_SECONDS")) : 10;
  const double cpu0 = CpuMs();
  const auto idleEnd = Clock::now() + std::chrono::seconds(idleSeconds);
  while (Clock::now() < idleEnd) {
    vcl::Application().WaitMessage(100);
    vcl::Application().ProcessMessages();
  }
  const double idleCpu = CpuMs() - cpu0;
  std::printf("  idle active wedge, %2d s        %10.1f ms CPU  (%.3f%% of a core)\n", idleSeconds, idleCpu,
              idleCpu / (idleSeconds * 10.0));

  std::vector<double> stop;
  for (int i = 0; i < 10; ++i) {
    wedge.SetActive(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(30 + 23 * i));
    const auto t0 = Clock::now();
    wedge.SetActive(false);
    stop.push_back(Ms(Clock::now() - t0));
  }
  sum = worst = 0;
  for (double s : stop) {
    sum += s;
    worst = std::max(worst, s);
  }
  std::printf("  deactivation                  %10.1f ms mean, %.1f ms worst (10 trials)\n",
              sum / static_cast<double>(stop.size()), worst);
  return 0;
}
