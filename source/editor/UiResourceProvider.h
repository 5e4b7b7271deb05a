#pragma once

#include <optional>

#include "bridge/BridgeTypes.h"

namespace vistrel
{

/** The page shown when no UI folder was found. */
extern const char* const kMissingUiPage;

/** The MIME type for a file name, by its lower-cased extension; "application/octet-stream" for
    anything unknown or no extension. */
juce::String mimeTypeForFile (const juce::File&);

/** Answers a request path of the page ("/", "/js/app.js?v=3") from `uiDir`: the query is cut,
    one leading "/" removed, the empty path means "index.html"; any "..", a directory, a path
    outside the folder or an unreadable file answers nothing. Every request reads the file anew,
    so edits show at the next reload. With an empty `uiDir` only "index.html" answers, with
    kMissingUiPage. */
std::optional<bridge::Resource> provideUiResource (const juce::File& uiDir, const juce::String& requestPath);

} // namespace vistrel
