// A realistic container resource of about 100 KB (fixed seed: thousands of values of every kind, some
// non-ASCII text, hundreds of macros, tags, predicates and rules): the runtime's parse and re-serialisation
// against a raw scan of the same bytes that only walks tags and lengths, into nested messages and over
// strings. Reports both speeds, their ratio (goal: parse at least 0.3 of the scan) and heap allocations per
// pass.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <random>
#include <string>

#include "wire/schema/ZAVPServing.h"

namespace {

std::atomic<uint64_t> gAllocations{0};

std::shared_ptr<ZAVWireExtensionRegistry> servingRegistry() {
    auto r = std::make_shared<ZAVWireExtensionRegistry>();
    r->addExtension(
        std::static_pointer_cast<const ZAVWireExtensionField>(ZAVPServingValue::ext().shared_from_this()));
    return r;
}

std::shared_ptr<ZAVWireData> makeResource() {
    std::mt19937 random(20261207);
    auto pick = [&](int n) { return static_cast<int32_t>(random() % static_cast<uint32_t>(n)); };
    const char* const words[] = {"event", "load.js", "page",  "screen", "Größe",
                                 "東京",  "price",   "click", "_eq",    "_re"};
    auto word = [&] { return std::string(words[pick(10)]) + std::to_string(pick(1000)); };
    auto resource = ZAVPResource::message();
    for (int i = 0; i < 40; ++i) resource->keyArray()->addObject(ZAVWireString::create(word()));
    const int kValues = 4000;
    for (int i = 0; i < kValues; ++i) {
        auto value = ZAVPValue::message();
        auto type = static_cast<ZAVPValue_Type>(1 + i % 9);
        value->setType(type);
        auto indices = [&](ZAVWireMutableArrayPtr a, int n) {
            for (int k = 0; k < n; ++k) a->addInt32(pick(kValues));
        };
        auto serving = [&] {
            return std::static_pointer_cast<ZAVPServingValue>(value->getExtension(ZAVPServingValue::ext()));
        };
        switch (type) {
            case ZAVPValue_Type_String:
                value->setString(ZAVWireString::create(word() + " " + word()));
                break;
            case ZAVPValue_Type_List:
                indices(serving()->listItemArray(), 1 + pick(4));
                break;
            case ZAVPValue_Type_Map: {
                int n = 1 + pick(3);
                indices(serving()->mapKeyArray(), n);
                indices(serving()->mapValueArray(), n);
                break;
            }
            case ZAVPValue_Type_MacroReference:
                value->setMacroReference(ZAVWireString::create(word()));
                serving()->setMacroNameReference(pick(kValues));
                break;
            case ZAVPValue_Type_FunctionId:
                value->setFunctionId(ZAVWireString::create("_" + word()));
                break;
            case ZAVPValue_Type_Integer:
                value->setInteger(static_cast<int64_t>(random()) - 100000);
                break;
            case ZAVPValue_Type_Template:
                value->setContainsReferences(true);
                indices(serving()->templateTokenArray(), 2 + pick(3));
                break;
            case ZAVPValue_Type_Boolean:
                value->setBoolean(pick(2) == 1);
                break;
            case ZAVPValue_Type_TagReference:
                value->setTagReference(ZAVWireString::create(word()));
                break;
        }
        if (pick(8) == 0) value->escapingArray()->addInt32(1 + pick(17));
        resource->valueArray()->addObject(value);
    }
    for (int i = 0; i < 2700; ++i) {
        auto p = ZAVPProperty::message();
        p->setKey(pick(40));
        p->setValue(pick(kValues));
        resource->propertyArray()->addObject(p);
    }
    for (auto list : {resource->macroArray(), resource->tagArray(), resource->predicateArray()}) {
        for (int i = 0; i < 300; ++i) {
            auto call = ZAVPFunctionCall::message();
            call->setFunction(pick(2000));
            for (int k = 0; k < 3; ++k) call->propertyArray()->addInt32(pick(2000));
            list->addObject(call);
        }
    }
    for (int i = 0; i < 300; ++i) {
        auto rule = ZAVPRule::message();
        rule->positivePredicateArray()->addInt32(pick(300));
        rule->addTagArray()->addInt32(pick(300));
        if (pick(2)) rule->addMacroArray()->addInt32(pick(300));
        resource->ruleArray()->addObject(rule);
    }
    resource->setVersion(ZAVWireString::create("42"));
    auto supplemented = ZAVPSupplementedResource::message();
    supplemented->setResource(resource);
    supplemented->setFingerprint(ZAVWireString::create("fingerprint"));
    return supplemented->data();
}

// Which fields of which message hold sub-messages: 0 SupplementedResource, 1 Resource, 2 Value, 3 flat.
int subKind(int kind, uint32_t field) {
    switch (kind) {
        case 0:
            return field == 2 ? 1 : (field == 1 ? 3 : -1);
        case 1:
            return field == 2 ? 2 : (field >= 3 && field <= 7) || field == 14 ? 3 : -1;
        case 2:
            return (field == 3 || field == 4 || field == 5 || field == 11) ? 2 : (field == 101 ? 3 : -1);
        default:
            return -1;
    }
}

bool readVarint(const uint8_t*& p, const uint8_t* end, uint64_t& out) {
    out = 0;
    for (int shift = 0; shift < 70 && p < end; shift += 7) {
        uint8_t b = *p++;
        out |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) return true;
    }
    return false;
}

// Walks tags and lengths, descending into sub-messages; answers the number of fields seen (0 on bad input).
size_t scan(const uint8_t* p, const uint8_t* end, int kind) {
    size_t fields = 0;
    while (p < end) {
        uint64_t tag, v;
        if (!readVarint(p, end, tag)) return 0;
        ++fields;
        switch (tag & 7) {
            case 0:
                if (!readVarint(p, end, v)) return 0;
                break;
            case 1:
                p += 8;
                break;
            case 5:
                p += 4;
                break;
            case 2: {
                if (!readVarint(p, end, v) || v > static_cast<uint64_t>(end - p)) return 0;
                int sub = subKind(kind, static_cast<uint32_t>(tag >> 3));
                if (sub >= 0) fields += scan(p, p + v, sub);
                p += v;
                break;
            }
            default:
                return 0;
        }
    }
    return fields;
}

const std::shared_ptr<ZAVWireData>& resourceBytes() {
    static const auto data = makeResource();
    return data;
}

}  // namespace

// The counting allocator pairs malloc with free; GCC cannot see that through the replaced operators.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

static void BM_RawScan(benchmark::State& state) {
    const auto& data = resourceBytes();
    uint64_t before = gAllocations.load();
    for (auto _ : state) benchmark::DoNotOptimize(scan(data->bytes(), data->bytes() + data->length(), 0));
    state.counters["allocs_per_pass"] =
        static_cast<double>(gAllocations.load() - before) / static_cast<double>(state.iterations());
    state.counters["resource_bytes"] = static_cast<double>(data->length());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data->length()));
}
BENCHMARK(BM_RawScan);

static void BM_Parse(benchmark::State& state) {
    const auto& data = resourceBytes();
    auto registry = servingRegistry();
    uint64_t before = gAllocations.load();
    for (auto _ : state)
        benchmark::DoNotOptimize(ZAVPSupplementedResource::parseFromData(data, registry.get()));
    state.counters["allocs_per_pass"] =
        static_cast<double>(gAllocations.load() - before) / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data->length()));
}
BENCHMARK(BM_Parse);

static void BM_ParseAndSerialise(benchmark::State& state) {
    const auto& data = resourceBytes();
    auto registry = servingRegistry();
    for (auto _ : state) {
        auto message = ZAVPSupplementedResource::parseFromData(data, registry.get());
        benchmark::DoNotOptimize(message->data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data->length()));
}
BENCHMARK(BM_ParseAndSerialise);

// Both in one run, timed side by side: parse speed over scan speed.
static void BM_ParseToScanRatio(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const auto& data = resourceBytes();
    auto registry = servingRegistry();
    Clock::duration scanTime{}, parseTime{}, roundTime{};
    uint64_t parseAllocations = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        for (int i = 0; i < 10; ++i)
            benchmark::DoNotOptimize(scan(data->bytes(), data->bytes() + data->length(), 0));
        auto t1 = Clock::now();
        uint64_t before = gAllocations.load();
        auto message = ZAVPSupplementedResource::parseFromData(data, registry.get());
        parseAllocations += gAllocations.load() - before;
        auto t2 = Clock::now();
        benchmark::DoNotOptimize(message->data());
        auto t3 = Clock::now();
        scanTime += (t1 - t0) / 10;
        parseTime += t2 - t1;
        roundTime += t3 - t1;
    }
    auto mbps = [&](Clock::duration d) {
        double seconds = std::chrono::duration<double>(d).count() / static_cast<double>(state.iterations());
        return static_cast<double>(data->length()) / seconds / 1e6;
    };
    state.counters["scan_MBps"] = mbps(scanTime);
    state.counters["parse_MBps"] = mbps(parseTime);
    state.counters["parse_write_MBps"] = mbps(roundTime);
    state.counters["parse_to_scan"] = mbps(parseTime) / mbps(scanTime);
    state.counters["parse_allocs"] =
        static_cast<double>(parseAllocations) / static_cast<double>(state.iterations());
    state.counters["parse_write_to_scan"] = mbps(roundTime) / mbps(scanTime);
}
BENCHMARK(BM_ParseToScanRatio)->Unit(benchmark::kMillisecond);
