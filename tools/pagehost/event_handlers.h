// IE's two ways of writing an event handler, turned into plain functions
// that pagehost binds to the object's events itself:
//
//   <script for="reader" event="DevCallAsyncBack(data)"> body </script>
//   function reader::DevCallAsyncBack(data) { body }
//
// Both become `function <HandlerName>(args) { body }` with the line breaks
// kept, so that the script engine's line numbers still match the page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pagehost {

struct EventBinding {
    std::string objectId;
    std::string event;
    std::string function;  // the global function the engine will hold
};

struct RewrittenScript {
    std::string text;
    std::vector<EventBinding> bindings;
};

// The global name pagehost gives the handler of `event` on `objectId`.
std::string HandlerName(std::string_view objectId, std::string_view event);

// Rewrites every `function id::Name(` outside strings and comments.
RewrittenScript RewriteScopedHandlers(std::string_view script);

// The text of a <script for event> block as a function, or an empty result
// when `event` is not of the form Name or Name(args).
RewrittenScript HandlerFromForEvent(std::string_view objectId, std::string_view event, std::string_view body);

}  // namespace pagehost
