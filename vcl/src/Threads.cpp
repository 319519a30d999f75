#include <vcl/Threads.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

#include "MessageQueue.h"

namespace vcl {

constinit const TClassInfo TThread::ClassInfo = {"TThread", &TObject::ClassInfo};

bool IsMainThread() {
  // Linux gives the process's first thread the process id as its thread id.
  return static_cast<pid_t>(syscall(SYS_gettid)) == getpid();
}

void Sleep(std::uint32_t Milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
}

void CheckSynchronize() {
  if (!IsMainThread()) return;
  std::function<void()> call;
  while (detail::MainQueue().TakeHandOver(call)) {
    call();
    call = nullptr;
  }
}

// What the thread, its object and its waiters share. The object may delete
// itself (FreeOnTerminate) while the thread is still returning and while
// WaitFor is still on the stack, so neither of them keeps using the object:
// they hold this block instead.
struct TThread::TState {
  std::thread Thread;
  std::atomic<bool> Started{false};
  std::atomic<bool> Terminated{false};
  std::atomic<bool> FreeOnTerminate{false};
  std::atomic<int> ReturnValue{0};

  std::mutex Lock;
  std::condition_variable Changed;
  bool Finished = false;             // Execute has returned
  bool Deleted = false;              // the object is gone: the end hand-over must not run
  bool Handing = false;              // the end hand-over is running OnTerminate
  std::atomic<bool> Done{false};     // the end hand-over has run
};

TThread::TThread(bool CreateSuspended) : FState(std::make_shared<TState>()) {
  if (!CreateSuspended)
    throw EInvalidOperation("TThread: a thread is created suspended and started with Resume");
}

TThread::~TThread() {
  if (FState->Started && !FState->Done) {
    // Only reached for a thread without FreeOnTerminate, deleted from outside.
    Terminate();
    WaitFor();
  }
  {
    // A thread waited for off the main thread may still have its end
    // hand-over queued: tell it the object is gone.
    std::unique_lock<std::mutex> g(FState->Lock);
    FState->Changed.wait(g, [&] { return !FState->Handing; });
    FState->Deleted = true;
  }
  if (FState->Thread.joinable()) {
    if (FState->Thread.get_id() == std::this_thread::get_id()) FState->Thread.detach();
    else FState->Thread.join();
  }
}

void TThread::Resume() {
  if (FState->Started.exchange(true)) return;
  FState->Thread = std::thread(&TThread::Run, this, FState);
}

bool TThread::Suspended() const { return !FState->Started; }
void TThread::Terminate() { FState->Terminated = true; }
bool TThread::Terminated() const { return FState->Terminated; }
bool TThread::GetFreeOnTerminate() const { return FState->FreeOnTerminate; }
void TThread::SetFreeOnTerminate(bool Value) { FState->FreeOnTerminate = Value; }
void TThread::SetReturnValue(int Value) { FState->ReturnValue = Value; }

void TThread::Run(TThread* Self, std::shared_ptr<TState> State) {
  try {
    Self->Execute();
  } catch (...) {
    // An exception must not end the process from a background thread; the
    // thread simply ends, and its end notification still runs.
  }
  {
    std::lock_guard<std::mutex> g(State->Lock);
    State->Finished = true;
  }
  State->Changed.notify_all();
  // The end: OnTerminate and self-disposal, on the main thread. From here on
  // this thread no longer touches Self; the main thread may free it any time.
  detail::MainQueue().HandOver([Self, State] {
    {
      std::lock_guard<std::mutex> g(State->Lock);
      if (State->Deleted) return;
      State->Handing = true;
    }
    if (Self->OnTerminate) Self->OnTerminate(Self);
    {
      std::lock_guard<std::mutex> g(State->Lock);
      State->Handing = false;
    }
    State->Changed.notify_all();
    State->Done = true;
    if (State->FreeOnTerminate) delete Self;
  });
}

int TThread::WaitFor() {
  std::shared_ptr<TState> state = FState;   // `this` may be freed during the wait
  if (!state->Started) return state->ReturnValue;
  if (IsMainThread()) {
    while (!state->Done) {
      CheckSynchronize();
      if (state->Done) break;
      detail::MainQueue().WaitHandOver(100, [&] { return state->Done.load(); });
    }
  } else {
    std::unique_lock<std::mutex> g(state->Lock);
    state->Changed.wait(g, [&] { return state->Finished; });
  }
  return state->ReturnValue;
}

void TThread::Synchronize(const std::function<void()>& Method) {
  if (IsMainThread()) {
    Method();
    return;
  }
  std::mutex lock;
  std::condition_variable ran;
  bool done = false;
  detail::MainQueue().HandOver([&] {
    Method();
    {
      std::lock_guard<std::mutex> g(lock);
      done = true;
    }
    ran.notify_all();
  });
  std::unique_lock<std::mutex> g(lock);
  ran.wait(g, [&] { return done; });
}

}  // namespace vcl
