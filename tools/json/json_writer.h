// A small streaming JSON writer: objects, arrays, strings, integers,
// booleans and null. Bytes from 0x80 up are written either as \u00XX each,
// so that 8-bit text stays byte for byte (the test vectors), or as they are,
// for UTF-8 text (readerprobe).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum class JsonHighBytes { Escaped, Utf8 };

class JsonWriter {
public:
    explicit JsonWriter(JsonHighBytes highBytes = JsonHighBytes::Escaped) : highBytes_(highBytes) {}

    JsonWriter& BeginObject() { return Open('{'); }
    JsonWriter& EndObject() { return Close('}'); }
    JsonWriter& BeginArray() { return Open('['); }
    JsonWriter& EndArray() { return Close(']'); }

    JsonWriter& Key(const std::string& key) {
        String(key);
        out_ += ':';
        afterKey_ = true;
        return *this;
    }

    JsonWriter& String(const std::string& text) {
        Separate();
        out_ += '"';
        for (const unsigned char c : text) {
            if (c == '"' || c == '\\') {
                out_ += '\\';
                out_ += static_cast<char>(c);
            } else if (c < 0x20 || c == 0x7F || (c > 0x7F && highBytes_ == JsonHighBytes::Escaped)) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", c);
                out_ += escape;
            } else {
                out_ += static_cast<char>(c);
            }
        }
        out_ += '"';
        return *this;
    }

    JsonWriter& Number(int64_t value) { return Raw(std::to_string(value)); }
    JsonWriter& String(const char* text) { return String(std::string(text ? text : "")); }
    JsonWriter& Bool(bool value) { return Raw(value ? "true" : "false"); }
    JsonWriter& Null() { return Raw("null"); }

    // What was written; a complete document ends with a newline.
    const std::string& Text() const { return out_; }

    bool WriteTo(const char* path) const {
        std::FILE* file = std::fopen(path, "wb");
        if (!file) {
            std::perror(path);
            return false;
        }
        const bool written = std::fwrite(out_.data(), 1, out_.size(), file) == out_.size();
        return std::fclose(file) == 0 && written;
    }

private:
    // A comma before every element of a container but its first; none
    // between a key and its value.
    void Separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (!first_.empty()) {
            if (!first_.back()) out_ += ',';
            first_.back() = false;
        }
    }
    JsonWriter& Raw(const std::string& text) {
        Separate();
        out_ += text;
        return *this;
    }
    JsonWriter& Open(char bracket) {
        Separate();
        out_ += bracket;
        first_.push_back(true);
        return *this;
    }
    JsonWriter& Close(char bracket) {
        first_.pop_back();
        out_ += bracket;
        if (first_.empty()) out_ += '\n';
        return *this;
    }

    const JsonHighBytes highBytes_;
    std::string out_;
    std::vector<bool> first_;
    bool afterKey_ = false;
};
