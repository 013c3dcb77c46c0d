// The reader lock on Windows: a named mutex, and a named file mapping that
// holds the reader's SharedReaderState, both in the session's local
// namespace ("Local\...") under names derived from the device path
// (SharedReaderName), so that every process of the user's session that
// opens the reader meets the same two objects.
//
// Internet Explorer runs pages at low integrity, other hosts at medium. An
// object a medium process creates carries the medium label by default,
// which a low process may not write to (not even to wait on a mutex, which
// needs MUTEX_MODIFY_STATE). So both objects are created with a low
// mandatory label (no write up from low) and the creator's default DACL:
// whichever process comes first, the others of the same user can use them.
//
// A named object lives while some process holds a handle to it: this
// process keeps the objects of every reader it opened until the module
// unloads, so that the state outlives the connection that left an answer
// owed. A process that was a reader's only user takes the state with it
// when it ends.
//
// Wine 8 keeps the label in the objects' security descriptors (it reads
// back as set; see the tests) but checks no integrity levels: its processes
// run at high integrity, lowering a token's level is accepted and ignored,
// and a label above the process's own level (which Windows refuses to set)
// is set, and does not keep that process from waiting on the mutex. So
// under Wine the label is proven as stored, not as enforced.
#pragma once

#include <memory>
#include <string>

#include "device/reader_lock.h"

// The lock of the reader at `devicePath`; null when its objects cannot be
// created or opened.
std::unique_ptr<ReaderLock> OpenNamedReaderLock(const std::string& devicePath);

// The objects' names (for tests and tools).
std::wstring ReaderMutexName(const std::string& devicePath);
std::wstring ReaderStateName(const std::string& devicePath);

// The security descriptor the objects are created with, as SDDL: a low
// mandatory label with the no-write-up policy, and no DACL of its own (so
// the creator's default DACL applies).
inline constexpr wchar_t kReaderObjectsSddl[] = L"S:(ML;;NW;;;LW)";
