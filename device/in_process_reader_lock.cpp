#include "device/in_process_reader_lock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>

struct InProcessReaderLocks::Shared {
    std::mutex mutex;
    std::condition_variable released;
    bool held = false;
    bool abandoned = false;  // the last holder went without releasing
    SharedReaderState state{};
};

namespace {

uint64_t NextLockId() {
    static std::atomic<uint64_t> counter{0};
    return ++counter;
}

class InProcessReaderLock final : public ReaderLock {
public:
    explicit InProcessReaderLock(std::shared_ptr<InProcessReaderLocks::Shared> shared)
        : shared_(std::move(shared)), id_(NextLockId()) {}

    ~InProcessReaderLock() override {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (!holding_) return;
        shared_->held = false;
        shared_->abandoned = true;
        shared_->released.notify_all();
    }

    LockWait Acquire(ReportDeadline deadline) override {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        const auto ready = [this] { return cancelled_ || !shared_->held; };
        if (deadline) {
            if (!shared_->released.wait_until(lock, *deadline, ready)) return LockWait::TimedOut;
        } else {
            shared_->released.wait(lock, ready);
        }
        if (cancelled_) return LockWait::Cancelled;
        shared_->held = true;
        holding_ = true;
        const bool fromTheDead = shared_->abandoned;
        shared_->abandoned = false;
        return fromTheDead ? LockWait::TakenFromTheDead : LockWait::Taken;
    }

    void Release() override {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (!holding_) return;
        holding_ = false;
        shared_->held = false;
        shared_->released.notify_all();
    }

    SharedReaderState& State() override { return shared_->state; }

    void Cancel() override {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        cancelled_ = true;
        shared_->released.notify_all();
    }

    uint64_t Id() const override { return id_; }

    uint64_t Now() const override {
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count()) + 1;
    }

private:
    const std::shared_ptr<InProcessReaderLocks::Shared> shared_;
    const uint64_t id_;
    bool holding_ = false;    // guarded by shared_->mutex
    bool cancelled_ = false;  // guarded by shared_->mutex
};

}  // namespace

ReaderLockFactory InProcessReaderLocks::Factory() {
    return [this](const std::string& devicePath) { return Make(devicePath); };
}

std::unique_ptr<ReaderLock> InProcessReaderLocks::Make(const std::string& devicePath) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& shared = readers_[SharedReaderName(devicePath)];
    if (!shared) shared = std::make_shared<Shared>();
    return std::make_unique<InProcessReaderLock>(shared);
}

std::unique_ptr<ReaderLock> MakePrivateReaderLock() {
    return std::make_unique<InProcessReaderLock>(std::make_shared<InProcessReaderLocks::Shared>());
}
