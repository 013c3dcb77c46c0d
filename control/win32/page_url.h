// The URL of the page a control sits in, as its container tells it.
#pragma once

#include <windows.h>

#include <ole2.h>

#include <optional>
#include <string>

// The page's URL in UTF-8: from the browser the site offers as a service
// (SID_SWebBrowserApp), else from the HTML document that contains the
// control. Nothing when neither gives a URL, or `site` is null.
std::optional<std::string> PageUrlOf(IOleClientSite* site);
