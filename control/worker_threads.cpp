#include "control/worker_threads.h"

WorkerThreads::Worker& WorkerThreads::AddRecord() {
    JoinFinished();
    workers_.push_back({std::thread(), std::make_shared<std::atomic<bool>>(false)});
    return workers_.back();
}

void WorkerThreads::JoinAll() {
    std::list<Worker> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        workers.swap(workers_);
    }
    for (Worker& worker : workers) worker.thread.join();
}

size_t WorkerThreads::Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    JoinFinished();
    return workers_.size();
}

void WorkerThreads::JoinFinished() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (*it->finished) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}
