#pragma once
// The boxed boolean of the value layer: only a ZAVBoolean is a boolean (a number holding 1 is a number).
#include <atomic>
#include <memory>
#include <string>

#include "platform/storage/KeyedArchive.h"
#include "tagmanager/values/ZAVObject.h"

class ZAVBoolean final : public ZAVObject, public plat::Coding {
  public:
    explicit ZAVBoolean(bool value = false);
    // A new object every call.
    static std::shared_ptr<ZAVBoolean> booleanWithBool(bool value);
    // The shared true and false; never changed.
    static const std::shared_ptr<const ZAVBoolean>& yes();
    static const std::shared_ptr<const ZAVBoolean>& no();
    // "true" or "false" in any letter case, the whole text; anything else gives null.
    static std::shared_ptr<ZAVBoolean> booleanWithString(const std::string& text);

    bool boolValue() const override { return value_.load(std::memory_order_relaxed); }
    void setBoolValue(bool value) { value_.store(value, std::memory_order_relaxed); }
    std::shared_ptr<ZAVBoolean> copy() const { return booleanWithBool(boolValue()); }

    // Archived as one boolean under "value", class name "ZAVBoolean"; registerCoding() lets archives of
    // it be read back.
    static void registerCoding();
    std::string codingClassName() const override { return "ZAVBoolean"; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override;
    bool initWithCoder(plat::KeyedUnarchiver& coder) override;

  private:
    std::atomic<bool> value_;
};

// A number that behaves in every way as the integer 0 but is a fresh object: the numeric defaults of
// ZAVTypes are these, told apart from a real 0 only by identity.
class ZAVDistinctZero final : public ZAVObject {
  public:
    ZAVDistinctZero() : ZAVObject(Kind::Integer) {}
    static std::shared_ptr<const ZAVDistinctZero> distinctZero();
};
