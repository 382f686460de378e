#include "worker.h"

namespace dcsim {

Worker::~Worker()
{
    stop();
}

void Worker::startLocked()
{
    if (!thread_.joinable() && !stopping_) {
        thread_ = std::thread([this] { run(); });
        threadId_ = thread_.get_id();
    }
}

void Worker::post(Task task)
{
    std::lock_guard lock(mutex_);
    if (stopping_)
        return;
    ready_.push_back(std::move(task));
    startLocked();
    wake_.notify_all();
}

void Worker::schedule(std::chrono::milliseconds delay, Task task)
{
    std::lock_guard lock(mutex_);
    if (stopping_)
        return;
    timers_.emplace(std::make_pair(Clock::now() + delay, timerSequence_++), std::move(task));
    startLocked();
    wake_.notify_all();
}

void Worker::cancelPending()
{
    std::unique_lock lock(mutex_);
    ready_.clear();
    timers_.clear();
    if (!onWorkerThread())
        idle_.wait(lock, [this] { return !busy_; });
    idle_.notify_all();
}

void Worker::flush()
{
    std::unique_lock lock(mutex_);
    if (onWorkerThread())
        return;
    idle_.wait(lock, [this] { return stopping_ || (ready_.empty() && !busy_); });
}

void Worker::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        ready_.clear();
        timers_.clear();
        wake_.notify_all();
        idle_.notify_all();
    }
    if (!thread_.joinable())
        return;
    if (onWorkerThread())
        thread_.detach(); // unloaded from inside a callback: nothing left to wait for
    else
        thread_.join();
}

void Worker::run()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        Task task;
        if (!ready_.empty()) {
            task = std::move(ready_.front());
            ready_.pop_front();
        } else if (!timers_.empty() && timers_.begin()->first.first <= Clock::now()) {
            task = std::move(timers_.begin()->second);
            timers_.erase(timers_.begin());
        } else {
            idle_.notify_all();
            if (timers_.empty()) {
                wake_.wait(lock);
            } else {
                // A copy: the timer may be dropped while this thread waits.
                const Clock::time_point due = timers_.begin()->first.first;
                wake_.wait_until(lock, due);
            }
            continue;
        }
        busy_ = true;
        lock.unlock();
        task();
        task = nullptr;
        lock.lock();
        busy_ = false;
    }
    idle_.notify_all();
}

} // namespace dcsim
