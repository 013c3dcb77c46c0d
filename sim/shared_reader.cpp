#include "sim/shared_reader.h"

#include <algorithm>

namespace {

bool IsFirst(const Report& report) {
    return (report[1] & 0xC0) == 0;
}

}  // namespace

SharedReader::SharedReader(uint16_t reportLen, Responder responder)
    : reportLen_(reportLen), responder_(std::move(responder)), assembler_(reportLen) {
    thread_ = std::thread([this] { Serve(); });
}

SharedReader::~SharedReader() {
    Unplug();
    thread_.join();
}

SharedReader::Handle SharedReader::Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    const Handle handle = ++lastHandle_;
    queues_[handle];
    return handle;
}

void SharedReader::Close(Handle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    queues_.erase(handle);
    changed_.notify_all();
}

bool SharedReader::SetInputBuffers(Handle handle, size_t count) {
    if (count < kMinInputBuffers || count > kMaxInputBuffers) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto queue = queues_.find(handle);
    if (queue == queues_.end()) return false;
    queue->second.capacity = count;
    while (queue->second.reports.size() > count) {
        queue->second.reports.pop_front();
        ++dropped_;
    }
    return true;
}

void SharedReader::Flush(Handle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto queue = queues_.find(handle);
    if (queue == queues_.end()) return;
    queue->second.reports.clear();
    queue->second.flushed = true;
    changed_.notify_all();
}

bool SharedReader::Write(Handle handle, const uint8_t* report, size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto queue = queues_.find(handle);
    if (gone_ || queue == queues_.end() || queue->second.cancelled || length != reportLen_) return false;
    written_.push_back(Written{handle, Report(report, report + length)});
    changed_.notify_all();
    return true;
}

SharedReader::Input SharedReader::Read(Handle handle, Report& report, ReportDeadline deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto ready = [&] {
        const auto queue = queues_.find(handle);
        return gone_ || queue == queues_.end() || queue->second.cancelled || queue->second.flushed ||
               !queue->second.reports.empty();
    };
    if (deadline) {
        if (!changed_.wait_until(lock, *deadline, ready)) return Input::TimedOut;
    } else {
        changed_.wait(lock, ready);
    }
    const auto queue = queues_.find(handle);
    if (gone_ || queue == queues_.end() || queue->second.cancelled) return Input::Closed;
    if (queue->second.flushed) {
        queue->second.flushed = false;
        return Input::Flushed;
    }
    report = std::move(queue->second.reports.front());
    queue->second.reports.pop_front();
    return Input::Report;
}

void SharedReader::Cancel(Handle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto queue = queues_.find(handle);
    if (queue != queues_.end()) queue->second.cancelled = true;
    changed_.notify_all();
}

void SharedReader::Unplug() {
    std::lock_guard<std::mutex> lock(mutex_);
    gone_ = true;
    changed_.notify_all();
}

void SharedReader::Serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return gone_ || !written_.empty(); });
        if (gone_) return;
        const Written next = std::move(written_.front());
        written_.pop_front();
        Bytes message;
        if (!Assemble(next, message)) continue;
        // The responder may take its time (a slow reader): the handles go
        // on writing meanwhile, and their reports wait their turn.
        lock.unlock();
        const SimReply reply = responder_ ? responder_(message, reportLen_) : SimReply{};
        lock.lock();
        if (gone_) return;
        if (reply.pauseMs != 0 && reply.pauseAfter < reply.reports.size()) {
            const auto split = reply.reports.begin() + static_cast<std::ptrdiff_t>(reply.pauseAfter);
            Broadcast({reply.reports.begin(), split});
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(reply.pauseMs));
            lock.lock();
            if (gone_) return;
            Broadcast({split, reply.reports.end()});
        } else {
            Broadcast(reply.reports);
        }
        // An endless answer is not served to several handles: its reports
        // went out, and the reader listens again.
        if (reply.then == SimReply::Then::Unplug) {
            gone_ = true;
            changed_.notify_all();
            return;
        }
    }
}

bool SharedReader::Assemble(const Written& written, Bytes& message) {
    if (IsFirst(written.report)) sources_.clear();
    const bool inMessage = IsFirst(written.report) || !sources_.empty();
    if (!inMessage) return false;  // a stray report, outside any message
    sources_.insert(written.handle);
    if (!assembler_.Add(written.report)) return false;
    message = assembler_.Take();
    received_.push_back(message);
    if (sources_.size() > 1) {
        std::string line = "message " + std::to_string(received_.size()) + " mixes the reports of handles";
        for (Handle handle : sources_) line += " " + std::to_string(handle);
        violations_.push_back(line);
    }
    sources_.clear();
    changed_.notify_all();
    return true;
}

void SharedReader::Broadcast(const std::vector<Report>& reports) {
    for (auto& [handle, queue] : queues_) {
        for (const Report& report : reports) {
            queue.reports.push_back(report);
            if (queue.reports.size() > queue.capacity) {
                queue.reports.pop_front();
                ++dropped_;
            }
        }
    }
    changed_.notify_all();
}

std::vector<Bytes> SharedReader::Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

size_t SharedReader::ReceivedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_.size();
}

bool SharedReader::WaitForMessages(size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return received_.size() >= count || gone_;
    }) && received_.size() >= count;
}

std::vector<std::string> SharedReader::Violations() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return violations_;
}

size_t SharedReader::OpenHandles() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queues_.size();
}

size_t SharedReader::DroppedReports() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

bool SharedReaderLink::WriteReport(const uint8_t* report, size_t length) {
    return reader_.Write(handle_, report, length);
}

bool SharedReaderLink::ReadReport(uint8_t* report, size_t length) {
    Report next;
    for (;;) {
        switch (reader_.Read(handle_, next, Deadline())) {
            case SharedReader::Input::Flushed:
                continue;  // a flush this link asked for: nothing to read there
            case SharedReader::Input::Report:
                if (next.size() != length) return false;
                std::copy(next.begin(), next.end(), report);
                return true;
            default:
                return false;
        }
    }
}
