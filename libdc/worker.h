#pragma once

// The one thread that calls the program back. Tasks posted here run in the order they were
// posted; scheduled tasks run when due, on the same thread. No lock of the worker is held
// while a task runs, so a task may call back into the library.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace dcsim {

class Worker
{
public:
    using Task = std::function<void()>;

    Worker() = default;
    ~Worker();
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    void post(Task task);
    void schedule(std::chrono::milliseconds delay, Task task);

    // Drops queued and scheduled tasks and waits for a running one to finish.
    void cancelPending();

    // Waits until every posted task has run (scheduled tasks that are not yet due are not
    // waited for). Returns at once on the worker thread itself.
    void flush();

    // Drops what is pending, waits for a running task and joins the thread.
    void stop();

private:
    using Clock = std::chrono::steady_clock;

    void startLocked();
    void run();
    bool onWorkerThread() const { return std::this_thread::get_id() == threadId_; }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Task> ready_;
    std::multimap<std::pair<Clock::time_point, uint64_t>, Task> timers_;
    uint64_t timerSequence_ = 0;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
    std::thread::id threadId_;
};

} // namespace dcsim
