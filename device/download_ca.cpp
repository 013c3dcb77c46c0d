#include "device/download_ca.h"

#include <array>
#include <cstring>
#include <optional>

#include "device/hid_framing.h"

namespace {

constexpr uint8_t kCla = 0x18;
constexpr uint8_t kIns = 0xC6;
constexpr uint8_t kLastBlockNumber = 63;
// The command and answer areas are 2048 bytes each, as the download has always
// worked: far more than the longest command (kCaBlockSize + 6 = 134 bytes)
// and the two-byte answer. The answer area also bounds ReadHidMessage, so a
// reader that answers with more is refused, not written past the area.
constexpr size_t kAreaSize = 2048;
static_assert(kAreaSize >= kCaBlockSize + 6);

enum class Answer { Accepted, Refused, Malformed, Lost };

struct BlockExchange {
    HidDevice& device;
    ExchangeTimeout timeout;
    ReportDeadline firstBlockBy;
    std::optional<ExchangeDeadline> deadline;  // of the block in flight
    bool inStep = true;                        // no answer is owed
    bool sentAny = false;
    std::array<uint8_t, kAreaSize> command{};
    std::array<uint8_t, kAreaSize> answer{};

    bool Send(uint8_t p2, const uint8_t* bytes, uint32_t size) {
        command[0] = kCla;
        command[1] = kIns;
        command[2] = 0x00;
        command[3] = p2;
        command[4] = static_cast<uint8_t>(size);  // 128 is sent as 0x80
        std::memcpy(&command[5], bytes, size);
        command[5 + size] = 0x00;  // Le
        deadline.reset();
        if (!sentAny && firstBlockBy)
            deadline.emplace(device, firstBlockBy);
        else
            deadline.emplace(device, timeout);
        sentAny = true;
        // A block that did not reach the reader whole is not answered.
        inStep = !WriteHidMessage(device, command.data(), size + 6);
        return !inStep;
    }

    Answer Receive() {
        uint32_t count = 0;
        const bool complete =
            ReadHidMessage(device, answer.data(), static_cast<uint32_t>(answer.size()), count, &inStep);
        if (!complete) return Answer::Lost;
        if (count != 2) return Answer::Malformed;
        return answer[0] == 0x90 && answer[1] == 0x00 ? Answer::Accepted : Answer::Refused;
    }
};

int32_t Download(BlockExchange& exchange, int32_t nFlag, const uint8_t* data, uint32_t length) {
    if (nFlag != 1 && nFlag != 2) return kCaBadVariant;
    if (length == 0 || length > kMaxCaLength) return kCaSendFailed;

    const uint8_t variant = static_cast<uint8_t>(nFlag - 1);
    const uint32_t blocks = (length + kCaBlockSize - 1) / kCaBlockSize;

    for (uint32_t i = 0; i + 1 < blocks; ++i) {
        const auto p2 = static_cast<uint8_t>((i << 2) | variant);
        if (!exchange.Send(p2, data + i * kCaBlockSize, kCaBlockSize)) return kCaSendFailed;
        switch (exchange.Receive()) {
            case Answer::Accepted:
                break;
            case Answer::Lost:
                return kCaReceiveFailed;
            default:
                return kCaBadAnswer;
        }
    }

    const uint32_t offset = (blocks - 1) * kCaBlockSize;
    const auto p2 = static_cast<uint8_t>((kLastBlockNumber << 2) | variant);
    if (!exchange.Send(p2, data + offset, length - offset)) return kCaSendFailed;
    switch (exchange.Receive()) {
        case Answer::Accepted:
            return kCaLoaded;
        case Answer::Refused:
            return kCaRefused;
        case Answer::Lost:
            return kCaReceiveFailed;
        case Answer::Malformed:
            break;
    }
    return kCaBadAnswer;
}

}  // namespace

int32_t DownloadCA(HidDevice& device, int32_t nFlag, const uint8_t* data, uint32_t length, ExchangeTimeout timeout,
                   ReportDeadline firstBlockBy, bool* inStep) {
    BlockExchange exchange{device, timeout, firstBlockBy, std::nullopt};
    const int32_t result = Download(exchange, nFlag, data, length);
    if (inStep) *inStep = exchange.inStep;
    return result;
}
