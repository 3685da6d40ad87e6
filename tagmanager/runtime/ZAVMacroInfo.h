#pragma once
// What the rule runtime keeps per macro: the cached value, which rules add or remove which calls of a
// name, and the two populators that collect a passing rule's additions and removals.
#include <map>
#include <memory>
#include <set>

#include "tagmanager/runtime/ZAVExpandedResource.h"

class ZAVCachedMacro {
  public:
    ZAVCachedMacro(std::shared_ptr<const ZAVPValueAndStatic> valueAndStatic, ZAVPValuePtr pushAfterEvaluate)
        : valueAndStatic_(std::move(valueAndStatic)), pushAfterEvaluate_(std::move(pushAfterEvaluate)) {}
    const std::shared_ptr<const ZAVPValueAndStatic>& valueAndStatic() const { return valueAndStatic_; }
    void setValueAndStatic(std::shared_ptr<const ZAVPValueAndStatic> v) { valueAndStatic_ = std::move(v); }
    const ZAVPValuePtr& pushAfterEvaluate() const { return pushAfterEvaluate_; }
    void setPushAfterEvaluate(ZAVPValuePtr v) { pushAfterEvaluate_ = std::move(v); }

  private:
    std::shared_ptr<const ZAVPValueAndStatic> valueAndStatic_;
    ZAVPValuePtr pushAfterEvaluate_;
};

using ZAVCallSet = ZAVSetAndStatic::Set;
using ZAVRuleCalls = std::map<ZAVExpandedRulePtr, ZAVCallSet>;

class ZAVMacroInfo {
  public:
    void addAddMacro(const ZAVExpandedFunctionCallPtr& call, const ZAVExpandedRulePtr& rule) {
        addMacros_[rule].insert(call);
    }
    void addRemoveMacro(const ZAVExpandedFunctionCallPtr& call, const ZAVExpandedRulePtr& rule) {
        removeMacros_[rule].insert(call);
    }
    std::set<ZAVExpandedRulePtr>& rules() { return rules_; }
    void setRules(std::set<ZAVExpandedRulePtr> rules) { rules_ = std::move(rules); }
    ZAVRuleCalls& addMacros() { return addMacros_; }
    void setAddMacros(ZAVRuleCalls map) { addMacros_ = std::move(map); }
    ZAVRuleCalls& removeMacros() { return removeMacros_; }
    void setRemoveMacros(ZAVRuleCalls map) { removeMacros_ = std::move(map); }
    const ZAVExpandedFunctionCallPtr& defaultFunctionCall() const { return defaultFunctionCall_; }
    void setDefaultFunctionCall(ZAVExpandedFunctionCallPtr call) { defaultFunctionCall_ = std::move(call); }

  private:
    std::set<ZAVExpandedRulePtr> rules_;
    ZAVRuleCalls addMacros_;
    ZAVRuleCalls removeMacros_;
    ZAVExpandedFunctionCallPtr defaultFunctionCall_;
};

// Collects what a passing rule adds and removes; removal wins later, when the runtime subtracts.
class ZAVAddRemoveSetPopulator {
  public:
    virtual ~ZAVAddRemoveSetPopulator() = default;
    virtual void rulePassed(const ZAVExpandedRulePtr& rule, ZAVCallSet& add, ZAVCallSet& remove) = 0;
};

// Over one macro name's two maps, which must outlive it (they are not copied).
class ZAVAddRemoveMacrosPopulator final : public ZAVAddRemoveSetPopulator {
  public:
    ZAVAddRemoveMacrosPopulator(const ZAVRuleCalls& addMacros, const ZAVRuleCalls& removeMacros)
        : addMacros_(addMacros), removeMacros_(removeMacros) {}
    void rulePassed(const ZAVExpandedRulePtr& rule, ZAVCallSet& add, ZAVCallSet& remove) override;

  private:
    const ZAVRuleCalls& addMacros_;
    const ZAVRuleCalls& removeMacros_;
};

class ZAVAddRemoveTagsPopulator final : public ZAVAddRemoveSetPopulator {
  public:
    void rulePassed(const ZAVExpandedRulePtr& rule, ZAVCallSet& add, ZAVCallSet& remove) override;
};
