// The page's scripts in the system's JScript engine: the named items the
// page sees (its objects and `host`), the blocks in page order, and calls
// of the page's functions for events. Script errors go to stderr with the
// file, line and column, and end the page with exit code 2.
#pragma once

#include <activscp.h>

#include <map>
#include <string>
#include <vector>

#include "tools/pagehost/com_object.h"
#include "tools/pagehost/page_session.h"

namespace pagehost {

constexpr int kScriptErrorExitCode = 2;

class ScriptSite;

class ScriptEngine {
public:
    explicit ScriptEngine(PageSession& session);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // False (with a message) when JScript is not available.
    bool Start();
    void AddNamedItem(const std::wstring& name, IUnknown* item);
    // Runs one block; `firstLine` is the line of `source` on which it begins.
    void Run(const std::wstring& text, const std::string& source, int firstLine);
    // Calls the page's global function `name`.
    HRESULT CallFunction(const std::wstring& name, DISPPARAMS* arguments);
    void Close();

private:
    PageSession& session_;
    ComPtr<ScriptSite> site_;
    ComPtr<IActiveScript> engine_;
    ComPtr<IActiveScriptParse> parser_;
    DWORD nextBlock_ = 0;
};

}  // namespace pagehost
