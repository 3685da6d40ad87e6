#include "tagmanager/runtime/ZAVRuntime.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <optional>
#include <tuple>

#include "platform/base/Error.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/datalayer/ZAVExperimentMacroHelper.h"
#include "tagmanager/runtime/ZAVPredicate.h"
#include "tagmanager/runtime/ZAVResourceUtil.h"
#include "tagmanager/runtime/ZAVRuvAnalytics.h"
#include "tagmanager/runtime/ZAVTextMacros.h"
#include "tagmanager/runtime/ZAVTrackingTag.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tagmanager/values/ZAVValueEscapeUtil.h"
#include "wire/ZAVWireString.h"

namespace {

const std::string kSupplementalPrefix = "ruvExperiment:";

std::string describeSet(const std::vector<std::string>& names) {
    std::string out = "{(";
    for (size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + names[i];
    return out + ")}";
}

bool contains(const ZAVCallSet& set, const ZAVExpandedFunctionCallPtr& call) {
    return set.count(call) != 0;
}

// The function id a call's function value names when it needs no expansion; empty otherwise.
const std::string& functionIdOf(const ZAVPValuePtr& function) {
    static const std::string none;
    return function && !function->containsReferences() && function->hasFunctionId()
               ? function->functionId()->utf8()
               : none;
}

const std::string& functionOf(const ZAVExpandedFunctionCall& call) {
    return functionIdOf(call.propertyForKey(ZAVExpandedFunctionCall::functionKey()));
}

// The tag populator, remembering the rules that passed, in order.
class PassedRules final : public ZAVAddRemoveSetPopulator {
  public:
    void rulePassed(const ZAVExpandedRulePtr& rule, ZAVCallSet& add, ZAVCallSet& remove) override {
        tags_.rulePassed(rule, add, remove);
        passed.push_back(rule);
    }
    std::vector<ZAVExpandedRulePtr> passed;

  private:
    ZAVAddRemoveTagsPopulator tags_;
};

// Clears the event name however the evaluation ends.
class EventScope {
  public:
    EventScope(ZAVRuntime& runtime, const std::string& name) : runtime_(runtime) {
        runtime_.setCurrentEventName(name);
    }
    ~EventScope() { runtime_.setCurrentEventName(std::nullopt); }

  private:
    ZAVRuntime& runtime_;
};

// What an app's push may build of expanded values, over every evaluation it causes on this thread (a
// tag's push evaluates the tags again, up to 500 times in one push), and what one macro the app asks for
// may build. Each value of a container is bounded at load, but macro references inside values can
// multiply one another at evaluation; past this the evaluation fails, with one error line, and so does
// the rest of the push.
constexpr uint64_t kMaxBuiltParts = 100000;

struct Budget {
    uint64_t built = 0;
    bool logged = false;
    uint64_t scope = 0;  // the serial of the last UpdateScope it served
    // What its evaluations pushed that no UpdateScope has taken up yet, one entry per push in the order
    // the data layer takes them, held so that no other update takes an address; and the updates of its
    // clearings of saved keys, which the data layer makes itself: {prefix: null}.
    std::deque<ZAVObjectPtr> pushed;
    std::vector<ZAVObjectPtr> cleared;

    bool spent() const { return built > kMaxBuiltParts; }
    bool takeUp(const ZAVObject& update) {
        auto mine =
            std::find_if(pushed.begin(), pushed.end(), [&](const auto& p) { return p.get() == &update; });
        if (mine != pushed.end()) {
            pushed.erase(mine);
            return true;
        }
        auto clear =
            std::find_if(cleared.begin(), cleared.end(), [&](const auto& c) { return c->isEqual(update); });
        if (clear == cleared.end()) return false;
        cleared.erase(clear);
        return true;
    }
};
thread_local Budget* tBudget = nullptr;  // the running evaluation's
thread_local Budget tPushBudget;         // that of the push last evaluated on this thread
thread_local const ZAVRuntime::UpdateScope* tScope = nullptr;
thread_local uint64_t tScopes = 0;

// The budget of an evaluation. Inside another evaluation on this thread (a push that runs its update at
// once, a handler asking for a macro) it is the outer one's. Tags evaluated for an update go on with the
// budget of the push whose evaluations pushed it, or else begin a push's; the containers told of one
// update share it. Anything else has a budget of its own.
class BudgetScope {
  public:
    explicit BudgetScope(bool forTags) : previous_(tBudget) {
        if (previous_) return;
        if (!forTags || !tScope) {
            tBudget = &own_.emplace();
            return;
        }
        if (tPushBudget.scope != tScope->serial() && !tPushBudget.takeUp(*tScope->update()))
            tPushBudget = Budget();
        tPushBudget.scope = tScope->serial();
        tBudget = &tPushBudget;
    }
    ~BudgetScope() { tBudget = previous_; }
    BudgetScope(const BudgetScope&) = delete;
    BudgetScope& operator=(const BudgetScope&) = delete;
    bool spent() const { return tBudget->spent(); }

  private:
    Budget* previous_;
    std::optional<Budget> own_;
};

bool spendPart() {
    if (!tBudget || ++tBudget->built <= kMaxBuiltParts) return true;
    if (!tBudget->logged) {
        tBudget->logged = true;
        ZAVLog::error("Evaluation too large: more than " + std::to_string(kMaxBuiltParts) +
                      " parts of values built; the evaluation fails");
    }
    return false;
}

}  // namespace

const ZAVRuntime::Result& ZAVRuntime::defaultResult() {
    static const Result result = ZAVPValueAndStatic::valueWithValue(ZAVTypes::defaultValue(), true);
    return result;
}

ZAVRuntime::ZAVRuntime(std::shared_ptr<const ZAVExpandedResource> resource,
                       std::shared_ptr<ZAVDataLayer> dataLayer)
    : resource_(std::move(resource)), dataLayer_(std::move(dataLayer)), rules_(resource_->rules()) {}

std::shared_ptr<ZAVRuntime> ZAVRuntime::runtimeWithResource(
    std::shared_ptr<const ZAVExpandedResource> resource, std::shared_ptr<ZAVDataLayer> dataLayer,
    std::shared_ptr<ZAVCustomEvaluator> macroEvaluator, std::shared_ptr<ZAVCustomEvaluator> tagEvaluator) {
    if (!resource) {
        ZAVLog::error("resource cannot be nil");
        return nullptr;
    }
    std::shared_ptr<ZAVRuntime> runtime(new ZAVRuntime(std::move(resource), std::move(dataLayer)));
    runtime->registerBuiltIns(std::move(macroEvaluator), std::move(tagEvaluator));
    return runtime;
}

void ZAVRuntime::ensurePlanned() {
    if (isPlanned_.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(planMutex_);
    if (isPlanned_.load(std::memory_order_relaxed)) return;
    buildMacroLookup();
    planRules();
    isPlanned_.store(true, std::memory_order_release);
}

void ZAVRuntime::registerBuiltIns(std::shared_ptr<ZAVCustomEvaluator> macroEvaluator,
                                  std::shared_ptr<ZAVCustomEvaluator> tagEvaluator) {
    addTrackingTag(std::make_shared<ZAVCustomFunctionCall>(std::move(tagEvaluator)));
    addTrackingTag(std::make_shared<ZAVArbitraryPixel>());
    addTrackingTag(std::make_shared<ZAVDataLayerWrite>(dataLayer_));
    addTrackingTag(std::make_shared<ZAVRuvAnalytics>(dataLayer_));

    for (Implementation p : std::initializer_list<Implementation>{
             std::make_shared<ZAVContains>(), std::make_shared<ZAVEndsWith>(), std::make_shared<ZAVEquals>(),
             std::make_shared<ZAVGreaterEquals>(), std::make_shared<ZAVGreaterThan>(),
             std::make_shared<ZAVLessEquals>(), std::make_shared<ZAVLessThan>(), std::make_shared<ZAVRegex>(),
             std::make_shared<ZAVStartsWith>()})
        addPredicate(p);

    std::weak_ptr<const ZAVCurrentEventSource> self = std::static_pointer_cast<const ZAVCurrentEventSource>(
        std::const_pointer_cast<const ZAVRuntime>(shared_from_this()));
    for (Implementation m : std::initializer_list<Implementation>{
             std::make_shared<ZAVAdvertiserId>(),
             std::make_shared<ZAVAdvertiserIdFixed>(),
             std::make_shared<ZAVAdvertisingTrackingEnabledMacro>(),
             std::make_shared<ZAVAdnetClickReferrer>(),
             std::make_shared<ZAVAppId>(),
             std::make_shared<ZAVAppName>(),
             std::make_shared<ZAVAppVersion>(),
             std::make_shared<ZAVConstantMacro>(),
             std::make_shared<ZAVContainerVersionMacro>(resource_->version()),
             std::make_shared<ZAVCustomFunctionCall>(std::move(macroEvaluator)),
             std::make_shared<ZAVDataLayerMacro>(dataLayer_),
             std::make_shared<ZAVDeviceName>(),
             std::make_shared<ZAVEncode>(),
             std::make_shared<ZAVEventMacro>(self),
             std::make_shared<ZAVVuzVersionMacro>(),
             std::make_shared<ZAVHashMacro>(),
             std::make_shared<ZAVJoinerMacro>(),
             std::make_shared<ZAVLanguage>(),
             std::make_shared<ZAVMobileAdnetUniqueIdMacro>(),
             std::make_shared<ZAVOsVersion>(),
             std::make_shared<ZAVPlatform>(),
             std::make_shared<ZAVRandom>(),
             std::make_shared<ZAVRegexGroup>(),
             std::make_shared<ZAVResolution>(),
             std::make_shared<ZAVRuntimeVersion>(),
             std::make_shared<ZAVSdkVersion>(),
             std::make_shared<ZAVTime>()})
        addMacro(m);
}

void ZAVRuntime::buildMacroLookup() {
    auto infoFor = [this](const std::string& name) {
        auto& info = macroLookup_[name];
        if (!info) info = std::make_shared<ZAVMacroInfo>();
        return info;
    };
    auto ruleFor = [this](const std::string& name, const ZAVExpandedRulePtr& rule) {
        auto& ordered = macroRules_[name];
        if (std::find(ordered.begin(), ordered.end(), rule) == ordered.end()) ordered.push_back(rule);
    };
    for (const auto& rule : rules_) {
        for (const auto& call : rule->addMacros()) {
            const std::string name = functionNameFromFunctionCall(*call);
            auto info = infoFor(name);
            info->rules().insert(rule);
            info->addAddMacro(call, rule);
            ruleFor(name, rule);
        }
        for (const auto& call : rule->removeMacros()) {
            const std::string name = functionNameFromFunctionCall(*call);
            auto info = infoFor(name);
            info->rules().insert(rule);
            info->addRemoveMacro(call, rule);
            ruleFor(name, rule);
        }
    }
    // Both in name order: walked side by side, so each name is found or placed where the walk stands.
    auto at = macroLookup_.begin();
    for (const auto& [name, calls] : resource_->allMacros()) {
        ZAVExpandedFunctionCallPtr chosen;
        for (const auto& call : calls) {
            auto flag = call->propertyForKey(ZAVExpandedFunctionCall::notDefaultMacroKey());
            if (flag && ZAVTypes::valueToBoolean(flag)->boolValue()) continue;
            chosen = call;
        }
        if (!chosen) continue;
        while (at != macroLookup_.end() && at->first < name) ++at;
        auto info = at != macroLookup_.end() && at->first == name
                        ? at
                        : macroLookup_.emplace_hint(at, name, std::make_shared<ZAVMacroInfo>());
        info->second->setDefaultFunctionCall(std::move(chosen));
        at = std::next(info);
    }
    static const std::vector<ZAVExpandedRulePtr> kNoRules;
    macroEntries_.reserve(macroLookup_.size());
    for (const auto& [name, info] : macroLookup_) {
        auto ordered = macroRules_.find(name);
        macroEntries_.emplace(name,
                              MacroEntry{&info, ordered == macroRules_.end() ? &kNoRules : &ordered->second});
    }
}

void ZAVRuntime::planRules() {
    // Each distinct predicate gets one slot: its place among them in address order.
    size_t count = 0;
    for (const auto& rule : rules_)
        count += rule->negativePredicates().size() + rule->positivePredicates().size();
    std::vector<const ZAVExpandedFunctionCall*> distinct;
    distinct.reserve(count);
    for (const auto& rule : rules_)
        for (const auto* list : {&rule->negativePredicates(), &rule->positivePredicates()})
            for (const auto& call : *list) distinct.push_back(call.get());
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    memoIndex_.reserve(distinct.size());
    for (size_t slot = 0; slot < distinct.size(); ++slot) memoIndex_.emplace_back(distinct[slot], slot);
    planned_.reserve(count);
    for (const auto& rule : rules_)
        for (const auto* list : {&rule->negativePredicates(), &rule->positivePredicates()})
            for (const auto& call : *list)
                planned_.push_back({&call, nullptr, nullptr, memoSlot(call.get())});
    eventTests_.resize(distinct.size());
    layerTests_.resize(distinct.size());
    examinePredicates(distinct);
    for (auto& planned : planned_) {
        if (eventTests_[planned.memo]) planned.test = &*eventTests_[planned.memo];
        if (layerTests_[planned.memo]) planned.layer = &*layerTests_[planned.memo];
    }
    rulePlans_.reserve(rules_.size());
    planIndex_.reserve(rules_.size());
    const PlannedPredicate* next = planned_.data();
    for (const auto& rule : rules_) {
        const size_t negatives = rule->negativePredicates().size();
        const size_t positives = rule->positivePredicates().size();
        planIndex_.emplace_back(rule.get(), rulePlans_.size());
        rulePlans_.push_back({{next, negatives}, {next + negatives, positives}});
        next += negatives + positives;
    }
    std::sort(planIndex_.begin(), planIndex_.end());
    known_ = std::make_unique<std::atomic<uint8_t>[]>(distinct.size());
    for (size_t i = 0; i < distinct.size(); ++i) known_[i].store(kUnknown, std::memory_order_relaxed);
    layerMemos_.resize(distinct.size());
}

void ZAVRuntime::examinePredicates(const std::vector<const ZAVExpandedFunctionCall*>& predicates) {
    auto textOf = [](const ZAVPValuePtr& value) -> std::optional<std::string> {
        if (!value || value->containsReferences() || value->type() != ZAVPValue_Type_String ||
            !value->hasString())
            return std::nullopt;
        return value->string()->utf8();
    };
    // A value that converts to a text without a log line.
    auto isPlain = [](const ZAVPValuePtr& value) {
        if (!value || value->containsReferences()) return false;
        switch (value->type()) {
            case ZAVPValue_Type_String:
                return value->hasString();
            case ZAVPValue_Type_Integer:
            case ZAVPValue_Type_Boolean:
                return true;
            default:
                return false;
        }
    };
    // A macro answered by the event macro whatever happens: no rule chooses its call, its default call
    // has nothing to expand or push, and its value is the event's name as a text.
    // Both by one look-up of the name: its info when no rule names the macro, else null.
    auto unchosen = [&](std::string_view name) -> const ZAVMacroInfo* {
        auto entry = macroEntries_.find(name);
        return entry == macroEntries_.end() || !entry->second.rules->empty() ? nullptr
                                                                             : entry->second.info->get();
    };
    auto isEventMacro = [&](const std::string& name) {
        const auto* info = unchosen(name);
        if (!info) return false;
        const auto& call = info->defaultFunctionCall();
        if (!call || call->pushAfterEvaluate()) return false;
        bool plain = true;
        call->forEachProperty([&](const std::string& key, const ZAVPValuePtr& value) {
            if ((key != ZAVExpandedFunctionCall::functionKey() &&
                 key != ZAVExpandedFunctionCall::instanceNameKey()) ||
                (value && value->containsReferences()))
                plain = false;
        });
        return plain && functionOf(*call) == ZAVEventMacro::functionId();
    };
    for (const auto& [name, info] : macroLookup_)
        if (isEventMacro(name)) eventMacros_.insert(name);

    // The key a macro reads when it is answered by the data-layer macro whatever happens: no rule
    // chooses its call, nothing of it is expanded or pushed, and its default value is plain.
    auto layerKey = [&](const std::string& name) -> std::optional<std::string> {
        const auto* info = unchosen(name);
        if (!info) return std::nullopt;
        const auto& call = info->defaultFunctionCall();
        if (!call || call->pushAfterEvaluate()) return std::nullopt;
        if (functionOf(*call) != ZAVDataLayerMacro::functionId()) return std::nullopt;
        bool references = false;
        bool hasFallback = false;
        ZAVPValuePtr fallback, key;
        call->forEachProperty([&](const std::string& property, const ZAVPValuePtr& value) {
            references = references || (value && value->containsReferences());
            if (property == ZAVDataLayerMacro::defaultValueKey()) {
                hasFallback = true;
                fallback = value;
            } else if (property == ZAVDataLayerMacro::nameKey()) {
                key = value;
            }
        });
        if (references || (hasFallback && !isPlain(fallback))) return std::nullopt;
        if (!key || key->type() != ZAVPValue_Type_String || !key->hasString()) return std::nullopt;
        return key->string()->utf8();
    };
    // Each macro's answer worked out once, however many predicates read it.
    auto layerPath = [&](const std::string& name) -> const std::optional<std::vector<std::string>>& {
        auto found = layerPaths_.find(name);
        if (found != layerPaths_.end()) return found->second;
        auto key = layerKey(name);
        return layerPaths_.emplace(name, key ? std::optional(ZAVDataLayer::keyPath(*key)) : std::nullopt)
            .first->second;
    };

    enum Role : uint8_t { kOther, kFunction, kArg0, kArg1 };
    std::vector<std::pair<Role, ZAVPValuePtr>> properties;
    for (size_t slot = 0; slot < predicates.size(); ++slot) {
        const auto* call = predicates[slot];
        if (!call) continue;
        // Read once, outside the call's lock: a reference leads to other calls.
        properties.clear();
        call->forEachProperty([&](const std::string& key, const ZAVPValuePtr& value) {
            Role role = key == ZAVExpandedFunctionCall::functionKey() ? kFunction
                        : key == ZAVPredicate::arg0Key()              ? kArg0
                        : key == ZAVPredicate::arg1Key()              ? kArg1
                                                                      : kOther;
            properties.emplace_back(role, value);
        });
        ZAVPValuePtr function, arg0, arg1;
        for (const auto& [role, value] : properties) {
            if (role == kFunction) function = value;
            if (role == kArg0) arg0 = value;
            if (role == kArg1) arg1 = value;
        }
        const std::string& id = functionIdOf(function);

        // An event test: "_eq" of a reference to an event macro and a plain text, nothing else.
        if (properties.size() == 3 && id == ZAVEquals::functionId() && arg0 && arg1) {
            const auto& reference = arg0;
            auto text = textOf(arg1);
            if (text && reference->type() == ZAVPValue_Type_MacroReference &&
                reference->containsReferences() && reference->hasMacroReference() &&
                ZAVTypes::escapingCount(*reference) == 0) {
                const std::string name = reference->macroReference()->utf8();
                if (eventMacros_.count(name)) {
                    const int64_t textId =
                        eventTextIds_.try_emplace(*text, eventTextIds_.size()).first->second;
                    eventTests_[slot] = EventTest{name, *text, textId};
                    continue;
                }
            }
        }

        // A layer test: a text predicate whose references all read data-layer keys.
        if (id != ZAVEquals::functionId() && id != ZAVStartsWith::functionId() &&
            id != ZAVEndsWith::functionId() && id != ZAVContains::functionId())
            continue;
        LayerTest test;
        bool fits = true;
        for (const auto& [role, value] : properties) {
            const bool argument = role == kArg0 || role == kArg1;
            if (!value || !value->containsReferences()) {
                // The arguments are turned into texts; the rest only has to be there.
                fits = !argument || isPlain(value);
            } else if (value->type() != ZAVPValue_Type_MacroReference || !value->hasMacroReference() ||
                       ZAVTypes::escapingCount(*value) != 0) {
                fits = false;
            } else if (const auto& path = layerPath(value->macroReference()->utf8())) {
                test.paths.push_back(&*path);
            } else {
                fits = false;
            }
            if (!fits) break;
        }
        if (fits && !test.paths.empty()) layerTests_[slot] = std::move(test);
    }
}

const ZAVRuntime::LayerTest* ZAVRuntime::layerTestFor(const ZAVExpandedFunctionCall* call) const {
    const size_t slot = memoSlot(call);
    return slot < layerTests_.size() && layerTests_[slot] ? &*layerTests_[slot] : nullptr;
}

const ZAVRuntime::EventTest* ZAVRuntime::eventTestFor(const ZAVExpandedFunctionCall* call) const {
    const size_t slot = memoSlot(call);
    return slot < eventTests_.size() && eventTests_[slot] ? &*eventTests_[slot] : nullptr;
}

size_t ZAVRuntime::memoSlot(const ZAVExpandedFunctionCall* call) const {
    auto found = std::lower_bound(memoIndex_.begin(), memoIndex_.end(), std::make_pair(call, size_t{0}));
    return found != memoIndex_.end() && found->first == call ? found->second : SIZE_MAX;
}

const ZAVRuntime::RulePlan* ZAVRuntime::planFor(const ZAVExpandedRule* rule) const {
    auto found = std::lower_bound(planIndex_.begin(), planIndex_.end(), std::make_pair(rule, size_t{0}));
    return found != planIndex_.end() && found->first == rule ? &rulePlans_[found->second] : nullptr;
}

std::atomic<uint8_t>* ZAVRuntime::memoFor(const ZAVExpandedFunctionCall* call) const {
    const size_t slot = memoSlot(call);
    return slot == SIZE_MAX ? nullptr : &known_[slot];
}

std::string ZAVRuntime::functionNameFromFunctionCall(const ZAVExpandedFunctionCall& call) {
    return ZAVTypes::valueToText(call.propertyForKey(ZAVExpandedFunctionCall::instanceNameKey()));
}

void ZAVRuntime::addFunctionImplToDict(ImplementationMap& map, Implementation implementation) {
    if (!implementation || implementation->instanceFunctionId().empty())
        throw plat::Exception("IllegalArgumentException", "instanceFunctionId should be set");
    const std::string id = implementation->instanceFunctionId();
    if (map.count(id))
        throw plat::Exception("IllegalArgumentException", "Duplicate function type name: " + id);
    map.emplace(id, std::move(implementation));
}

void ZAVRuntime::addMacro(Implementation implementation) {
    addFunctionImplToDict(macroMap_, std::move(implementation));
}

void ZAVRuntime::addPredicate(Implementation implementation) {
    addFunctionImplToDict(predicateMap_, std::move(implementation));
}

void ZAVRuntime::addTrackingTag(Implementation implementation) {
    addFunctionImplToDict(trackingTagMap_, std::move(implementation));
}

std::optional<std::string> ZAVRuntime::currentEventName() const {
    std::lock_guard<std::mutex> lock(eventNameMutex_);
    return currentEventName_;
}

void ZAVRuntime::setCurrentEventName(std::optional<std::string> name) {
    std::lock_guard<std::mutex> lock(eventNameMutex_);
    currentEventName_ = std::move(name);
    eventNameVersion_.fetch_add(1, std::memory_order_release);
}

int64_t ZAVRuntime::readEventTextId(EventView& view) const {
    const auto& name = eventName(view);
    if (view.idVersion != view.version) {
        view.idVersion = view.version;
        auto found = name ? eventTextIds_.find(*name) : eventTextIds_.end();
        view.textId = found == eventTextIds_.end() ? -1 : found->second;
    }
    return view.textId;
}

const std::optional<std::string>& ZAVRuntime::eventName(EventView& view) const {
    if (eventNameVersion_.load(std::memory_order_acquire) != view.version) {
        std::lock_guard<std::mutex> lock(eventNameMutex_);
        view.version = eventNameVersion_.load(std::memory_order_relaxed);
        view.name = currentEventName_;
    }
    return view.name;
}

void ZAVRuntime::evaluateTags(const std::string& eventName) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    BudgetScope budget(true);
    if (budget.spent()) return;
    EventScope scope(*this, eventName);
    for (const auto& tag : calculateTagsToRunForRules(rules_)) {
        if (budget.spent()) break;
        // One tag's failure stays with that tag: the others of the event still fire.
        try {
            Pending pending;
            executeFunction(tag, trackingTagMap_, pending);
        } catch (const plat::Exception& e) {
            ZAVLog::error("Tag " + functionNameFromFunctionCall(*tag) + " threw exception " + e.reason());
        } catch (const std::exception& e) {
            ZAVLog::error("Tag " + functionNameFromFunctionCall(*tag) + " threw exception " + e.what());
        }
    }
}

ZAVExpandedFunctionCallList ZAVRuntime::calculateTagsToRunForRules(
    const std::vector<ZAVExpandedRulePtr>& rules) {
    Pending pending;
    PassedRules populator;
    auto chosen = calculateGenericToRunForRules(rules, pending, populator);
    // In rule order, then each rule's tag order; a tag added twice fires once. Only a passing rule can
    // have added a chosen tag.
    ZAVExpandedFunctionCallList ordered;
    ZAVCallSet taken;
    for (const auto& rule : populator.passed)
        for (const auto& tag : rule->addTags())
            if (contains(*chosen->set(), tag) && taken.insert(tag).second) ordered.push_back(tag);
    return ordered;
}

std::shared_ptr<ZAVSetAndStatic> ZAVRuntime::calculateGenericToRunForRules(
    const std::vector<ZAVExpandedRulePtr>& rules, Pending& pending, ZAVAddRemoveSetPopulator& populator) {
    ensurePlanned();
    auto add = std::make_shared<ZAVCallSet>();
    ZAVCallSet remove;
    bool allStatic = true;
    EventView event;
    const bool planned = &rules == &rules_;
    for (size_t i = 0; i < rules.size(); ++i) {
        const auto& rule = rules[i];
        auto outcome = ruleOutcome(*rule, planned ? &rulePlans_[i] : planFor(rule.get()), pending, event);
        if (outcome.value) populator.rulePassed(rule, *add, remove);
        allStatic = allStatic && outcome.isStatic;
    }
    for (const auto& call : remove) add->erase(call);
    return ZAVSetAndStatic::setWithSet(add, allStatic);
}

std::shared_ptr<ZAVBooleanAndStatic> ZAVRuntime::evaluatePredicatesInRule(const ZAVExpandedRule& rule,
                                                                          Pending& pending) {
    ensurePlanned();
    EventView event;
    auto outcome = ruleOutcome(rule, planFor(&rule), pending, event);
    return ZAVBooleanAndStatic::booleanWithBool(outcome.value, outcome.isStatic);
}

ZAVRuntime::Outcome ZAVRuntime::ruleOutcome(const ZAVExpandedRule& rule, const RulePlan* plan,
                                            Pending& pending, EventView& event) {
    bool allStatic = true;
    if (!plan) {
        // Negative predicates first; the first that decides the rule gives its own static flag.
        for (const auto& call : rule.negativePredicates()) {
            auto outcome = predicateOutcome(call, nullptr, nullptr, nullptr, pending, event);
            if (outcome.value) return {false, outcome.isStatic};
            allStatic = allStatic && outcome.isStatic;
        }
        for (const auto& call : rule.positivePredicates()) {
            auto outcome = predicateOutcome(call, nullptr, nullptr, nullptr, pending, event);
            if (!outcome.value) return {false, outcome.isStatic};
            allStatic = allStatic && outcome.isStatic;
        }
        return {true, allStatic};
    }
    // The same over the plan; a kept outcome and an event test are answered here, as most are.
    auto outcomeOf = [&](const PlannedPredicate& planned) -> Outcome {
        auto& known = known_[planned.memo];
        const uint8_t memo = known.load(std::memory_order_acquire);
        if (memo != kUnknown) return {memo == kStaticTrue, true};
        if (planned.test && pending.empty()) return {eventTextId(event) == planned.test->textId, false};
        return predicateOutcome(*planned.call, planned.test, planned.layer, &known, pending, event);
    };
    for (const auto& planned : plan->negative) {
        auto outcome = outcomeOf(planned);
        if (outcome.value) return {false, outcome.isStatic};
        allStatic = allStatic && outcome.isStatic;
    }
    for (const auto& planned : plan->positive) {
        auto outcome = outcomeOf(planned);
        if (!outcome.value) return {false, outcome.isStatic};
        allStatic = allStatic && outcome.isStatic;
    }
    return {true, allStatic};
}

std::shared_ptr<ZAVBooleanAndStatic> ZAVRuntime::evaluatePredicate(const ZAVExpandedFunctionCallPtr& call,
                                                                   Pending& pending) {
    ensurePlanned();
    EventView event;
    auto outcome = predicateOutcome(call, call ? eventTestFor(call.get()) : nullptr,
                                    call ? layerTestFor(call.get()) : nullptr,
                                    call ? memoFor(call.get()) : nullptr, pending, event);
    return ZAVBooleanAndStatic::booleanWithBool(outcome.value, outcome.isStatic);
}

ZAVRuntime::Outcome ZAVRuntime::predicateOutcome(const ZAVExpandedFunctionCallPtr& call,
                                                 const EventTest* test, const LayerTest* layer,
                                                 std::atomic<uint8_t>* known, Pending& pending,
                                                 EventView& event) {
    if (known) {
        const uint8_t memo = known->load(std::memory_order_acquire);
        if (memo != kUnknown) return {memo == kStaticTrue, true};
    }
    // What the whole evaluation would give: the event macro's text (or its default value outside an
    // event, which no text equals) compared with the text; never static.
    if (test &&
        (pending.empty() || std::find(pending.begin(), pending.end(), test->macroName) == pending.end())) {
        return {eventTextId(event) == test->textId, false};
    }
    // Inside a macro's evaluation a reference may close a cycle, which is logged: evaluated in full.
    if (!layer || !known || !pending.empty()) return evaluatedOutcome(call, known, pending).first;

    const uint64_t version = dataLayer_->modelVersion();
    std::vector<ZAVObjectPtr> read;
    read.reserve(layer->paths.size());
    bool plain = true;
    for (const auto* path : layer->paths) {
        read.push_back(dataLayer_->get(*path));
        const auto& object = read.back();
        plain = plain && (!object || object == ZAVObject::nullMarker() || object->isText() ||
                          object->isNumber() || object->isBoolean());
    }
    const size_t slot = static_cast<size_t>(known - known_.get());
    if (plain) {
        std::lock_guard<std::mutex> lock(layerMemosMutex_);
        const auto& memo = layerMemos_[slot];
        if (memo.valid && memo.read == read) return {memo.value, false};
    }
    auto [outcome, failed] = evaluatedOutcome(call, known, pending);
    if (plain && !failed && !outcome.isStatic && dataLayer_->modelVersion() == version) {
        std::lock_guard<std::mutex> lock(layerMemosMutex_);
        layerMemos_[slot] = {std::move(read), outcome.value, true};
    }
    return outcome;
}

std::pair<ZAVRuntime::Outcome, bool> ZAVRuntime::evaluatedOutcome(const ZAVExpandedFunctionCallPtr& call,
                                                                  std::atomic<uint8_t>* known,
                                                                  Pending& pending) {
    auto result = executeFunction(call, predicateMap_, pending);
    auto boolean = ZAVTypes::valueToBoolean(result->value());
    const bool value = boolean && boolean->boolValue();
    const bool failed =
        result == defaultResult() || !result->value() || result->value() == ZAVTypes::defaultValue();
    // Kept only where executeFunction keeps a result: a failure is logged again on every evaluation.
    if (known && result->isStatic() && !failed)
        known->store(value ? kStaticTrue : kStaticFalse, std::memory_order_release);
    return {{value, result->isStatic()}, failed};
}

ZAVRuntime::Result ZAVRuntime::executeFunction(const ZAVExpandedFunctionCallPtr& call,
                                               const ImplementationMap& map, Pending& pending) {
    ensurePlanned();
    // One snapshot of the properties serves the function id and the expansion.
    const auto snapshot = call ? call->sharedProperties() : nullptr;
    ZAVPValuePtr function;
    if (snapshot) {
        auto entry = snapshot->find(ZAVExpandedFunctionCall::functionKey());
        if (entry != snapshot->end()) function = entry->second;
    }
    if (!function) {
        ZAVLog::error("No function id in properties");
        return defaultResult();
    }
    const std::string id = function->hasFunctionId() ? function->functionId()->utf8() : std::string();
    auto found = map.find(id);
    if (found == map.end()) {
        ZAVLog::error(id + " has no backing implementation.");
        return defaultResult();
    }
    if (auto cached = functionCallCache_.object(call)) return *cached;

    // Values without references stand for themselves, statically: the call's own snapshot then goes to
    // the implementation as it is, and a copy is made only once an expansion gives a new value.
    std::optional<ZAVFunctionCallImplementation::Properties> changed;
    ZAVConvertedValues converted;  // of the reused expansions' values
    bool allStatic = true;
    EventView event;  // read once, when a value may be reused
    for (const auto& [name, value] : *snapshot) {
        if (!value || !value->containsReferences()) continue;
        Result result;
        std::shared_ptr<ZAVConvertedValues::Slot> slot;
        if (pending.empty()) std::tie(result, slot) = reusedExpansion(value, eventName(event));
        if (!result) {
            result = expandMacrosForValue(value, pending);
            // Kept only when no other thread set the event name while the value was expanded.
            if (pending.empty() && result != defaultResult() && !result->isStatic() &&
                eventNameVersion_.load(std::memory_order_acquire) == event.version)
                slot = rememberExpansion(value, event.name, result);
        }
        if (slot && result->value()) converted.add(result->value().get(), std::move(slot));
        if (result == defaultResult()) return defaultResult();
        if (result->isStatic())
            call->updateCacheablePropertyWithValue(result->value(), name);
        else
            allStatic = false;
        if (result->value() != value) {
            if (!changed) changed.emplace(*snapshot);
            (*changed)[name] = result->value();
        }
    }
    const auto& expanded = changed ? *changed : *snapshot;
    const auto& implementation = found->second;
    if (!implementation->hasRequiredKeys(expanded)) {
        std::string required, had;
        for (const auto& k : implementation->requiredKeys()) required += (required.empty() ? "" : ", ") + k;
        for (const auto& entry : expanded) had += (had.empty() ? "" : ", ") + entry.first;
        ZAVLog::error("Incorrect keys for function " + id + " required {(" + required + ")} had (" + had +
                      ")");
        return defaultResult();
    }
    const bool cacheable = allStatic && implementation->isCacheable();
    auto value = converted.empty() ? implementation->evaluate(expanded)
                                   : implementation->evaluateWithConverted(expanded, converted);
    auto result = ZAVPValueAndStatic::valueWithValue(value, cacheable);
    // A failed evaluation is never kept: what it depended on may be there next time.
    if (cacheable && value && value != ZAVTypes::defaultValue())
        functionCallCache_.setObject(call, result, value->serializedSize());
    return result;
}

void ZAVRuntime::analyseExpansion(const ZAVPValuePtr& value, Expansion& expansion) const {
    bool pure = true;
    std::function<void(const ZAVPValuePtr&)> walk = [&](const ZAVPValuePtr& part) {
        if (!pure || !part || !part->containsReferences()) return;
        auto items = [&](const ZAVWireArray* array) {
            for (size_t i = 0; array && i < array->count(); ++i)
                walk(std::dynamic_pointer_cast<ZAVPValue>(array->objectAtIndex(i)));
        };
        switch (part->type()) {
            case ZAVPValue_Type_List:
                items(part->listItemArray().get());
                break;
            case ZAVPValue_Type_Template:
                items(part->templateTokenArray().get());
                break;
            case ZAVPValue_Type_Map:
                // An uneven map is an error, logged at each expansion.
                if (part->mapKeyArray()->count() != part->mapValueArray()->count()) {
                    pure = false;
                    return;
                }
                items(part->mapKeyArray().get());
                items(part->mapValueArray().get());
                break;
            case ZAVPValue_Type_MacroReference: {
                if (!part->hasMacroReference() || part->escapingArray_Count() != 0) {
                    pure = false;
                    return;
                }
                std::string name = part->macroReference()->utf8();
                if (!eventMacros_.count(name)) expansion.staticMacros.push_back(std::move(name));
                break;
            }
            default:
                pure = false;
        }
    };
    walk(value);
    expansion.reusable = pure;
}

bool ZAVRuntime::staticMacrosKept(const Expansion& expansion) {
    for (const auto& name : expansion.staticMacros) {
        auto cached = macroEvaluationCache_.object(name);
        if (!cached || (*cached)->pushAfterEvaluate() || !(*cached)->valueAndStatic()->isStatic())
            return false;
    }
    return true;
}

std::pair<ZAVRuntime::Result, std::shared_ptr<ZAVConvertedValues::Slot>> ZAVRuntime::reusedExpansion(
    const ZAVPValuePtr& value, const std::optional<std::string>& event) {
    std::lock_guard<std::mutex> lock(expansionsMutex_);
    auto found = expansions_.find(value.get());
    if (found == expansions_.end() || !found->second.reusable) return {};
    for (const auto& entry : found->second.byEvent)
        if (entry.event == event)
            return staticMacrosKept(found->second) ? std::make_pair(entry.result, entry.converted)
                                                   : std::make_pair(Result(), nullptr);
    return {};
}

std::shared_ptr<ZAVConvertedValues::Slot> ZAVRuntime::rememberExpansion(
    const ZAVPValuePtr& value, const std::optional<std::string>& event, const Result& result) {
    std::lock_guard<std::mutex> lock(expansionsMutex_);
    auto found = expansions_.find(value.get());
    if (found == expansions_.end()) {
        if (expansions_.size() >= kExpandedValues) expansions_.clear();
        found = expansions_.emplace(value.get(), Expansion{}).first;
        found->second.value = value;
        analyseExpansion(value, found->second);
    }
    auto& expansion = found->second;
    // The static values it used must have been kept, or a later use would skip their evaluation.
    if (!expansion.reusable || !staticMacrosKept(expansion)) return nullptr;
    if (expansion.byEvent.size() >= kExpansionsPerValue) expansion.byEvent.clear();
    auto slot = std::make_shared<ZAVConvertedValues::Slot>();
    expansion.byEvent.push_back({event, result, slot});
    return slot;
}

ZAVRuntime::Result ZAVRuntime::evaluateMacroReference(const std::string& macroName) {
    BudgetScope budget(false);
    Pending pending;
    return evaluateMacroReferenceWithCycleDetection(macroName, pending);
}

ZAVRuntime::Result ZAVRuntime::evaluateMacroReferenceWithCycleDetection(const std::string& macroName,
                                                                        Pending& pending) {
    ensurePlanned();
    if (auto cached = macroEvaluationCache_.object(macroName)) {
        pushUnevaluatedValueToDataLayer((*cached)->pushAfterEvaluate(), pending);
        return (*cached)->valueAndStatic();
    }
    auto lookup = macroEntries_.find(macroName);
    if (lookup == macroEntries_.end()) {
        ZAVLog::error("Invalid macro: " + macroName);
        return defaultResult();
    }
    const auto& info = *lookup->second.info;
    // Only the rules that name this macro, in the container's order.
    const auto& rules = *lookup->second.rules;
    ZAVAddRemoveMacrosPopulator populator(info->addMacros(), info->removeMacros());
    // No rule names most macros: nothing is chosen, statically, and the default call answers.
    auto chosen = rules.empty() ? nullptr : calculateGenericToRunForRules(rules, pending, populator);
    const bool chosenStatic = !chosen || chosen->isStatic();

    ZAVExpandedFunctionCallPtr call;
    if (chosen && !chosen->set()->empty()) {
        if (chosen->set()->size() > 1) ZAVLog::warning("Multiple macros active for macroName " + macroName);
        // The first one added, in rule order and then each rule's macro order.
        for (const auto& rule : rules) {
            for (const auto& candidate : rule->addMacros())
                if (contains(*chosen->set(), candidate)) {
                    call = candidate;
                    break;
                }
            if (call) break;
        }
    } else {
        call = info->defaultFunctionCall();
    }
    if (!call) return defaultResult();

    auto executed = executeFunction(call, macroMap_, pending);
    Result result =
        executed == defaultResult()
            ? defaultResult()
            : ZAVPValueAndStatic::valueWithValue(executed->value(), chosenStatic && executed->isStatic());
    // The default result is never kept: a macro that failed while a rule was false may succeed later.
    if (result != defaultResult() && result->isStatic() && result->value() != ZAVTypes::defaultValue()) {
        const auto& push = call->pushAfterEvaluate();
        size_t cost = ZAVWireString::create(macroName)->length() + result->value()->serializedSize() +
                      (push ? push->serializedSize() : 0);
        macroEvaluationCache_.setObject(macroName, std::make_shared<ZAVCachedMacro>(result, push), cost);
    }
    pushUnevaluatedValueToDataLayer(call->pushAfterEvaluate(), pending);
    return result;
}

ZAVRuntime::Result ZAVRuntime::expandMacrosForValue(const ZAVPValuePtr& value, Pending& pending) {
    if (!value || !value->containsReferences()) return ZAVPValueAndStatic::valueWithValue(value, true);
    switch (value->type()) {
        case ZAVPValue_Type_List:
        case ZAVPValue_Type_Map:
        case ZAVPValue_Type_Template:
            return expandParts(value, pending);
        case ZAVPValue_Type_MacroReference:
            return expandMacroReferenceValue(value, pending);
        default:
            ZAVLog::error("Unknown type: " + std::to_string(static_cast<int32_t>(value->type())));
            return defaultResult();
    }
}

ZAVRuntime::Result ZAVRuntime::expandParts(const ZAVPValuePtr& value, Pending& pending) {
    auto built = ZAVResourceUtil::valueBuilderBasedOnValue(*value);
    auto expandInto = [&](const ZAVWireArray& from, const ZAVWireMutableArrayPtr& into) {
        for (size_t i = 0; i < from.count(); ++i) {
            auto part =
                expandMacrosForValue(std::dynamic_pointer_cast<ZAVPValue>(from.objectAtIndex(i)), pending);
            if (part == defaultResult() || !spendPart()) return false;
            into->addObject(part->value());
        }
        return true;
    };
    if (value->type() == ZAVPValue_Type_List) {
        if (!expandInto(*value->listItemArray(), built->listItemArray())) return defaultResult();
    } else if (value->type() == ZAVPValue_Type_Template) {
        if (!expandInto(*value->templateTokenArray(), built->templateTokenArray())) return defaultResult();
    } else {
        auto keys = value->mapKeyArray();
        auto values = value->mapValueArray();
        if (keys->count() != values->count()) {
            ZAVLog::error("Invalid serving value" + value->description());
            return defaultResult();
        }
        for (size_t i = 0; i < keys->count(); ++i) {
            auto key =
                expandMacrosForValue(std::dynamic_pointer_cast<ZAVPValue>(keys->objectAtIndex(i)), pending);
            if (key == defaultResult()) return defaultResult();
            auto item =
                expandMacrosForValue(std::dynamic_pointer_cast<ZAVPValue>(values->objectAtIndex(i)), pending);
            if (item == defaultResult() || !spendPart()) return defaultResult();
            built->mapKeyArray()->addObject(key->value());
            built->mapValueArray()->addObject(item->value());
        }
    }
    return ZAVPValueAndStatic::valueWithValue(built, false);
}

ZAVRuntime::Result ZAVRuntime::expandMacroReferenceValue(const ZAVPValuePtr& value, Pending& pending) {
    const std::string name = value->hasMacroReference() ? value->macroReference()->utf8() : std::string();
    if (std::find(pending.begin(), pending.end(), name) != pending.end()) {
        ZAVLog::error("Macro cycle detected.  Current macro reference: " + name +
                      ".  Previous macro reference: " + describeSet(pending) + ".");
        return defaultResult();
    }
    pending.push_back(name);
    auto result = evaluateMacroReferenceWithCycleDetection(name, pending);
    auto escaped = ZAVValueEscapeUtil::applyEscapings(value->escapingArray().get(), result);
    pending.erase(std::find(pending.begin(), pending.end(), name));
    return escaped;
}

void ZAVRuntime::pushUnevaluatedValueToDataLayer(const ZAVPValuePtr& value, Pending& pending) {
    if (!value || !dataLayer_) return;
    auto expanded = expandMacrosForValue(value, pending);
    if (expanded == defaultResult()) return;
    auto object = ZAVTypes::valueToObject(expanded->value());
    if (!object) return;
    if (object->isMap()) {
        pushFromEvaluation(*dataLayer_, object);
    } else if (object->isList()) {
        for (const auto& item : object->items()) {
            if (item && item->isMap())
                pushFromEvaluation(*dataLayer_, item);
            else
                ZAVLog::warning("pushAfterEvaluate: value not a Map or List");
        }
    }
}

ZAVRuntime::UpdateScope::UpdateScope(ZAVObjectPtr update)
    : update_(std::move(update)), previous_(tScope), serial_(++tScopes) {
    if (update_) tScope = this;
}

ZAVRuntime::UpdateScope::~UpdateScope() {
    tScope = previous_;
}

void ZAVRuntime::pushFromEvaluation(ZAVDataLayer& layer, const ZAVObjectPtr& update) {
    if (tBudget && update) tBudget->pushed.push_back(update);
    layer.push(update);
}

void ZAVRuntime::clearFromEvaluation(ZAVDataLayer& layer, const std::string& prefix) {
    if (tBudget)
        tBudget->cleared.push_back(ZAVObject::map({{ZAVObject::text(prefix), ZAVObject::nullMarker()}}));
    layer.clearPersistentKeysWithPrefix(prefix);
}

void ZAVRuntime::setSupplementals(const std::vector<std::shared_ptr<ZAVPSupplemental>>& supplementals) {
    for (const auto& supplemental : supplementals) {
        if (!supplemental || !supplemental->hasName()) continue;
        if (supplemental->name()->utf8().rfind(kSupplementalPrefix, 0) != 0) continue;
        if (dataLayer_) ZAVExperimentMacroHelper::handleExperimentSupplemental(*dataLayer_, *supplemental);
    }
}
