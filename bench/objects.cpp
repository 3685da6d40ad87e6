// Costs of the engine's object model and containers on the per-frame path.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/base/KTDictionary.h"
#include "kite/base/KTObject.h"
#include "kite/base/KTString.h"

using namespace kite;

static void BM_RetainRelease(benchmark::State& state) {
    auto* obj = new KTObject();
    for (auto _ : state) {
        obj->retain();
        obj->release();
    }
    benchmark::DoNotOptimize(obj);
    obj->release();
}
BENCHMARK(BM_RetainRelease);

// One frame's worth of short-lived objects: made, autoreleased, drained at the frame end.
static void BM_AutoreleaseAndDrain(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    KTAutoreleasePoolStack* stack = KTAutoreleasePoolStack::sharedPoolStack();
    stack->push();
    for (auto _ : state) {
        for (int i = 0; i < n; ++i) (new KTObject())->autorelease();
        stack->pop();
    }
    state.SetItemsProcessed(state.iterations() * n);
    KTAutoreleasePoolStack::purge();
}
BENCHMARK(BM_AutoreleaseAndDrain)->Arg(10000);

static std::vector<std::string> makeKeys(int n) {
    std::vector<std::string> keys;
    for (int i = 0; i < n; ++i) keys.push_back("kite.key." + std::to_string(i));
    return keys;
}

static void BM_DictionaryInsert(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<std::string> keys = makeKeys(n);
    auto* value = new KTString("v");
    for (auto _ : state) {
        auto* d = new KTDictionary();
        for (const auto& k : keys) d->setObject(value, k);
        d->release();
    }
    state.SetItemsProcessed(state.iterations() * n);
    value->release();
}
BENCHMARK(BM_DictionaryInsert)->Arg(1000);

static void BM_DictionaryLookup(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<std::string> keys = makeKeys(n);
    auto* value = new KTString("v");
    auto* d = new KTDictionary();
    for (const auto& k : keys) d->setObject(value, k);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d->objectForKey(keys[i]));
        i = (i + 1) % keys.size();
    }
    d->release();
    value->release();
}
BENCHMARK(BM_DictionaryLookup)->Arg(1000);

static void BM_DictionaryIntLookup(benchmark::State& state) {
    auto* value = new KTString("v");
    auto* d = new KTDictionary();
    for (int k = 0; k < 1000; ++k) d->setObject(value, k);
    int k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d->objectForKey(k));
        k = (k + 1) % 1000;
    }
    d->release();
    value->release();
}
BENCHMARK(BM_DictionaryIntLookup);
