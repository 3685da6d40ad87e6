#pragma once
// Base of every macro, predicate and tag the container can call, and the value/static pairs that every
// intermediate result of the rule runtime travels as (only static results may be cached).
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tagmanager/values/ZAVBoolean.h"
#include "tagmanager/values/ZAVObject.h"

class ZAVExpandedFunctionCall;

// Objects converted from property values that the runtime hands out again (an expansion reused for the
// same event): the first successful conversion of such a value is kept in its slot and later ones reuse
// it. Any other value is converted as usual. The objects never change, so sharing them is safe.
class ZAVConvertedValues {
  public:
    class Slot {
      public:
        ZAVObjectPtr object() const {
            std::lock_guard<std::mutex> lock(mutex_);
            return object_;
        }
        void setObject(ZAVObjectPtr object) {
            std::lock_guard<std::mutex> lock(mutex_);
            object_ = std::move(object);
        }

      private:
        mutable std::mutex mutex_;
        ZAVObjectPtr object_;
    };
    void add(const ZAVPValue* value, std::shared_ptr<Slot> slot) {
        slots_.emplace_back(value, std::move(slot));
    }
    bool empty() const { return slots_.empty(); }
    // ZAVTypes::valueToObject(value), kept in the value's slot when it succeeds (a failure logs, so it is
    // converted, and logged, again next time).
    ZAVObjectPtr objectFor(const ZAVPValuePtr& value) const;
    static const ZAVConvertedValues& none();

  private:
    std::vector<std::pair<const ZAVPValue*, std::shared_ptr<Slot>>> slots_;
};

class ZAVFunctionCallImplementation {
  public:
    using Properties = std::map<std::string, ZAVPValuePtr>;

    // No implementation exists without its function id and required keys.
    ZAVFunctionCallImplementation() = delete;
    ZAVFunctionCallImplementation(std::string functionId, std::set<std::string> requiredKeys);
    virtual ~ZAVFunctionCallImplementation() = default;

    virtual bool isCacheable() const = 0;
    // Properties already macro-expanded.
    virtual ZAVPValuePtr evaluate(const Properties& properties) = 0;
    // The same, with conversions of some values kept by the caller; implementations that convert their
    // values to objects use them.
    virtual ZAVPValuePtr evaluateWithConverted(const Properties& properties, const ZAVConvertedValues&) {
        return evaluate(properties);
    }

    // True when every required key is among `keys`.
    bool hasRequiredKeys(const std::set<std::string>& keys) const;
    // The same over the names of a property map.
    bool hasRequiredKeys(const Properties& properties) const;
    // The property's value; null when the key is absent.
    static ZAVPValuePtr propertyForKey(const Properties& properties, const std::string& key);
    const std::string& instanceFunctionId() const { return instanceFunctionId_; }
    const std::set<std::string>& requiredKeys() const { return requiredKeys_; }

    static const std::string& functionKey();
    static const std::string& instanceNameKey();
    static const std::string& notDefaultMacroKey();

  private:
    const std::string instanceFunctionId_;
    const std::set<std::string> requiredKeys_;
};

// An evaluation result and whether it is fixed for the container's lifetime.
class ZAVObjectAndStatic {
  public:
    ZAVObjectAndStatic(std::shared_ptr<const void> object, bool isStatic)
        : object_(std::move(object)), isStatic_(isStatic) {}
    virtual ~ZAVObjectAndStatic() = default;
    const std::shared_ptr<const void>& object() const { return object_; }
    bool isStatic() const { return isStatic_; }

  private:
    const std::shared_ptr<const void> object_;
    const bool isStatic_;
};

class ZAVBooleanAndStatic final : public ZAVObjectAndStatic {
  public:
    ZAVBooleanAndStatic(std::shared_ptr<const ZAVBoolean> boolean, bool isStatic)
        : ZAVObjectAndStatic(boolean, isStatic), boolean_(std::move(boolean)) {}
    static std::shared_ptr<ZAVBooleanAndStatic> booleanWithBoolean(std::shared_ptr<const ZAVBoolean> boolean,
                                                                   bool isStatic);
    static std::shared_ptr<ZAVBooleanAndStatic> booleanWithBool(bool value, bool isStatic);
    // False when no boolean is held.
    bool boolValue() const { return boolean_ && boolean_->boolValue(); }
    const std::shared_ptr<const ZAVBoolean>& boolean() const { return boolean_; }

  private:
    const std::shared_ptr<const ZAVBoolean> boolean_;
};

class ZAVPValueAndStatic final : public ZAVObjectAndStatic {
  public:
    ZAVPValueAndStatic(ZAVPValuePtr value, bool isStatic)
        : ZAVObjectAndStatic(value, isStatic), value_(std::move(value)) {}
    static std::shared_ptr<ZAVPValueAndStatic> valueWithValue(ZAVPValuePtr value, bool isStatic);
    const ZAVPValuePtr& value() const { return value_; }

  private:
    const ZAVPValuePtr value_;
};

class ZAVSetAndStatic final : public ZAVObjectAndStatic {
  public:
    using Set = std::set<std::shared_ptr<ZAVExpandedFunctionCall>>;
    ZAVSetAndStatic(std::shared_ptr<const Set> set, bool isStatic)
        : ZAVObjectAndStatic(set, isStatic), set_(std::move(set)) {}
    static std::shared_ptr<ZAVSetAndStatic> setWithSet(std::shared_ptr<const Set> set, bool isStatic);
    const std::shared_ptr<const Set>& set() const { return set_; }

  private:
    const std::shared_ptr<const Set> set_;
};
