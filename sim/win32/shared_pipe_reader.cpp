#include "sim/win32/shared_pipe_reader.h"

#include <cstdio>
#include <cstdlib>

#include "sim/win32/shared_reader_protocol.h"

struct SharedPipeReader::Connection {
    std::unique_ptr<PipeReportLink> link;
    SharedReader::Handle handle;
    std::atomic<int> running{2};  // its two threads
    std::thread inbound;
    std::thread outbound;
};

namespace {

std::string Hex(const Bytes& bytes) {
    std::string text;
    char digits[3];
    for (uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

}  // namespace

SharedPipeReader::SharedPipeReader(std::string name, uint16_t reportLen, Behaviour behaviour)
    : name_(std::move(name)),
      behaviour_(std::move(behaviour)),
      reader_(reportLen, behaviour_.responder),
      stopAccepting_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!stopAccepting_) return;
    for (auto& spare : spares_) {
        spare = PipeReportLink::Listen(shared_reader::DevicePath(name_));
        if (!spare) return;
    }
    listening_ = true;
    acceptor_ = std::thread([this] { Accept(); });
}

SharedPipeReader::~SharedPipeReader() {
    if (stopAccepting_) ::SetEvent(stopAccepting_.get());
    if (acceptor_.joinable()) acceptor_.join();
    reader_.Unplug();
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& connection : connections_) connection->link->Cancel();
    for (const auto& connection : connections_) {
        connection->inbound.join();
        connection->outbound.join();
    }
}

void SharedPipeReader::Accept() {
    for (;;) {
        HANDLE events[1 + kSpareInstances] = {stopAccepting_.get()};
        for (int i = 0; i < kSpareInstances; ++i) events[1 + i] = spares_[i]->ConnectEvent();
        const DWORD signalled = ::WaitForMultipleObjects(1 + kSpareInstances, events, FALSE, INFINITE);
        if (signalled <= WAIT_OBJECT_0 || signalled > WAIT_OBJECT_0 + kSpareInstances) return;
        auto& spare = spares_[signalled - WAIT_OBJECT_0 - 1];
        std::unique_ptr<PipeReportLink> link = std::move(spare);
        spare = PipeReportLink::Listen(shared_reader::DevicePath(name_));
        if (link->FinishConnect()) Serve(std::move(link));
        DropEndedConnections();
        if (!spare) return;  // cannot take clients any more
    }
}

void SharedPipeReader::Serve(std::unique_ptr<PipeReportLink> link) {
    auto connection = std::make_unique<Connection>();
    connection->link = std::move(link);
    connection->handle = reader_.Open();
    Connection& serving = *connection;
    serving.inbound = std::thread([this, &serving] { TakeInRequests(serving); });
    serving.outbound = std::thread([this, &serving] { SendInput(serving); });
    ++accepted_;
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.push_back(std::move(connection));
}

// The client's output reports and requests, in the order it wrote them.
void SharedPipeReader::TakeInRequests(Connection& connection) {
    uint8_t message[shared_reader::kRequestSize];
    while (const auto size = connection.link->ReadMessage(message, sizeof message)) {
        if (*size == reader_.ReportLength()) {
            reader_.Write(connection.handle, message, *size);
        } else if (*size == shared_reader::kRequestSize) {
            const uint32_t argument = message[4] | message[5] << 8 | message[6] << 16 | message[7] << 24;
            if (message[0] == shared_reader::kFlushQueue) reader_.Flush(connection.handle);
            if (message[0] == shared_reader::kSetInputBuffers) reader_.SetInputBuffers(connection.handle, argument);
        }
        // Anything else is nothing a HID handle carries: dropped.
    }
    // The client went: its reads end too.
    reader_.Cancel(connection.handle);
    --connection.running;
}

// The handle's input reports, one a message, each once the client read the
// one before; and the answer to a flush, where the flush was.
void SharedPipeReader::SendInput(Connection& connection) {
    Report report;
    for (;;) {
        const SharedReader::Input input = reader_.Read(connection.handle, report);
        bool sent = false;
        if (input == SharedReader::Input::Report) {
            sent = connection.link->WriteReport(report.data(), report.size());
        } else if (input == SharedReader::Input::Flushed) {
            const uint8_t flushed[shared_reader::kFlushedSize] = {shared_reader::kFlushQueue};
            sent = connection.link->WriteReport(flushed, sizeof flushed);
        }
        if (!sent) break;
    }
    connection.link->Cancel();  // ends the other thread's read
    --connection.running;
}

void SharedPipeReader::DropEndedConnections() {
    std::vector<std::unique_ptr<Connection>> ended;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if ((*it)->running == 0) {
                ended.push_back(std::move(*it));
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& connection : ended) {
        connection->inbound.join();
        connection->outbound.join();
        reader_.Close(connection->handle);
    }
}

std::string SharedPipeReader::Answer(const std::string& request) const {
    if (request == "received") return std::to_string(reader_.ReceivedCount()) + "\n";
    if (request.rfind("message ", 0) == 0) {
        const size_t index = std::strtoul(request.c_str() + 8, nullptr, 10);
        const std::vector<Bytes> messages = reader_.Received();
        return (index < messages.size() ? Hex(messages[index]) : std::string()) + "\n";
    }
    if (request == "violations") return Lines(reader_.Violations()) + "\n";
    if (request == "problems") {
        std::vector<std::string> problems;
        for (const auto& ca : behaviour_.caReaders)
            for (std::string& problem : ca->Problems()) problems.push_back(std::move(problem));
        return Lines(problems) + "\n";
    }
    if (request == "handles") return std::to_string(reader_.OpenHandles()) + "\n";
    if (request == "connections") return std::to_string(accepted_) + "\n";
    if (request == "quit") return "bye\n";
    return "?\n";
}

void SharedPipeReader::ServeControl(HANDLE stop) {
    // An instance always waits for the next client, so that the path never
    // disappears between two requests.
    std::unique_ptr<PipeReportLink> next = PipeReportLink::Listen(shared_reader::ControlPath(name_));
    while (next) {
        std::unique_ptr<PipeReportLink> current = std::move(next);
        const HANDLE events[] = {stop, current->ConnectEvent()};
        if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
        next = PipeReportLink::Listen(shared_reader::ControlPath(name_));
        if (!current->FinishConnect()) continue;
        uint8_t request[256];
        const auto size = current->ReadMessage(request, sizeof request);
        if (!size) continue;
        const std::string text(reinterpret_cast<const char*>(request), *size);
        const std::string answer = Answer(text);
        // Returns once the client has read it: no outbound buffer.
        current->WriteReport(reinterpret_cast<const uint8_t*>(answer.data()), answer.size());
        if (text == "quit") return;
    }
}
