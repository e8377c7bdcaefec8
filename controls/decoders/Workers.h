#pragma once

// The two ways work leaves the thread that asks for it: a worker that does
// only the latest of what it is asked, and a loop split in two halves that
// run at once. Plain C++, so the decoders can use them without Qt.

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

namespace mugrove {

// A thread of its own that runs a job on each request, one at a time. A
// request asked for while another waits replaces it: only the latest is
// done, as for a preview that follows a field being typed into, or a count
// of rows that only grows.
//
// Ownership: the job and whatever it captures belong to the worker's thread
// while it runs; the waiting request, the busy flag and a job's exception
// cross between the threads under the lock. Destroying the worker drops a
// waiting request, asks the running job to stop (its stop_token) and waits
// for it, so whatever the job captures must outlive the worker.
template <class Request>
class LatestRequestWorker {
public:
    using Job = std::function<void(const Request&, std::stop_token)>;

    // Starts the thread; throws (std::system_error, std::bad_alloc) when
    // none can be had.
    explicit LatestRequestWorker(Job job) : job_(std::move(job)), thread_([this](std::stop_token stop) { Loop(stop); })
    {
    }
    ~LatestRequestWorker()
    {
        thread_.request_stop();
        thread_.join();
    }
    LatestRequestWorker(const LatestRequestWorker&) = delete;
    LatestRequestWorker& operator=(const LatestRequestWorker&) = delete;

    // Runs the job on `request` once the one running (if any) is done,
    // replacing any request still waiting.
    void Ask(Request request)
    {
        {
            const std::lock_guard lock(mutex_);
            waiting_ = std::move(request);
        }
        changed_.notify_all();
    }

    // Waits until no request waits and no job runs. A job that threw since
    // the last Drain throws its exception here (the first, if several did);
    // the worker goes on with later requests either way.
    void Drain()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !waiting_ && !busy_; });
        if (failure_)
            std::rethrow_exception(std::exchange(failure_, nullptr));
    }

private:
    void Loop(std::stop_token stop)
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, stop, [this] { return waiting_.has_value(); });
            if (stop.stop_requested())
                return;
            Request request = std::move(*waiting_);
            waiting_.reset();
            busy_ = true;
            lock.unlock();
            std::exception_ptr failed;
            try {
                job_(request, stop);
            } catch (...) {
                failed = std::current_exception();
            }
            lock.lock();
            busy_ = false;
            if (failed && !failure_)
                failure_ = std::move(failed);
            changed_.notify_all();
        }
    }

    Job job_; // the worker's thread's only
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::optional<Request> waiting_; // under mutex_
    bool busy_ = false;              // under mutex_
    std::exception_ptr failure_;     // under mutex_
    std::jthread thread_;            // last: starts once everything above is made
};

// Runs `run` over [0, count): when count is above `splitAbove`, the second
// half [count / 2, count) on a second thread while this one runs the first,
// returning once both are done; otherwise (or when no thread can be had) all
// of it here. `run` must be safe to call from two threads at once on
// different ranges. An exception from either half is thrown here once both
// halves have ended (the first half's, if both threw).
void RunInHalves(std::size_t count, std::size_t splitAbove,
                 const std::function<void(std::size_t from, std::size_t to)>& run);

} // namespace mugrove
