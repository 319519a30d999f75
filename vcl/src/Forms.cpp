#include <vcl/Forms.h>

#include <vcl/Threads.h>

#include <algorithm>
#include <iterator>

#include "MessageQueue.h"

namespace vcl {

TScreen& Screen() {
  static TScreen S;
  return S;
}

TApplication& Application() {
  static TApplication A;
  return A;
}

void TScreen::SetActiveControl(TWinControl* Control) {
  FActiveControl = Control;
  FActiveHandle.store(Control ? Control->Handle() : 0, std::memory_order_release);
}

void TApplication::ProcessMessages() {
  CheckSynchronize();
  detail::TMessageQueue& q = detail::MainQueue();
  // Taken in batches (one lock per batch), delivered one by one.
  detail::TPostedMessage batch[256];
  for (std::size_t left = q.PendingMessages(); left > 0;) {
    const std::size_t n = q.Take(batch, std::min(left, std::size(batch)));
    if (n == 0) break;
    left -= n;
    for (std::size_t i = 0; i < n; ++i) {
      // Looked up at delivery: a control freed since the post (even by the
      // handler of an earlier message of this batch) gets nothing.
      if (TWinControl* target = q.FindWindow(batch[i].Wnd)) {
        TMessage msg{batch[i].Msg, batch[i].WParam, batch[i].LParam, 0};
        target->WndProc(msg);
      }
    }
  }
}

bool TApplication::WaitMessage(int TimeoutMs) { return detail::MainQueue().Wait(TimeoutMs); }

}  // namespace vcl
