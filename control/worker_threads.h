// The control's worker threads. Unlike fire-and-forget threads, every worker
// is joined: before the control is gone, no worker can still be running its
// code (the module may be unloaded right after).
#pragma once

#include <atomic>
#include <system_error>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

class WorkerThreads {
public:
    WorkerThreads() = default;
    ~WorkerThreads() { JoinAll(); }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Runs `work` (which may be move-only) on a new thread. False when no
    // thread could be started; `work` has then not run and never will.
    // Running out of memory propagates as std::bad_alloc.
    template <typename Work>
    bool Start(Work work);

    // Waits for every worker started so far.
    void JoinAll();

    // Workers started and not yet joined (finished ones are joined lazily).
    size_t Count();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    void JoinFinished();  // with mutex_ held
    // The record comes before its thread, so that a started thread always
    // has one: a joinable std::thread must never be dropped.
    Worker& AddRecord();  // with mutex_ held

    std::mutex mutex_;
    std::list<Worker> workers_;
};

template <typename Work>
bool WorkerThreads::Start(Work work) {
    std::lock_guard<std::mutex> lock(mutex_);
    Worker& worker = AddRecord();
    try {
        worker.thread = std::thread([work = std::move(work), finished = worker.finished]() mutable {
            work();
            *finished = true;
        });
    } catch (const std::system_error&) {
        workers_.pop_back();
        return false;
    } catch (...) {
        workers_.pop_back();
        throw;
    }
    return true;
}
