#include "tools/fakehid/fake_reader.h"

FakeReader::FakeReader(int id, ReaderSpec description, std::string path)
    : id_(id), spec_(std::move(description)), path_(std::move(path)) {
    // Nothing listens at the path of a reader that cannot be opened, so
    // CreateFile fails on it as on an interface held exclusively elsewhere.
    if (spec_.openable)
        pipe_ = std::make_unique<PipeReader>(path_, spec_.reportLen, [this] { return NewConnection(); });
}

FakeReader::~FakeReader() {
    // The pipe's threads call NewConnection(): stop them while this object
    // is still whole.
    pipe_.reset();
}

Responder FakeReader::NewConnection() {
    Behaviour behaviour = spec_.behaviour();
    std::lock_guard<std::mutex> lock(mutex_);
    caReaders_.insert(caReaders_.end(), behaviour.caReaders.begin(), behaviour.caReaders.end());
    return std::move(behaviour.responder);
}

bool FakeReader::Present() const {
    return !unplugged_ && (!pipe_ || pipe_->Present());
}

bool FakeReader::Unplug() {
    const bool wasPresent = Present();
    unplugged_ = true;
    if (pipe_) pipe_->Unplug();
    return wasPresent;
}

void FakeReader::CatchUp() const {
    constexpr int kPatienceMs = 5000;
    if (pipe_) pipe_->CatchUp(kPatienceMs);
}

std::vector<Bytes> FakeReader::Received() const {
    return pipe_ ? pipe_->Received() : std::vector<Bytes>{};
}

std::vector<std::string> FakeReader::Problems() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> problems;
    for (const auto& reader : caReaders_)
        for (std::string& problem : reader->Problems()) problems.push_back(std::move(problem));
    return problems;
}

size_t FakeReader::OpenHandles() const {
    return pipe_ ? pipe_->OpenConnections() : 0;
}

size_t FakeReader::Connections() const {
    return pipe_ ? pipe_->Connections() : 0;
}
