#include "UiResourceProvider.h"

#include <cstring>

namespace vistrel
{

const char* const kMissingUiPage =
    "<html><body style='background:#060809;color:#c8d0d4;font:13px ui-monospace,monospace;padding:24px'>"
    "<b>VISTREL</b><br><br>the ui/ resource tree was not found.<br>"
    "expected it at &lt;bundle&gt;/Contents/Resources/ui, or set $VISTREL_UI_DIR.</body></html>";

namespace
{
    std::vector<std::byte> bytesOf (const void* data, size_t size)
    {
        const auto* first = static_cast<const std::byte*> (data);
        return { first, first + size };
    }
} // namespace

juce::String mimeTypeForFile (const juce::File& file)
{
    static const std::pair<const char*, const char*> table[] = {
        { ".html", "text/html" },
        { ".js", "text/javascript" },
        { ".mjs", "text/javascript" },
        { ".css", "text/css" },
        { ".json", "application/json" },
        { ".svg", "image/svg+xml" },
        { ".png", "image/png" },
        { ".jpg", "image/jpeg" },
        { ".jpeg", "image/jpeg" },
        { ".gif", "image/gif" },
        { ".webp", "image/webp" },
        { ".woff2", "font/woff2" },
        { ".woff", "font/woff" },
    };

    const auto extension = file.getFileExtension().toLowerCase();

    for (const auto& [ext, type] : table)
        if (extension == ext)
            return type;

    return "application/octet-stream";
}

std::optional<bridge::Resource> provideUiResource (const juce::File& uiDir, const juce::String& requestPath)
{
    auto path = requestPath.upToFirstOccurrenceOf ("?", false, false);

    if (path.startsWithChar ('/'))
        path = path.substring (1);

    if (path.isEmpty())
        path = "index.html";

    if (path.contains (".."))
        return std::nullopt;

    if (uiDir == juce::File())
    {
        if (path == "index.html")
            return bridge::Resource { bytesOf (kMissingUiPage, std::strlen (kMissingUiPage)), "text/html" };

        return std::nullopt;
    }

    // An absolute remainder ("//etc/hosts" leaves "/etc/hosts") resolves outside the folder.
    const auto file = uiDir.getChildFile (path);

    if (! file.isAChildOf (uiDir) || ! file.existsAsFile())
        return std::nullopt;

    juce::MemoryBlock content;

    if (! file.loadFileAsData (content))
        return std::nullopt;

    return bridge::Resource { bytesOf (content.getData(), content.getSize()), mimeTypeForFile (file) };
}

} // namespace vistrel
