#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include <juce_core/juce_core.h>

namespace vistrel
{

/** The vocabulary of a web view with native integration, as the editor uses it. */
namespace bridge
{
    /** A file of the page: its complete content and MIME type. */
    struct Resource
    {
        std::vector<std::byte> data;
        juce::String mimeType;
    };

    /** Maps a requested path ("/", "/js/app.js?v=3") to a file, or to nothing (404). */
    using ResourceProvider = std::function<std::optional<Resource> (const juce::String& path)>;

    using NativeEventListener = std::function<void (const juce::var& payload)>;

    /** Delivers a native function's one answer; callable from any thread. A second call is
        ignored; a completion dropped without being called answers the page with an error. */
    using NativeFunctionCompletion = std::function<void (juce::var answer)>;

    using NativeFunction = std::function<void (const juce::Array<juce::var>& args, NativeFunctionCompletion)>;

    /** What the page can reach; fixed when the web view is made. */
    struct Registry
    {
        ResourceProvider resourceProvider;
        std::map<juce::String, NativeEventListener> eventListeners;
        std::map<juce::String, NativeFunction> nativeFunctions;
        juce::StringArray eventOrder, functionOrder;   // as registered
        std::set<juce::String> lossyEvents;
        bool nativeIntegration = false;
    };
} // namespace bridge

} // namespace vistrel
