#include "tagmanager/runtime/ZAVExpandedResource.h"

#include "tagmanager/values/ZAVTypes.h"
#include "wire/ZAVWireString.h"

namespace {

std::string describe(const ZAVExpandedFunctionCallList& calls) {
    std::string out = "(";
    for (size_t i = 0; i < calls.size(); ++i) out += (i ? ", " : "") + calls[i]->description();
    return out + ")";
}

}  // namespace

ZAVExpandedFunctionCall::ZAVExpandedFunctionCall(Properties properties, ZAVPValuePtr pushAfterEvaluate)
    : properties_(std::make_shared<const Properties>(std::move(properties))),
      pushAfterEvaluate_(std::move(pushAfterEvaluate)) {}

ZAVExpandedFunctionCall::ZAVExpandedFunctionCall(std::span<const PropertyEntry> properties,
                                                 ZAVPValuePtr pushAfterEvaluate)
    : entries_(properties), pushAfterEvaluate_(std::move(pushAfterEvaluate)) {}

std::unique_ptr<ZAVExpandedFunctionCallBuilder> ZAVExpandedFunctionCall::builder() {
    return std::make_unique<ZAVExpandedFunctionCallBuilder>();
}

const ZAVExpandedFunctionCall::Properties& ZAVExpandedFunctionCall::madeProperties() const {
    if (!properties_) {
        auto made = std::make_shared<Properties>();
        for (const auto& entry : list()) made->emplace_hint(made->end(), *entry.name, *entry.value);
        properties_ = std::move(made);
    }
    return *properties_;
}

ZAVPValuePtr ZAVExpandedFunctionCall::propertyForKey(const std::string& key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (properties_) {
        auto found = properties_->find(key);
        return found == properties_->end() ? nullptr : found->second;
    }
    for (const auto& entry : list())
        if (*entry.name == key) return *entry.value;
    return nullptr;
}

size_t ZAVExpandedFunctionCall::propertyCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return properties_ ? properties_->size() : list().size();
}

ZAVExpandedFunctionCall::Properties ZAVExpandedFunctionCall::properties() const {
    return *sharedProperties();
}

std::shared_ptr<const ZAVExpandedFunctionCall::Properties> ZAVExpandedFunctionCall::sharedProperties() const {
    std::lock_guard<std::mutex> lock(mutex_);
    madeProperties();
    return properties_;
}

void ZAVExpandedFunctionCall::updateCacheablePropertyWithValue(ZAVPValuePtr value, const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto& current = madeProperties();
    auto found = current.find(key);
    if (found != current.end() && found->second == value) return;
    auto updated = std::make_shared<Properties>(current);
    (*updated)[key] = std::move(value);
    properties_ = std::move(updated);
}

size_t ZAVExpandedFunctionCall::approximateByteSize() const {
    size_t size = 0;
    for (const auto& [key, value] : properties()) {
        size += ZAVWireString::create(key)->length();
        if (value) size += value->serializedSize();
    }
    return size;
}

std::shared_ptr<ZAVExpandedFunctionCall> ZAVExpandedFunctionCall::copy() const {
    return std::make_shared<ZAVExpandedFunctionCall>(properties(), pushAfterEvaluate_);
}

std::string ZAVExpandedFunctionCall::description() const {
    std::string map = "{";
    bool first = true;
    for (const auto& [key, value] : properties()) {
        map += (first ? "" : "; ") + key + " = " + (value ? value->description() : "(null)");
        first = false;
    }
    map += "}";
    return "Properties: " + map +
           " pushAfterEvaluate: " + (pushAfterEvaluate_ ? pushAfterEvaluate_->description() : "(null)");
}

ZAVExpandedRule::ZAVExpandedRule(ZAVExpandedFunctionCallList positivePredicates,
                                 ZAVExpandedFunctionCallList negativePredicates,
                                 ZAVExpandedFunctionCallList addTags, ZAVExpandedFunctionCallList removeTags,
                                 ZAVExpandedFunctionCallList addMacros,
                                 ZAVExpandedFunctionCallList removeMacros)
    : positivePredicates_(std::move(positivePredicates)),
      negativePredicates_(std::move(negativePredicates)),
      addTags_(std::move(addTags)),
      removeTags_(std::move(removeTags)),
      addMacros_(std::move(addMacros)),
      removeMacros_(std::move(removeMacros)) {}

std::unique_ptr<ZAVExpandedRuleBuilder> ZAVExpandedRule::builder() {
    return std::make_unique<ZAVExpandedRuleBuilder>();
}

std::string ZAVExpandedRule::description() const {
    return "Positive predicates: " + describe(positivePredicates_) +
           "  Negative predicates: " + describe(negativePredicates_) + "  Add tags: " + describe(addTags_) +
           "  Remove tags: " + describe(removeTags_) + "  Add macros: " + describe(addMacros_) +
           "  Remove macros: " + describe(removeMacros_);
}

ZAVExpandedResource::ZAVExpandedResource(std::vector<ZAVExpandedRulePtr> rules, Macros macros,
                                         std::string version, int32_t resourceFormatVersion,
                                         std::shared_ptr<const void> storage)
    : storage_(std::move(storage)),
      rules_(std::move(rules)),
      macros_(std::move(macros)),
      version_(std::move(version)),
      resourceFormatVersion_(resourceFormatVersion) {}

std::unique_ptr<ZAVExpandedResourceBuilder> ZAVExpandedResource::builder() {
    return std::make_unique<ZAVExpandedResourceBuilder>();
}

const ZAVExpandedFunctionCallList* ZAVExpandedResource::macrosByName(const std::string& name) const {
    auto found = macros_.find(name);
    return found == macros_.end() ? nullptr : &found->second;
}

std::string ZAVExpandedResource::description() const {
    std::string rules = "(";
    for (size_t i = 0; i < rules_.size(); ++i) rules += (i ? ", " : "") + rules_[i]->description();
    rules += ")";
    std::string macros = "{";
    bool first = true;
    for (const auto& [name, calls] : macros_) {
        macros += (first ? "" : "; ") + name + " = " + describe(calls);
        first = false;
    }
    macros += "}";
    return "Rules: " + rules + "  Macros: " + macros + "  Version: " + version_ +
           " Format: " + std::to_string(resourceFormatVersion_);
}

ZAVExpandedFunctionCallPtr ZAVExpandedFunctionCallBuilder::build() const {
    return std::make_shared<ZAVExpandedFunctionCall>(properties_, pushAfterEvaluate_);
}

ZAVExpandedRulePtr ZAVExpandedRuleBuilder::build() const {
    return std::make_shared<ZAVExpandedRule>(positivePredicates, negativePredicates, addTags, removeTags,
                                             addMacros, removeMacros);
}

void ZAVExpandedResourceBuilder::addMacro(ZAVExpandedFunctionCallPtr call) {
    auto name = ZAVTypes::valueToText(call ? call->propertyForKey(ZAVExpandedFunctionCall::instanceNameKey())
                                           : nullptr);
    macros[name].push_back(std::move(call));
}

std::shared_ptr<const ZAVExpandedResource> ZAVExpandedResourceBuilder::build() const {
    return std::make_shared<ZAVExpandedResource>(rules, macros, version, resourceFormatVersion);
}
