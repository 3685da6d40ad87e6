// The analytics SDK's costs against the primitives they stand on, each pair measured in the same run:
//   send_over_post    tracker send of a transaction hit to a sender that discards it, against posting an
//                     empty task to the worker (goal: at most 5)
//   payload_over_escape  a 20-key hit's payload, against escaping its keys and values with libcurl (≤ 2)
//   gzip_over_deflate    gzip of an 8 KiB batch, against one zlib deflate call with gzip framing (≤ 1.1)
//   worker_cpu_over_goal  10 000 hits stored (no count limit) and delivered to a loopback collection
//                     server: the worker's CPU time against the 2 s goal (≤ 1.0), with hits per second
//                     and the share of that time spent storing them.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <future>
#include <memory>
#include <string>

#include "analytics/RUV.h"
#include "analytics/RUVTrackerImpl.h"
#include "analytics/base/RUVCompressionUtil.h"
#include "analytics/base/RUVEndpoints.h"
#include "analytics/dispatch/RUVBatchingDispatcher.h"
#include "analytics/hits/RUVDictionaryBuilder.h"
#include "analytics/hits/RUVRequestBuilder.h"
#include "analytics/store/RUVAnalyticsPropertiesStore.h"
#include "analytics/store/RUVDataStore.h"
#include "analytics/store/RUVSqlStore.h"
#include "platform/net/Reachability.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Paths.h"
#include "tests/analytics/AnalyticsTestSupport.h"
#include "tests/support/LoopbackServer.h"

namespace {

using analyticstest::onWorker;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One app home for the run, in the system's temporary folder, removed when the program ends.
const std::filesystem::path& home() {
    // Never destroyed, so the removal at exit still has it.
    static const std::filesystem::path* path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "potemaru-bench-XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        auto* p = new std::filesystem::path(made ? made : pattern);
        plat::Paths::setHome(*p);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(home(), ec);
        });
        return p;
    }();
    return *path;
}

class DiscardingSender : public RUVDispatchSender {
  public:
    explicit DiscardingSender(std::shared_ptr<RUVDataStore> store) : store_(std::move(store)) {}
    void queueDispatch(const plat::Value::Dictionary&) override {}
    void queueModel(const RUVTrackerModel& model) override { benchmark::DoNotOptimize(&model); }
    std::shared_ptr<RUVDataStore> dataStore() const override { return store_; }

  private:
    std::shared_ptr<RUVDataStore> store_;
};

void BM_SendOverPost(benchmark::State& state) {
    home();
    constexpr int kCount = 10000;
    auto tracker = RUVTrackerImpl::trackerWithDispatcher(
        std::make_shared<DiscardingSender>(RUVDataStore::dataStore()), "UA-27182818-1");
    tracker->ruv_set("&tid", "UA-27182818-1");
    const RUVHitRecord hit = RUVDictionaryBuilder::createTransactionWithId(
                                 "T-1", "shop", plat::Value(12.5), plat::Value(1.0), plat::Value(0.5), "JPY")
                                 ->build();
    double send = 0, post = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        for (int i = 0; i < kCount; ++i) tracker->send(hit);
        send += since(start);
        start = Clock::now();
        for (int i = 0; i < kCount; ++i) RUV::postToWorker([] {});
        post += since(start);
        onWorker([] {});
    }
    state.counters["send_us"] = send * 1e6 / kCount / state.iterations();
    state.counters["post_us"] = post * 1e6 / kCount / state.iterations();
    state.counters["send_over_post"] = send / post;
}
BENCHMARK(BM_SendOverPost)->Unit(benchmark::kMillisecond)->Iterations(10);

plat::Value twentyKeyHit() {
    plat::Value::Dictionary parameters;
    for (int i = 0; i < 20; ++i)
        parameters.set("&cd" + std::to_string(i + 1),
                       plat::Value("ぽてまる レベル " + std::to_string(i) + " & more/=?"));
    return plat::Value(plat::Value::Dictionary{{"timestamp", plat::Value(plat::Value::Date{1767225600})},
                                               {"parameters", plat::Value(std::move(parameters))}});
}

void BM_PayloadOverEscape(benchmark::State& state) {
    constexpr int kCount = 5000;
    const plat::Value hit = twentyKeyHit();
    RUVRequestBuilder builder;
    CURL* easy = curl_easy_init();
    double ours = 0, escape = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        for (int i = 0; i < kCount; ++i) benchmark::DoNotOptimize(builder.parametersForHit(hit));
        ours += since(start);
        start = Clock::now();
        for (int i = 0; i < kCount; ++i) {
            std::string out;
            for (const auto& [key, value] : *hit["parameters"].dictionaryIf()) {
                const std::string& text = *value.stringIf();
                char* k = curl_easy_escape(easy, key.c_str() + 1, static_cast<int>(key.size() - 1));
                char* v = curl_easy_escape(easy, text.c_str(), static_cast<int>(text.size()));
                out.append(k).append("=").append(v).append("&");
                curl_free(k);
                curl_free(v);
            }
            benchmark::DoNotOptimize(out);
        }
        escape += since(start);
    }
    curl_easy_cleanup(easy);
    state.counters["payload_over_escape"] = ours / escape;
}
BENCHMARK(BM_PayloadOverEscape)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_GzipOverDeflate(benchmark::State& state) {
    constexpr int kCount = 2000;
    const plat::Value hit = twentyKeyHit();
    const std::string one = RUVRequestBuilder().parametersForHit(hit);
    std::string batch;
    while (batch.size() < 8192) batch += (batch.empty() ? "" : "\n") + one;
    batch.resize(8192);
    const auto* bytes = reinterpret_cast<const uint8_t*>(batch.data());
    double ours = 0, zlib = 0;
    std::string out(compressBound(batch.size()) + 64, '\0');
    for (auto _ : state) {
        auto start = Clock::now();
        for (int i = 0; i < kCount; ++i)
            benchmark::DoNotOptimize(RUVCompressionUtil::dataByGzipping(bytes, batch.size()));
        ours += since(start);
        start = Clock::now();
        for (int i = 0; i < kCount; ++i) {
            z_stream z{};
            deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
            z.next_in = const_cast<Bytef*>(bytes);
            z.avail_in = static_cast<uInt>(batch.size());
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = static_cast<uInt>(out.size());
            if (deflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("deflate failed");
            deflateEnd(&z);
            benchmark::DoNotOptimize(out);
        }
        zlib += since(start);
    }
    state.counters["gzip_over_deflate"] = ours / zlib;
}
BENCHMARK(BM_GzipOverDeflate)->Unit(benchmark::kMillisecond)->Iterations(5);

double workerCpuSeconds() {
    return onWorker([] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
    });
}

void BM_TenThousandHitsStoredAndDelivered(benchmark::State& state) {
    home();
    constexpr int kHits = 10000;
    testsupport::LoopbackServer server(testsupport::LoopbackServer::Options{.keepAliveSeconds = 5});
    for (const char* method : {"GET", "POST"}) server.route(method, "/collect", testsupport::Answer{});
    server.route("POST", "/batch", testsupport::Answer{});
    RUVEndpoints::setHttpsEndpoint({"http", "127.0.0.1", server.port()});
    std::unique_ptr<RUVSqlStore> sql;
    std::unique_ptr<RUVAnalyticsPropertiesStore> properties;
    onWorker([&] {
        sql = RUVSqlStore::initWithDatabaseName(RUVSqlStore::kSharedDatabaseName);
        properties = std::make_unique<RUVAnalyticsPropertiesStore>(sql.get());
    });
    double cpu = 0, wall = 0, storing = 0;
    for (auto _ : state) {
        auto store = RUVDataStore::dataStore();
        store->setMaxHitCount(0);
        auto dispatcher = RUVBatchingDispatcher::create(store, properties.get(), false);
        dispatcher->setDispatchInterval(-1);
        const double cpuStart = workerCpuSeconds();
        const auto start = Clock::now();
        for (int i = 0; i < kHits; ++i)
            dispatcher->queueDispatch(
                {{"&t", plat::Value("screenview")},
                 {"&tid", plat::Value("UA-27182818-1")},
                 {"&cid", plat::Value("0e8f5d5a-3b9c-4a53-9d2e-1f2a3b4c5d6e")},
                 {"&cd", plat::Value("[iOS]ぽてまる　レベル" + std::to_string(i % 10 + 1))}});
        const double storedCpu = workerCpuSeconds();
        storing += storedCpu - cpuStart;
        dispatcher->dispatch();
        // Answers come back on the main run loop; the store is looked at ten times a second.
        for (auto checked = Clock::now();;) {
            plat::RunLoop::main().runOnce(0.01);
            if (since(checked) < 0.1) continue;
            checked = Clock::now();
            if (onWorker([&] { return store->hitCount(); }) == 0 && !dispatcher->hasConnection()) break;
            if (since(start) > 300) {
                state.SkipWithError("hits were not delivered within 300 s");
                break;
            }
        }
        wall += since(start);
        cpu += workerCpuSeconds() - cpuStart;
        dispatcher.reset();
        store.reset();
        onWorker([] {});
    }
    onWorker([&] {
        properties.reset();
        sql.reset();
    });
    state.counters["requests"] = static_cast<double>(server.requestCount()) / state.iterations();
    state.counters["worker_cpu_s"] = cpu / state.iterations();
    state.counters["storing_cpu_s"] = storing / state.iterations();
    state.counters["worker_cpu_over_goal"] = cpu / state.iterations() / 2.0;
    state.counters["hits_per_s"] = kHits * state.iterations() / wall;
}
BENCHMARK(BM_TenThousandHitsStoredAndDelivered)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
