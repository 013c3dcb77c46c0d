#include "tools/pagehost/page_runner.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "tools/pagehost/automation.h"
#include "tools/pagehost/host_object.h"
#include "tools/pagehost/page.h"
#include "tools/pagehost/page_window.h"
#include "tools/pagehost/script_engine.h"
#include "tools/pagehost/sim_object.h"
#include "tools/pagehost/watchdog.h"
#include "win32/wine_path.h"

namespace pagehost {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

bool ReadWholeFile(const std::wstring& path, std::string& text) {
    const HANDLE file = CreateFileW(WindowsPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    text.clear();
    char chunk[65536];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ::ReadFile(file, chunk, sizeof chunk, &read, nullptr) != 0) && read > 0) text.append(chunk, read);
    CloseHandle(file);
    return ok;
}

std::wstring Folder(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

struct LoadedScript {
    std::string text;
    std::string source;
    int firstLine = 1;
};

// Every block in page order, its handlers rewritten, and all bindings.
bool PrepareScripts(const Page& page, const std::wstring& pagePath, std::vector<LoadedScript>& scripts,
                    std::vector<EventBinding>& bindings) {
    const std::string pageName = Narrow(pagePath);
    for (const PageScript& script : page.scripts) {
        LoadedScript loaded{script.text, pageName, script.line};
        if (!script.source.empty()) {
            const std::wstring path = Folder(pagePath) + Widen(script.source);
            if (!ReadWholeFile(path, loaded.text)) {
                std::fprintf(stderr, "pagehost: cannot read the script %s\n", Narrow(path).c_str());
                return false;
            }
            loaded.source = Narrow(path);
            loaded.firstLine = 1;
        }
        RewrittenScript rewritten = script.forId.empty() ? RewriteScopedHandlers(loaded.text)
                                                         : HandlerFromForEvent(script.forId, script.event, loaded.text);
        if (rewritten.bindings.empty() && !script.forId.empty()) {
            std::fprintf(stderr, "pagehost: %s, line %d: event=\"%s\" names no event\n", pageName.c_str(), script.line,
                         script.event.c_str());
            return false;
        }
        loaded.text = std::move(rewritten.text);
        bindings.insert(bindings.end(), rewritten.bindings.begin(), rewritten.bindings.end());
        scripts.push_back(std::move(loaded));
    }
    return true;
}

class PageRun {
public:
    explicit PageRun(const RunOptions& options) : options_(options) {}
    int Run();

private:
    bool Load(const Page& page);
    void Close();
    bool AllReleased() const;

    const RunOptions& options_;
    PageSession session_;
    ServerModules modules_;  // first: held until everything else is gone
    std::unique_ptr<PageWindow> window_;
    std::unique_ptr<ScriptEngine> engine_;
    std::vector<std::unique_ptr<HostedControl>> controls_;
    std::vector<LoadedScript> scripts_;
};

bool PageRun::Load(const Page& page) {
    std::vector<EventBinding> bindings;
    if (!PrepareScripts(page, options_.pagePath, scripts_, bindings)) return false;
    window_ =
        std::make_unique<PageWindow>(session_, Widen(page.title.empty() ? "pagehost" : page.title), !options_.hidden);
    engine_ = std::make_unique<ScriptEngine>(session_);
    if (!engine_->Start()) return false;
    engine_->AddNamedItem(L"host", MakeHostObject(session_, LoadSimObject()).Get());
    for (const PageObject& object : page.objects) {
        auto control = HostedControl::Create(
            object, window_->Handle(), window_->PlaceControl(object.width, object.height), options_.host, modules_);
        if (!control) {
            // As a browser runs a page whose control is missing: the page
            // runs, and finds nothing behind the id (Create said why).
            engine_->Run(L"var " + Widen(object.id) + L" = null;", "pagehost", 1);
            continue;
        }
        if (control->Refused()) {
            // Declared, so that the page can test it, but with nothing behind it.
            engine_->Run(L"var " + Widen(object.id) + L" = null;", "pagehost", 1);
            controls_.push_back(std::move(control));
            continue;
        }
        ScriptEngine* engine = engine_.get();
        if (!control->ConnectEvents(bindings, session_, [engine](const std::wstring& name, DISPPARAMS* arguments) {
                return engine->CallFunction(name, arguments);
            }))
            return false;
        engine_->AddNamedItem(Widen(object.id), control->Object());
        controls_.push_back(std::move(control));
    }
    return true;
}

void PageRun::Close() {
    // The page's handlers first, so that nothing calls into a closing engine.
    for (auto& control : controls_) control->Close();
    controls_.clear();
    if (engine_) engine_->Close();
    engine_.reset();
    window_.reset();
}

// After closing, nothing pagehost made may still be alive (a site or sink
// kept alive would keep its control alive too), and every control module
// must be ready to unload, which it is only when all its objects are gone.
bool PageRun::AllReleased() const {
    bool released = true;
    if (const long live = RefCounted::Live(); live != 0) {
        std::fprintf(stderr, "pagehost: not released after closing the page: %ld of pagehost's own objects\n", live);
        released = false;
    }
    for (const auto& [path, canUnload] : modules_.AskCanUnloadNow()) {
        if (canUnload == S_OK) {
            if (options_.host.verbose)
                std::fprintf(stderr, "pagehost: %s can unload now (DllCanUnloadNow: S_OK)\n", Narrow(path).c_str());
            continue;
        }
        std::fprintf(stderr,
                     "pagehost: not released after closing the page: %s cannot unload (DllCanUnloadNow: 0x%08lX)\n",
                     Narrow(path).c_str(), static_cast<unsigned long>(canUnload));
        released = false;
    }
    if (released && options_.host.verbose)
        std::fprintf(stderr, "pagehost: every object made for the page was destroyed\n");
    return released;
}

int PageRun::Run() {
    std::string html;
    if (!ReadWholeFile(options_.pagePath, html)) {
        std::fprintf(stderr, "pagehost: cannot read the page %s\n", Narrow(options_.pagePath).c_str());
        return kLoadFailedExitCode;
    }
    const Page page = ParsePage(html);
    Watchdog watchdog;
    watchdog.Arm(seconds(options_.timeoutSeconds) + milliseconds(options_.lingerMilliseconds),
                 "the page did not finish within " + std::to_string(options_.timeoutSeconds) +
                     " s: it neither called host.exit() nor was closed",
                 kTimedOutExitCode);
    int exitCode = kLoadFailedExitCode;
    if (Load(page)) {
        for (const LoadedScript& script : scripts_) {
            if (session_.ExitRequested()) break;
            engine_->Run(Widen(script.text), script.source, script.firstLine);
        }
        if (!session_.ExitRequested() && !page.onload.empty())
            engine_->Run(Widen(page.onload), Narrow(options_.pagePath) + " (onload)", page.onloadLine);
        while (!session_.ExitRequested()) session_.Wait(INFINITE);
        exitCode = session_.ExitCode();
        // Still shown, with the page's last text, e.g. for a screenshot.
        if (window_ && options_.lingerMilliseconds > 0) {
            InvalidateRect(window_->Handle(), nullptr, TRUE);
            PumpMessagesFor(static_cast<DWORD>(options_.lingerMilliseconds));
        }
    }
    watchdog.Arm(seconds(options_.closeTimeoutSeconds),
                 "closing the page took longer than " + std::to_string(options_.closeTimeoutSeconds) + " s",
                 kCloseTimedOutExitCode);
    const auto closing = std::chrono::steady_clock::now();
    Close();
    if (options_.host.verbose)
        std::fprintf(stderr, "pagehost: closed the page in %lld ms\n",
                     static_cast<long long>(
                         std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - closing).count()));
    if (!AllReleased()) exitCode = kNotReleasedExitCode;
    watchdog.Disarm();
    return exitCode;
}

}  // namespace

std::wstring WindowsPath(const std::wstring& path) {
    if (path.empty() || path[0] != L'/') return path;
    return WineWindowsPath(Narrow(path)).value_or(path);
}

int RunPage(const RunOptions& options) {
    if (FAILED(OleInitialize(nullptr))) {
        std::fprintf(stderr, "pagehost: OLE could not be initialised\n");
        return kLoadFailedExitCode;
    }
    int exitCode = PageRun(options).Run();
    OleUninitialize();
    return exitCode;
}

}  // namespace pagehost
