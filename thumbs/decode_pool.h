// Decode threads behind the panes' workers: one process-wide pool, so that two panes loading at once
// share the cores instead of doubling the threads, and an in-order runner that lets a worker keep its
// protocol while the pool decodes the items ahead of the one it reports.
//
// The worker stays the only thread that reports items, checks its queue and touches the cache block;
// pool threads only decode, fit and attach the thumbnails of items the worker handed them, each into
// its own item. A pool thread holds one decode at a time, so memory stays at one full-size picture per
// thread. Portable: std::thread, created in the constructor and joined in the destructor.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "image/scale.h"

namespace thumbs {

// What a pool thread keeps for its life: its scaler (the Windows side gives it a device context).
class PoolThreadState {
  public:
    virtual ~PoolThreadState() = default;
    virtual image::Scaler& Scaler() = 0;
};

class DecodePool {
  public:
    using StateFactory = std::function<std::unique_ptr<PoolThreadState>()>;
    using Task = std::function<void(image::Scaler& scaler)>;

    // `threads` at least 1; the factory (may be null) runs once on each thread before its first task.
    explicit DecodePool(size_t threads, StateFactory factory = nullptr);
    // Lets each thread finish the task in hand, drops the queue and joins.
    ~DecodePool();
    DecodePool(const DecodePool&) = delete;
    DecodePool& operator=(const DecodePool&) = delete;

    size_t Threads() const { return threads_.size(); }
    // Queues a task; tasks start in the order they were posted. False when no thread could be made.
    bool Post(Task task);

  private:
    void Run();

    StateFactory factory_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> queue_;
    bool quitting_ = false;
    std::vector<std::thread> threads_;
};

// The program's count: one per core, at most 4.
size_t DefaultDecodeThreads();

// The program's shared pool of DefaultDecodeThreads() threads, made on first use and joined when
// the last holder lets go; null when one thread is all there is (the worker then decodes itself).
std::shared_ptr<DecodePool> SharedDecodePool(const DecodePool::StateFactory& factory);

struct OrderedSteps {
    // On the caller's thread, in index order, before item i's turn: true when item i needs `produce`.
    std::function<bool(size_t i)> prepare;
    // On a pool thread (or the caller's, without a pool); never runs once the run is cancelled.
    std::function<void(size_t i, image::Scaler& scaler)> produce;
    // On the caller's thread, in index order, once item i is prepared and produced; false ends the run.
    std::function<bool(size_t i)> consume;
    // Optional; on the caller's thread, each time it is about to wait for a produce step (or, without a
    // pool, to run one).
    std::function<void()> waiting;
};

// Runs items 0..count-1 through the steps, at most `ahead` items beyond the one being consumed
// handed out. `cancel` is set when the run ends early, and also as soon as `stop` (may be null) reads
// true, even while waiting for an item; produce's decodes should watch it. Returns after every
// produce handed out has returned; true when every item was consumed.
bool RunInOrder(DecodePool* pool, size_t count, size_t ahead, const OrderedSteps& steps, std::atomic<bool>& cancel,
                const std::atomic<bool>* stop, image::Scaler& callerScaler);

} // namespace thumbs
