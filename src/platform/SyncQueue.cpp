// SPDX-License-Identifier: MIT
#include "platform/SyncQueue.h"

#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TROVEX_PAUSE() _mm_pause()
#else
#define TROVEX_PAUSE() std::this_thread::yield()
#endif

namespace trovex
{
namespace
{
// How long a side spins before it sleeps. A handler normally takes a few microseconds.
constexpr auto SpinTime = std::chrono::microseconds(50);

template <typename Pred>
bool SpinUntil(Pred pred)
{
    auto until = std::chrono::steady_clock::now() + SpinTime;
    do {
        for (int i = 0; i < 64; ++i) {
            if (pred())
                return true;
            TROVEX_PAUSE();
        }
    } while (std::chrono::steady_clock::now() < until);
    return pred();
}
} // namespace

void TSyncQueue::Invoke(const std::function<void()>& call)
{
    if (FClosed.load())
        return;
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (FClosed.load())
            return;
        FPending = &call;
        FError = nullptr;
        FDone.store(false);
        FHasPending.store(true, std::memory_order_release);
    }
    FPosted.notify_one();
    if (OnWake)
        OnWake();
    if (!SpinUntil([this] { return FDone.load(std::memory_order_acquire); })) {
        std::unique_lock<std::mutex> lock(FLock);
        FFinished.wait(lock, [this] { return FDone.load() || FClosed.load(); });
    }
    std::exception_ptr error;
    {
        std::lock_guard<std::mutex> guard(FLock);
        FPending = nullptr;
        FHasPending.store(false);
        error = FError;
        FError = nullptr;
    }
    if (error)
        std::rethrow_exception(error);
}

void TSyncQueue::InvokeLendable(const std::function<void()>& call)
{
    int lent = 1;
    if (!FClosed.load() && FLent.compare_exchange_strong(lent, 2, std::memory_order_acq_rel)) {
        struct TGiveBack
        {
            std::atomic<int>& Lent;
            ~TGiveBack() { Lent.store(1, std::memory_order_release); }
        } giveBack{FLent};
        call();
        return;
    }
    Invoke(call);
}

void TSyncQueue::Lend(std::chrono::microseconds duration)
{
    while (Drain()) {
    }
    {
        std::lock_guard<std::mutex> guard(FLock);
        FInterrupted = false;
    }
    FLent.store(1, std::memory_order_release);
    const auto until = std::chrono::steady_clock::now() + duration;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until)
            break;
        // Calls that may not be lent still arrive the ordinary way and run here.
        std::unique_lock<std::mutex> lock(FLock);
        const bool woken = FPosted.wait_until(lock, until, [this] {
            return (FHasPending.load() && !FDone.load()) || FInterrupted;
        });
        const bool interrupted = FInterrupted;
        lock.unlock();
        if (woken)
            Drain();
        if (interrupted)
            break;
    }
    // Take the thread back; a call the worker is running in our stead finishes first.
    int lent = 1;
    while (!FLent.compare_exchange_weak(lent, 0, std::memory_order_acq_rel)) {
        lent = 1;
        TROVEX_PAUSE();
    }
}

bool TSyncQueue::Drain()
{
    if (!FHasPending.load(std::memory_order_acquire))
        return false;
    const std::function<void()>* call;
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (!FPending || FDone.load())
            return false;
        call = FPending;
    }
    std::exception_ptr error;
    try {
        (*call)();
    } catch (...) {
        error = std::current_exception();
    }
    {
        std::lock_guard<std::mutex> guard(FLock);
        FError = error;
        FDone.store(true, std::memory_order_release);
    }
    FFinished.notify_one();
    return true;
}

bool TSyncQueue::WaitAndDrain(std::chrono::microseconds timeout)
{
    auto ready = [this] { return (FHasPending.load(std::memory_order_acquire) && !FDone.load()) || FInterrupted; };
    if (!SpinUntil([this] { return FHasPending.load(std::memory_order_acquire) && !FDone.load(); })) {
        std::unique_lock<std::mutex> lock(FLock);
        FPosted.wait_for(lock, timeout, ready);
        FInterrupted = false;
    }
    return Drain();
}

void TSyncQueue::Interrupt()
{
    {
        std::lock_guard<std::mutex> guard(FLock);
        FInterrupted = true;
    }
    FPosted.notify_all();
}

void TSyncQueue::Close()
{
    {
        std::lock_guard<std::mutex> guard(FLock);
        FClosed.store(true);
        FDone.store(true);
    }
    FFinished.notify_all();
    FPosted.notify_all();
}

} // namespace trovex
