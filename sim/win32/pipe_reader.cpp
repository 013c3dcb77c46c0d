#include "sim/win32/pipe_reader.h"

#include <chrono>

// The link a connection's simulator serves. Cancelling it while the client
// is still there means the responder unplugged the reader in the middle of
// an exchange, and a real reader that does so is gone for every handle.
class ConnectionLink final : public ReportLink {
public:
    ConnectionLink(std::unique_ptr<PipeReportLink> pipe, HANDLE unplugged)
        : pipe_(std::move(pipe)), unplugged_(unplugged) {}

    bool WriteReport(const uint8_t* report, size_t length) override { return pipe_->WriteReport(report, length); }
    bool ReadReport(uint8_t* report, size_t length) override { return pipe_->ReadReport(report, length); }
    void Cancel() override {
        // Gone before the client learns of it: a client whose read failed
        // must not find the reader still there.
        if (!pipe_->Ended()) ::SetEvent(unplugged_);
        pipe_->Cancel();
    }
    bool Ended() const { return pipe_->Ended(); }

private:
    std::unique_ptr<PipeReportLink> pipe_;
    HANDLE unplugged_;
};

struct PipeReader::Connection {
    ConnectionLink* link;  // owned by the simulator
    std::unique_ptr<ReaderSimulator> simulator;
};

PipeReader::PipeReader(std::string path, uint16_t reportLen, ResponderFactory makeResponder)
    : path_(std::move(path)),
      reportLen_(reportLen),
      makeResponder_(std::move(makeResponder)),
      unplugged_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!unplugged_) return;
    for (auto& spare : spares_) {
        spare = PipeReportLink::Listen(path_);
        if (!spare) return;
    }
    listening_ = true;
    acceptor_ = std::thread([this] { Accept(); });
}

PipeReader::~PipeReader() {
    Unplug();
}

void PipeReader::Unplug() {
    if (unplugged_) ::SetEvent(unplugged_.get());
    std::call_once(acceptorJoined_, [this] {
        if (acceptor_.joinable()) acceptor_.join();
    });
    EndConnections();
}

bool PipeReader::Present() const {
    return listening_ && ::WaitForSingleObject(unplugged_.get(), 0) == WAIT_TIMEOUT;
}

void PipeReader::Accept() {
    for (;;) {
        // The unplug event comes first: it wins over clients arriving with it.
        HANDLE events[1 + kSpareInstances] = {unplugged_.get()};
        {
            // Only this thread replaces spares: the handles stay valid while
            // it waits on them.
            std::lock_guard<std::mutex> lock(spareMutex_);
            for (int i = 0; i < kSpareInstances; ++i) events[1 + i] = spares_[i]->ConnectEvent();
        }
        const DWORD signalled = ::WaitForMultipleObjects(1 + kSpareInstances, events, FALSE, INFINITE);
        if (signalled <= WAIT_OBJECT_0 || signalled > WAIT_OBJECT_0 + kSpareInstances) break;
        if (!TakeClient(static_cast<int>(signalled - WAIT_OBJECT_0 - 1))) {
            ::SetEvent(unplugged_.get());  // cannot take clients any more
            break;
        }
        DropEndedConnections();
    }
    {
        std::lock_guard<std::mutex> lock(spareMutex_);
        for (auto& spare : spares_) spare.reset();
    }
    clientTaken_.notify_all();
    EndConnections();
}

bool PipeReader::TakeClient(int spare) {
    bool listening = false;
    {
        std::lock_guard<std::mutex> lock(spareMutex_);
        std::unique_ptr<PipeReportLink> link = std::move(spares_[spare]);
        spares_[spare] = PipeReportLink::Listen(path_);
        listening = spares_[spare] != nullptr;
        // Served before CatchUp() can return: the connection then counts.
        if (link->FinishConnect()) Serve(std::move(link));
    }
    clientTaken_.notify_all();
    return listening;
}

bool PipeReader::AllSparesIdle() const {
    for (const auto& spare : spares_)
        if (spare && spare->HasClient()) return false;
    return true;
}

bool PipeReader::CatchUp(int timeoutMs) const {
    std::unique_lock<std::mutex> lock(spareMutex_);
    return clientTaken_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return AllSparesIdle(); });
}

void PipeReader::Serve(std::unique_ptr<PipeReportLink> pipe) {
    auto link = std::make_unique<ConnectionLink>(std::move(pipe), unplugged_.get());
    ConnectionLink* view = link.get();
    auto simulator = std::make_unique<ReaderSimulator>(std::move(link), reportLen_, makeResponder_());
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.push_back(std::make_unique<Connection>(Connection{view, std::move(simulator)}));
    ++accepted_;
}

void PipeReader::DropEndedConnections() {
    std::vector<std::unique_ptr<Connection>> ended;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Only from the front, so that Received() keeps connections in order.
        auto firstOpen = connections_.begin();
        while (firstOpen != connections_.end() && (*firstOpen)->link->Ended()) {
            for (Bytes& message : (*firstOpen)->simulator->Received()) earlierMessages_.push_back(std::move(message));
            ended.push_back(std::move(*firstOpen));
            ++firstOpen;
        }
        connections_.erase(connections_.begin(), firstOpen);
    }
    // Destroying a simulator waits for its thread, which may still be in a
    // responder: not under the lock.
}

void PipeReader::EndConnections() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& connection : connections_) connection->link->Cancel();
}

std::vector<Bytes> PipeReader::Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Bytes> messages = earlierMessages_;
    for (const auto& connection : connections_)
        for (Bytes& message : connection->simulator->Received()) messages.push_back(std::move(message));
    return messages;
}

size_t PipeReader::OpenConnections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t open = 0;
    for (const auto& connection : connections_) open += connection->link->Ended() ? 0 : 1;
    return open;
}

size_t PipeReader::Connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}
