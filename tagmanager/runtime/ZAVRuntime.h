#pragma once
// Evaluates one expanded container: the registry of macros, predicates and tags, the rule walk that
// decides which tags fire for an event and which call answers a macro name, macro expansion inside
// values with cycle detection, two caches of static results, and the pushes of push-after-evaluate
// values. Nothing here throws at the application: failures are logged and answered with the shared
// default result, which callers recognise by identity.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/base/Cache.h"
#include "tagmanager/runtime/ZAVCustomFunctionCall.h"
#include "tagmanager/runtime/ZAVExpandedResource.h"
#include "tagmanager/runtime/ZAVMacroInfo.h"
#include "tagmanager/runtime/ZAVMacros.h"
#include "wire/schema/ZAVPServing.h"

class ZAVDataLayer;

class ZAVRuntime : public ZAVCurrentEventSource, public std::enable_shared_from_this<ZAVRuntime> {
  public:
    using Implementation = std::shared_ptr<ZAVFunctionCallImplementation>;
    using ImplementationMap = std::map<std::string, Implementation>;
    using Result = std::shared_ptr<const ZAVPValueAndStatic>;
    using Pending = std::vector<std::string>;  // macro names whose expansion is under way, in order
    using CallCache = plat::Cache<ZAVExpandedFunctionCallPtr, Result>;
    using MacroCache = plat::Cache<std::string, std::shared_ptr<const ZAVCachedMacro>>;
    static constexpr size_t kCacheCostLimit = 1048576;

    // Null, with an error line, when there is no resource.
    static std::shared_ptr<ZAVRuntime> runtimeWithResource(
        std::shared_ptr<const ZAVExpandedResource> resource, std::shared_ptr<ZAVDataLayer> dataLayer,
        std::shared_ptr<ZAVCustomEvaluator> macroEvaluator, std::shared_ptr<ZAVCustomEvaluator> tagEvaluator);

    // Fires the tags whose rules hold, in rule order and then in each rule's tag order. A tag that throws
    // is logged and the next one runs.
    void evaluateTags(const std::string& eventName);
    // While it lives, tags evaluated on this thread are evaluated for `update`, the data-layer update whose
    // event the containers are told of (the facade's listener says so). An app's push and all it causes
    // share one budget of value parts: the tags for an update that the push's own evaluations pushed (a
    // "_dlw" tag's maps or its clearing of keys, a push-after-evaluate value) go on with that budget, and
    // once it is spent the push evaluates nothing more.
    class UpdateScope {
      public:
        explicit UpdateScope(ZAVObjectPtr update);
        ~UpdateScope();
        UpdateScope(const UpdateScope&) = delete;
        UpdateScope& operator=(const UpdateScope&) = delete;
        const ZAVObjectPtr& update() const { return update_; }
        // Tells this telling of an update from another of the same object.
        uint64_t serial() const { return serial_; }

      private:
        const ZAVObjectPtr update_;
        const UpdateScope* previous_;
        const uint64_t serial_;
    };
    // The data-layer writes of an evaluation, which the tags of the updates they make count against the
    // evaluation's budget (see UpdateScope).
    static void pushFromEvaluation(ZAVDataLayer& layer, const ZAVObjectPtr& update);
    static void clearFromEvaluation(ZAVDataLayer& layer, const std::string& prefix);
    // Takes no lock of the runtime: it is called from data-layer listeners that hold the push lock.
    Result evaluateMacroReference(const std::string& macroName);
    void setSupplementals(const std::vector<std::shared_ptr<ZAVPSupplemental>>& supplementals);

    // Raise "IllegalArgumentException" for an implementation without id or a duplicate id.
    void addMacro(Implementation implementation);
    void addPredicate(Implementation implementation);
    void addTrackingTag(Implementation implementation);

    const std::shared_ptr<const ZAVExpandedResource>& resource() const { return resource_; }
    const std::shared_ptr<ZAVDataLayer>& dataLayer() const { return dataLayer_; }
    const std::vector<ZAVExpandedRulePtr>& rules() const { return rules_; }
    const ImplementationMap& trackingTagMap() const { return trackingTagMap_; }
    const ImplementationMap& predicateMap() const { return predicateMap_; }
    const ImplementationMap& macroMap() const { return macroMap_; }
    CallCache& functionCallCache() { return functionCallCache_; }
    MacroCache& macroEvaluationCache() { return macroEvaluationCache_; }
    const std::map<std::string, std::shared_ptr<ZAVMacroInfo>>& macroLookup() const {
        const_cast<ZAVRuntime*>(this)->ensurePlanned();
        return macroLookup_;
    }
    std::optional<std::string> currentEventName() const override;
    void setCurrentEventName(std::optional<std::string> name);

    // The one failure result, static, shared by every runtime.
    static const Result& defaultResult();

    // The steps, each on its own so tests can reach them.
    ZAVExpandedFunctionCallList calculateTagsToRunForRules(const std::vector<ZAVExpandedRulePtr>& rules);
    std::shared_ptr<ZAVSetAndStatic> calculateGenericToRunForRules(
        const std::vector<ZAVExpandedRulePtr>& rules, Pending& pending, ZAVAddRemoveSetPopulator& populator);
    std::shared_ptr<ZAVBooleanAndStatic> evaluatePredicatesInRule(const ZAVExpandedRule& rule,
                                                                  Pending& pending);
    std::shared_ptr<ZAVBooleanAndStatic> evaluatePredicate(const ZAVExpandedFunctionCallPtr& call,
                                                           Pending& pending);
    Result executeFunction(const ZAVExpandedFunctionCallPtr& call, const ImplementationMap& map,
                           Pending& pending);
    Result evaluateMacroReferenceWithCycleDetection(const std::string& macroName, Pending& pending);
    Result expandMacrosForValue(const ZAVPValuePtr& value, Pending& pending);
    void pushUnevaluatedValueToDataLayer(const ZAVPValuePtr& value, Pending& pending);
    static void addFunctionImplToDict(ImplementationMap& map, Implementation implementation);
    static std::string functionNameFromFunctionCall(const ZAVExpandedFunctionCall& call);

  private:
    ZAVRuntime(std::shared_ptr<const ZAVExpandedResource> resource, std::shared_ptr<ZAVDataLayer> dataLayer);
    void registerBuiltIns(std::shared_ptr<ZAVCustomEvaluator> macroEvaluator,
                          std::shared_ptr<ZAVCustomEvaluator> tagEvaluator);
    void buildMacroLookup();
    Result expandParts(const ZAVPValuePtr& value, Pending& pending);
    Result expandMacroReferenceValue(const ZAVPValuePtr& value, Pending& pending);

    const std::shared_ptr<const ZAVExpandedResource> resource_;
    const std::shared_ptr<ZAVDataLayer> dataLayer_;
    // The resource's own list, which lives as long as resource_: a copy would count on every rule twice.
    const std::vector<ZAVExpandedRulePtr>& rules_;
    ImplementationMap trackingTagMap_;
    ImplementationMap predicateMap_;
    ImplementationMap macroMap_;
    CallCache functionCallCache_{kCacheCostLimit};
    MacroCache macroEvaluationCache_{kCacheCostLimit};
    std::map<std::string, std::shared_ptr<ZAVMacroInfo>> macroLookup_;
    // Per macro name, the rules that add or remove one of its calls, in the container's order: choosing
    // a macro's call walks only these.
    std::map<std::string, std::vector<ZAVExpandedRulePtr>> macroRules_;
    // Both of the above by name in one hashed look-up: every macro reference asks for them.
    struct MacroEntry {
        const std::shared_ptr<ZAVMacroInfo>* info;
        const std::vector<ZAVExpandedRulePtr>* rules;  // empty when no rule names the macro
    };
    std::unordered_map<std::string_view, MacroEntry> macroEntries_;  // names in macroLookup_
    // Predicates that only compare the current event with a text ("_eq" of a reference to a macro
    // answered by the event macro alone, and a plain text), by call: their outcome is known without
    // expanding anything, and most rules of a container begin with one.
    struct EventTest {
        std::string macroName;
        std::string text;
        int64_t textId;  // the text's index in eventTextIds_
    };
    // The distinct texts of the event tests, numbered: a walk looks the event's name up once, and each
    // test then compares numbers.
    std::unordered_map<std::string, int64_t> eventTextIds_;
    // By memo slot (see planRules); empty for a predicate that is not an event test.
    std::vector<std::optional<EventTest>> eventTests_;
    // Macros answered by the event macro alone (see examinePredicates).
    std::unordered_set<std::string> eventMacros_;

    // Text predicates ("_eq", "_sw", "_ew", "_cn") whose references all name macros that only read a
    // data-layer key (see examinePredicates): their outcome follows from the data-layer values read, so
    // while those are the same objects (the model's nodes never change) the last outcome holds.
    struct LayerTest {
        std::vector<const std::vector<std::string>*> paths;  // the keys read, split at their dots
    };
    // Per macro name, the key path it reads; the tests point into it.
    std::map<std::string, std::optional<std::vector<std::string>>> layerPaths_;
    // By memo slot; empty for a predicate that is not a layer test.
    std::vector<std::optional<LayerTest>> layerTests_;
    // Works out once per distinct predicate (by memo slot) whether it is an event or a layer test.
    void examinePredicates(const std::vector<const ZAVExpandedFunctionCall*>& predicates);
    // What a layer test last read and gave, by memo slot; kept only for reads of plain values (their
    // evaluation logs nothing) made without a change of the model during the evaluation.
    struct LayerMemo {
        std::vector<ZAVObjectPtr> read;  // held, so no other object takes their addresses
        bool value = false;
        bool valid = false;
    };
    std::mutex layerMemosMutex_;
    std::vector<LayerMemo> layerMemos_;

    // A property value whose references all name event macros, or macros whose static value is kept
    // without a push, expands to the same value for the same event: tags that fire again for an event
    // reuse that expansion instead of building it again. Only at the top of an evaluation (nothing
    // pending), and never for references with escapings (those may log).
    struct Expansion {
        ZAVPValuePtr value;  // held, so no other value takes its address while the entry lives
        bool reusable = false;
        std::vector<std::string> staticMacros;  // must still be kept, without a push, at each reuse
        struct ForEvent {
            std::optional<std::string> event;
            Result result;
            // The result's value as an object, once an implementation has converted it.
            std::shared_ptr<ZAVConvertedValues::Slot> converted;
        };
        std::vector<ForEvent> byEvent;
    };
    static constexpr size_t kExpansionsPerValue = 16;
    static constexpr size_t kExpandedValues = 4096;
    void analyseExpansion(const ZAVPValuePtr& value, Expansion& expansion) const;
    bool staticMacrosKept(const Expansion& expansion);
    // The kept expansion and its conversion slot, or nothing.
    std::pair<Result, std::shared_ptr<ZAVConvertedValues::Slot>> reusedExpansion(
        const ZAVPValuePtr& value, const std::optional<std::string>& event);
    // The new entry's conversion slot, or null when the expansion is not kept.
    std::shared_ptr<ZAVConvertedValues::Slot> rememberExpansion(const ZAVPValuePtr& value,
                                                                const std::optional<std::string>& event,
                                                                const Result& result);
    std::mutex expansionsMutex_;
    std::unordered_map<const ZAVPValue*, Expansion> expansions_;

    // The rule walk runs over every rule on every push, so it works on plain outcomes and on what was
    // learnt about each predicate when the runtime was made.
    struct Outcome {
        bool value;
        bool isStatic;
    };
    // The current event name as one walk last read it: read again only once it has been set since.
    struct EventView {
        uint64_t version = ~uint64_t{0};
        std::optional<std::string> name;
        uint64_t idVersion = ~uint64_t{0};
        int64_t textId = -1;  // of name among eventTextIds_; -1 for none or no name
    };
    struct PlannedPredicate {
        const ZAVExpandedFunctionCallPtr* call;  // in the rule, which never changes
        const EventTest* test;                   // null for a predicate that is not an event test
        const LayerTest* layer;                  // null for a predicate that is not a layer test
        size_t memo;                             // slot in known_
    };
    struct RulePlan {
        std::span<const PlannedPredicate> negative, positive;  // in planned_
    };
    // A predicate whose result was static and kept gives that result for the runtime's life: its values
    // were written back expanded, so evaluating it again would only repeat the same pure comparison.
    // 0 not known yet, 1 static false, 2 static true.
    enum : uint8_t { kUnknown = 0, kStaticFalse = 1, kStaticTrue = 2 };
    void planRules();
    // The macro lookup and the plans are made when the runtime is first used, not when it is made: a
    // container that is replaced before it is used never needs them.
    void ensurePlanned();
    std::atomic<bool> isPlanned_{false};
    std::mutex planMutex_;
    const RulePlan* planFor(const ZAVExpandedRule* rule) const;
    std::atomic<uint8_t>* memoFor(const ZAVExpandedFunctionCall* call) const;
    const std::optional<std::string>& eventName(EventView& view) const;
    // Inline: the planned walk asks once per event test.
    int64_t eventTextId(EventView& view) const {
        if (view.idVersion == view.version &&
            eventNameVersion_.load(std::memory_order_acquire) == view.version)
            return view.textId;
        return readEventTextId(view);
    }
    int64_t readEventTextId(EventView& view) const;
    Outcome ruleOutcome(const ZAVExpandedRule& rule, const RulePlan* plan, Pending& pending,
                        EventView& event);
    Outcome predicateOutcome(const ZAVExpandedFunctionCallPtr& call, const EventTest* test,
                             const LayerTest* layer, std::atomic<uint8_t>* known, Pending& pending,
                             EventView& event);
    // The outcome of the full evaluation, and whether it failed (never kept).
    std::pair<Outcome, bool> evaluatedOutcome(const ZAVExpandedFunctionCallPtr& call,
                                              std::atomic<uint8_t>* known, Pending& pending);
    const LayerTest* layerTestFor(const ZAVExpandedFunctionCall* call) const;
    const EventTest* eventTestFor(const ZAVExpandedFunctionCall* call) const;
    size_t memoSlot(const ZAVExpandedFunctionCall* call) const;  // SIZE_MAX for no slot
    std::vector<PlannedPredicate> planned_;  // every rule's negative and then positive predicates
    std::vector<RulePlan> rulePlans_;        // one per rule of rules_, in its order
    // Sorted by address, looked up by halving.
    std::vector<std::pair<const ZAVExpandedRule*, size_t>> planIndex_;
    std::vector<std::pair<const ZAVExpandedFunctionCall*, size_t>> memoIndex_;
    std::unique_ptr<std::atomic<uint8_t>[]> known_;

    std::recursive_mutex lock_;
    mutable std::mutex eventNameMutex_;
    std::optional<std::string> currentEventName_;
    std::atomic<uint64_t> eventNameVersion_{0};
};
