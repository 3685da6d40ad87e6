#pragma once
// The in-memory container that the rule runtime works on: calls that hold their property values, rules
// that hold their calls, and a resource with its rules and its macros grouped by name. Each has a builder.
#include <map>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "tagmanager/values/ZAVFunctionCallImplementation.h"

class ZAVExpandedFunctionCallBuilder;
class ZAVExpandedRuleBuilder;
class ZAVExpandedResourceBuilder;

// Compared by identity: the runtime keys caches and sets by the call object itself.
class ZAVExpandedFunctionCall {
  public:
    using Properties = ZAVFunctionCallImplementation::Properties;
    // One property of a call made by an expansion: its name and its value where the expansion keeps them.
    struct PropertyEntry {
        const std::string* name;
        const ZAVPValuePtr* value;
    };
    ZAVExpandedFunctionCall(Properties properties, ZAVPValuePtr pushAfterEvaluate);
    // Most calls of a container are never evaluated: their map is made from the entries when first asked
    // for. The entries are in name order, each name once; they, and what they point at, must outlive the
    // call (the expansion keeps them, its key names and its values with the calls it makes).
    ZAVExpandedFunctionCall(std::span<const PropertyEntry> properties, ZAVPValuePtr pushAfterEvaluate);
    static std::unique_ptr<ZAVExpandedFunctionCallBuilder> builder();

    ZAVPValuePtr propertyForKey(const std::string& key) const;
    size_t propertyCount() const;
    // Each (name, value) in name order, as properties() would give them, without making the map.
    template <typename Visit>
    void forEachProperty(Visit&& visit) const {
        std::lock_guard<std::mutex> lock(mutex_);
        if (properties_) {
            for (const auto& [key, value] : *properties_) visit(key, value);
        } else {
            for (const auto& entry : list()) visit(*entry.name, *entry.value);
        }
    }
    // A snapshot: the runtime may write static values back while other threads evaluate the call.
    Properties properties() const;
    // The same snapshot without copying it: the map is replaced, never changed, when a value is written.
    std::shared_ptr<const Properties> sharedProperties() const;
    const ZAVPValuePtr& pushAfterEvaluate() const { return pushAfterEvaluate_; }
    // Writing back the value the key already holds changes nothing.
    void updateCacheablePropertyWithValue(ZAVPValuePtr value, const std::string& key);
    // Property names (in UTF-16 units) plus the values' serialised sizes.
    size_t approximateByteSize() const;
    std::shared_ptr<ZAVExpandedFunctionCall> copy() const;
    std::string description() const;

    static const std::string& functionKey() { return ZAVFunctionCallImplementation::functionKey(); }
    static const std::string& instanceNameKey() { return ZAVFunctionCallImplementation::instanceNameKey(); }
    static const std::string& notDefaultMacroKey() {
        return ZAVFunctionCallImplementation::notDefaultMacroKey();
    }

  private:
    const Properties& madeProperties() const;  // under mutex_

    mutable std::mutex mutex_;
    mutable std::shared_ptr<const Properties> properties_;  // null until made from list()
    std::span<const PropertyEntry> list() const { return entries_; }
    const std::span<const PropertyEntry> entries_;
    const ZAVPValuePtr pushAfterEvaluate_;
};

using ZAVExpandedFunctionCallPtr = std::shared_ptr<ZAVExpandedFunctionCall>;
// A list made by an expansion takes its memory from the expansion's own storage; any other, and any copy,
// from the heap.
using ZAVExpandedFunctionCallList = std::pmr::vector<ZAVExpandedFunctionCallPtr>;

class ZAVExpandedRule {
  public:
    ZAVExpandedRule(ZAVExpandedFunctionCallList positivePredicates,
                    ZAVExpandedFunctionCallList negativePredicates, ZAVExpandedFunctionCallList addTags,
                    ZAVExpandedFunctionCallList removeTags, ZAVExpandedFunctionCallList addMacros,
                    ZAVExpandedFunctionCallList removeMacros);
    static std::unique_ptr<ZAVExpandedRuleBuilder> builder();
    const ZAVExpandedFunctionCallList& positivePredicates() const { return positivePredicates_; }
    const ZAVExpandedFunctionCallList& negativePredicates() const { return negativePredicates_; }
    const ZAVExpandedFunctionCallList& addTags() const { return addTags_; }
    const ZAVExpandedFunctionCallList& removeTags() const { return removeTags_; }
    const ZAVExpandedFunctionCallList& addMacros() const { return addMacros_; }
    const ZAVExpandedFunctionCallList& removeMacros() const { return removeMacros_; }
    std::string description() const;

  private:
    const ZAVExpandedFunctionCallList positivePredicates_, negativePredicates_, addTags_, removeTags_,
        addMacros_, removeMacros_;
};

using ZAVExpandedRulePtr = std::shared_ptr<const ZAVExpandedRule>;

class ZAVExpandedResource {
  public:
    using Macros = std::pmr::map<std::string, ZAVExpandedFunctionCallList>;
    // `storage`, when given, is kept until everything else of the resource has gone: what its lists'
    // memory comes from.
    ZAVExpandedResource(std::vector<ZAVExpandedRulePtr> rules, Macros macros, std::string version,
                        int32_t resourceFormatVersion, std::shared_ptr<const void> storage = nullptr);
    static std::unique_ptr<ZAVExpandedResourceBuilder> builder();
    // Null when no macro carries the name.
    const ZAVExpandedFunctionCallList* macrosByName(const std::string& name) const;
    const Macros& allMacros() const { return macros_; }
    const std::vector<ZAVExpandedRulePtr>& rules() const { return rules_; }
    const std::string& version() const { return version_; }
    int32_t resourceFormatVersion() const { return resourceFormatVersion_; }
    std::string description() const;

  private:
    const std::shared_ptr<const void> storage_;  // first, so it goes last
    const std::vector<ZAVExpandedRulePtr> rules_;
    const Macros macros_;
    const std::string version_;
    const int32_t resourceFormatVersion_;
};

class ZAVExpandedFunctionCallBuilder {
  public:
    void addPropertyWithValue(ZAVPValuePtr value, const std::string& key) {
        properties_[key] = std::move(value);
    }
    ZAVExpandedFunctionCall::Properties& propertiesMap() { return properties_; }
    void setPropertiesMap(ZAVExpandedFunctionCall::Properties map) { properties_ = std::move(map); }
    const ZAVPValuePtr& pushAfterEvaluate() const { return pushAfterEvaluate_; }
    void setPushAfterEvaluate(ZAVPValuePtr value) { pushAfterEvaluate_ = std::move(value); }
    ZAVExpandedFunctionCallPtr build() const;

  private:
    ZAVExpandedFunctionCall::Properties properties_;
    ZAVPValuePtr pushAfterEvaluate_;
};

class ZAVExpandedRuleBuilder {
  public:
    void addPositivePredicate(ZAVExpandedFunctionCallPtr call) {
        positivePredicates.push_back(std::move(call));
    }
    void addNegativePredicate(ZAVExpandedFunctionCallPtr call) {
        negativePredicates.push_back(std::move(call));
    }
    void addAddTag(ZAVExpandedFunctionCallPtr call) { addTags.push_back(std::move(call)); }
    void addRemoveTag(ZAVExpandedFunctionCallPtr call) { removeTags.push_back(std::move(call)); }
    void addAddMacro(ZAVExpandedFunctionCallPtr call) { addMacros.push_back(std::move(call)); }
    void addRemoveMacro(ZAVExpandedFunctionCallPtr call) { removeMacros.push_back(std::move(call)); }
    ZAVExpandedRulePtr build() const;

    ZAVExpandedFunctionCallList positivePredicates, negativePredicates, addTags, removeTags, addMacros,
        removeMacros;
};

class ZAVExpandedResourceBuilder {
  public:
    void addRule(ZAVExpandedRulePtr rule) { rules.push_back(std::move(rule)); }
    // Filed under the text of its "instance_name" property.
    void addMacro(ZAVExpandedFunctionCallPtr call);
    void setVersion(std::string v) { version = std::move(v); }
    void setResourceFormatVersion(int32_t v) { resourceFormatVersion = v; }
    std::shared_ptr<const ZAVExpandedResource> build() const;

    std::vector<ZAVExpandedRulePtr> rules;
    ZAVExpandedResource::Macros macros;
    std::string version;
    int32_t resourceFormatVersion = 0;
};
