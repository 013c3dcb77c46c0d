// The reader lock as named objects: one lock and one state for every opener
// of a path, whatever its case; a holder that dies leaves the lock to the
// next as taken from the dead; Cancel ends a wait; and both objects carry
// the low mandatory label that lets low and medium integrity processes
// share them.
#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <cctype>
#include <chrono>
#include <future>
#include <thread>

#include "device/win32/named_reader_lock.h"
#include "win32/unique_local_memory.h"
#include "win32/unique_resource.h"

namespace {

using namespace std::chrono_literals;

std::string UniquePath(const char* what) {
    return std::string("\\\\?\\hid#vid_155b&pid_4612#") + what + "-" + std::to_string(::GetCurrentProcessId());
}

ReportDeadline In(std::chrono::milliseconds ms) {
    return std::chrono::steady_clock::now() + ms;
}

TEST(NamedReaderLock, EveryOpenerOfAPathSharesOneLockAndOneState) {
    const std::string path = UniquePath("Shared");
    auto first = OpenNamedReaderLock(path);
    std::string shouted = path;
    for (char& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto second = OpenNamedReaderLock(shouted);  // paths name devices without regard to case
    auto other = OpenNamedReaderLock(UniquePath("other"));
    ASSERT_TRUE(first && second && other);
    EXPECT_NE(first->Id(), second->Id());

    ASSERT_EQ(first->Acquire(std::nullopt), LockWait::Taken);
    EXPECT_EQ(first->State().owedSince, 0u) << "a new reader owes nothing";
    first->State() = SharedReaderState{first->Now(), first->Id()};
    // Mutexes belong to threads: another thread stands for another page.
    EXPECT_EQ(std::async(std::launch::async, [&] { return second->Acquire(In(100ms)); }).get(), LockWait::TimedOut);
    EXPECT_EQ(std::async(std::launch::async, [&] { return other->Acquire(In(100ms)); }).get(), LockWait::Taken)
        << "another reader's lock is another lock";
    first->Release();

    std::async(std::launch::async, [&] {
        ASSERT_EQ(second->Acquire(In(1000ms)), LockWait::Taken);
        EXPECT_EQ(second->State().owedTo, first->Id()) << "the state is shared";
        second->Release();
    }).get();
}

TEST(NamedReaderLock, AHolderThatEndsWithoutReleasingLeavesItToTheNextAsTakenFromTheDead) {
    const std::string path = UniquePath("dead");
    auto dying = OpenNamedReaderLock(path);
    auto next = OpenNamedReaderLock(path);
    ASSERT_TRUE(dying && next);
    // A thread that ends holding a mutex abandons it, as a process does.
    std::thread([&] { ASSERT_EQ(dying->Acquire(std::nullopt), LockWait::Taken); }).join();
    EXPECT_EQ(next->Acquire(In(1000ms)), LockWait::TakenFromTheDead);
    next->Release();
}

TEST(NamedReaderLock, CancelEndsAWaitPromptlyAndEveryLaterOne) {
    const std::string path = UniquePath("cancel");
    auto holder = OpenNamedReaderLock(path);
    auto waiter = OpenNamedReaderLock(path);
    ASSERT_TRUE(holder && waiter);
    ASSERT_EQ(holder->Acquire(std::nullopt), LockWait::Taken);
    auto waiting = std::async(std::launch::async, [&] { return waiter->Acquire(std::nullopt); });
    std::this_thread::sleep_for(50ms);
    waiter->Cancel();
    ASSERT_EQ(waiting.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), LockWait::Cancelled);
    holder->Release();
    EXPECT_EQ(waiter->Acquire(std::nullopt), LockWait::Cancelled) << "even with the lock free";
}

// The label of the named object, as SDDL ("S:(ML;;NW;;;LW)"), or the
// reason it cannot be read.
std::wstring LabelOf(HANDLE object) {
    PACL sacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = ::GetSecurityInfo(object, SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr,
                                           nullptr, &sacl, &descriptor);
    if (status != ERROR_SUCCESS) return L"GetSecurityInfo failed: " + std::to_wstring(status);
    UniqueLocalMemory owned(descriptor);
    if (!sacl || sacl->AceCount != 1) return L"not one label";
    void* ace = nullptr;
    if (!::GetAce(sacl, 0, &ace)) return L"no ACE";
    const auto* label = static_cast<const SYSTEM_MANDATORY_LABEL_ACE*>(ace);
    if (label->Header.AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE) return L"not a label";
    LPWSTR sid = nullptr;
    if (!::ConvertSidToStringSidW(const_cast<DWORD*>(&label->SidStart), &sid)) return L"no SID";
    UniqueLocalMemory ownedSid(sid);
    return std::wstring(sid) + L" mask " + std::to_wstring(label->Mask);
}

TEST(NamedReaderLock, ItsObjectsCarryTheLowLabelWithNoWriteUp) {
    const std::string path = UniquePath("label");
    auto lock = OpenNamedReaderLock(path);
    ASSERT_TRUE(lock);
    UniqueHandle mutex(::OpenMutexW(READ_CONTROL, FALSE, ReaderMutexName(path).c_str()));
    UniqueHandle mapping(::OpenFileMappingW(READ_CONTROL, FALSE, ReaderStateName(path).c_str()));
    ASSERT_TRUE(mutex && mapping);
    const std::wstring expected = L"S-1-16-4096 mask " + std::to_wstring(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP);
    EXPECT_EQ(LabelOf(mutex.get()), expected);
    EXPECT_EQ(LabelOf(mapping.get()), expected);
}

}  // namespace
