#include "tools/fakehid/fake_reader.h"

#include <cstdlib>

#include "tools/fakehid/shared_reader_client.h"

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

Bytes FromHex(const std::string& text) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

}  // namespace

FakeReader::FakeReader(int id, ReaderSpec description, std::string path)
    : id_(id), spec_(std::move(description)), path_(std::move(path)) {
    // Nothing listens at the path of a reader that cannot be opened, so
    // CreateFile fails on it as on an interface held exclusively elsewhere.
    if (spec_.openable && !Shared())
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
    if (Shared()) ::WaitNamedPipeA(path_.c_str(), kPatienceMs);
}

size_t FakeReader::ReceivedCount() const {
    if (Shared()) return std::strtoul(AskSharedReader(spec_.sharedName, "received").value_or("0").c_str(), nullptr, 10);
    return pipe_ ? pipe_->Received().size() : 0;
}

std::optional<Bytes> FakeReader::ReceivedMessage(size_t index) const {
    if (Shared()) {
        if (index >= ReceivedCount()) return std::nullopt;
        return FromHex(AskSharedReader(spec_.sharedName, "message " + std::to_string(index)).value_or(""));
    }
    std::vector<Bytes> messages = pipe_ ? pipe_->Received() : std::vector<Bytes>{};
    if (index >= messages.size()) return std::nullopt;
    return std::move(messages[index]);
}

std::vector<std::string> FakeReader::Violations() const {
    if (!Shared()) return {};
    return SplitLines(AskSharedReader(spec_.sharedName, "violations").value_or(""));
}

std::vector<std::string> FakeReader::Problems() const {
    if (Shared()) return SplitLines(AskSharedReader(spec_.sharedName, "problems").value_or(""));
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
    if (Shared())
        return std::strtoul(AskSharedReader(spec_.sharedName, "connections").value_or("0").c_str(), nullptr, 10);
    return pipe_ ? pipe_->Connections() : 0;
}
