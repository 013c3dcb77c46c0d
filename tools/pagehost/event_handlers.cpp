#include "tools/pagehost/event_handlers.h"

#include <cctype>

namespace pagehost {
namespace {

bool IsIdentifierChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$';
}

size_t SkipSpaces(std::string_view text, size_t at) {
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    return at;
}

size_t IdentifierEnd(std::string_view text, size_t at) {
    while (at < text.size() && IsIdentifierChar(text[at])) ++at;
    return at;
}

// Where the string literal or comment starting at `at` ends, or `at` when
// none starts there.
size_t SkipLiteral(std::string_view text, size_t at) {
    const char c = text[at];
    if (c == '"' || c == '\'') {
        size_t i = at + 1;
        while (i < text.size() && text[i] != c && text[i] != '\n') i += text[i] == '\\' ? 2 : 1;
        return std::min(i + 1, text.size());
    }
    if (text.compare(at, 2, "//") == 0) {
        const size_t end = text.find('\n', at);
        return end == std::string_view::npos ? text.size() : end;
    }
    if (text.compare(at, 2, "/*") == 0) {
        const size_t end = text.find("*/", at + 2);
        return end == std::string_view::npos ? text.size() : end + 2;
    }
    return at;
}

// At `at` stands `function id::Name`: the binding and where the name ends.
bool ReadScopedName(std::string_view text, size_t at, EventBinding& binding, size_t& nameStart, size_t& nameEnd) {
    nameStart = SkipSpaces(text, at + 8);
    const size_t idEnd = IdentifierEnd(text, nameStart);
    const size_t colons = SkipSpaces(text, idEnd);
    if (idEnd == nameStart || text.compare(colons, 2, "::") != 0) return false;
    const size_t eventStart = SkipSpaces(text, colons + 2);
    nameEnd = IdentifierEnd(text, eventStart);
    if (nameEnd == eventStart) return false;
    binding.objectId = std::string(text.substr(nameStart, idEnd - nameStart));
    binding.event = std::string(text.substr(eventStart, nameEnd - eventStart));
    binding.function = HandlerName(binding.objectId, binding.event);
    return true;
}

}  // namespace

std::string HandlerName(std::string_view objectId, std::string_view event) {
    return "__pagehost_" + std::string(objectId) + "__" + std::string(event);
}

RewrittenScript RewriteScopedHandlers(std::string_view script) {
    RewrittenScript result;
    size_t copied = 0;
    for (size_t at = 0; at < script.size();) {
        if (const size_t skipped = SkipLiteral(script, at); skipped != at) {
            at = skipped;
            continue;
        }
        const bool wordStart = at == 0 || !IsIdentifierChar(script[at - 1]);
        EventBinding binding;
        size_t nameStart = 0, nameEnd = 0;
        if (wordStart && script.compare(at, 8, "function") == 0 && at + 8 < script.size() &&
            !IsIdentifierChar(script[at + 8]) && ReadScopedName(script, at, binding, nameStart, nameEnd)) {
            result.text.append(script.substr(copied, nameStart - copied));
            result.text.append(binding.function);
            result.bindings.push_back(std::move(binding));
            copied = at = nameEnd;
            continue;
        }
        ++at;
    }
    result.text.append(script.substr(copied));
    return result;
}

RewrittenScript HandlerFromForEvent(std::string_view objectId, std::string_view event, std::string_view body) {
    const size_t nameStart = SkipSpaces(event, 0);
    const size_t nameEnd = IdentifierEnd(event, nameStart);
    const size_t rest = SkipSpaces(event, nameEnd);
    std::string_view arguments;
    if (rest < event.size()) {
        const size_t close = event.find(')', rest);
        if (event[rest] != '(' || close == std::string_view::npos || SkipSpaces(event, close + 1) != event.size())
            return {};
        arguments = event.substr(rest + 1, close - rest - 1);
    }
    if (nameEnd == nameStart || objectId.empty()) return {};
    EventBinding binding{std::string(objectId), std::string(event.substr(nameStart, nameEnd - nameStart)), {}};
    binding.function = HandlerName(binding.objectId, binding.event);
    // On one line with the body's first line, so line numbers stay the page's.
    RewrittenScript result;
    result.text = "function " + binding.function + "(" + std::string(arguments) + ") {" + std::string(body) + "\n}";
    result.bindings.push_back(std::move(binding));
    return result;
}

}  // namespace pagehost
