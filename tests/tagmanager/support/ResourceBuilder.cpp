#include "tests/tagmanager/support/ResourceBuilder.h"

#include "wire/ZAVWireArray.h"
#include "wire/ZAVWireString.h"

namespace tmtest {

namespace {

void addAll(const ZAVWireMutableArrayPtr& array, const std::vector<int32_t>& values) {
    for (int32_t v : values) array->addInt32(v);
}

}  // namespace

ResourceBuilder::ResourceBuilder() : resource_(ZAVPResource::message()) {}

const ZAVWireExtensionRegistry* ResourceBuilder::registry() {
    return ZAVPServingRoot::extensionRegistry();
}

int32_t ResourceBuilder::value(std::shared_ptr<ZAVPValue> value) {
    resource_->valueArray()->addObject(std::move(value));
    return static_cast<int32_t>(resource_->valueArray()->count() - 1);
}

int32_t ResourceBuilder::string(const std::string& text) {
    auto v = ZAVPValue::message();
    v->setType(ZAVPValue_Type_String);
    v->setString(ZAVWireString::create(text));
    return value(v);
}

int32_t ResourceBuilder::integer(int64_t number) {
    auto v = ZAVPValue::message();
    v->setType(ZAVPValue_Type_Integer);
    v->setInteger(number);
    return value(v);
}

int32_t ResourceBuilder::boolean(bool flag) {
    auto v = ZAVPValue::message();
    v->setType(ZAVPValue_Type_Boolean);
    v->setBoolean(flag);
    return value(v);
}

int32_t ResourceBuilder::functionId(const std::string& id) {
    auto v = ZAVPValue::message();
    v->setType(ZAVPValue_Type_FunctionId);
    v->setFunctionId(ZAVWireString::create(id));
    return value(v);
}

int32_t ResourceBuilder::raw(ZAVPValue_Type type, std::shared_ptr<ZAVPServingValue> serving) {
    auto v = ZAVPValue::message();
    v->setType(type);
    if (serving) v->setExtension(ZAVPServingValue::ext(), std::move(serving));
    return value(v);
}

bool ResourceBuilder::refers(const std::vector<int32_t>& indices) const {
    for (int32_t i : indices) {
        if (i < 0 || static_cast<size_t>(i) >= resource_->valueArray()->count()) continue;
        auto v = std::dynamic_pointer_cast<ZAVPValue>(resource_->valueArray()->objectAtIndex(i));
        if (v && v->containsReferences()) return true;
    }
    return false;
}

int32_t ResourceBuilder::withReferences(int32_t index, bool refers) {
    if (refers)
        std::static_pointer_cast<ZAVPValue>(resource_->valueArray()->objectAtIndex(index))
            ->setContainsReferences(true);
    return index;
}

int32_t ResourceBuilder::list(std::vector<int32_t> items) {
    auto serving = ZAVPServingValue::message();
    addAll(serving->listItemArray(), items);
    return withReferences(raw(ZAVPValue_Type_List, serving), refers(items));
}

int32_t ResourceBuilder::map(std::vector<int32_t> keys, std::vector<int32_t> values) {
    auto serving = ZAVPServingValue::message();
    addAll(serving->mapKeyArray(), keys);
    addAll(serving->mapValueArray(), values);
    return withReferences(raw(ZAVPValue_Type_Map, serving), refers(keys) || refers(values));
}

int32_t ResourceBuilder::macroReference(int32_t nameIndex) {
    auto serving = ZAVPServingValue::message();
    serving->setMacroNameReference(nameIndex);
    return withReferences(raw(ZAVPValue_Type_MacroReference, serving), true);
}

int32_t ResourceBuilder::macroReference(const std::string& name) {
    return macroReference(string(name));
}

int32_t ResourceBuilder::templateOf(std::vector<int32_t> tokens) {
    auto serving = ZAVPServingValue::message();
    addAll(serving->templateTokenArray(), tokens);
    return withReferences(raw(ZAVPValue_Type_Template, serving), refers(tokens));
}

int32_t ResourceBuilder::key(const std::string& text) {
    auto found = keys_.find(text);
    if (found != keys_.end()) return found->second;
    resource_->keyArray()->addObject(ZAVWireString::create(text));
    auto index = static_cast<int32_t>(resource_->keyArray()->count() - 1);
    keys_[text] = index;
    return index;
}

int32_t ResourceBuilder::property(const std::string& keyText, int32_t valueIndex) {
    auto p = ZAVPProperty::message();
    p->setKey(key(keyText));
    p->setValue(valueIndex);
    resource_->propertyArray()->addObject(p);
    return static_cast<int32_t>(resource_->propertyArray()->count() - 1);
}

int32_t ResourceBuilder::call(const ZAVWireMutableArrayPtr& table, const std::string& function,
                              const Properties& properties, const std::string& name) {
    auto c = ZAVPFunctionCall::message();
    c->setFunction(property("function", functionId(function)));
    c->propertyArray()->addInt32(c->function());
    if (!name.empty()) c->propertyArray()->addInt32(property("instance_name", string(name)));
    for (const auto& [k, v] : properties) c->propertyArray()->addInt32(property(k, v));
    table->addObject(c);
    return static_cast<int32_t>(table->count() - 1);
}

int32_t ResourceBuilder::tag(const std::string& function, const Properties& properties) {
    return call(resource_->tagArray(), function, properties, "");
}

int32_t ResourceBuilder::predicate(const std::string& function, const Properties& properties) {
    return call(resource_->predicateArray(), function, properties, "");
}

int32_t ResourceBuilder::macro(const std::string& name, const std::string& function,
                               const Properties& properties) {
    return call(resource_->macroArray(), function, properties, name);
}

int32_t ResourceBuilder::rawCall(const std::string& table, std::vector<int32_t> propertyIndices) {
    auto array = table == "tag"         ? resource_->tagArray()
                 : table == "predicate" ? resource_->predicateArray()
                                        : resource_->macroArray();
    auto c = ZAVPFunctionCall::message();
    c->setFunction(0);
    addAll(c->propertyArray(), propertyIndices);
    array->addObject(c);
    return static_cast<int32_t>(array->count() - 1);
}

void ResourceBuilder::rule(const Rule& r) {
    auto m = ZAVPRule::message();
    addAll(m->positivePredicateArray(), r.positive);
    addAll(m->negativePredicateArray(), r.negative);
    addAll(m->addTagArray(), r.addTags);
    addAll(m->removeTagArray(), r.removeTags);
    addAll(m->addMacroArray(), r.addMacros);
    addAll(m->removeMacroArray(), r.removeMacros);
    resource_->ruleArray()->addObject(m);
}

void ResourceBuilder::setVersion(const std::string& version) {
    resource_->setVersion(ZAVWireString::create(version));
}

void ResourceBuilder::setResourceFormatVersion(int32_t version) {
    resource_->setResourceFormatVersion(version);
}

std::shared_ptr<ZAVPSupplementedResource> ResourceBuilder::supplemented(
    const std::string& fingerprint) const {
    auto s = ZAVPSupplementedResource::message();
    s->setResource(resource_);
    if (!fingerprint.empty()) s->setFingerprint(ZAVWireString::create(fingerprint));
    return s;
}

std::shared_ptr<ZAVPResourceWithMetadata> ResourceBuilder::withMetadata(int64_t timeStamp) const {
    auto m = ZAVPResourceWithMetadata::message();
    m->setTimeStamp(timeStamp);
    m->setResource(resource_);
    return m;
}

}  // namespace tmtest
