#include "trace/trace_event.h"

#include <cstdio>

namespace {

bool NeedsQuotes(std::string_view text) {
    if (text.empty()) return true;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '"' || c == '=' || c == '\\') return true;
    }
    return false;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace

TraceEvent::TraceEvent(std::string_view name) : text_(name) {}

TraceEvent& TraceEvent::Add(std::string_view key, std::string_view text) {
    text_ += ' ';
    text_ += key;
    text_ += '=';
    if (NeedsQuotes(text))
        AppendQuoted(text_, text);
    else
        text_ += text;
    return *this;
}

TraceEvent& TraceEvent::AddHex(std::string_view key, const uint8_t* data, size_t length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    text_ += ' ';
    text_ += key;
    text_ += '=';
    if (length == 0) {
        text_ += "\"\"";
        return *this;
    }
    const size_t start = text_.size();
    text_.resize(start + 2 * length);
    for (size_t i = 0; i < length; ++i) {
        text_[start + 2 * i] = kDigits[data[i] >> 4];
        text_[start + 2 * i + 1] = kDigits[data[i] & 0x0F];
    }
    return *this;
}

std::string TraceLine(const TraceStamp& stamp, const TraceEvent& event) {
    using namespace std::chrono;
    const auto instant = floor<milliseconds>(stamp.time);
    const auto day = floor<days>(instant);
    const year_month_day date(day);
    const hh_mm_ss time(instant - day);
    char head[128];
    std::snprintf(head, sizeof head, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ pid=%u tid=%u control=%u ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()),
                  static_cast<unsigned>(stamp.processId), static_cast<unsigned>(stamp.threadId),
                  static_cast<unsigned>(stamp.control));
    std::string line = head;
    line += event.Text();
    line += "\r\n";
    return line;
}
