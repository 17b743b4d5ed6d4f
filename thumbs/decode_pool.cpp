#include "thumbs/decode_pool.h"

#include <chrono>
#include <system_error>
#include <utility>

namespace thumbs {

DecodePool::DecodePool(size_t threads, StateFactory factory) : factory_(std::move(factory)) {
    for (size_t i = 0; i < (threads ? threads : 1); ++i) {
        try {
            threads_.emplace_back([this] { Run(); });
        } catch (const std::system_error&) {
            break; // fewer threads; Post refuses when there are none
        }
    }
}

DecodePool::~DecodePool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quitting_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

bool DecodePool::Post(Task task) {
    if (threads_.empty())
        return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (quitting_)
            return false;
        queue_.push_back(std::move(task));
    }
    wake_.notify_one();
    return true;
}

void DecodePool::Run() {
    std::unique_ptr<PoolThreadState> state = factory_ ? factory_() : nullptr;
    image::Scaler plain;
    image::Scaler& scaler = state ? state->Scaler() : plain;
    for (;;) {
        Task task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return quitting_ || !queue_.empty(); });
            if (quitting_)
                return;
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        task(scaler);
    }
}

size_t DefaultDecodeThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : (cores > 4 ? 4 : cores);
}

std::shared_ptr<DecodePool> SharedDecodePool(const DecodePool::StateFactory& factory) {
    static std::mutex mutex;
    static std::weak_ptr<DecodePool> shared;
    const size_t threads = DefaultDecodeThreads();
    if (threads < 2)
        return nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    std::shared_ptr<DecodePool> pool = shared.lock();
    if (!pool) {
        pool = std::make_shared<DecodePool>(threads, factory);
        if (pool->Threads() == 0)
            return nullptr;
        shared = pool;
    }
    return pool;
}

namespace {

// While a stop flag is given, waits are cut into slices so that a stop raised by another thread
// reaches the decodes under way even while the caller is waiting for one of them.
constexpr std::chrono::milliseconds kStopPoll(20);

struct Tracker {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<char> done;
    size_t outstanding = 0;

    void Finish(size_t i) {
        std::lock_guard<std::mutex> lock(mutex);
        done[i] = 1;
        --outstanding;
        changed.notify_all();
    }
};

void WaitFor(Tracker& t, const std::function<bool()>& ready, std::atomic<bool>& cancel, const std::atomic<bool>* stop) {
    std::unique_lock<std::mutex> lock(t.mutex);
    while (!ready()) {
        if (!stop) {
            t.changed.wait(lock);
            continue;
        }
        if (stop->load())
            cancel.store(true);
        t.changed.wait_for(lock, kStopPoll);
    }
}

} // namespace

bool RunInOrder(DecodePool* pool, size_t count, size_t ahead, const OrderedSteps& steps, std::atomic<bool>& cancel,
                const std::atomic<bool>* stop, image::Scaler& callerScaler) {
    if (!pool) {
        for (size_t i = 0; i < count; ++i) {
            if (steps.prepare(i)) {
                if (steps.waiting)
                    steps.waiting();
                steps.produce(i, callerScaler);
            }
            if (!steps.consume(i)) {
                cancel.store(true);
                return false;
            }
        }
        return true;
    }

    Tracker t;
    t.done.assign(count, 0);
    size_t next = 0;
    bool finished = true;
    for (size_t i = 0; i < count; ++i) {
        for (; next < count && next <= i + ahead; ++next) {
            if (stop && stop->load())
                cancel.store(true);
            if (!steps.prepare(next)) {
                std::lock_guard<std::mutex> lock(t.mutex);
                t.done[next] = 1;
                continue;
            }
            {
                std::lock_guard<std::mutex> lock(t.mutex);
                ++t.outstanding;
            }
            const size_t j = next;
            const bool posted = pool->Post([&steps, &cancel, stop, &t, j](image::Scaler& scaler) {
                // Once a stop is raised no decode starts, even before the caller has passed it on.
                if (!cancel.load() && !(stop && stop->load()))
                    steps.produce(j, scaler);
                t.Finish(j);
            });
            if (!posted) {
                steps.produce(j, callerScaler);
                t.Finish(j);
            }
        }
        if (steps.waiting) {
            bool ready;
            {
                std::lock_guard<std::mutex> lock(t.mutex);
                ready = t.done[i] != 0;
            }
            if (!ready)
                steps.waiting();
        }
        WaitFor(t, [&t, i] { return t.done[i] != 0; }, cancel, stop);
        if (!steps.consume(i)) {
            finished = false;
            break;
        }
    }
    if (!finished)
        cancel.store(true);
    // Produce steps still running refer to the caller's items: wait for them, cancelled or not.
    WaitFor(t, [&t] { return t.outstanding == 0; }, cancel, stop);
    return finished;
}

} // namespace thumbs
