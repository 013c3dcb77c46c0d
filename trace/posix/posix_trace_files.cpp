#include "trace/posix/posix_trace_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace {

class PosixTraceFile final : public TraceFile {
public:
    explicit PosixTraceFile(int descriptor) : descriptor_(descriptor) {}
    ~PosixTraceFile() override { ::close(descriptor_); }
    PosixTraceFile(const PosixTraceFile&) = delete;
    PosixTraceFile& operator=(const PosixTraceFile&) = delete;

    bool Append(std::string_view bytes) noexcept override {
        return ::write(descriptor_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

private:
    const int descriptor_;
};

}  // namespace

std::unique_ptr<TraceFile> PosixTraceFiles::OpenForAppend(const std::string& path, uint64_t& size) noexcept {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (descriptor < 0) return nullptr;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        ::close(descriptor);
        return nullptr;
    }
    size = static_cast<uint64_t>(status.st_size);
    try {
        return std::make_unique<PosixTraceFile>(descriptor);
    } catch (...) {
        ::close(descriptor);
        return nullptr;
    }
}

bool PosixTraceFiles::Replace(const std::string& from, const std::string& to) noexcept {
    return std::rename(from.c_str(), to.c_str()) == 0;
}
