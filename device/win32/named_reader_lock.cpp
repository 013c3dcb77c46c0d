#include "device/win32/named_reader_lock.h"

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

#include "device/win32/deadline_wait.h"
#include "win32/unique_local_memory.h"
#include "win32/unique_mapped_view.h"
#include "win32/unique_resource.h"

namespace {

// The state's layout is part of the name: a build with another layout
// meets other objects instead of misreading these.
constexpr wchar_t kStateLayout[] = L"-state1";
static_assert(sizeof(SharedReaderState) == 16, "the same layout on x86 and x64");

std::wstring LocalName(const std::string& devicePath, const wchar_t* suffix) {
    const std::string base = SharedReaderName(devicePath);
    return L"Local\\" + std::wstring(base.begin(), base.end()) + suffix;
}

// Attributes that give a new object the low label of kReaderObjectsSddl.
// Without them (the descriptor cannot be made) the object gets the
// defaults, which still serve every process of the creator's integrity.
class LowLabelAttributes {
public:
    LowLabelAttributes() {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kReaderObjectsSddl, SDDL_REVISION_1, &descriptor,
                                                                    nullptr))
            return;
        descriptor_.reset(descriptor);
        attributes_.nLength = sizeof(attributes_);
        attributes_.lpSecurityDescriptor = descriptor;
        attributes_.bInheritHandle = FALSE;
    }
    SECURITY_ATTRIBUTES* get() { return descriptor_ ? &attributes_ : nullptr; }

private:
    UniqueLocalMemory descriptor_;
    SECURITY_ATTRIBUTES attributes_{};
};

uint64_t NextLockId() {
    static std::atomic<uint32_t> counter{0};
    return (static_cast<uint64_t>(::GetCurrentProcessId()) << 32) | ++counter;
}

// One reader's named objects, as this process holds them.
struct ReaderObjects {
    UniqueHandle mutex;
    UniqueHandle mapping;
    UniqueMappedView view;
};

// A named object lives only while some process holds a handle to it. The
// state must outlive the connection that marked an answer owed (DevClose
// during an answer, then DevOpen again), so this process keeps every
// reader's objects it opened for as long as the module is loaded: a few
// handles per reader, and few readers.
class ProcessReaderObjects {
public:
    std::shared_ptr<ReaderObjects> Open(const std::string& devicePath) {
        const std::wstring name = ReaderMutexName(devicePath);
        std::lock_guard<std::mutex> lock(mutex_);
        auto& objects = readers_[name];
        if (!objects) objects = Create(devicePath);
        return objects;
    }

private:
    static std::shared_ptr<ReaderObjects> Create(const std::string& devicePath) {
        LowLabelAttributes attributes;
        auto objects = std::make_shared<ReaderObjects>();
        // Each creates the object, or opens it when another process made it
        // first. A new mapping is zero-filled: no answer owed.
        objects->mutex.reset(::CreateMutexW(attributes.get(), FALSE, ReaderMutexName(devicePath).c_str()));
        objects->mapping.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, attributes.get(), PAGE_READWRITE, 0,
                                                    sizeof(SharedReaderState), ReaderStateName(devicePath).c_str()));
        if (!objects->mutex || !objects->mapping) return nullptr;
        objects->view.reset(
            ::MapViewOfFile(objects->mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(SharedReaderState)));
        return objects->view ? objects : nullptr;
    }

    std::mutex mutex_;
    std::map<std::wstring, std::shared_ptr<ReaderObjects>> readers_;
};

class NamedReaderLock final : public ReaderLock {
public:
    NamedReaderLock(std::shared_ptr<ReaderObjects> objects, UniqueHandle cancel)
        : objects_(std::move(objects)), cancel_(std::move(cancel)), id_(NextLockId()) {}

    ~NamedReaderLock() override {
        // Only the thread that took a mutex can release it; ReaderTurn always
        // does. A mutex still held here is left to be abandoned.
        if (holding_) ::ReleaseMutex(objects_->mutex.get());
    }

    LockWait Acquire(ReportDeadline deadline) override {
        // The cancel event first: when both are signalled it wins, and the
        // mutex is not taken.
        const HANDLE handles[] = {cancel_.get(), objects_->mutex.get()};
        switch (::WaitForMultipleObjects(2, handles, FALSE, MillisecondsUntil(deadline))) {
            case WAIT_OBJECT_0 + 1:
                holding_ = true;
                return LockWait::Taken;
            case WAIT_ABANDONED_0 + 1:
                holding_ = true;
                return LockWait::TakenFromTheDead;
            case WAIT_TIMEOUT:
                return LockWait::TimedOut;
            default:  // cancelled, or the wait itself failed
                return LockWait::Cancelled;
        }
    }

    void Release() override {
        if (!holding_) return;
        holding_ = false;
        ::ReleaseMutex(objects_->mutex.get());
    }

    SharedReaderState& State() override { return *static_cast<SharedReaderState*>(objects_->view.get()); }

    void Cancel() override { ::SetEvent(cancel_.get()); }

    uint64_t Id() const override { return id_; }

    uint64_t Now() const override { return std::max<ULONGLONG>(::GetTickCount64(), 1); }

private:
    const std::shared_ptr<ReaderObjects> objects_;
    UniqueHandle cancel_;
    const uint64_t id_;
    bool holding_ = false;  // only the holding thread reads or writes it
};

}  // namespace

std::wstring ReaderMutexName(const std::string& devicePath) {
    return LocalName(devicePath, L"-lock");
}

std::wstring ReaderStateName(const std::string& devicePath) {
    return LocalName(devicePath, kStateLayout);
}

std::unique_ptr<ReaderLock> OpenNamedReaderLock(const std::string& devicePath) {
    // Never destroyed before the module's statics: see ProcessReaderObjects.
    static ProcessReaderObjects readers;
    auto objects = readers.Open(devicePath);
    UniqueHandle cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!objects || !cancel) return nullptr;
    return std::make_unique<NamedReaderLock>(std::move(objects), std::move(cancel));
}
