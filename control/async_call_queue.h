// The control's asynchronous calls, in the order they were made.
//
// One worker thread per queue (started by the first call, ended by Stop)
// runs the calls one after another; their answers wait here until the
// control's thread takes them, in call order. At most kMaxOutstanding calls
// are outstanding (waiting to run, running, or answered and not yet taken):
// a call beyond that is not run and is answered with empty text in its turn.
// Refused calls cost a counter, not an entry, so a page calling faster than
// its reader answers holds at most kMaxOutstanding commands and answers.
//
// The worker never waits for the control's thread: it stores answers and
// calls the wake-up function, which must hand over to that thread without
// waiting for it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "control/reader_connection.h"

class ControlMethods;

// Every command and answer lives in a buffer of this size.
constexpr uint32_t kMessageBufferSize = 4096;

// One DevCallAsync call, owned by the queue until the worker runs it.
struct AsyncCallRequest {
    char szCmd[kMessageBufferSize];  // the command text, zero-terminated
    ControlMethods* pCtrl;
    // The connection open when the call was made, or null: the call is sent
    // on it or not at all.
    std::shared_ptr<ReaderConnection> connection;
    uint32_t callNumber = 0;  // counted from 1 on each control, for the trace
};

class AsyncCallQueue {
public:
    static constexpr size_t kMaxOutstanding = 1024;

    // Runs one call on the worker and gives its answer.
    using Runner = std::function<std::string(AsyncCallRequest&)>;
    // Called on any thread when the next answer can be taken.
    using Wake = std::function<void()>;

    AsyncCallQueue(Runner run, Wake wake);
    ~AsyncCallQueue();
    AsyncCallQueue(const AsyncCallQueue&) = delete;
    AsyncCallQueue& operator=(const AsyncCallQueue&) = delete;

    // The control's thread. Queues the call, or refuses it (see above).
    // Throws std::bad_alloc when out of memory; the call is then not made.
    void Add(std::unique_ptr<AsyncCallRequest> request);

    // The control's thread: the next answer in call order, or nothing when
    // the next call has not been answered yet or the queue has stopped.
    std::optional<std::string> TakeAnswer();

    // Calls whose answer has not been taken yet (see kMaxOutstanding).
    size_t Outstanding();
    // Whether some call's answer, a refused call's included, has not been
    // taken yet.
    bool HasUntakenAnswers();

    // Waits until every call added so far has run (its answer may still
    // wait to be taken). Bounded by kMaxOutstanding exchanges.
    void WaitUntilRun();

    // Drops the calls not yet run and the answers not yet taken, and waits
    // for the worker to end; the caller must make the call it is running
    // end promptly (by closing its connection). Later calls are dropped
    // unanswered. Safe to call more than once.
    void Stop();

private:
    struct Call {
        std::unique_ptr<AsyncCallRequest> request;  // null once taken to run
        std::optional<std::string> answer;
        bool taken = false;        // the answer went to the control's thread
        size_t refusedBehind = 0;  // refused calls made right after this one
    };

    void Work();
    // With mutex_ held: whether TakeAnswer would give something.
    bool NextIsReady() const;
    void StartWorker(std::unique_lock<std::mutex>& lock);

    Runner run_;
    Wake wake_;
    std::mutex mutex_;  // guards everything below
    std::condition_variable changed_;
    std::deque<Call> calls_;
    size_t nextToRun_ = 0;    // index into calls_; the one running is just before
    size_t outstanding_ = 0;  // calls whose answer was not taken yet
    bool running_ = false;
    bool stopped_ = false;
    std::thread worker_;
};
