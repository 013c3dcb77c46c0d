// A simulated card reader: serves the reader's end of a report link on a
// thread of its own, answers every command message through a responder, and
// records every message it received.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/report_link.h"
#include "sim/sim_framing.h"

// What the reader does with one command.
struct SimReply {
    enum class Then {
        Listen,         // wait for the next command
        Unplug,         // disappear: the link fails for both sides
        EndlessMiddle,  // send middle reports until the host stops taking them
    };
    std::vector<Report> reports;  // sent in this order; none means silence
    Then then = Then::Listen;
    // After this many reports the reader pauses for pauseMs milliseconds
    // before it sends the rest (0: no pause): an answer caught halfway.
    size_t pauseAfter = 0;
    uint32_t pauseMs = 0;
};

// Decides the reply to one command message for the given report length.
using Responder = std::function<SimReply(const Bytes& command, uint16_t reportLen)>;

class ReaderSimulator {
public:
    ReaderSimulator(std::unique_ptr<ReportLink> link, uint16_t reportLen, Responder responder);
    ~ReaderSimulator();  // unplugs and waits for the reader's thread
    ReaderSimulator(const ReaderSimulator&) = delete;
    ReaderSimulator& operator=(const ReaderSimulator&) = delete;

    // The reader disappears: every pending and later report I/O fails.
    void Unplug();

    // Replaces the responder for the commands still to come.
    void SetResponder(Responder responder);

    std::vector<Bytes> Received() const;
    size_t ReceivedCount() const;
    // Waits until at least `count` messages have arrived or the reader is
    // gone; false when that did not happen within `timeoutMs`.
    bool WaitForMessages(size_t count, int timeoutMs) const;

private:
    void Serve();
    bool Send(const SimReply& reply);
    Responder CurrentResponder() const;

    std::unique_ptr<ReportLink> link_;
    const uint16_t reportLen_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Responder responder_;
    std::vector<Bytes> received_;
    bool gone_ = false;
    std::thread thread_;
};
