// 1 000 loopback GETs, one after another, through plat::URLConnection on the main run loop against the
// same through one bare libcurl easy handle (kept-alive connection), in the same run and against the
// same server. "ours_over_easy" is the time ratio of the two.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/net/URLConnection.h"
#include "platform/runloop/RunLoop.h"
#include "tests/support/LoopbackServer.h"

namespace {

constexpr int kGets = 1000;

testsupport::LoopbackServer& server() {
    static auto* s = [] {
        auto* srv =
            new testsupport::LoopbackServer(testsupport::LoopbackServer::Options{.keepAliveSeconds = 5});
        srv->route(
            "GET", "/hit",
            testsupport::Answer{.headers = {{"Content-Type", "application/octet-stream"}}, .body = "ok"});
        return srv;
    }();
    return *s;
}

size_t collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

using Clock = std::chrono::steady_clock;

// One easy handle for the whole run, as a bare client would keep it (and its connection).
struct Easy {
    CURL* easy = curl_easy_init();
    std::string url = server().url("/hit");
    std::string body;
    Easy() {
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    }
    ~Easy() { curl_easy_cleanup(easy); }
};

// Returns the seconds `count` GETs took; every answer must be the expected body.
double easyGets(benchmark::State& state, Easy& e, int count = kGets) {
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        e.body.clear();
        if (curl_easy_perform(e.easy) != CURLE_OK || e.body != "ok") state.SkipWithError("easy GET failed");
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double connectionGets(benchmark::State& state, int count = kGets) {
    plat::URLRequest request(server().url("/hit"));
    auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        bool done = false;
        bool ok = false;
        plat::URLConnection::sendAsynchronous(
            request, [&](const std::optional<plat::URLResponse>& r, const plat::Bytes& data,
                         const std::optional<plat::Error>& error) {
                done = true;
                ok = !error && r && r->statusCode() == 200 && std::string(data.begin(), data.end()) == "ok";
            });
        while (!done) plat::RunLoop::main().runOnce(1.0);
        if (!ok) state.SkipWithError("URLConnection GET failed");
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_EasyHandle1000Gets(benchmark::State& state) {
    Easy e;
    for (auto _ : state) easyGets(state, e);
}
BENCHMARK(BM_EasyHandle1000Gets)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_URLConnection1000Gets(benchmark::State& state) {
    for (auto _ : state) connectionGets(state);
}
BENCHMARK(BM_URLConnection1000Gets)->Unit(benchmark::kMillisecond)->Iterations(5);

// Both in the same run, alternating in rounds of 50 GETs, so changes in the machine's load fall on both
// alike.
void BM_Ratio(benchmark::State& state) {
    Easy e;
    double easy = 0, ours = 0;
    for (auto _ : state) {
        for (int done = 0; done < kGets; done += 50) {
            easy += easyGets(state, e, 50);
            ours += connectionGets(state, 50);
        }
    }
    state.counters["easy_ms"] = easy * 1000 / state.iterations();
    state.counters["ours_ms"] = ours * 1000 / state.iterations();
    state.counters["ours_over_easy"] = ours / easy;
}
BENCHMARK(BM_Ratio)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
