// Writes what the C++ core answers for a set of inputs as JSON, so that the
// WebHID library's tests (web/test/) are held to the same answers: the
// certificate vectors and their one-octet mutations, Base64 decoding with
// the buffer bound, the reports a message becomes, what a stream of reports
// reads as, and the CA download's commands and result codes.
//
//   write_web_vectors OUTPUT.json
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "codec/base64.h"
#include "certificate/certificate.h"
#include "certificate/strict_der_certificate.h"
#include "device/download_ca.h"
#include "device/hid_framing.h"
#include "sim/memory_report_link.h"
#include "sim/responders.h"
#include "tests/vectors/certificate_vectors.h"
#include "tools/json/json_writer.h"

namespace {

constexpr uint32_t kMessageBuffer = 4096;

std::string Hex(const uint8_t* bytes, size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::string Hex(const Bytes& bytes) {
    return Hex(bytes.data(), bytes.size());
}

// A link that serves prepared reports and, when `endless`, repeats the last
// one for ever, like a reader that never ends its answer.
class ScriptedLink final : public ReportLink {
public:
    ScriptedLink(std::vector<Report> reports, bool endless) : reports_(std::move(reports)), endless_(endless) {}

    bool WriteReport(const uint8_t* report, size_t length) override {
        if (writesLeft_ == 0) return false;
        if (writesLeft_ > 0) --writesLeft_;
        written_.emplace_back(report, report + length);
        return true;
    }
    bool ReadReport(uint8_t* report, size_t length) override {
        if (next_ >= reports_.size() && !(endless_ && !reports_.empty())) return false;
        const Report& served = reports_[next_ < reports_.size() ? next_ : reports_.size() - 1];
        ++next_;
        if (served.size() != length) return false;
        std::copy(served.begin(), served.end(), report);
        return true;
    }
    void Cancel() override {}

    void FailWritesAfter(int count) { writesLeft_ = count; }
    const std::vector<Report>& Written() const { return written_; }
    size_t ReportsRead() const { return next_; }

private:
    std::vector<Report> reports_;
    bool endless_;
    size_t next_ = 0;
    int writesLeft_ = -1;
    std::vector<Report> written_;
};

struct Device {
    ScriptedLink* link;
    HidDevicePtr device;
};

Device MakeDevice(uint16_t reportLen, std::vector<Report> toRead = {}, bool endless = false) {
    auto link = std::make_unique<ScriptedLink>(std::move(toRead), endless);
    ScriptedLink* raw = link.get();
    return {raw, MakeHidDevice("vectors", std::move(link), reportLen)};
}

void HexList(JsonWriter& json, const std::vector<Report>& reports) {
    json.BeginArray();
    for (const Report& report : reports) json.String(Hex(report));
    json.EndArray();
}

void OptionalString(JsonWriter& json, const std::optional<std::string>& text) {
    if (text)
        json.String(*text);
    else
        json.Null();
}

void WriteCertificates(JsonWriter& json) {
    json.Key("certificates").BeginArray();
    for (const CertificateVector& vector : CertificateVectors()) {
        json.BeginObject();
        json.Key("name").String(vector.name);
        json.Key("text").String(vector.text);
        json.Key("validity");
        OptionalString(json, vector.validity);
        json.Key("serial");
        OptionalString(json, vector.serial);
        json.EndObject();
    }
    json.EndArray();
}

// Every parsed certificate of the vectors with one octet changed at every
// position in a few ways, given as the certificate it came from, the
// position and the new octet, with whether the strict-DER gate takes it and,
// if the parser then gives fields, the two texts.
void WriteMutations(JsonWriter& json) {
    std::vector<std::vector<uint8_t>> bases;
    for (const CertificateVector& vector : CertificateVectors()) {
        const auto certificate = DecodeCertificateText(vector.text);
        if (vector.validity && certificate && certificate->size() <= 1024) bases.push_back(*certificate);
    }
    json.Key("mutationBases").BeginArray();
    for (const auto& base : bases) json.String(Hex(base.data(), base.size()));
    json.EndArray();

    json.Key("mutations").BeginArray();
    for (size_t index = 0; index < bases.size(); ++index) {
        std::vector<uint8_t> mutation = bases[index];
        for (size_t at = 0; at < mutation.size(); ++at) {
            const uint8_t octet = bases[index][at];
            for (const uint8_t changed : {uint8_t(octet ^ 0x01), uint8_t(octet ^ 0x20), uint8_t(octet ^ 0x80),
                                          uint8_t(octet + 1), uint8_t(octet - 1), uint8_t(0x00), uint8_t(0xFF)}) {
                if (changed == octet) continue;
                mutation[at] = changed;
                const auto fields = ParseCertificate(mutation.data(), mutation.size());
                json.BeginArray();
                json.Number(static_cast<int64_t>(index)).Number(static_cast<int64_t>(at)).Number(changed);
                json.Bool(IsStrictDerCertificate(mutation.data(), mutation.size()));
                if (fields) json.String(ValidityText(*fields)).String(SerialText(*fields));
                json.EndArray();
            }
            mutation[at] = octet;
        }
    }
    json.EndArray();
}

void WriteBase64(JsonWriter& json) {
    const std::string full4096 = Base64().Encode(sim::PatternBytes(4096).data(), 4096);
    const std::vector<std::string> texts = {
        "",
        "A",
        "AQ",
        "AQ=",
        "AQ==",
        "AQI",
        "AQI=",
        "AQID",
        "AQIDBA",
        "AQIDBAU",
        "AQ==AQID",
        "AQID=AQID",
        "AQ ID",
        "AQID\r\nBAUG",
        "AQID\tBA",
        "-_-_",
        "AQ\xC3\xA9ID",
        "\x80",
        "=AQID",
        "A=QI",
        "AQ*ID",
        "////",
        "++++",
        "AQIDB",
        "AQIDBAUGBwgJ",
        full4096,
        full4096 + "AQID",
        std::string(5461, 'A'),
        std::string(5462, 'A'),
        std::string(5463, 'A'),
        std::string(5464, 'A'),
        std::string(5464, 'A') + "==",
        std::string(5462, 'A') + "==",
        "AR==",
        "AQJ=",
        "AQI==",
        "AQID\n",
        " AQID",
    };
    json.Key("base64Decode").BeginArray();
    for (const std::string& text : texts) {
        for (const uint32_t capacity : {kMessageBuffer, 2u}) {
            std::vector<uint8_t> buffer(capacity);
            uint32_t count = 0;
            const bool kept = Base64().Decode(text, buffer.data(), capacity, count);
            json.BeginObject();
            json.Key("text").String(text);
            json.Key("capacity").Number(capacity);
            json.Key("bytes");
            if (kept)
                json.String(Hex(buffer.data(), count));
            else
                json.Null();
            // The same text decoded only when it is one whole encoding.
            const bool whole = Base64().DecodeStrict(text, buffer.data(), capacity, count);
            json.Key("whole");
            if (whole)
                json.String(Hex(buffer.data(), count));
            else
                json.Null();
            json.EndObject();
        }
    }
    json.EndArray();

    json.Key("base64Encode").BeginArray();
    for (const uint32_t length : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 62u, 63u, 64u, 255u, 4096u}) {
        const Bytes bytes = sim::PatternBytes(length);
        json.BeginObject();
        json.Key("bytes").String(Hex(bytes));
        json.Key("text").String(Base64().Encode(bytes.data(), length));
        json.EndObject();
    }
    json.EndArray();
}

void WriteFramingWrites(JsonWriter& json) {
    json.Key("framingWrites").BeginArray();
    for (const uint16_t reportLen : {3, 4, 9, 33, 64, 65}) {
        for (const uint32_t length :
             {0u, 1u, 2u, 3u, 7u, 8u, 62u, 63u, 64u, 65u, 125u, 126u, 127u, 128u, 134u, 4096u}) {
            for (const int failAfter : {-1, 0, 1, 2}) {
                if (failAfter >= 0 && (length != 134 || reportLen != 65)) continue;
                auto [link, device] = MakeDevice(reportLen);
                link->FailWritesAfter(failAfter);
                const Bytes message = sim::PatternBytes(length);
                const bool sent = WriteHidMessage(*device, message.data(), length);
                json.BeginObject();
                json.Key("reportLen").Number(reportLen);
                json.Key("length").Number(length);
                json.Key("failWritesAfter").Number(failAfter);
                json.Key("sent").Bool(sent);
                json.Key("reports");
                HexList(json, link->Written());
                json.EndObject();
            }
        }
    }
    json.EndArray();
}

struct ReadCase {
    std::string name;
    uint16_t reportLen;
    uint32_t capacity;
    std::vector<Report> reports;
    bool endless = false;
};

std::vector<Report> Then(std::vector<Report> first, const std::vector<Report>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::vector<ReadCase> ReadCases() {
    using sim::PatternBytes;
    std::vector<ReadCase> cases;
    for (const uint16_t reportLen : {3, 9, 65}) {
        const std::string l = " (L " + std::to_string(reportLen) + ")";
        for (const uint32_t length : {0u, 1u, 2u, 7u, 63u, 64u, 126u, 127u, 134u, 4096u})
            cases.push_back({"message of " + std::to_string(length) + l, reportLen, kMessageBuffer,
                             FrameMessage(PatternBytes(length), reportLen)});
        cases.push_back({"one byte over the buffer" + l, reportLen, kMessageBuffer,
                         Then(FrameMessage(PatternBytes(4097), reportLen), FrameMessage({1, 2}, reportLen))});
        cases.push_back({"stray reports first" + l, reportLen, kMessageBuffer,
                         Then({MakeReport(reportLen, 0x42, {0xEE}), MakeReport(reportLen, 0x81, {0xEE}),
                               MakeReport(reportLen, 0xC1, {0xEE})},
                              FrameMessage({1, 2, 3}, reportLen))});
        cases.push_back({"count over the payload" + l,
                         reportLen,
                         kMessageBuffer,
                         {MakeReport(reportLen, 0x3F, PatternBytes(63)), MakeReport(reportLen, 0x80)}});
        cases.push_back(
            {"never ends" + l,
             reportLen,
             kMessageBuffer,
             {MakeReport(reportLen, static_cast<uint8_t>(reportLen - 2), PatternBytes(reportLen - 2)),
              MakeReport(reportLen, static_cast<uint8_t>(0x40 | (reportLen - 2)), PatternBytes(reportLen - 2))},
             true});
        cases.push_back({"only stray reports, for ever" + l,
                         reportLen,
                         kMessageBuffer,
                         {MakeReport(reportLen, 0x41, {0xEE})},
                         true});
        cases.push_back({"unplugged mid-answer" + l,
                         reportLen,
                         kMessageBuffer,
                         {FrameMessage(PatternBytes(300), reportLen).front()}});
        cases.push_back({"unplugged before answering" + l, reportLen, kMessageBuffer, {}});
        cases.push_back(
            {"short reports before the last" + l,
             reportLen,
             kMessageBuffer,
             {MakeReport(reportLen, 0x01, {7}), MakeReport(reportLen, 0x41, {8}), MakeReport(reportLen, 0x81, {9})}});
        cases.push_back(
            {"a new first report ends the message" + l,
             reportLen,
             kMessageBuffer,
             {MakeReport(reportLen, 0x01, {7}), MakeReport(reportLen, 0x01, {8}), MakeReport(reportLen, 0x80)}});
        cases.push_back({"middle and last bits together end the message" + l,
                         reportLen,
                         kMessageBuffer,
                         {MakeReport(reportLen, 0x01, {7}), MakeReport(reportLen, 0xC1, {8})}});
    }
    cases.push_back({"a report of the wrong length", 65, kMessageBuffer, {Report(64, 0)}});
    cases.push_back({"status word in the CA answer area", 65, 2048, FrameMessage({0x90, 0x00}, 65)});
    cases.push_back({"answer over the CA answer area", 65, 2048,
                     Then(FrameMessage(PatternBytes(2049), 65), FrameMessage({0x90, 0x00}, 65))});
    return cases;
}

void WriteFramingReads(JsonWriter& json) {
    json.Key("framingReads").BeginArray();
    for (const ReadCase& c : ReadCases()) {
        auto [link, device] = MakeDevice(c.reportLen, c.reports, c.endless);
        std::vector<uint8_t> buffer(c.capacity);
        uint32_t count = 0;
        const bool complete = ReadHidMessage(*device, buffer.data(), c.capacity, count);
        json.BeginObject();
        json.Key("name").String(c.name);
        json.Key("reportLen").Number(c.reportLen);
        json.Key("capacity").Number(c.capacity);
        json.Key("reports");
        HexList(json, c.reports);
        json.Key("endless").Bool(c.endless);
        json.Key("complete").Bool(complete);
        json.Key("bytes").String(Hex(buffer.data(), count));
        json.Key("reportsRead").Number(static_cast<int64_t>(link->ReportsRead()));
        json.EndObject();
    }
    json.EndArray();
}

struct CaCase {
    std::string name;
    int32_t variant;
    uint32_t length;
    std::vector<Bytes> answers;  // one message per block; fewer: the reader stops answering
    int failWritesAfter = -1;
};

std::vector<CaCase> CaCases() {
    const Bytes ok = {0x90, 0x00};
    const Bytes refused = {0x6A, 0x80};
    auto oks = [&](size_t n) { return std::vector<Bytes>(n, ok); };
    std::vector<CaCase> cases;
    for (const int32_t variant : {0, 3, -1, 256}) cases.push_back({"bad variant", variant, 10, oks(1)});
    for (const int32_t variant : {1, 2})
        for (const uint32_t length : {1u, 127u, 128u, 129u, 256u, 257u, 4096u, 8192u})
            cases.push_back({"accepted", variant, length, oks(64)});
    cases.push_back({"empty certificate", 1, 0, oks(1)});
    cases.push_back({"over 64 blocks", 1, 8193, oks(65)});
    cases.push_back({"last block refused", 1, 300, {ok, ok, refused}});
    cases.push_back({"earlier block refused", 2, 300, {ok, refused, ok}});
    cases.push_back({"three-byte answer to the last", 1, 100, {{0x90, 0x00, 0x00}}});
    cases.push_back({"three-byte answer to an earlier one", 1, 200, {{0x90, 0x00, 0x00}, ok}});
    cases.push_back({"empty answer", 1, 100, {{}}});
    cases.push_back({"no answer to the second block", 1, 300, {ok}});
    cases.push_back({"no answer at all", 1, 100, {}});
    cases.push_back({"overlong answer", 1, 300, {sim::PatternBytes(2049), ok, ok}});
    cases.push_back({"send fails at once", 1, 300, oks(3), 0});
    cases.push_back({"send fails in the second block", 1, 300, oks(3), 4});
    return cases;
}

void WriteCaDownloads(JsonWriter& json) {
    json.Key("caDownloads").BeginArray();
    for (const CaCase& c : CaCases()) {
        std::vector<Report> answers;
        for (const Bytes& answer : c.answers) answers = Then(std::move(answers), FrameMessage(answer, 65));
        auto [link, device] = MakeDevice(65, answers);
        link->FailWritesAfter(c.failWritesAfter);
        const Bytes certificate = sim::PatternBytes(c.length);
        const int32_t result = DownloadCA(*device, c.variant, certificate.data(), c.length);

        // What the reader received, message by message.
        std::vector<Report> commands;
        MessageAssembler assembler(65);
        for (const Report& report : link->Written())
            if (assembler.Add(report)) commands.push_back(assembler.Take());

        json.BeginObject();
        json.Key("name").String(c.name);
        json.Key("variant").Number(c.variant);
        json.Key("length").Number(c.length);
        json.Key("answers");
        HexList(json, c.answers);
        json.Key("failWritesAfter").Number(c.failWritesAfter);
        json.Key("result").Number(result);
        json.Key("commands");
        HexList(json, commands);
        json.Key("reportsWritten").Number(static_cast<int64_t>(link->Written().size()));
        json.EndObject();
    }
    json.EndArray();
}

}  // namespace

int main(int count, char** arguments) {
    if (count != 2) {
        std::fputs("usage: write_web_vectors OUTPUT.json\n", stderr);
        return 2;
    }
    const std::filesystem::path output(arguments[1]);
    std::error_code ignored;  // a folder that cannot be made shows when the file is written
    if (output.has_parent_path()) std::filesystem::create_directories(output.parent_path(), ignored);

    JsonWriter json;
    json.BeginObject();
    json.Key("messageBufferSize").Number(kMessageBuffer);
    json.Key("maxMessageBytes").Number(kMaxMessageBytes);
    WriteCertificates(json);
    WriteMutations(json);
    WriteBase64(json);
    WriteFramingWrites(json);
    WriteFramingReads(json);
    WriteCaDownloads(json);
    json.EndObject();
    return json.WriteTo(arguments[1]) ? 0 : 1;
}
