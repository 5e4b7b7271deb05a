// The bridge's delivery of frames to one connected page, through the real server and socket:
// frames per second, latency from the tick to the page's receipt (median, 99th percentile),
// and the server thread's CPU time per frame. The page is a WebSocket client on its own thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <unordered_map>
#include <vector>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include "PluginProcessor.h"
#include "bridge/BridgedWebView.h"
#include "bridge/LoopbackServer.h"
#include "editor/FramePump.h"

namespace
{
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = boost::beast::websocket;
using Clock = std::chrono::steady_clock;

constexpr double kRate = 48000.0;
constexpr int kTickSamples = 384;   // 8 ms of audio per tick
const juce::String kStopText = "bench-stop";

/** Reads every message until the stop event and stamps each frame's arrival. */
class BenchPage
{
public:
    BenchPage (int port, const std::string& token)
    {
        ws.next_layer().connect ({ asio::ip::address_v4::loopback(), (unsigned short) port });
        ws.next_layer().set_option (asio::ip::tcp::no_delay (true));
        ws.handshake ("127.0.0.1:" + std::to_string (port), "/" + token + "/ws");
        arrivals.reserve (1 << 20);
        reader = std::thread ([this] { readAll(); });
    }

    ~BenchPage() { join(); }

    /** Returns once the stop event has arrived. */
    void join()
    {
        if (reader.joinable())
            reader.join();
    }

    struct Arrival
    {
        std::size_t hash;
        Clock::time_point time;
    };

    std::vector<Arrival> arrivals;
    std::size_t frameBytes = 0;

private:
    void readAll()
    {
        beast::flat_buffer buffer;

        for (;;)
        {
            ws.read (buffer);
            const auto now = Clock::now();
            const auto data = buffer.cdata();
            const std::string_view text (static_cast<const char*> (data.data()), data.size());

            if (text.rfind ("e s vistrel-frame\n", 0) == 0)
            {
                arrivals.push_back ({ std::hash<std::string_view>() (text.substr (18)), now });
                frameBytes = text.size();
            }
            else if (text.find (kStopText.toStdString()) != std::string_view::npos)
            {
                return;
            }

            buffer.consume (buffer.size());
        }
    }

    asio::io_context ioc;
    websocket::stream<asio::ip::tcp::socket> ws { ioc };
    std::thread reader;
};

double percentile (std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;

    std::sort (values.begin(), values.end());
    return values[(size_t) std::min ((double) values.size() - 1.0, std::floor (p * (double) values.size()))];
}

std::unique_ptr<vistrel::BridgedWebView> makeView()
{
    return std::make_unique<vistrel::BridgedWebView> (vistrel::BridgedWebView::Options {}
                                                          .withNativeIntegrationEnabled()
                                                          .withEmbeddedBrowser (false)
                                                          .withLossyEvent (vistrel::events::frame));
}

void waitForPage (vistrel::BridgedWebView& view)
{
    while (view.getNumConnectedPages() == 0)
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
}

/** 10 s of the editor's real tick at 125 per second: analysis of 8 ms of audio, the frame, its
    delivery. Latency counts from the start of the tick to the page's receipt of its frame;
    delivery from the frame's emission to its receipt. */
void BM_BridgeFramesToOnePage (benchmark::State& state)
{
    const int ticks = (int) state.range (0);
    VistrelAudioProcessor processor;
    processor.prepareToPlay (kRate, kTickSamples);
    juce::AudioBuffer<float> audio (2, kTickSamples);
    juce::MidiBuffer midi;
    juce::Random random (3);

    auto view = makeView();
    auto& server = view->getServer();

    for (auto _ : state)
    {
        // Frames are told apart by their text (the signal never repeats), so a dropped frame
        // does not throw the matching of the others off.
        std::unordered_map<std::size_t, std::pair<Clock::time_point, Clock::time_point>> sent;
        sent.reserve ((size_t) ticks * 2);

        BenchPage page (server.getPort(), server.getToken());
        waitForPage (*view);
        const auto droppedBefore = server.getNumDroppedMessages();
        const auto cpuBefore = server.getThreadCpuSeconds();
        const auto begin = Clock::now();
        auto next = begin;

        for (int t = 0; t < ticks; ++t)
        {
            for (int i = 0; i < kTickSamples; ++i)
            {
                const auto x = 0.3f * std::sin ((float) (t * kTickSamples + i) * 0.05f) + 0.1f * (random.nextFloat() - 0.5f);
                audio.setSample (0, i, x);
                audio.setSample (1, i, x);
            }

            processor.processBlock (audio, midi);
            std::this_thread::sleep_until (next);
            next += std::chrono::microseconds (8000);

            const auto tickStart = Clock::now();
            vistrel::pumpFrameAndEvents (processor, 0.008, [&] (const juce::Identifier& id, const juce::var& payload)
            {
                const auto emitted = Clock::now();
                view->emitEventIfBrowserIsVisible (id, payload);

                if (id == vistrel::events::frame)
                {
                    const auto text = payload.toString();
                    sent[std::hash<std::string_view>() ({ text.toRawUTF8(), text.getNumBytesAsUTF8() })] = { tickStart, emitted };
                }
            });
        }

        const auto seconds = std::chrono::duration<double> (Clock::now() - begin).count();
        view->emitEventIfBrowserIsVisible (vistrel::events::state, kStopText);
        page.join();
        const auto cpu = server.getThreadCpuSeconds() - cpuBefore;
        const auto dropped = server.getNumDroppedMessages() - droppedBefore;

        std::vector<double> latencyUs, deliveryUs;

        for (const auto& arrival : page.arrivals)
        {
            if (const auto it = sent.find (arrival.hash); it != sent.end())
            {
                latencyUs.push_back (std::chrono::duration<double, std::micro> (arrival.time - it->second.first).count());
                deliveryUs.push_back (std::chrono::duration<double, std::micro> (arrival.time - it->second.second).count());
            }
        }

        state.counters["frames_per_s"] = (double) page.arrivals.size() / seconds;
        state.counters["dropped"] = (double) dropped;
        state.counters["frame_bytes"] = (double) page.frameBytes;
        state.counters["latency_median_us"] = percentile (latencyUs, 0.5);
        state.counters["latency_p99_us"] = percentile (latencyUs, 0.99);
        state.counters["delivery_median_us"] = percentile (deliveryUs, 0.5);
        state.counters["delivery_p99_us"] = percentile (deliveryUs, 0.99);
        state.counters["server_cpu_us_per_frame"] = 1.0e6 * cpu / (double) std::max<size_t> (1, page.arrivals.size());
    }
}

BENCHMARK (BM_BridgeFramesToOnePage)->Arg (1250)->Iterations (1)->Unit (benchmark::kMillisecond)->UseRealTime();

/** Frames emitted back to back to a page that reads as fast as it can: the bridge's ceiling, and
    the server thread's CPU time per frame when it is busy. */
void BM_BridgeEmitBackToBack (benchmark::State& state)
{
    auto view = makeView();
    auto& server = view->getServer();
    BenchPage page (server.getPort(), server.getToken());
    waitForPage (*view);
    const auto frame = juce::String::repeatedString ("0123456789abcdef", 112);   // 1792 bytes
    const auto cpuBefore = server.getThreadCpuSeconds();
    std::int64_t emitted = 0;

    for (auto _ : state)
    {
        view->emitEventIfBrowserIsVisible (vistrel::events::frame, frame);
        ++emitted;
    }

    view->emitEventIfBrowserIsVisible (vistrel::events::state, kStopText);
    page.join();
    const auto delivered = (double) page.arrivals.size();
    state.counters["delivered_per_s"] = benchmark::Counter (delivered, benchmark::Counter::kIsRate);
    state.counters["dropped_fraction"] = 1.0 - delivered / (double) std::max<std::int64_t> (1, emitted);
    state.counters["server_cpu_us_per_frame"] = 1.0e6 * (server.getThreadCpuSeconds() - cpuBefore) / std::max (1.0, delivered);
}

BENCHMARK (BM_BridgeEmitBackToBack)->MinTime (2.0)->UseRealTime();

} // namespace
