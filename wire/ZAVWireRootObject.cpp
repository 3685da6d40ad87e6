#include "wire/ZAVWireRootObject.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <utility>

#include "platform/base/Error.h"
#include "wire/ZAVWireArena.h"

void ZAVWireRaise(const char* name, std::string reason) {
    throw plat::Exception(name, std::move(reason));
}

std::string ZAVWireFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, again);
        out.resize(static_cast<size_t>(n));
    }
    va_end(again);
    return out;
}

std::string ZAVWireRootObject::description() const {
    return ZAVWireFormat("<%s: %p>", className(), static_cast<const void*>(this));
}

ZAVWireObjectPtr ZAVWireSharedObject::copy() const {
    return std::const_pointer_cast<ZAVWireSharedObject>(shared_from_this());
}

ZAVWireObjectPtr ZAVWireRootObject::valueForKey(const std::string& key) const {
    ZAVWireRaise(
        NSUndefinedKeyException,
        ZAVWireFormat("[<%s %p> valueForUndefinedKey:]: this class is not key value coding-compliant for "
                      "the key %s.",
                      className(), static_cast<const void*>(this), key.c_str()));
}

void ZAVWireRootObject::setValueForKey(const ZAVWireObjectPtr&, const std::string& key) {
    ZAVWireRaise(
        NSUndefinedKeyException,
        ZAVWireFormat("[<%s %p> setValue:forUndefinedKey:]: this class is not key value coding-compliant "
                      "for the key %s.",
                      className(), static_cast<const void*>(this), key.c_str()));
}

bool ZAVWireObjectsEqual(const ZAVWireRootObject* a, const ZAVWireRootObject* b) {
    if (a == b) return true;
    if (!a || !b) return false;
    return a->isEqual(b);
}

const std::shared_ptr<ZAVWireNull>& ZAVWireNull::null() {
    static const std::shared_ptr<ZAVWireNull> instance = std::make_shared<ZAVWireNull>();
    return instance;
}

// ---- data

std::shared_ptr<ZAVWireData> ZAVWireData::create(const uint8_t* bytes, size_t length) {
    auto d = ZAVWireMakeShared<ZAVWireData>();
    if (length) d->bytes_.assign(bytes, bytes + length);
    return d;
}

std::shared_ptr<ZAVWireData> ZAVWireData::create(std::string_view bytes) {
    return create(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::shared_ptr<ZAVWireData> ZAVWireData::create(std::vector<uint8_t> bytes) {
    auto d = ZAVWireMakeShared<ZAVWireData>();
    d->bytes_ = std::move(bytes);
    return d;
}

std::shared_ptr<ZAVWireData> ZAVWireData::withLength(size_t length) {
    auto d = ZAVWireMakeShared<ZAVWireData>();
    d->bytes_.resize(length);
    return d;
}

std::string ZAVWireData::description() const {
    std::string out = "<";
    for (size_t i = 0; i < bytes_.size(); ++i) {
        if (i && i % 4 == 0) out += ' ';
        out += ZAVWireFormat("%02x", bytes_[i]);
    }
    return out + ">";
}

bool ZAVWireData::isEqual(const ZAVWireRootObject* other) const {
    if (other == this) return true;
    auto* d = dynamic_cast<const ZAVWireData*>(other);
    return d && d->bytes_ == bytes_;
}

size_t ZAVWireData::hash() const {
    return std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()));
}

ZAVWireObjectPtr ZAVWireData::copy() const {
    return create(bytes_);
}
ZAVWireObjectPtr ZAVWireData::mutableCopy() const {
    return create(bytes_);
}

// ---- numbers

#define ZAV_NUMBER_MAKER(Name, Type, K, member)                  \
    std::shared_ptr<ZAVWireNumber> ZAVWireNumber::Name(Type v) { \
        auto n = ZAVWireMakeShared<ZAVWireNumber>();             \
        n->kind_ = Kind::K;                                      \
        n->v_.member = v;                                        \
        return n;                                                \
    }
ZAV_NUMBER_MAKER(withBool, bool, Bool, i)
ZAV_NUMBER_MAKER(withInt32, int32_t, Int32, i)
ZAV_NUMBER_MAKER(withUInt32, uint32_t, UInt32, u)
ZAV_NUMBER_MAKER(withInt64, int64_t, Int64, i)
ZAV_NUMBER_MAKER(withUInt64, uint64_t, UInt64, u)
ZAV_NUMBER_MAKER(withFloat, float, Float, d)
ZAV_NUMBER_MAKER(withDouble, double, Double, d)
#undef ZAV_NUMBER_MAKER

static bool isReal(ZAVWireNumber::Kind k) {
    return k == ZAVWireNumber::Kind::Float || k == ZAVWireNumber::Kind::Double;
}

bool ZAVWireNumber::boolValue() const {
    return isReal(kind_) ? v_.d != 0 : v_.u != 0;
}

int64_t ZAVWireNumber::longLongValue() const {
    if (isReal(kind_)) {
        // Out-of-range reals saturate rather than hit undefined conversion.
        if (std::isnan(v_.d)) return 0;
        if (v_.d >= 9.2233720368547758e18) return INT64_MAX;
        if (v_.d <= -9.2233720368547758e18) return INT64_MIN;
        return static_cast<int64_t>(v_.d);
    }
    return v_.i;
}

uint64_t ZAVWireNumber::unsignedLongLongValue() const {
    if (isReal(kind_)) {
        if (std::isnan(v_.d) || v_.d <= -9.2233720368547758e18) return 0;
        if (v_.d >= 1.8446744073709552e19) return UINT64_MAX;
        if (v_.d < 0) return static_cast<uint64_t>(static_cast<int64_t>(v_.d));
        return static_cast<uint64_t>(v_.d);
    }
    return v_.u;
}

double ZAVWireNumber::doubleValue() const {
    if (isReal(kind_)) return v_.d;
    if (kind_ == Kind::UInt32 || kind_ == Kind::UInt64) return static_cast<double>(v_.u);
    return static_cast<double>(v_.i);
}

std::string ZAVWireNumber::description() const {
    switch (kind_) {
        case Kind::Bool:
        case Kind::Int32:
        case Kind::Int64:
            return ZAVWireFormat("%lld", static_cast<long long>(v_.i));
        case Kind::UInt32:
        case Kind::UInt64:
            return ZAVWireFormat("%llu", static_cast<unsigned long long>(v_.u));
        case Kind::Float:
            return ZAVWireFormat("%.*g", 7, v_.d);
        case Kind::Double:
            return ZAVWireFormat("%.*g", 17, v_.d);
    }
    return {};
}

bool ZAVWireNumber::isEqual(const ZAVWireRootObject* other) const {
    if (other == this) return true;
    auto* n = dynamic_cast<const ZAVWireNumber*>(other);
    if (!n) return false;
    if (isReal(kind_) || isReal(n->kind_)) return doubleValue() == n->doubleValue();
    bool aUnsignedBig = (kind_ == Kind::UInt64) && v_.u > static_cast<uint64_t>(INT64_MAX);
    bool bUnsignedBig = (n->kind_ == Kind::UInt64) && n->v_.u > static_cast<uint64_t>(INT64_MAX);
    if (aUnsignedBig != bUnsignedBig) return false;
    return v_.u == n->v_.u;
}

size_t ZAVWireNumber::hash() const {
    if (isReal(kind_)) return std::hash<double>()(v_.d);
    return std::hash<uint64_t>()(v_.u);
}
