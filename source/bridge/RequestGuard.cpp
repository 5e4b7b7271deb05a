#include "RequestGuard.h"

#include <array>
#include <random>

namespace vistrel::bridge
{

RequestGuard::RequestGuard (std::string tokenToUse, int portToUse)
    : token (std::move (tokenToUse)), port (portToUse)
{
}

std::string RequestGuard::rootPath() const { return "/" + token + "/"; }
std::string RequestGuard::socketPath() const { return rootPath() + std::string (kSocketName); }
std::string RequestGuard::ownHost() const { return "127.0.0.1:" + std::to_string (port); }
std::string RequestGuard::ownOrigin() const { return "http://" + ownHost(); }

bool RequestGuard::targetCarriesToken (std::string_view target) const noexcept
{
    // Compared in full whatever the mismatch, so the time taken tells nothing about the token.
    const auto candidate = target.substr (0, std::min (target.size(), token.size() + 2));
    const auto expected = rootPath();

    unsigned difference = candidate.size() == expected.size() ? 0u : 1u;

    for (size_t i = 0; i < expected.size(); ++i)
        difference |= (unsigned) (unsigned char) expected[i] ^ (unsigned) (unsigned char) (i < candidate.size() ? candidate[i] : 0);

    return difference == 0;
}

RequestGuard::Decision RequestGuard::check (const Request& request) const
{
    if (request.host != ownHost())
        return { Verdict::badHost, {} };

    if (! targetCarriesToken (request.target))
        return { Verdict::notFound, {} };

    if (request.method != "GET")
        return { Verdict::badMethod, {} };

    if (request.isWebSocketUpgrade)
    {
        if (request.target != socketPath())
            return { Verdict::notFound, {} };

        // Browsers always send Origin with an upgrade; a tool without one already proved itself
        // with the token. A page of any other origin (including "null") is refused.
        if (request.hasOrigin && request.origin != ownOrigin())
            return { Verdict::foreignOrigin, {} };

        return { Verdict::openSocket, {} };
    }

    // The resource provider sees the path as a web view passes it: "/", "/js/app.js?v=3".
    return { Verdict::serveResource, std::string (request.target.substr (token.size() + 1)) };
}

std::string makeAccessToken()
{
    std::random_device entropy;   // getrandom() on Linux
    static constexpr char digits[] = "0123456789abcdef";
    std::string token;

    for (int word = 0; word < 4; ++word)
    {
        auto bits = (std::uint32_t) entropy();

        for (int nibble = 0; nibble < 8; ++nibble, bits >>= 4)
            token += digits[bits & 15u];
    }

    return token;
}

} // namespace vistrel::bridge
