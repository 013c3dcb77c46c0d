#include "tools/pagehost/page.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

namespace pagehost {
namespace {

using Attributes = std::map<std::string, std::string>;

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}
bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string Lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

// Position of `needle` in `html` at or after `from`, ignoring case.
size_t FindNoCase(std::string_view html, std::string_view needle, size_t from) {
    const auto at = std::search(html.begin() + static_cast<long>(std::min(from, html.size())), html.end(),
                                needle.begin(), needle.end(), [](char a, char b) { return Lower(a) == Lower(b); });
    return at == html.end() ? std::string_view::npos : static_cast<size_t>(at - html.begin());
}

// One start tag: its lower-case name, attributes, and where it ends.
struct Tag {
    std::string name;
    Attributes attributes;
    size_t end = 0;  // just past '>'
};

// Reads the tag whose '<' is at `at`; attribute names lower-cased.
Tag ReadTag(std::string_view html, size_t at) {
    Tag tag;
    size_t i = at + 1;
    while (i < html.size() && !IsSpace(html[i]) && html[i] != '>' && html[i] != '/') tag.name += Lower(html[i++]);
    while (i < html.size() && html[i] != '>') {
        if (IsSpace(html[i]) || html[i] == '/') {
            ++i;
            continue;
        }
        std::string name;
        while (i < html.size() && !IsSpace(html[i]) && html[i] != '=' && html[i] != '>') name += Lower(html[i++]);
        while (i < html.size() && IsSpace(html[i])) ++i;
        std::string value;
        if (i < html.size() && html[i] == '=') {
            ++i;
            while (i < html.size() && IsSpace(html[i])) ++i;
            if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
                const char quote = html[i++];
                const size_t close = html.find(quote, i);
                const size_t stop = close == std::string_view::npos ? html.size() : close;
                value = DecodeEntities(html.substr(i, stop - i));
                i = std::min(stop + 1, html.size());
            } else {
                const size_t start = i;
                while (i < html.size() && !IsSpace(html[i]) && html[i] != '>') ++i;
                value = DecodeEntities(html.substr(start, i - start));
            }
        }
        if (!name.empty()) tag.attributes.emplace(std::move(name), std::move(value));
    }
    tag.end = std::min(i + 1, html.size());
    return tag;
}

std::string Attribute(const Attributes& attributes, const char* name) {
    const auto found = attributes.find(name);
    return found == attributes.end() ? std::string() : found->second;
}

int Number(const std::string& text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// "clsid:{XXXX...}" or "clsid:XXXX..." → "XXXX..."; anything else as it is.
std::string ClassIdText(std::string text) {
    if (Lowered(text).rfind("clsid:", 0) == 0) text.erase(0, 6);
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '{' || c == '}' || IsSpace(c); }),
               text.end());
    return text;
}

int LineAt(std::string_view html, size_t at) {
    return 1 + static_cast<int>(std::count(html.begin(), html.begin() + static_cast<long>(at), '\n'));
}

// The params of the object whose start tag ends at `from`, up to </object>.
size_t ReadObject(std::string_view html, const Tag& tag, PageObject& object) {
    object.id = Attribute(tag.attributes, "id");
    if (object.id.empty()) object.id = Attribute(tag.attributes, "name");
    object.classId = ClassIdText(Attribute(tag.attributes, "classid"));
    object.width = Number(Attribute(tag.attributes, "width"));
    object.height = Number(Attribute(tag.attributes, "height"));
    const size_t close = FindNoCase(html, "</object", tag.end);
    const size_t stop = close == std::string_view::npos ? html.size() : close;
    for (size_t at = html.find('<', tag.end); at < stop; at = html.find('<', at + 1)) {
        const Tag inner = ReadTag(html, at);
        if (inner.name == "param")
            object.params.emplace_back(Attribute(inner.attributes, "name"), Attribute(inner.attributes, "value"));
    }
    return stop;
}

// The text of an element whose content is raw text (script, title).
size_t ReadRawText(std::string_view html, size_t from, std::string_view closeTag, std::string& text) {
    const size_t close = FindNoCase(html, closeTag, from);
    const size_t stop = close == std::string_view::npos ? html.size() : close;
    text = std::string(html.substr(from, stop - from));
    return stop;
}

}  // namespace

std::string DecodeEntities(std::string_view text) {
    static const std::map<std::string, char> named{
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t semicolon = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
        if (semicolon == std::string_view::npos || semicolon - i > 8) {
            out += text[i];
            continue;
        }
        const std::string name(text.substr(i + 1, semicolon - i - 1));
        int code = -1;
        if (const auto found = named.find(name); found != named.end()) {
            code = found->second;
        } else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const char* first = name.data() + (hex ? 2 : 1);
            int value = 0;
            const auto [end, error] = std::from_chars(first, name.data() + name.size(), value, hex ? 16 : 10);
            if (error == std::errc() && end == name.data() + name.size() && value > 0 && value < 128) code = value;
        }
        if (code < 0) {
            out += text[i];
            continue;
        }
        out += static_cast<char>(code);
        i = semicolon;
    }
    return out;
}

Page ParsePage(std::string_view html) {
    Page page;
    for (size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at)) {
        if (html.compare(at, 4, "<!--") == 0) {
            const size_t close = html.find("-->", at + 4);
            at = close == std::string_view::npos ? html.size() : close + 3;
            continue;
        }
        const Tag tag = ReadTag(html, at);
        at = tag.end;
        if (tag.name == "object") {
            PageObject object;
            at = ReadObject(html, tag, object);
            page.objects.push_back(std::move(object));
        } else if (tag.name == "script") {
            PageScript script;
            script.source = Attribute(tag.attributes, "src");
            script.forId = Attribute(tag.attributes, "for");
            script.event = Attribute(tag.attributes, "event");
            script.line = LineAt(html, tag.end);
            at = ReadRawText(html, tag.end, "</script", script.text);
            page.scripts.push_back(std::move(script));
        } else if (tag.name == "title") {
            at = ReadRawText(html, tag.end, "</title", page.title);
        } else if (tag.name == "body") {
            page.onload = Attribute(tag.attributes, "onload");
            page.onloadLine = LineAt(html, tag.end);
        }
    }
    return page;
}

}  // namespace pagehost
