#include "sim/reader_config.h"

#include <charconv>
#include <stdexcept>

namespace {

// Bounds that keep a typing error from asking for gigabytes or hours.
constexpr uint32_t kMaxAnswerLength = 1u << 20;
constexpr uint32_t kMaxStrayReports = 10000;
constexpr uint32_t kMaxDelayMs = 60000;
// What a reader of the `unsolicited` behaviour sends unasked.
const Bytes kUnsolicitedMessage = {0x55, 0x4E, 0x41, 0x53, 0x4B, 0x45, 0x44};  // "UNASKED"

struct ConfigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Tokens {
public:
    explicit Tokens(std::string_view line) {
        line = line.substr(0, line.find('#'));
        size_t at = 0;
        while (at < line.size()) {
            const size_t start = line.find_first_not_of(" \t\r\n", at);
            if (start == std::string_view::npos) break;
            const size_t end = std::min(line.find_first_of(" \t\r\n", start), line.size());
            words_.emplace_back(line.substr(start, end - start));
            at = end;
        }
    }

    bool Empty() const { return next_ == words_.size(); }
    bool Peek(std::string_view word) const { return !Empty() && words_[next_] == word; }
    std::string Take(const char* what) {
        if (Empty()) throw ConfigError(std::string("missing ") + what);
        return words_[next_++];
    }
    uint32_t Number(const char* what, uint32_t max, int base = 10) {
        std::string word = Take(what);
        std::string_view digits = word;
        if (base == 16 && (digits.starts_with("0x") || digits.starts_with("0X"))) digits.remove_prefix(2);
        uint32_t value = 0;
        const auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
        if (digits.empty() || status != std::errc() || end != digits.data() + digits.size() || value > max)
            throw ConfigError(std::string("bad ") + what + " '" + word + "'");
        return value;
    }

private:
    std::vector<std::string> words_;
    size_t next_ = 0;
};

Bytes HexBytes(const std::string& text) {
    if (text.empty() || text.size() % 2 != 0) throw ConfigError("bad hex bytes '" + text + "'");
    Bytes bytes;
    for (size_t i = 0; i < text.size(); i += 2) {
        uint8_t value = 0;
        const auto [end, status] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (status != std::errc() || end != text.data() + i + 2) throw ConfigError("bad hex bytes '" + text + "'");
        bytes.push_back(value);
    }
    return bytes;
}

BehaviourFactory Plain(std::function<Responder()> make) {
    return [make = std::move(make)] { return Behaviour{make(), {}}; };
}

// Wraps the responder that `inner` makes, keeping its CA readers.
BehaviourFactory Wrapped(BehaviourFactory inner, std::function<Responder(Responder)> wrap) {
    return [inner = std::move(inner), wrap = std::move(wrap)] {
        Behaviour behaviour = inner();
        behaviour.responder = wrap(std::move(behaviour.responder));
        return behaviour;
    };
}

BehaviourFactory CaBehaviour(Tokens& tokens) {
    sim::CaReader::Options options;
    options.variant = static_cast<int>(tokens.Number("CA variant", 2));
    if (options.variant < 1) throw ConfigError("bad CA variant '0'");
    for (;;) {
        if (tokens.Peek("refuse")) {
            tokens.Take("refuse");
            options.refuseBlock = static_cast<int>(tokens.Number("block to refuse", 63));
        } else if (tokens.Peek("wrong-length")) {
            tokens.Take("wrong-length");
            options.wrongLengthBlock = static_cast<int>(tokens.Number("block to answer wrongly", 63));
        } else if (tokens.Peek("echo-others")) {
            tokens.Take("echo-others");
            options.echoOthers = true;
        } else {
            break;
        }
    }
    return [options] {
        auto reader = sim::CaReader::Make(options);
        return Behaviour{reader->AsResponder(), {reader}};
    };
}

BehaviourFactory Term(Tokens& tokens) {
    const std::string word = tokens.Take("behaviour");
    if (word == "echo") return Plain(sim::Echo);
    if (word == "silent") return Plain(sim::Silent);
    if (word == "count-over") return Plain(sim::CountOverPayload);
    if (word == "endless") return Plain(sim::EndlessMiddle);
    if (word == "unplug-on-command") return Plain(sim::UnplugOnCommand);
    if (word == "fixed") {
        Bytes answer = HexBytes(tokens.Take("answer bytes"));
        return Plain([answer] { return sim::Fixed(answer); });
    }
    if (word == "length") {
        const uint32_t length = tokens.Number("answer length", kMaxAnswerLength);
        return Plain([length] { return sim::AnswerOfLength(length); });
    }
    if (word == "ca") return CaBehaviour(tokens);
    if (word == "stray") {
        const auto count = static_cast<int>(tokens.Number("stray report count", kMaxStrayReports));
        return Wrapped(Term(tokens),
                       [count](Responder inner) { return sim::StrayReportsFirst(std::move(inner), count); });
    }
    if (word == "unplug-after") {
        const uint32_t reports = tokens.Number("report count", kMaxStrayReports);
        return Wrapped(Term(tokens),
                       [reports](Responder inner) { return sim::UnplugAfterReports(std::move(inner), reports); });
    }
    if (word == "pause-after") {
        const uint32_t reports = tokens.Number("report count", kMaxStrayReports);
        const uint32_t ms = tokens.Number("pause", kMaxDelayMs);
        return Wrapped(Term(tokens), [reports, ms](Responder inner) {
            return sim::PauseAfterReports(std::move(inner), reports, ms);
        });
    }
    if (word == "unsolicited") {
        return Wrapped(Term(tokens),
                       [](Responder inner) { return sim::ThenUnsolicited(std::move(inner), kUnsolicitedMessage); });
    }
    if (word == "delay") {
        const uint32_t ms = tokens.Number("delay", kMaxDelayMs);
        return Wrapped(Term(tokens), [ms](Responder inner) { return sim::Delayed(std::move(inner), ms); });
    }
    throw ConfigError("unknown behaviour '" + word + "'");
}

// term ('then' term)*: the n-th command is answered by the n-th term, the
// last one answers the rest.
BehaviourFactory BehaviourOf(Tokens& tokens) {
    std::vector<BehaviourFactory> terms{Term(tokens)};
    while (tokens.Peek("then")) {
        tokens.Take("then");
        terms.push_back(Term(tokens));
    }
    if (terms.size() == 1) return terms.front();
    return [terms] {
        Behaviour sequence;
        std::vector<Responder> responders;
        for (const BehaviourFactory& term : terms) {
            Behaviour behaviour = term();
            responders.push_back(std::move(behaviour.responder));
            sequence.caReaders.insert(sequence.caReaders.end(), behaviour.caReaders.begin(), behaviour.caReaders.end());
        }
        sequence.responder = sim::Sequence(std::move(responders));
        return sequence;
    };
}

ReaderSpec Reader(Tokens& tokens) {
    ReaderSpec description;
    description.vendorId = static_cast<uint16_t>(tokens.Number("vendor id", 0xFFFF, 16));
    description.productId = static_cast<uint16_t>(tokens.Number("product id", 0xFFFF, 16));
    description.reportLen = static_cast<uint16_t>(tokens.Number("report length", 0xFFFF));
    if (tokens.Peek("unopenable")) {
        tokens.Take("unopenable");
        description.openable = false;
    } else if (tokens.Peek("shared")) {
        tokens.Take("shared");
        description.sharedName = tokens.Take("shared reader's name");
        if (description.sharedName.find_first_not_of(
                "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_") != std::string::npos)
            throw ConfigError("bad shared reader's name '" + description.sharedName + "'");
    } else {
        description.behaviour = BehaviourOf(tokens);
    }
    if (!tokens.Empty()) throw ConfigError("unexpected '" + tokens.Take("word") + "'");
    return description;
}

}  // namespace

ParsedLine ParseReaderLine(std::string_view line) {
    Tokens tokens(line);
    if (tokens.Empty()) return {};
    try {
        return {Reader(tokens), {}};
    } catch (const ConfigError& error) {
        return {std::nullopt, error.what()};
    }
}

ParsedConfig ParseReaderConfig(std::istream& text) {
    ParsedConfig config;
    std::string line;
    for (size_t number = 1; std::getline(text, line); ++number) {
        ParsedLine parsed = ParseReaderLine(line);
        if (!parsed.error.empty()) return {{}, number, std::move(parsed.error)};
        if (parsed.reader) config.readers.push_back(std::move(*parsed.reader));
    }
    return config;
}
