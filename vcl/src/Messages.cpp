#include "MessageQueue.h"

#include <chrono>
#include <thread>

namespace vcl::detail {

TMessageQueue::TMessageQueue() : FRing(1024) {}

TMessageQueue& MainQueue() {
  static TMessageQueue Queue;
  return Queue;
}

HWND TMessageQueue::AddWindow(TWinControl* Control) {
  std::lock_guard<std::mutex> g(FLock);
  HWND h = FNextHandle++;
  if (FNextHandle == 0) FNextHandle = 1;   // after 2^32 handles; 0 stays "no window"
  FWindows[h] = Control;
  return h;
}

void TMessageQueue::RemoveWindow(HWND Wnd) {
  std::lock_guard<std::mutex> g(FLock);
  FWindows.erase(Wnd);
}

TWinControl* TMessageQueue::FindWindow(HWND Wnd) {
  std::lock_guard<std::mutex> g(FLock);
  auto it = FWindows.find(Wnd);
  return it == FWindows.end() ? nullptr : it->second;
}

void TMessageQueue::Grow() {
  std::vector<TPostedMessage> bigger(FRing.size() * 2);
  for (std::size_t i = 0; i < FCount; ++i) bigger[i] = FRing[(FHead + i) % FRing.size()];
  FRing.swap(bigger);
  FHead = 0;
}

bool TMessageQueue::Post(const TPostedMessage& M) {
  bool wake;
  {
    std::lock_guard<std::mutex> g(FLock);
    if (!FWindows.contains(M.Wnd)) return false;
    if (FCount == FRing.size()) Grow();
    FRing[(FHead + FCount) % FRing.size()] = M;
    ++FCount;
    // A burst of posts costs no wake-up call while the main thread is busy.
    wake = FWaiters > 0;
  }
  if (wake) FChanged.notify_all();
  return true;
}

std::size_t TMessageQueue::Take(TPostedMessage* Out, std::size_t Max) {
  std::lock_guard<std::mutex> g(FLock);
  std::size_t n = 0;
  for (; n < Max && FCount > 0; ++n) {
    Out[n] = FRing[FHead];
    FHead = (FHead + 1) % FRing.size();
    --FCount;
  }
  return n;
}

std::size_t TMessageQueue::PendingMessages() {
  std::lock_guard<std::mutex> g(FLock);
  return FCount;
}

void TMessageQueue::HandOver(std::function<void()> Call) {
  {
    std::lock_guard<std::mutex> g(FLock);
    FHandOvers.push_back(std::move(Call));
  }
  FChanged.notify_all();
}

bool TMessageQueue::TakeHandOver(std::function<void()>& Call) {
  std::lock_guard<std::mutex> g(FLock);
  if (FHandOvers.empty()) return false;
  Call = std::move(FHandOvers.front());
  FHandOvers.pop_front();
  return true;
}

bool TMessageQueue::Wait(int TimeoutMs) {
  // A stream of posts (a serial burst) usually has its next message ready
  // within microseconds: look again for a short while before going to sleep,
  // so that the poster does not pay a wake-up call per message.
  const auto spinEnd = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
  do {
    {
      std::lock_guard<std::mutex> g(FLock);
      if (FCount > 0 || !FHandOvers.empty()) return true;
    }
    std::this_thread::yield();
  } while (std::chrono::steady_clock::now() < spinEnd);
  std::unique_lock<std::mutex> g(FLock);
  ++FWaiters;
  const bool got = FChanged.wait_for(g, std::chrono::milliseconds(TimeoutMs < 0 ? 0 : TimeoutMs),
                                     [&] { return FCount > 0 || !FHandOvers.empty(); });
  --FWaiters;
  return got;
}

void TMessageQueue::WaitHandOver(int TimeoutMs, const std::function<bool()>& Done) {
  std::unique_lock<std::mutex> g(FLock);
  ++FWaiters;
  FChanged.wait_for(g, std::chrono::milliseconds(TimeoutMs), [&] { return !FHandOvers.empty() || Done(); });
  --FWaiters;
}

void TMessageQueue::Wake() {
  { std::lock_guard<std::mutex> g(FLock); }
  FChanged.notify_all();
}

}  // namespace vcl::detail

namespace vcl {

bool PostMessage(HWND Wnd, std::uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  if (Wnd == 0) return false;
  return detail::MainQueue().Post({Wnd, Msg, WParam, LParam});
}

}  // namespace vcl
