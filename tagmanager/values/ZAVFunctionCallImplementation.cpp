#include "tagmanager/values/ZAVFunctionCallImplementation.h"

#include <algorithm>

#include "tagmanager/values/ZAVTypes.h"

ZAVObjectPtr ZAVConvertedValues::objectFor(const ZAVPValuePtr& value) const {
    for (const auto& [known, slot] : slots_) {
        if (known != value.get()) continue;
        if (auto object = slot->object()) return object;
        auto object = ZAVTypes::valueToObject(value);
        if (object) slot->setObject(object);
        return object;
    }
    return ZAVTypes::valueToObject(value);
}

const ZAVConvertedValues& ZAVConvertedValues::none() {
    static const ZAVConvertedValues empty;
    return empty;
}

ZAVFunctionCallImplementation::ZAVFunctionCallImplementation(std::string functionId,
                                                             std::set<std::string> requiredKeys)
    : instanceFunctionId_(std::move(functionId)), requiredKeys_(std::move(requiredKeys)) {}

bool ZAVFunctionCallImplementation::hasRequiredKeys(const std::set<std::string>& keys) const {
    return std::includes(keys.begin(), keys.end(), requiredKeys_.begin(), requiredKeys_.end());
}

bool ZAVFunctionCallImplementation::hasRequiredKeys(const Properties& properties) const {
    for (const auto& key : requiredKeys_)
        if (!properties.count(key)) return false;
    return true;
}

ZAVPValuePtr ZAVFunctionCallImplementation::propertyForKey(const Properties& properties,
                                                           const std::string& key) {
    auto found = properties.find(key);
    return found == properties.end() ? nullptr : found->second;
}

const std::string& ZAVFunctionCallImplementation::functionKey() {
    static const std::string key = "function";
    return key;
}

const std::string& ZAVFunctionCallImplementation::instanceNameKey() {
    static const std::string key = "instance_name";
    return key;
}

const std::string& ZAVFunctionCallImplementation::notDefaultMacroKey() {
    static const std::string key = "not_default_macro";
    return key;
}

std::shared_ptr<ZAVBooleanAndStatic> ZAVBooleanAndStatic::booleanWithBoolean(
    std::shared_ptr<const ZAVBoolean> boolean, bool isStatic) {
    return std::make_shared<ZAVBooleanAndStatic>(std::move(boolean), isStatic);
}

std::shared_ptr<ZAVBooleanAndStatic> ZAVBooleanAndStatic::booleanWithBool(bool value, bool isStatic) {
    // Nothing in one can change, so the four there are serve every rule evaluation.
    static const std::shared_ptr<ZAVBooleanAndStatic> shared[2][2] = {
        {booleanWithBoolean(ZAVBoolean::booleanWithBool(false), false),
         booleanWithBoolean(ZAVBoolean::booleanWithBool(false), true)},
        {booleanWithBoolean(ZAVBoolean::booleanWithBool(true), false),
         booleanWithBoolean(ZAVBoolean::booleanWithBool(true), true)}};
    return shared[value ? 1 : 0][isStatic ? 1 : 0];
}

std::shared_ptr<ZAVPValueAndStatic> ZAVPValueAndStatic::valueWithValue(ZAVPValuePtr value, bool isStatic) {
    return std::make_shared<ZAVPValueAndStatic>(std::move(value), isStatic);
}

std::shared_ptr<ZAVSetAndStatic> ZAVSetAndStatic::setWithSet(std::shared_ptr<const Set> set, bool isStatic) {
    return std::make_shared<ZAVSetAndStatic>(std::move(set), isStatic);
}
