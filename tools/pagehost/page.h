// What pagehost needs of an HTML page: its objects with their params, its
// scripts in document order, and the body's onload text. A small scanner,
// not an HTML parser: it knows the handful of elements a control page uses
// and skips everything else.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pagehost {

struct PageObject {
    std::string id;
    std::string classId;  // the text after "clsid:", without braces
    int width = 0;
    int height = 0;
    std::vector<std::pair<std::string, std::string>> params;  // in page order
};

struct PageScript {
    std::string text;    // inline text (empty when `source` is set)
    std::string source;  // the src attribute, to be read by the host
    std::string forId;   // <script for="id" event="Name(args)">
    std::string event;
    int line = 1;  // line of the page on which `text` begins
};

struct Page {
    std::vector<PageObject> objects;
    std::vector<PageScript> scripts;
    std::string onload;
    int onloadLine = 1;
    std::string title;
};

// Scans `html`. Never fails: what it does not understand it leaves out.
Page ParsePage(std::string_view html);

// Decodes the character references a page author writes in attribute values
// (&amp; &lt; &gt; &quot; &apos; &#N; &#xN; for N < 128).
std::string DecodeEntities(std::string_view text);

}  // namespace pagehost
