// The application's message queue and its window table (private to the class
// library). One mutex guards both, so that posting from a background thread
// can tell a live window from a freed one.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <vcl/Messages.h>

namespace vcl {
class TWinControl;
}

namespace vcl::detail {

struct TPostedMessage {
  HWND Wnd;
  std::uint32_t Msg;
  WPARAM WParam;
  LPARAM LParam;
};

class TMessageQueue {
public:
  TMessageQueue();

  HWND AddWindow(TWinControl* Control);
  void RemoveWindow(HWND Wnd);
  TWinControl* FindWindow(HWND Wnd);

  bool Post(const TPostedMessage& M);
  // Takes up to Max of the oldest messages into Out; returns how many.
  std::size_t Take(TPostedMessage* Out, std::size_t Max);
  std::size_t PendingMessages();

  void HandOver(std::function<void()> Call);
  bool TakeHandOver(std::function<void()>& Call);

  // Waits until a message or a hand-over is queued, or TimeoutMs passes.
  bool Wait(int TimeoutMs);
  // Waits until a hand-over is queued or Done() holds, or TimeoutMs passes.
  void WaitHandOver(int TimeoutMs, const std::function<bool()>& Done);
  // Wakes the waiters to re-check what they wait for.
  void Wake();

private:
  void Grow();

  std::mutex FLock;
  std::condition_variable FChanged;
  int FWaiters = 0;             // threads in Wait/WaitHandOver: a post wakes them only then
  // A ring of posted messages: FCount of them from FHead on. It grows by
  // doubling when full, so posting does not allocate once it has settled.
  std::vector<TPostedMessage> FRing;
  std::size_t FHead = 0;
  std::size_t FCount = 0;
  std::deque<std::function<void()>> FHandOvers;
  std::unordered_map<HWND, TWinControl*> FWindows;
  HWND FNextHandle = 1;
};

TMessageQueue& MainQueue();

}  // namespace vcl::detail
