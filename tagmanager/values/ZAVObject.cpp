#include "tagmanager/values/ZAVObject.h"

#include "platform/base/Lasting.h"
#include "tagmanager/values/ZAVTypes.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>

namespace {

// A constructor the factories can reach: the objects are built through make_shared of this.
struct MadeObject : ZAVObject {
    explicit MadeObject(Kind kind) : ZAVObject(kind) {}
};

const std::string& emptyText() {
    static const plat::Lasting<std::string> empty;
    return *empty;
}

size_t mix(size_t seed, size_t value) {
    return seed * 31 + value;
}

// Integral doubles hash as the integer they equal, so equal numbers hash alike whatever their kind.
size_t numberHash(double value) {
    if (value == std::trunc(value) && value >= -9223372036854775808.0 && value < 9223372036854775808.0)
        return std::hash<int64_t>()(static_cast<int64_t>(value));
    return std::hash<double>()(value);
}

bool numbersEqual(const ZAVObject& a, const ZAVObject& b) {
    if (a.isIntegerNumber() && b.isIntegerNumber()) return a.int64Value() == b.int64Value();
    if (a.isFloatingNumber() && b.isFloatingNumber()) return a.doubleValue() == b.doubleValue();
    // One of each: exact, not through a double, so 2^53 + 1 never equals 2^53.
    const ZAVObject& i = a.isIntegerNumber() ? a : b;
    const ZAVObject& f = a.isIntegerNumber() ? b : a;
    double d = f.doubleValue();
    if (!std::isfinite(d) || d != std::trunc(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
        return false;
    return static_cast<int64_t>(d) == i.int64Value();
}

}  // namespace

size_t ZAVObject::Hash::operator()(const ZAVObjectPtr& object) const {
    return object ? object->hash() : 0;
}

bool ZAVObject::Equal::operator()(const ZAVObjectPtr& a, const ZAVObjectPtr& b) const {
    if (a == b) return true;
    if (!a || !b) return false;
    return a->isEqual(*b);
}

ZAVObjectPtr ZAVObject::text(std::string text) {
    auto object = std::make_shared<MadeObject>(Kind::Text);
    object->text_ = std::move(text);
    return object;
}

ZAVObjectPtr ZAVObject::integer(int64_t value) {
    auto object = std::make_shared<MadeObject>(Kind::Integer);
    object->integer_ = value;
    return object;
}

ZAVObjectPtr ZAVObject::floating(double value) {
    auto object = std::make_shared<MadeObject>(Kind::Floating);
    object->floating_ = value;
    return object;
}

ZAVObjectPtr ZAVObject::list(List items) {
    auto object = std::make_shared<MadeObject>(Kind::List);
    object->list_ = std::move(items);
    return object;
}

ZAVObjectPtr ZAVObject::map(const Entries& entries) {
    auto object = std::make_shared<MadeObject>(Kind::Map);
    // Most maps are a few entries (a push, a tag's parameters): a scan finds their keys sooner than a
    // hash index is built.
    if (entries.size() <= kScannedMapSize) {
        object->entries_.reserve(entries.size());
        for (const auto& item : entries) {
            auto at = std::find_if(object->entries_.begin(), object->entries_.end(),
                                   [&](const auto& entry) { return Equal()(entry.first, item.first); });
            if (at == object->entries_.end())
                object->entries_.push_back(item);
            else
                at->second = item.second;
        }
        return object;
    }
    auto index = std::make_shared<std::unordered_map<ZAVObjectPtr, size_t, Hash, Equal>>();
    for (const auto& [key, value] : entries) {
        auto [at, added] = index->emplace(key, object->entries_.size());
        if (added)
            object->entries_.emplace_back(key, value);
        else
            object->entries_[at->second].second = value;
    }
    object->index_ = std::move(index);
    return object;
}

ZAVObjectPtr ZAVObject::mapWithKeysOf(const ZAVObjectPtr& keysOf, Entries entries) {
    auto object = std::make_shared<MadeObject>(Kind::Map);
    object->entries_ = std::move(entries);
    object->index_ = keysOf->index_;
    return object;
}

ZAVObjectPtr ZAVObject::value(ZAVPValuePtr value) {
    if (!value) return nullptr;
    auto object = std::make_shared<MadeObject>(Kind::Value);
    object->pvalue_ = std::move(value);
    return object;
}

ZAVObjectPtr ZAVObject::opaque(plat::Value value) {
    auto object = std::make_shared<MadeObject>(Kind::Opaque);
    object->opaque_ = std::move(value);
    return object;
}

const ZAVObjectPtr& ZAVObject::nullMarker() {
    static const plat::Lasting<ZAVObjectPtr> marker(std::make_shared<MadeObject>(Kind::Null));
    return *marker;
}

const ZAVObjectPtr& ZAVObject::notPresent() {
    static const plat::Lasting<ZAVObjectPtr> marker(std::make_shared<MadeObject>(Kind::NotPresent));
    return *marker;
}

const std::string& ZAVObject::textValue() const {
    return kind_ == Kind::Text ? text_ : emptyText();
}

int64_t ZAVObject::int64Value() const {
    return kind_ == Kind::Integer ? integer_ : 0;
}

double ZAVObject::doubleValue() const {
    if (kind_ == Kind::Integer) return static_cast<double>(integer_);
    if (kind_ == Kind::Floating) return floating_;
    return 0;
}

const ZAVObject::List& ZAVObject::items() const {
    static const plat::Lasting<List> empty;
    return kind_ == Kind::List ? list_ : *empty;
}

const ZAVObject::Entries& ZAVObject::entries() const {
    static const plat::Lasting<Entries> empty;
    return kind_ == Kind::Map ? entries_ : *empty;
}

ZAVObjectPtr ZAVObject::objectForKey(const ZAVObjectPtr& key) const {
    auto at = positionOfKey(key);
    return at ? entries_[*at].second : nullptr;
}

std::optional<size_t> ZAVObject::positionOfKey(const ZAVObjectPtr& key) const {
    if (kind_ != Kind::Map || !key) return std::nullopt;
    if (!index_) {
        for (size_t i = 0; i < entries_.size(); ++i)
            if (Equal()(entries_[i].first, key)) return i;
        return std::nullopt;
    }
    auto found = index_->find(key);
    if (found == index_->end()) return std::nullopt;
    return found->second;
}

ZAVObjectPtr ZAVObject::objectForKey(const std::string& key) const {
    if (kind_ != Kind::Map) return nullptr;
    // A text key only equals a text: no object needs making to find it.
    if (!index_) {
        for (const auto& [k, value] : entries_)
            if (k && k->isText() && k->textValue() == key) return value;
        return nullptr;
    }
    return objectForKey(text(key));
}

const ZAVPValuePtr& ZAVObject::pvalue() const {
    static const plat::Lasting<ZAVPValuePtr> none;
    return kind_ == Kind::Value ? pvalue_ : *none;
}

const plat::Value& ZAVObject::opaqueValue() const {
    return kind_ == Kind::Opaque ? opaque_ : plat::Value::null();
}

bool ZAVObject::isEqual(const ZAVObject& other) const {
    if (&other == this) return true;
    if (isNumber() && other.isNumber()) return numbersEqual(*this, other);
    if (kind_ != other.kind_) return false;
    switch (kind_) {
        case Kind::Text:
            return text_ == other.text_;
        case Kind::Boolean:
            return boolValue() == other.boolValue();
        case Kind::List: {
            if (list_.size() != other.list_.size()) return false;
            for (size_t i = 0; i < list_.size(); ++i)
                if (!Equal()(list_[i], other.list_[i])) return false;
            return true;
        }
        case Kind::Map: {
            if (entries_.size() != other.entries_.size()) return false;
            for (const auto& [key, value] : entries_)
                if (!Equal()(value, other.objectForKey(key)) || !other.objectForKey(key)) return false;
            return true;
        }
        case Kind::Value:
            return pvalue_->isEqual(other.pvalue_.get());
        case Kind::Opaque:
            return opaque_ == other.opaque_;
        default:
            return false;
    }
}

size_t ZAVObject::hash() const {
    switch (kind_) {
        case Kind::Text:
            return std::hash<std::string>()(text_);
        case Kind::Integer:
            return std::hash<int64_t>()(integer_);
        case Kind::Floating:
            return numberHash(floating_);
        case Kind::Boolean:
            return boolValue() ? 123 : 838;
        case Kind::List: {
            size_t h = 1;
            for (const auto& item : list_) h = mix(h, Hash()(item));
            return h;
        }
        case Kind::Map: {
            // Order-free, as equality is.
            size_t h = entries_.size();
            for (const auto& [key, value] : entries_) h += Hash()(key) ^ (Hash()(value) * 31);
            return h;
        }
        case Kind::Value:
            // Not the message's own hash, which changes once the value hash is installed.
            return ZAVPValueHash(*pvalue_);
        case Kind::Opaque:
            return opaque_.isData() ? opaque_.dataIf()->size() : std::hash<double>()(opaque_.toDouble());
        default:
            return reinterpret_cast<size_t>(this);
    }
}

std::string ZAVObject::typeName() const {
    switch (kind_) {
        case Kind::Text:
            return "NSString";
        case Kind::Integer:
        case Kind::Floating:
            return "NSNumber";
        case Kind::Boolean:
            return "ZAVBoolean";
        case Kind::List:
            return "NSArray";
        case Kind::Map:
            return "NSDictionary";
        case Kind::Value:
            return "ZAVPValue";
        case Kind::Null:
            return "NSNull";
        case Kind::NotPresent:
            return "ZAVNotPresent";
        case Kind::Opaque:
            return opaque_.isDate() ? "NSDate" : opaque_.isData() ? "NSData" : "NSObject";
    }
    return "NSObject";
}

std::string ZAVObject::description() const {
    switch (kind_) {
        case Kind::Text:
            return text_;
        case Kind::Integer:
            return std::to_string(integer_);
        case Kind::Floating:
            return ZAVFloatingText(floating_);
        case Kind::Boolean:
            return boolValue() ? "true" : "false";
        case Kind::List: {
            std::string out = "[";
            for (size_t i = 0; i < list_.size(); ++i) {
                if (i) out += ", ";
                out += list_[i] ? list_[i]->description() : "(null)";
            }
            return out + "]";
        }
        case Kind::Map: {
            std::string out = "{";
            for (size_t i = 0; i < entries_.size(); ++i) {
                if (i) out += ", ";
                out += entries_[i].first ? entries_[i].first->description() : "(null)";
                out += "=";
                out += entries_[i].second ? entries_[i].second->description() : "(null)";
            }
            return out + "}";
        }
        case Kind::Value:
            return pvalue_->description();
        case Kind::Null:
            return "<null>";
        case Kind::NotPresent:
            return "<not present>";
        case Kind::Opaque:
            if (const auto* date = opaque_.dateIf()) return ZAVFloatingText(date->secondsSince1970);
            if (const auto* bytes = opaque_.dataIf()) return "<" + std::to_string(bytes->size()) + " bytes>";
            return opaque_.toString();
    }
    return {};
}

ZAVObjectPtr ZAVObject::fromPlatformValue(const plat::Value& value) {
    switch (value.type()) {
        case plat::Value::Type::Null:
            return nullMarker();
        case plat::Value::Type::Bool:
            return integer(*value.boolIf() ? 1 : 0);
        case plat::Value::Type::Integer:
            return integer(*value.integerIf());
        case plat::Value::Type::Real:
            return floating(*value.realIf());
        case plat::Value::Type::String:
            return text(*value.stringIf());
        case plat::Value::Type::Data:
        case plat::Value::Type::Date:
            return opaque(value);
        case plat::Value::Type::Array: {
            List items;
            items.reserve(value.arrayIf()->size());
            for (const auto& item : *value.arrayIf()) items.push_back(fromPlatformValue(item));
            return list(std::move(items));
        }
        case plat::Value::Type::Dictionary: {
            Entries entries;
            entries.reserve(value.dictionaryIf()->size());
            for (const auto& [key, item] : *value.dictionaryIf())
                entries.emplace_back(text(key), fromPlatformValue(item));
            return map(entries);
        }
    }
    return nullptr;
}

std::optional<plat::Value> ZAVObject::toPlatformValue(const ZAVObjectPtr& object) {
    if (!object) return std::nullopt;
    switch (object->kind_) {
        case Kind::Text:
            return plat::Value(object->text_);
        case Kind::Integer:
            return plat::Value(object->integer_);
        case Kind::Floating:
            return plat::Value(object->floating_);
        case Kind::Boolean:
            return plat::Value(object->boolValue());
        case Kind::List: {
            plat::Value::Array items;
            items.reserve(object->list_.size());
            for (const auto& item : object->list_) {
                auto converted = toPlatformValue(item);
                if (!converted) return std::nullopt;
                items.push_back(std::move(*converted));
            }
            return plat::Value(std::move(items));
        }
        case Kind::Map: {
            plat::Value::Dictionary dictionary;
            for (const auto& [key, item] : object->entries_) {
                if (!key || !key->isText()) return std::nullopt;
                auto converted = toPlatformValue(item);
                if (!converted) return std::nullopt;
                dictionary.set(key->text_, std::move(*converted));
            }
            return plat::Value(std::move(dictionary));
        }
        case Kind::Null:
            return plat::Value(nullptr);
        case Kind::Opaque:
            return object->opaque_;
        case Kind::Value:
        case Kind::NotPresent:
            return std::nullopt;
    }
    return std::nullopt;
}

std::string ZAVFloatingText(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}
