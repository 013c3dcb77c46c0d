#include "control/async_call_queue.h"

#include <exception>
#include <system_error>

AsyncCallQueue::AsyncCallQueue(Runner run, Wake wake) : run_(std::move(run)), wake_(std::move(wake)) {}

AsyncCallQueue::~AsyncCallQueue() {
    Stop();
}

void AsyncCallQueue::Add(std::unique_ptr<AsyncCallRequest> request) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopped_) return;
    if (outstanding_ >= kMaxOutstanding) {
        // Outstanding calls keep their entries, so there is a last one.
        ++calls_.back().refusedBehind;
        const bool ready = NextIsReady();
        lock.unlock();
        if (ready) wake_();
        return;
    }
    calls_.push_back(Call{std::move(request), std::nullopt, false, 0});
    ++outstanding_;
    StartWorker(lock);
    changed_.notify_all();
}

size_t AsyncCallQueue::Outstanding() {
    std::lock_guard<std::mutex> lock(mutex_);
    return outstanding_;
}

void AsyncCallQueue::StartWorker(std::unique_lock<std::mutex>& lock) {
    if (worker_.joinable()) return;
    try {
        worker_ = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
        // No thread to run it: the call is answered as one that could send
        // nothing, and the next call tries again. Nothing else is waiting
        // to run, or there would be a worker.
        calls_.back().request.reset();
        calls_.back().answer.emplace();
        nextToRun_ = calls_.size();
        const bool ready = NextIsReady();
        lock.unlock();
        if (ready) wake_();
        lock.lock();
    }
}

void AsyncCallQueue::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopped_ || nextToRun_ < calls_.size(); });
        if (stopped_) return;
        std::unique_ptr<AsyncCallRequest> request = std::move(calls_[nextToRun_++].request);
        running_ = true;
        lock.unlock();
        std::string answer;
        try {
            answer = run_(*request);
        } catch (const std::exception&) {
            // Out of memory while building the answer: the call still gets
            // one, empty, so that the answers behind it are not held up.
        }
        request.reset();
        lock.lock();
        running_ = false;
        changed_.notify_all();
        if (stopped_) return;
        // Only answered calls leave the front, so the one that ran is still
        // just before nextToRun_.
        calls_[nextToRun_ - 1].answer = std::move(answer);
        if (nextToRun_ - 1 == 0) {
            lock.unlock();
            try {
                wake_();
            } catch (const std::exception&) {
                // The answer stays queued; the next wake-up takes it along.
            }
            lock.lock();
        }
    }
}

bool AsyncCallQueue::NextIsReady() const {
    if (stopped_ || calls_.empty()) return false;
    const Call& front = calls_.front();
    return front.taken ? front.refusedBehind > 0 : front.answer.has_value();
}

std::optional<std::string> AsyncCallQueue::TakeAnswer() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!NextIsReady()) return std::nullopt;
    Call& front = calls_.front();
    std::string answer;
    if (!front.taken) {
        front.taken = true;
        --outstanding_;
        answer = std::move(*front.answer);
    } else {
        --front.refusedBehind;  // a refused call's answer: empty
    }
    if (front.refusedBehind == 0) {
        calls_.pop_front();
        --nextToRun_;
        changed_.notify_all();
    }
    return answer;
}

bool AsyncCallQueue::HasUntakenAnswers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !stopped_ && !calls_.empty();
}

void AsyncCallQueue::WaitUntilRun() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return stopped_ || (nextToRun_ == calls_.size() && !running_); });
}

void AsyncCallQueue::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }
    if (worker_.joinable()) worker_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
    nextToRun_ = 0;
    outstanding_ = 0;
}
