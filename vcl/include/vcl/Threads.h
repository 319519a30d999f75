// Threads with a terminate flag, an end notification on the main thread and
// self-disposal; hand-overs of calls to the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "Classes.h"

namespace vcl {

// True on the process's main thread, the one that runs the application's
// message loop, the end notifications and every hand-over.
bool IsMainThread();

// Blocks the calling thread for Milliseconds.
void Sleep(std::uint32_t Milliseconds);

// Runs every call handed over to the main thread so far. Main thread only;
// elsewhere it does nothing. Application().ProcessMessages and
// TThread::WaitFor call it.
void CheckSynchronize();

// A thread of execution: derive from it and override Execute.
//
// A thread is always created suspended (a derived object must be complete
// before its Execute may run on another thread) and starts with Resume.
// When Execute returns, the thread hands its end over to the main thread:
// there OnTerminate runs, and then, if FreeOnTerminate is set, the object
// deletes itself. The hand-over runs the next time the main thread processes
// messages or waits for a thread.
class TThread : public TObject {
  TVCL_CLASS(TThread, TObject)
  // CreateSuspended must be true: see the class comment. False raises
  // EInvalidOperation.
  explicit TThread(bool CreateSuspended = true);
  // Waits for a thread that has ended but whose end notification has not run
  // yet, and runs it. A thread with FreeOnTerminate set deletes itself.
  // Stop a running thread (Terminate, WaitFor) before deleting it from
  // outside: by the time this base destructor runs, the derived object that
  // Execute works on is already gone.
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts a suspended thread; no effect on one that was started already.
  void Resume();
  bool Suspended() const;
  // Asks Execute to stop: sets Terminated, which Execute polls.
  void Terminate();
  bool Terminated() const;
  // Returns when the thread has finished, with its ReturnValue. On the main
  // thread it goes on running the calls handed over to the main thread while
  // it waits, the thread's own end notification included; so with
  // FreeOnTerminate set the object is gone when WaitFor returns, and WaitFor
  // itself never touches it after the wait began. Returns at once for a
  // thread that was never started.
  int WaitFor();

  bool GetFreeOnTerminate() const;
  void SetFreeOnTerminate(bool Value);
  // Runs on the main thread after Execute has returned, once; Sender is this thread.
  std::function<void(TObject* Sender)> OnTerminate;

protected:
  virtual void Execute() = 0;
  // Runs Method on the main thread and waits until it has run there. On the
  // main thread itself it runs at once.
  void Synchronize(const std::function<void()>& Method);
  void SetReturnValue(int Value);

private:
  struct TState;
  static void Run(TThread* Self, std::shared_ptr<TState> State);

  std::shared_ptr<TState> FState;   // outlives the object while its thread or a waiter needs it
};

}  // namespace vcl
