#include "wire/ZAVWireGeneratedMessage.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>

#include "platform/base/Assert.h"
#include "wire/ZAVWireGeneratedMessageInternal.h"

// ---- key-value access

ZAVWireObjectPtr ZAVWireGeneratedMessage::valueForKey(const std::string& key) const {
    for (auto* f : wireDescriptor()->fieldList()) {
        if (f->hasSel() == key) return ZAVWireNumber::withBool(hasField(*f));
        if (f->getSel() != key) continue;
        if (f->isRepeated()) return getArray(*f);
        switch (f->type()) {
            case ZAVWireTypeBool:
                return ZAVWireNumber::withBool(getScalar<bool>(*f));
            case ZAVWireTypeFixed32:
            case ZAVWireTypeUInt32:
                return ZAVWireNumber::withUInt32(getScalar<uint32_t>(*f));
            case ZAVWireTypeSFixed32:
            case ZAVWireTypeInt32:
            case ZAVWireTypeSInt32:
            case ZAVWireTypeEnum:
                return ZAVWireNumber::withInt32(getScalar<int32_t>(*f));
            case ZAVWireTypeFloat:
                return ZAVWireNumber::withFloat(getScalar<float>(*f));
            case ZAVWireTypeFixed64:
            case ZAVWireTypeUInt64:
                return ZAVWireNumber::withUInt64(getScalar<uint64_t>(*f));
            case ZAVWireTypeSFixed64:
            case ZAVWireTypeInt64:
            case ZAVWireTypeSInt64:
                return ZAVWireNumber::withInt64(getScalar<int64_t>(*f));
            case ZAVWireTypeDouble:
                return ZAVWireNumber::withDouble(getScalar<double>(*f));
            default:
                return getObject(*f);
        }
    }
    return ZAVWireRootObject::valueForKey(key);
}

void ZAVWireGeneratedMessage::setValueForKey(const ZAVWireObjectPtr& value, const std::string& key) {
    const ZAVWireFieldDescriptor* field = nullptr;
    for (auto* f : wireDescriptor()->fieldList()) {
        if (f->getSel() == key) field = f;
    }
    if (!field) {
        ZAVWireRootObject::setValueForKey(value, key);
        return;
    }
    const ZAVWireFieldDescriptor& f = *field;
    if (f.isRepeated()) {
        auto array = std::dynamic_pointer_cast<ZAVWireArray>(value);
        if (value && !array) {
            ZAVWireRaise(NSInvalidArgumentException,
                         ZAVWireFormat("Trying to set array %s to non mutable array", f.setSel().c_str()));
        }
        setArray(f, array);
        return;
    }
    if (ZAVWireTypeIsObject(f.type())) {
        bool fits = !value || (f.isMessage() ? value->className() == std::string(f.msgClass()->name)
                                             : (f.type() == ZAVWireTypeString
                                                    ? dynamic_cast<ZAVWireString*>(value.get()) != nullptr
                                                    : dynamic_cast<ZAVWireData*>(value.get()) != nullptr));
        if (!fits) {
            ZAVWireRaise(NSInvalidArgumentException,
                         ZAVWireFormat("Value of class %s does not fit %s", value->className(), key.c_str()));
        }
        setObject(f, value);
        return;
    }
    auto* n = dynamic_cast<const ZAVWireNumber*>(value.get());
    if (!n) {
        ZAVWireRaise(NSInvalidArgumentException, ZAVWireFormat("NSNumber expected for %s", key.c_str()));
    }
    switch (f.type()) {
        case ZAVWireTypeBool:
            setScalar<bool>(f, n->boolValue());
            break;
        case ZAVWireTypeFixed32:
        case ZAVWireTypeUInt32:
            setScalar<uint32_t>(f, n->unsignedIntValue());
            break;
        case ZAVWireTypeFloat:
            setScalar<float>(f, n->floatValue());
            break;
        case ZAVWireTypeFixed64:
        case ZAVWireTypeUInt64:
            setScalar<uint64_t>(f, n->unsignedLongLongValue());
            break;
        case ZAVWireTypeSFixed64:
        case ZAVWireTypeInt64:
        case ZAVWireTypeSInt64:
            setScalar<int64_t>(f, n->longLongValue());
            break;
        case ZAVWireTypeDouble:
            setScalar<double>(f, n->doubleValue());
            break;
        default:
            setScalar<int32_t>(f, n->intValue());
            break;
    }
}
