// The tag manager's costs on a generated container of about 100 KB (see generateContainer): 300 rules of
// three predicates each, 400 macros and 60 tags ("_dlw" and "_func"). Every figure is the benchmark
// thread's CPU time.
//   BM_Push/N           one push carrying "event" into the tag manager's data layer, with N rules: the
//                       facade's listener, the container's evaluateTags, the rules, and the tags that
//                       fire (goal at 300 rules: ≤ 50 µs)
//   BM_PushFiringNothing/N  the same with an event that no rule names: the rules' evaluation alone
//   BM_Push400Over200   the same push with 400 rules against 200, measured in turns (goal: ≤ 2.2)
//   BM_LoadOverParse    loading the container's bytes (parse, expansion, runtime) against parsing them
//                       alone, measured in turns (goal: ≤ 2); beside it, first_event_ms: the first event a
//                       loaded container evaluates (the runtime makes its rule plans then)
//   BM_PushThatPushesAgain  one push into the worst container a 1 KB download can describe: its "_dlw" tag
//                       pushes the event again with as many parts built as one evaluation may. The push
//                       and all it causes share one budget of 100 000 parts, so it ends after the second
//                       evaluation instead of running 500 of them; evaluations_per_push counts them
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/Paths.h"
#include "tagmanager/ZODAruzivu.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/container/ZAVContainer.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/values/ZAVObject.h"
#include "tests/tagmanager/ContainerTestSupport.h"
#include "tests/tagmanager/support/ResourceBuilder.h"
#include "wire/ZAVWireRootObject.h"

namespace {

constexpr int kMacros = 400;
constexpr int kTags = 60;
constexpr int kEvents = 50;       // distinct event names; each push names one of them in turn
constexpr int kLayerMacros = 40;  // macros that read the data layer ("_v")
constexpr int kHandlers = 4;      // names of the app's "_func" handlers

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::string eventName(int i) {
    return "event_" + std::to_string(i % kEvents);
}

// A container as a tag-manager user would build it: every rule names its event first, then a data-layer
// value and a constant (one rule in five checks the constant as a negative predicate). Macro "evt" is
// the event; "user_k" read "user.field_k" from the data layer; the rest are constants. Even tags write into
// the data layer, odd ones call an app handler; each rule adds two of them, so a push of one event fires the
// tags of rules/50 rules.
std::shared_ptr<ZAVPSupplementedResource> generateContainer(int rules) {
    tmtest::ResourceBuilder b;
    b.setVersion("bench-" + std::to_string(rules));
    b.macro("evt", "_e");
    for (int k = 0; k < kLayerMacros; ++k)
        b.macro("user_" + std::to_string(k), "_v",
                {{"name", b.string("user.field_" + std::to_string(k))}, {"default_value", b.string("none")}});
    const int constants = kMacros - 1 - kLayerMacros;
    for (int k = 0; k < constants; ++k)
        b.macro("const_" + std::to_string(k), "_c",
                {{"value", b.string("campaign " + std::to_string(k) + ": spring sale banner")}});

    std::vector<int32_t> tags;
    for (int k = 0; k < kTags; ++k) {
        const std::string n = std::to_string(k);
        if (k % 2 == 0) {
            tags.push_back(b.tag(
                "_dlw",
                {{"value",
                  b.list({b.map({b.string("tag_" + n)},
                                {b.map({b.string("fired"), b.string("label")},
                                       {b.macroReference("evt"), b.macroReference("const_" + n)})})})}}));
        } else {
            tags.push_back(b.tag(
                "_func", {{"function_call_macro_name", b.string("handler_" + std::to_string(k % kHandlers))},
                          {"additional_params", b.map({b.string("event"), b.string("tag")},
                                                      {b.macroReference("evt"), b.string(n)})}}));
        }
    }

    // The rules share their values, as a container's value table does.
    std::map<std::string, int32_t> texts, refs;
    auto text = [&](const std::string& t) {
        auto [it, added] = texts.emplace(t, 0);
        if (added) it->second = b.string(t);
        return it->second;
    };
    auto ref = [&](const std::string& name) {
        auto [it, added] = refs.emplace(name, 0);
        if (added) it->second = b.macroReference(text(name));
        return it->second;
    };
    for (int i = 0; i < rules; ++i) {
        const std::string layerMacro = "user_" + std::to_string(i % kLayerMacros);
        const std::string constant = "const_" + std::to_string(i % constants);
        int32_t isEvent = b.predicate("_eq", {{"arg0", ref("evt")}, {"arg1", text(eventName(i))}});
        int32_t layerValue = b.predicate(
            "_sw", {{"arg0", ref(layerMacro)}, {"arg1", text("value_" + std::to_string(i % kLayerMacros))}});
        tmtest::ResourceBuilder::Rule rule;
        if (i % 5 == 4) {
            rule.negative = {b.predicate("_cn", {{"arg0", ref(constant)}, {"arg1", text("autumn")}})};
            rule.positive = {isEvent, layerValue};
        } else {
            rule.positive = {isEvent, layerValue,
                             b.predicate("_cn", {{"arg0", ref(constant)}, {"arg1", text("sale")}})};
        }
        rule.addTags = {tags[static_cast<size_t>(i % kTags)], tags[static_cast<size_t>((i + 7) % kTags)]};
        b.rule(rule);
    }
    return b.supplemented("bench");
}

std::shared_ptr<const ZAVWireData> containerBytes(int rules) {
    return generateContainer(rules)->data();
}

std::shared_ptr<ZAVPSupplementedResource> parse(const std::shared_ptr<const ZAVWireData>& bytes) {
    return ZAVPSupplementedResource::parseFromData(bytes, ZAVPServingRoot::extensionRegistry());
}

class CountingHandler : public ZAVFunctionCallTagHandler {
  public:
    void execute(const std::string&, const Parameters& parameters) override {
        benchmark::DoNotOptimize(parameters.size());
        ++calls;
    }
    long calls = 0;
};

// The app's home and bundle for the run, in the system's temporary folder, removed when the program ends.
const std::filesystem::path& folder() {
    // Never destroyed, so the removal at exit still has it.
    static const std::filesystem::path* path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "potemaru-bench-XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        auto* p = new std::filesystem::path(made ? made : pattern);
        std::filesystem::create_directories(*p / "home");
        std::filesystem::create_directories(*p / "bundle");
        plat::Paths::setHome(*p / "home");
        plat::Bundle::setMainResourcePath(*p / "bundle");
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folder(), ec);
        });
        return p;
    }();
    return *path;
}

// A tag manager of its own (data layer on its store, with the facade's listeners) and one container
// opened from the generated bytes, shipped as the app's default container; in default-container mode, so
// nothing is read from storage or downloaded. The data layer holds the values the rules read.
struct PushSetup {
    explicit PushSetup(int rules) {
        ZAVLog::logger()->setLogLevel(ZAVLoggerLogLevelNone);
        const std::string id = "CTR-BENCH-" + std::to_string(rules);
        auto data = generateContainer(rules)->resource()->data();
        bytes = data->length();
        {
            std::ofstream out(folder() / "bundle" / id, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(data->bytes()), static_cast<std::streamsize>(bytes));
        }
        manager = ZODAruzivu::initWithSameInstance(false);
        manager->setRefreshMode(ZAVContainerOwner::kRefreshModeDefaultContainer);
        container = manager->openContainerById(id, std::make_shared<tmtest::RecordingContainerCallback>());
        for (int k = 0; k < kHandlers; ++k)
            container->registerFunctionCallTagHandler(handler, "handler_" + std::to_string(k));
        ZAVObject::Entries fields;
        for (int k = 0; k < kLayerMacros; ++k)
            fields.emplace_back(ZAVObject::text("field_" + std::to_string(k)),
                                ZAVObject::text("value_" + std::to_string(k) + " of the player"));
        manager->dataLayer()->push(ZAVObject::map({{ZAVObject::text("user"), ZAVObject::map(fields)}}));
        for (int e = 0; e < kEvents; ++e)
            pushes.push_back(ZAVObject::map({{ZAVObject::text("event"), ZAVObject::text(eventName(e))}}));
    }
    ~PushSetup() { container->close(); }
    void push() { manager->dataLayer()->push(pushes[next++ % pushes.size()]); }

    std::shared_ptr<ZODAruzivu> manager;
    std::shared_ptr<CountingHandler> handler = std::make_shared<CountingHandler>();
    std::shared_ptr<ZAVContainer> container;
    std::vector<ZAVObjectPtr> pushes;
    size_t next = 0;
    size_t bytes = 0;
};

void BM_Push(benchmark::State& state) {
    PushSetup setup(static_cast<int>(state.range(0)));
    for (int i = 0; i < kEvents; ++i) setup.push();  // the static results are cached from here on
    setup.handler->calls = 0;
    long pushes = 0;
    for (auto _ : state) {
        setup.push();
        ++pushes;
    }
    state.counters["container_bytes"] = static_cast<double>(setup.bytes);
    state.counters["handler_calls_per_push"] = static_cast<double>(setup.handler->calls) / pushes;
}
BENCHMARK(BM_Push)->Arg(200)->Arg(300)->Arg(400)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

// The rules alone: an event that no rule names, so every rule is evaluated and no tag fires.
void BM_PushFiringNothing(benchmark::State& state) {
    PushSetup setup(static_cast<int>(state.range(0)));
    for (auto& push : setup.pushes)
        push = ZAVObject::map({{ZAVObject::text("event"), ZAVObject::text("unnamed")}});
    for (int i = 0; i < kEvents; ++i) setup.push();
    setup.handler->calls = 0;
    for (auto _ : state) setup.push();
    if (setup.handler->calls) state.SkipWithError("a tag fired");
}
BENCHMARK(BM_PushFiringNothing)->Arg(300)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void BM_Push400Over200(benchmark::State& state) {
    constexpr int kTurn = 500;
    PushSetup small(200), large(400);
    for (int i = 0; i < kEvents; ++i) {
        small.push();
        large.push();
    }
    double smallCpu = 0, largeCpu = 0;
    for (auto _ : state) {
        double start = threadCpuSeconds();
        for (int i = 0; i < kTurn; ++i) small.push();
        smallCpu += threadCpuSeconds() - start;
        start = threadCpuSeconds();
        for (int i = 0; i < kTurn; ++i) large.push();
        largeCpu += threadCpuSeconds() - start;
    }
    const double pushes = static_cast<double>(state.iterations()) * kTurn;
    state.counters["us_200"] = smallCpu * 1e6 / pushes;
    state.counters["us_400"] = largeCpu * 1e6 / pushes;
    state.counters["ratio_400_over_200"] = largeCpu / smallCpu;
}
BENCHMARK(BM_Push400Over200)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_LoadOverParse(benchmark::State& state) {
    constexpr int kTurn = 5;
    ZAVLog::logger()->setLogLevel(ZAVLoggerLogLevelNone);
    const auto bytes = containerBytes(300);
    folder();
    auto manager = ZODAruzivu::initWithSameInstance(false);
    auto container = manager->containerById("CTR-LOAD");
    double parseCpu = 0, loadCpu = 0, firstEventCpu = 0;
    for (auto _ : state) {
        double start = threadCpuSeconds();
        for (int i = 0; i < kTurn; ++i) benchmark::DoNotOptimize(parse(bytes));
        parseCpu += threadCpuSeconds() - start;
        start = threadCpuSeconds();
        for (int i = 0; i < kTurn; ++i)
            if (!container->setupEvaluatorsWithResource(*parse(bytes)->resource()))
                state.SkipWithError("the generated container was refused");
        loadCpu += threadCpuSeconds() - start;
        // Outside the turns: the last load's first event.
        start = threadCpuSeconds();
        container->evaluateTags(eventName(0));
        firstEventCpu += threadCpuSeconds() - start;
    }
    const double loads = static_cast<double>(state.iterations()) * kTurn;
    state.counters["container_bytes"] = static_cast<double>(bytes->length());
    state.counters["parse_ms"] = parseCpu * 1e3 / loads;
    state.counters["load_ms"] = loadCpu * 1e3 / loads;
    state.counters["load_over_parse"] = loadCpu / parseCpu;
    state.counters["first_event_ms"] = firstEventCpu * 1e3 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_LoadOverParse)->Unit(benchmark::kMillisecond)->Iterations(20);

// At most 1 KB: one rule without predicates fires a "_dlw" tag on every event, which pushes the event
// again with a value of macros that each refer to the next 16 or 18 times, down to the event macro (never
// cached): 99 486 parts built for the value, as many as fit under one evaluation's 100 000.
std::shared_ptr<const ZAVWireData> pushingAgainContainer() {
    tmtest::ResourceBuilder b;
    b.setVersion("deep");
    b.macro("evt", "_e");
    std::string below = "evt";
    const int fanOuts[] = {16, 18, 18, 18};  // from the bottom
    for (size_t level = 0; level < std::size(fanOuts); ++level) {
        const std::string name = "level_" + std::to_string(level);
        b.macro(name, "_c",
                {{"value", b.list(std::vector<int32_t>(fanOuts[level], b.macroReference(below)))}});
        below = name;
    }
    auto again = b.map({b.string("event"), b.string("parts")}, {b.string("deep"), b.macroReference(below)});
    tmtest::ResourceBuilder::Rule rule;
    rule.addTags = {b.tag("_dlw", {{"value", b.list({again})}})};
    b.rule(rule);
    return b.build()->data();
}

class EventCounter : public ZAVDataLayerListener {
  public:
    void changed(const ZAVObjectPtr& update) override {
        if (update->objectForKey("event")) ++events;
    }
    long events = 0;
};

void BM_PushThatPushesAgain(benchmark::State& state) {
    ZAVLog::logger()->setLogLevel(ZAVLoggerLogLevelNone);
    const std::string id = "CTR-BENCH-AGAIN";
    const auto data = pushingAgainContainer();
    if (data->length() > 1024) state.SkipWithError("the container is over 1 KB");
    {
        std::ofstream out(folder() / "bundle" / id, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data->bytes()), static_cast<std::streamsize>(data->length()));
    }
    auto manager = ZODAruzivu::initWithSameInstance(false);
    manager->setRefreshMode(ZAVContainerOwner::kRefreshModeDefaultContainer);
    auto container = manager->openContainerById(id, std::make_shared<tmtest::RecordingContainerCallback>());
    auto counter = std::make_shared<EventCounter>();
    manager->dataLayer()->registerListener(counter);
    const auto push = ZAVObject::map({{ZAVObject::text("event"), ZAVObject::text("deep")}});
    long loops = 0;
    for (auto _ : state) {
        try {
            manager->dataLayer()->push(push);
        } catch (const plat::Exception&) {
            ++loops;  // the data layer's own bound of 500 updates in one push
        }
    }
    const double pushes = static_cast<double>(state.iterations());
    state.counters["container_bytes"] = static_cast<double>(data->length());
    state.counters["evaluations_per_push"] = static_cast<double>(counter->events) / pushes;
    state.counters["push_loops"] = static_cast<double>(loops);
    container->close();
}
BENCHMARK(BM_PushThatPushesAgain)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
