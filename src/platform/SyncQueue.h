// SPDX-License-Identifier: MIT
// The one place where calls cross threads: the worker hands a call to the user-interface thread
// and blocks until it has run there. The UI thread drains the queue when woken (the window through
// Qt, the command-line tool and tests from their own loop). Both sides spin briefly before they
// sleep, because a synchronous hand-over per event otherwise costs two cross-CPU wake-ups.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

namespace trovex
{

class TSyncQueue
{
public:
    /// Worker side: runs `call` on the draining thread and returns when it has run. An exception
    /// thrown by the call is re-thrown here. After Close() the call is dropped and Invoke returns.
    void Invoke(const std::function<void()>& call);
    /// The same, but while the draining thread has lent itself (Lend) the call runs at once on
    /// the caller's thread instead: the drainer is parked meanwhile, so the call still runs while
    /// nothing else of the drainer does, and no hand-over is paid. For calls that touch nothing
    /// bound to the drainer's thread.
    void InvokeLendable(const std::function<void()>& call);

    /// UI side: runs a pending call, if any. Returns true when one ran.
    bool Drain();
    /// UI side: waits up to `timeout` for a call (or Interrupt) and drains. Returns true when a call ran.
    bool WaitAndDrain(std::chrono::microseconds timeout);
    /// UI side: parks this thread for up to `duration`, letting lendable calls run on the worker
    /// meanwhile and serving the others as WaitAndDrain does; returns early on Interrupt. When it
    /// returns no lendable call is running any more, and what they wrote is visible here.
    void Lend(std::chrono::microseconds duration);
    /// Wakes a WaitAndDrain without a call (the worker has ended).
    void Interrupt();
    /// Drops pending and future calls; used when the owner is going away.
    void Close();

    /// Called on the worker's thread after a call was queued, so a GUI can schedule Drain().
    std::function<void()> OnWake;

private:
    std::mutex FLock;
    std::condition_variable FPosted;   // a call is pending, or an interrupt
    std::condition_variable FFinished; // the pending call has run
    const std::function<void()>* FPending = nullptr;
    std::exception_ptr FError;
    std::atomic<bool> FHasPending{false};
    std::atomic<bool> FDone{false};
    std::atomic<bool> FClosed{false};
    bool FInterrupted = false;
    // 0: not lent; 1: lent, the worker may run a call itself; 2: the worker is running one.
    std::atomic<int> FLent{0};
};

} // namespace trovex
