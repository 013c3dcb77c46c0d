#include "sim/reader_simulator.h"

#include <chrono>
#include <thread>

ReaderSimulator::ReaderSimulator(std::unique_ptr<ReportLink> link, uint16_t reportLen, Responder responder)
    : link_(std::move(link)), reportLen_(reportLen), responder_(std::move(responder)) {
    thread_ = std::thread([this] { Serve(); });
}

ReaderSimulator::~ReaderSimulator() {
    Unplug();
    thread_.join();
}

void ReaderSimulator::Unplug() {
    link_->Cancel();
}

void ReaderSimulator::SetResponder(Responder responder) {
    std::lock_guard<std::mutex> lock(mutex_);
    responder_ = std::move(responder);
}

Responder ReaderSimulator::CurrentResponder() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return responder_;
}

std::vector<Bytes> ReaderSimulator::Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

size_t ReaderSimulator::ReceivedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_.size();
}

bool ReaderSimulator::WaitForMessages(size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return received_.size() >= count || gone_;
    }) && received_.size() >= count;
}

void ReaderSimulator::Serve() {
    MessageAssembler assembler(reportLen_);
    Report report(reportLen_);
    while (link_->ReadReport(report.data(), report.size())) {
        if (!assembler.Add(report)) continue;
        Bytes command = assembler.Take();
        const Responder responder = CurrentResponder();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.push_back(command);
        }
        changed_.notify_all();
        if (!responder || !Send(responder(command, reportLen_))) break;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        gone_ = true;
    }
    changed_.notify_all();
}

bool ReaderSimulator::Send(const SimReply& reply) {
    for (size_t i = 0; i < reply.reports.size(); ++i) {
        if (i == reply.pauseAfter && reply.pauseMs != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(reply.pauseMs));
        if (!link_->WriteReport(reply.reports[i].data(), reply.reports[i].size())) return false;
    }
    switch (reply.then) {
        case SimReply::Then::Listen:
            return true;
        case SimReply::Then::Unplug:
            link_->Cancel();
            return false;
        case SimReply::Then::EndlessMiddle: {
            const Report middle = MakeReport(reportLen_, static_cast<uint8_t>(0x40 | (reportLen_ - 2)));
            while (link_->WriteReport(middle.data(), middle.size())) {
            }
            return false;
        }
    }
    return false;
}
