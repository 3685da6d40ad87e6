#include "wire/ZAVWireGeneratedMessage.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>

#include "platform/base/Assert.h"
#include "wire/ZAVWireGeneratedMessageInternal.h"

// ---- text format

namespace {

std::string scalarText(ZAVWireType type, const ZAVWireObjectPtr& boxed) {
    auto& n = static_cast<const ZAVWireNumber&>(*boxed);
    switch (type) {
        case ZAVWireTypeBool:
            return n.boolValue() ? "true" : "false";
        case ZAVWireTypeFixed32:
        case ZAVWireTypeUInt32:
            return ZAVWireFormat("%u", n.unsignedIntValue());
        case ZAVWireTypeFloat:
            return ZAVWireFormat("%.*g", 6, static_cast<double>(n.floatValue()));
        case ZAVWireTypeDouble:
            return ZAVWireFormat("%.*lg", 15, n.doubleValue());
        case ZAVWireTypeFixed64:
        case ZAVWireTypeUInt64:
            return ZAVWireFormat("%llu", static_cast<unsigned long long>(n.unsignedLongLongValue()));
        case ZAVWireTypeSFixed64:
        case ZAVWireTypeInt64:
        case ZAVWireTypeSInt64:
            return ZAVWireFormat("%lld", static_cast<long long>(n.longLongValue()));
        default:
            return ZAVWireFormat("%d", n.intValue());
    }
}

std::string objectText(ZAVWireType type, const ZAVWireObjectPtr& value) {
    if (type == ZAVWireTypeString)
        return ZAVWireTextFormatEscapeString(static_cast<const ZAVWireString&>(*value).utf8());
    auto& d = static_cast<const ZAVWireData&>(*value);
    return ZAVWireTextFormatEscapeBytes(d.bytes(), d.length());
}

// One value line (or block, for messages) after the label.
void appendValue(std::string& out, ZAVWireType type, const ZAVWireObjectPtr& value,
                 const std::string& comment, const std::string& indent, const std::string& label) {
    bool message = ZAVWireTypeIsMessage(type);
    out += indent + label + (message ? " " : ": ");
    if (message) {
        out += "{" + comment + "\n";
        ZAVWireAppendTextFormatForMessage(static_cast<const ZAVWireGeneratedMessage&>(*value), out,
                                          indent + "  ");
        out += indent + "}\n";
        return;
    }
    out += ZAVWireTypeIsObject(type) ? objectText(type, value) : scalarText(type, value);
    out += comment + "\n";
}

void appendExtensions(std::string& out, const ZAVWireGeneratedMessage& m, const ZAVWireExtensionRange& range,
                      const std::string& indent) {
    for (const auto& extension : m.sortedExtensionsInUse()) {
        uint32_t number = extension->fieldNumber();
        if (number < range.start()) continue;
        if (number > range.end()) break;
        ZAVWireObjectPtr value = m.getExtension(*extension);
        std::vector<ZAVWireObjectPtr> values;
        if (extension->isRepeated()) {
            values = static_cast<const ZAVWireArray&>(*value).array();
        } else {
            values.push_back(value);
        }
        std::string comment;
        if (values.size() == 1) {
            comment = "  # [" + extension->singletonName() + "]";
        } else {
            out += indent + "# [" + extension->singletonName() + "]\n";
        }
        for (const auto& v : values)
            appendValue(out, extension->type(), v, comment, indent, ZAVWireFormat("%u", number));
    }
}

void appendField(std::string& out, const ZAVWireGeneratedMessage& m, const ZAVWireFieldDescriptor& f,
                 const std::string& indent) {
    ZAVWireMutableArrayPtr array;
    size_t count;
    if (f.isRepeated()) {
        array = m.getArray(f);
        count = array->count();
    } else {
        count = m.hasField(f) ? 1 : 0;
    }
    if (count == 0) return;
    std::string label = f.textFormatName();
    std::string comment;
    if (label.empty()) {
        label = ZAVWireFormat("%u", f.number());
        if (count == 1) {
            comment = "  # " + f.name();
        } else {
            out += indent + "# " + f.name() + "\n";
        }
    }
    std::string note;
    std::vector<ZAVWireObjectPtr> boxed;
    if (array && f.type() != ZAVWireTypeEnum) boxed = array->array();
    for (size_t i = 0; i < count; ++i) {
        if (f.type() == ZAVWireTypeEnum) {
            int32_t v = array ? array->int32AtIndex(i) : m.getScalar<int32_t>(f);
            std::string text;
            if (!f.enumDescriptor()) {
                note = " EnumDescriptors not generated";
            } else {
                text = f.enumDescriptor()->textFormatNameForEnumValue(v);
                if (text.empty()) note = " EnumValueDescriptor names not generated";
            }
            if (text.empty()) text = ZAVWireFormat("%d", v);
            std::string lineComment = comment;
            if (!note.empty()) lineComment = (comment.empty() ? std::string("  #") : comment) + note;
            out += indent + label + ": " + text + lineComment + "\n";
            continue;
        }
        ZAVWireObjectPtr value = array ? boxed[i] : m.valueForKey(f.getSel());
        appendValue(out, f.type(), value, comment, indent, label);
    }
}

}  // namespace

void ZAVWireAppendTextFormatForMessage(const ZAVWireGeneratedMessage& message, std::string& out,
                                       const std::string& indent) {
    const ZAVWireDescriptor* d = message.wireDescriptor();
    const auto& fields = d->fieldList();
    const auto& ranges = d->rangeList();
    size_t j = 0;
    for (auto* f : fields) {
        while (j < ranges.size() && f->number() >= ranges[j]->start())
            appendExtensions(out, message, *ranges[j++], indent);
        appendField(out, message, *f, indent);
    }
    while (j < ranges.size()) appendExtensions(out, message, *ranges[j++], indent);
    std::string unknown = ZAVWireTextFormatForUnknownFieldSet(message.unknownFields().get(), indent);
    if (!unknown.empty()) out += indent + "# --- Unknown fields ---\n" + unknown;
}

std::string ZAVWireTextFormatForMessage(const ZAVWireGeneratedMessage* message, const std::string& indent) {
    std::string out;
    if (message) ZAVWireAppendTextFormatForMessage(*message, out, indent);
    return out;
}
