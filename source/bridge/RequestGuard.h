#pragma once

#include <string>
#include <string_view>

namespace vistrel::bridge
{

/** Decides, before anything else sees a request, whether the loopback server answers it.

    A page on any web site can make the browser send requests to 127.0.0.1, and a DNS-rebound
    host name can make them look same-origin; so every request must name the loopback address and
    port in its Host header and carry the editor's secret token as its first path segment, and a
    WebSocket upgrade must come from the server's own origin. Refusals never reach the bridge's
    handlers, so they never touch the processor. */
class RequestGuard
{
public:
    RequestGuard (std::string token, int port);

    struct Request
    {
        std::string_view method;
        std::string_view target;
        std::string_view host;
        std::string_view origin;   // empty when the header is absent
        bool hasOrigin = false;
        bool isWebSocketUpgrade = false;
    };

    enum class Verdict
    {
        serveResource,   // GET of a page file: `resourcePath` holds the path under the root
        openSocket,      // the bridge's WebSocket
        badHost,         // 400
        notFound,        // 404: no or wrong token, or an upgrade elsewhere than the socket path
        badMethod,       // 405
        foreignOrigin    // 403
    };

    struct Decision
    {
        Verdict verdict;
        std::string resourcePath;
    };

    Decision check (const Request&) const;

    const std::string& getToken() const noexcept { return token; }
    std::string rootPath() const;     // "/<token>/"
    std::string socketPath() const;   // "/<token>/ws"
    std::string ownOrigin() const;    // "http://127.0.0.1:<port>"
    std::string ownHost() const;      // "127.0.0.1:<port>"

    static constexpr std::string_view kSocketName = "ws";

private:
    bool targetCarriesToken (std::string_view target) const noexcept;

    std::string token;
    int port;
};

/** A fresh random token of 128 bits as 32 lower-case hex digits, from the system's entropy source. */
std::string makeAccessToken();

} // namespace vistrel::bridge
