// Threads, hand-overs to the main thread and the message queue.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include <vcl/Forms.h>
#include <vcl/Threads.h>

namespace {

using namespace vcl;

class TCounting : public TThread {
public:
  explicit TCounting(std::atomic<int>* Alive) : TThread(true), FAlive(Alive) { ++*FAlive; }
  ~TCounting() override { --*FAlive; }
  std::atomic<bool> Ran{false};

protected:
  void Execute() override {
    while (!Terminated()) Sleep(5);
    Ran = true;
    SetReturnValue(7);
  }

private:
  std::atomic<int>* FAlive;
};

TEST(ThreadTest, WaitForRunsTheEndNotificationAndSurvivesSelfDisposal) {
  std::atomic<int> alive{0};
  auto* t = new TCounting(&alive);
  std::vector<std::string> events;
  t->OnTerminate = [&](TObject* Sender) {
    events.push_back(Sender == t ? "terminate" : "wrong sender");
    EXPECT_TRUE(IsMainThread());
  };
  t->SetFreeOnTerminate(true);
  EXPECT_TRUE(t->Suspended());
  t->Resume();
  t->Terminate();
  // The object frees itself inside the wait; WaitFor must not touch it after.
  EXPECT_EQ(t->WaitFor(), 7);
  EXPECT_EQ(events, std::vector<std::string>{"terminate"});
  EXPECT_EQ(alive, 0);
}

TEST(ThreadTest, DeletingAnEndedThreadRunsItsPendingEndNotification) {
  std::atomic<int> alive{0};
  int notified = 0;
  {
    TCounting t(&alive);
    t.OnTerminate = [&](TObject*) { ++notified; };
    t.Resume();
    t.Terminate();
    while (!t.Ran) Sleep(1);   // Execute has returned; its end is still queued
    EXPECT_EQ(notified, 0);
  }
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(notified, 1);
  TCounting never(&alive);   // never started: its destructor must not wait
  EXPECT_EQ(never.WaitFor(), 0);
  EXPECT_THROW(
      {
        struct TRunning : TThread {
          TRunning() : TThread(false) {}
          void Execute() override {}
        } r;
      },
      EInvalidOperation);
}

class TKeys : public TWinControl {
public:
  using TWinControl::TWinControl;
  std::string Got;
  void KeyPress(char& Key) override { Got += Key; }
};

TEST(MessageQueueTest, PostedMessagesReachLiveWindowsInOrder) {
  TKeys a(nullptr);
  auto* b = new TKeys(nullptr);
  const HWND ha = a.Handle(), hb = b->Handle();
  EXPECT_NE(ha, hb);
  EXPECT_FALSE(PostMessage(0, WM_CHAR, 'x', 0));
  // Posted from another thread, one after the other.
  struct TPoster : TThread {
    HWND To[2];
    void Execute() override {
      for (char c : std::string("hello")) PostMessage(To[0], WM_CHAR, static_cast<unsigned char>(c), 0);
      PostMessage(To[1], WM_CHAR, 'B', 0);
    }
  } poster;
  poster.To[0] = ha;
  poster.To[1] = hb;
  poster.Resume();
  poster.WaitFor();
  delete b;   // a freed control's queued message is dropped, and its handle is dead
  EXPECT_FALSE(PostMessage(hb, WM_CHAR, 'C', 0));
  Application().ProcessMessages();
  EXPECT_EQ(a.Got, "hello");
}

TEST(MessageQueueTest, TheQueueGrowsPastItsFirstSizeWithoutLosingOrder) {
  TKeys a(nullptr);
  std::string sent;
  for (int i = 0; i < 5000; ++i) {
    const char c = static_cast<char>('a' + i % 26);
    sent += c;
    ASSERT_TRUE(PostMessage(a.Handle(), WM_CHAR, static_cast<unsigned char>(c), 0));
    if (i == 100) Application().ProcessMessages();   // the ring's head moves before it grows
  }
  Application().ProcessMessages();
  EXPECT_EQ(a.Got, sent);
}

TEST(MessageQueueTest, FocusFollowsTheControlAndEndsWithIt) {
  auto* c = new TKeys(nullptr);
  c->SetFocus();
  EXPECT_TRUE(c->Focused());
  EXPECT_EQ(Screen().ActiveHandle(), c->Handle());
  delete c;
  EXPECT_EQ(Screen().ActiveControl(), nullptr);
  EXPECT_EQ(Screen().ActiveHandle(), 0u);
}

}  // namespace
