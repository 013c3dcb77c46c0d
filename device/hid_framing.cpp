#include "device/hid_framing.h"

#include <cstring>

namespace {

constexpr size_t kPayloadOffset = 2;

uint32_t PayloadCapacity(const HidDevice& device) {
    return device.nReportLen - kPayloadOffset;
}

bool WriteReport(HidDevice& device, uint8_t control, const uint8_t* chunk, uint32_t size) {
    uint8_t* report = device.outReport.data();
    report[0] = 0;
    report[1] = control;
    if (size != 0) std::memcpy(report + kPayloadOffset, chunk, size);
    // Stale bytes of an earlier message are not the reader's business.
    std::memset(report + kPayloadOffset + size, 0, PayloadCapacity(device) - size);
    return device.hDevice->WriteReport(report, device.nReportLen);
}

bool IsStartOfMessage(uint8_t control) {
    return (control & (kMiddleReport | kLastReport)) == 0;
}

bool IsMiddle(uint8_t control) {
    return (control & (kMiddleReport | kLastReport)) == kMiddleReport;
}

// Collects one message's payload into the caller's buffer without ever
// writing past it; remembers when the message cannot be kept.
class MessageSink {
public:
    MessageSink(uint8_t* buffer, uint32_t capacity, uint32_t payloadCapacity, uint32_t& count)
        : buffer_(buffer), capacity_(capacity), payloadCapacity_(payloadCapacity), count_(count) {}

    void Store(const uint8_t* report) {
        const uint32_t size = report[1] & kCountMask;
        if (size > payloadCapacity_ || size > capacity_ - count_) {
            spoiled_ = true;
            return;
        }
        if (spoiled_) return;
        // Stored one after another: a short report before the last leaves no
        // gap of stale bytes in the answer.
        std::memcpy(buffer_ + count_, report + kPayloadOffset, size);
        count_ += size;
    }

    bool Finish(bool complete) {
        if (spoiled_) count_ = 0;
        return complete && !spoiled_;
    }

    void Spoil() { spoiled_ = true; }

private:
    uint8_t* buffer_;
    uint32_t capacity_;
    uint32_t payloadCapacity_;
    uint32_t& count_;
    bool spoiled_ = false;
};

}  // namespace

bool WriteHidMessage(HidDevice& device, const uint8_t* message, uint32_t length) {
    if (length == 0) return false;
    // Whatever arrived unasked since the last answer would otherwise be read
    // as this message's answer, and every later answer would be one behind.
    device.hDevice->DiscardQueued();
    const uint32_t payload = PayloadCapacity(device);
    if (length <= payload) {
        return WriteReport(device, static_cast<uint8_t>(length), message, length) &&
               WriteReport(device, kLastReport, nullptr, 0);
    }
    uint32_t offset = 0;
    uint8_t position = 0;  // the first report carries no position bit
    while (length - offset > payload) {
        if (!WriteReport(device, static_cast<uint8_t>(position | payload), message + offset, payload)) return false;
        offset += payload;
        position = kMiddleReport;
    }
    const uint32_t rest = length - offset;
    return WriteReport(device, static_cast<uint8_t>(kLastReport | rest), message + offset, rest);
}

bool ReadHidMessage(HidDevice& device, uint8_t* buffer, uint32_t capacity, uint32_t& count, bool* ended) {
    count = 0;
    if (ended) *ended = false;
    const uint32_t payload = PayloadCapacity(device);
    uint8_t* report = device.inReport.data();
    const size_t length = device.nReportLen;
    uint32_t reportsLeft = kMaxMessageBytes / payload + 2;

    do {  // nothing is collected until a report starts a message
        if (reportsLeft-- == 0 || !device.hDevice->ReadReport(report, length)) return false;
    } while (!IsStartOfMessage(report[1]));

    MessageSink sink(buffer, capacity, payload, count);
    sink.Store(report);
    do {
        if (reportsLeft-- == 0) {
            sink.Spoil();
            return sink.Finish(false);
        }
        if (!device.hDevice->ReadReport(report, length)) return sink.Finish(false);
        sink.Store(report);
    } while (IsMiddle(report[1]));
    if (ended) *ended = true;
    return sink.Finish(true);
}

bool SkipToEndOfMessage(HidDevice& device) {
    uint8_t* report = device.inReport.data();
    for (uint32_t reportsLeft = kMaxMessageBytes / PayloadCapacity(device) + 2; reportsLeft != 0; --reportsLeft) {
        if (!device.hDevice->ReadReport(report, device.nReportLen)) return false;
        if (report[1] & kLastReport) return true;
    }
    return false;
}
