#include "wire/ZAVWireGeneratedMessage.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>

#include "platform/base/Assert.h"
#include "wire/ZAVWireGeneratedMessageInternal.h"

// ---- output

void ZAVWireGeneratedMessage::writeToCodedOutputStream(ZAVWireCodedOutputStream& output) const {
    const ZAVWireDescriptor* d = wireDescriptor();
    const auto& fields = d->fieldList();
    const auto& ranges = d->rangeList();
    size_t i = 0, j = 0;
    while (i < fields.size() || j < ranges.size()) {
        if (j < ranges.size() && (i >= fields.size() || fields[i]->number() >= ranges[j]->start())) {
            writeExtensionsToCodedOutputStream(output, *ranges[j++]);
        } else {
            writeField(*fields[i++], output);
        }
    }
    if (unknownFields()) {
        if (d->isWireFormat()) {
            unknownFields()->writeAsMessageSetTo(output);
        } else {
            unknownFields()->writeToCodedOutputStream(output);
        }
    }
}

void ZAVWireGeneratedMessage::writeExtensionsToCodedOutputStream(ZAVWireCodedOutputStream& output,
                                                                 const ZAVWireExtensionRange& range) const {
    if (!extensionMap_) return;
    for (const auto& extension : sortedExtensionsInUse()) {
        uint32_t number = extension->fieldNumber();
        if (number < range.start() || number >= range.end()) continue;
        extension->writeValue(extensionMap_->at(extension), output);
    }
}

void ZAVWireGeneratedMessage::writeField(const ZAVWireFieldDescriptor& f, ZAVWireCodedOutputStream& o) const {
    uint32_t n = f.number();
    if (f.isRepeated()) {
        const ZAVWireArray* array = existingArray(f);
        if (!array) return;
        const ZAVWireArray& a = *array;
        uint32_t packed = f.isPackable() ? f.tag() : 0;
        switch (f.type()) {
            case ZAVWireTypeBool:
                return o.writeBools(n, a, packed);
            case ZAVWireTypeFixed32:
                return o.writeFixed32s(n, a, packed);
            case ZAVWireTypeSFixed32:
                return o.writeSFixed32s(n, a, packed);
            case ZAVWireTypeFloat:
                return o.writeFloats(n, a, packed);
            case ZAVWireTypeFixed64:
                return o.writeFixed64s(n, a, packed);
            case ZAVWireTypeSFixed64:
                return o.writeSFixed64s(n, a, packed);
            case ZAVWireTypeDouble:
                return o.writeDoubles(n, a, packed);
            case ZAVWireTypeInt32:
                return o.writeInt32s(n, a, packed);
            case ZAVWireTypeInt64:
                return o.writeInt64s(n, a, packed);
            case ZAVWireTypeSInt32:
                return o.writeSInt32s(n, a, packed);
            case ZAVWireTypeSInt64:
                return o.writeSInt64s(n, a, packed);
            case ZAVWireTypeUInt32:
                return o.writeUInt32s(n, a, packed);
            case ZAVWireTypeUInt64:
                return o.writeUInt64s(n, a, packed);
            case ZAVWireTypeEnum:
                return o.writeEnums(n, a, packed);
            case ZAVWireTypeData:
                return o.writeDatas(n, a);
            case ZAVWireTypeString:
                return o.writeStrings(n, a);
            case ZAVWireTypeMessage:
                return o.writeMessages(n, a);
            case ZAVWireTypeGroup:
                return o.writeGroups(n, a);
        }
        return;
    }
    if (!hasField(f)) return;
    switch (f.type()) {
        case ZAVWireTypeBool:
            return o.writeBool(n, getScalar<bool>(f));
        case ZAVWireTypeFixed32:
            return o.writeFixed32(n, getScalar<uint32_t>(f));
        case ZAVWireTypeSFixed32:
            return o.writeSFixed32(n, getScalar<int32_t>(f));
        case ZAVWireTypeFloat:
            return o.writeFloat(n, getScalar<float>(f));
        case ZAVWireTypeFixed64:
            return o.writeFixed64(n, getScalar<uint64_t>(f));
        case ZAVWireTypeSFixed64:
            return o.writeSFixed64(n, getScalar<int64_t>(f));
        case ZAVWireTypeDouble:
            return o.writeDouble(n, getScalar<double>(f));
        case ZAVWireTypeInt32:
            return o.writeInt32(n, getScalar<int32_t>(f));
        case ZAVWireTypeInt64:
            return o.writeInt64(n, getScalar<int64_t>(f));
        case ZAVWireTypeSInt32:
            return o.writeSInt32(n, getScalar<int32_t>(f));
        case ZAVWireTypeSInt64:
            return o.writeSInt64(n, getScalar<int64_t>(f));
        case ZAVWireTypeUInt32:
            return o.writeUInt32(n, getScalar<uint32_t>(f));
        case ZAVWireTypeUInt64:
            return o.writeUInt64(n, getScalar<uint64_t>(f));
        case ZAVWireTypeEnum:
            return o.writeEnum(n, getScalar<int32_t>(f));
        case ZAVWireTypeData:
            return o.writeData(n, static_cast<const ZAVWireData&>(*objectSlot(f)));
        case ZAVWireTypeString:
            return o.writeString(n, static_cast<const ZAVWireString&>(*objectSlot(f)));
        case ZAVWireTypeMessage:
            return o.writeMessage(
                n, ZAVWireMessageWriting(static_cast<const ZAVWireGeneratedMessage&>(*objectSlot(f))));
        case ZAVWireTypeGroup:
            return o.writeGroup(
                n, ZAVWireMessageWriting(static_cast<const ZAVWireGeneratedMessage&>(*objectSlot(f))));
    }
}

namespace {

// Element size without tag, for the repeated-field sums.
size_t elementSize(const ZAVWireFieldDescriptor& f, const ZAVWireArray& a, size_t i) {
    switch (f.type()) {
        case ZAVWireTypeBool:
            return 1;
        case ZAVWireTypeFixed32:
        case ZAVWireTypeSFixed32:
        case ZAVWireTypeFloat:
            return 4;
        case ZAVWireTypeFixed64:
        case ZAVWireTypeSFixed64:
        case ZAVWireTypeDouble:
            return 8;
        case ZAVWireTypeInt32: {
            int32_t v = a.int32AtIndex(i);
            return v < 0 ? 10 : ZAVWireVarint32Size(static_cast<uint32_t>(v));
        }
        case ZAVWireTypeEnum:
            return ZAVWireVarint32Size(static_cast<uint32_t>(a.int32AtIndex(i)));
        case ZAVWireTypeSInt32:
            return ZAVWireVarint32Size(ZAVWireEncodeZigZag32(a.int32AtIndex(i)));
        case ZAVWireTypeUInt32:
            return ZAVWireVarint32Size(a.uint32AtIndex(i));
        case ZAVWireTypeInt64:
            return ZAVWireVarint64Size(a.int64AtIndex(i));
        case ZAVWireTypeSInt64:
            return ZAVWireVarint64Size(static_cast<int64_t>(ZAVWireEncodeZigZag64(a.int64AtIndex(i))));
        case ZAVWireTypeUInt64:
            return ZAVWireVarint64Size(static_cast<int64_t>(a.uint64AtIndex(i)));
        case ZAVWireTypeData: {
            size_t len = static_cast<const ZAVWireData&>(*a.objectAtIndex(i)).length();
            return ZAVWireVarint32Size(static_cast<uint32_t>(len)) + len;
        }
        case ZAVWireTypeString:
            return ZAVWireStringSizeNoTag(static_cast<const ZAVWireString&>(*a.objectAtIndex(i)));
        case ZAVWireTypeMessage: {
            size_t size = static_cast<const ZAVWireGeneratedMessage&>(*a.objectAtIndex(i)).serializedSize();
            return ZAVWireVarint32Size(static_cast<uint32_t>(size)) + size;
        }
        case ZAVWireTypeGroup:
            return static_cast<const ZAVWireGeneratedMessage&>(*a.objectAtIndex(i)).serializedSize();
    }
    return 0;
}

}  // namespace

size_t ZAVWireGeneratedMessage::fieldSize(const ZAVWireFieldDescriptor& f) const {
    // Most fields of a message are absent: they are passed over before anything is measured.
    const ZAVWireArray* array = nullptr;
    if (f.isRepeated()) {
        array = existingArray(f);
        if (!array || array->count() == 0) return 0;
    } else if (!hasField(f)) {
        return 0;
    }
    uint32_t n = f.number();
    size_t t = ZAVWireTagSize(n);
    if (f.isRepeated()) {
        size_t count = array->count();
        size_t d = 0;
        for (size_t i = 0; i < count; ++i) d += elementSize(f, *array, i);
        if (f.isPackable()) return d + t + ZAVWireVarint32Size(static_cast<uint32_t>(d));
        return d + t * count * (f.type() == ZAVWireTypeGroup ? 2 : 1);
    }
    switch (f.type()) {
        case ZAVWireTypeBool:
            return t + 1;
        case ZAVWireTypeFixed32:
        case ZAVWireTypeSFixed32:
        case ZAVWireTypeFloat:
            return t + 4;
        case ZAVWireTypeFixed64:
        case ZAVWireTypeSFixed64:
        case ZAVWireTypeDouble:
            return t + 8;
        case ZAVWireTypeInt32:
            return ZAVWireInt32FieldSize(n, getScalar<int32_t>(f));
        case ZAVWireTypeEnum:
            return ZAVWireEnumFieldSize(n, getScalar<int32_t>(f));
        case ZAVWireTypeSInt32:
            return ZAVWireSInt32FieldSize(n, getScalar<int32_t>(f));
        case ZAVWireTypeUInt32:
            return ZAVWireUInt32FieldSize(n, getScalar<uint32_t>(f));
        case ZAVWireTypeInt64:
            return ZAVWireInt64FieldSize(n, getScalar<int64_t>(f));
        case ZAVWireTypeSInt64:
            return ZAVWireSInt64FieldSize(n, getScalar<int64_t>(f));
        case ZAVWireTypeUInt64:
            return ZAVWireUInt64FieldSize(n, getScalar<uint64_t>(f));
        case ZAVWireTypeData:
            return ZAVWireDataFieldSize(n, static_cast<const ZAVWireData&>(*objectSlot(f)));
        case ZAVWireTypeString:
            return ZAVWireStringFieldSize(n, static_cast<const ZAVWireString&>(*objectSlot(f)));
        case ZAVWireTypeMessage:
            return ZAVWireMessageFieldSize(
                n, ZAVWireMessageWriting(static_cast<const ZAVWireGeneratedMessage&>(*objectSlot(f))));
        case ZAVWireTypeGroup:
            return 2 * t + static_cast<const ZAVWireGeneratedMessage&>(*objectSlot(f)).serializedSize();
    }
    return 0;
}

size_t ZAVWireGeneratedMessage::serializedSize() const {
    size_t total = 0;
    for (auto* f : wireDescriptor()->fieldList()) total += fieldSize(*f);
    if (unknownFields()) {
        total += wireDescriptor()->isWireFormat() ? unknownFields()->serializedSizeAsMessageSet()
                                                  : unknownFields()->serializedSize();
    }
    return total + extensionsSerializedSize();
}

size_t ZAVWireGeneratedMessage::extensionsSerializedSize() const {
    size_t total = 0;
    if (extensionMap_) {
        for (auto& [extension, value] : *extensionMap_)
            total += extension->computeSerializedSizeIncludingTag(value);
    }
    return total;
}

std::shared_ptr<ZAVWireData> ZAVWireGeneratedMessage::data() const {
    auto data = ZAVWireData::withLength(serializedSize());
    ZAVWireCodedOutputStream output(nullptr, data);
    writeToCodedOutputStream(output);
    return data;
}

std::shared_ptr<ZAVWireData> ZAVWireGeneratedMessage::delimitedData() const {
    size_t size = serializedSize();
    auto data = ZAVWireData::withLength(ZAVWireVarint32Size(static_cast<uint32_t>(size)) + size);
    ZAVWireCodedOutputStream output(nullptr, data);
    writeDelimitedToCodedOutputStream(output);
    return data;
}

void ZAVWireGeneratedMessage::writeDelimitedToCodedOutputStream(ZAVWireCodedOutputStream& output) const {
    output.writeRawVarintSizeTAs32(serializedSize());
    writeToCodedOutputStream(output);
}

void ZAVWireGeneratedMessage::writeToOutputStream(const std::shared_ptr<plat::OutputStream>& output) const {
    auto coded = ZAVWireCodedOutputStream::streamWithOutputStream(output);
    writeToCodedOutputStream(*coded);
    coded->flush();
}

void ZAVWireGeneratedMessage::writeDelimitedToOutputStream(
    const std::shared_ptr<plat::OutputStream>& output) const {
    auto coded = ZAVWireCodedOutputStream::streamWithOutputStream(output);
    writeDelimitedToCodedOutputStream(*coded);
    coded->flush();
}

// ---- equality and description

bool ZAVWireGeneratedMessage::isEqual(const ZAVWireRootObject* other) const {
    if (other == this) return true;
    auto* o = dynamic_cast<const ZAVWireGeneratedMessage*>(other);
    if (!o || (!o->isa()->isSubclassOf(isa()) && !isa()->isSubclassOf(o->isa()))) return false;
    for (auto* f : wireDescriptor()->fieldList()) {
        if (f->isRepeated()) {
            const ZAVWireArray *a = existingArray(*f), *b = o->existingArray(*f);
            size_t ca = a ? a->count() : 0, cb = b ? b->count() : 0;
            if (ca == 0 && cb == 0) continue;
            if (!a || !b || !a->isEqual(b)) return false;
            continue;
        }
        bool has = hasField(*f);
        if (has != o->hasField(*f)) return false;
        if (!has) continue;
        bool same = true;
        switch (f->type()) {
            case ZAVWireTypeBool:
                same = getScalar<bool>(*f) == o->getScalar<bool>(*f);
                break;
            case ZAVWireTypeFloat:
                same = getScalar<float>(*f) == o->getScalar<float>(*f);
                break;
            case ZAVWireTypeDouble:
                same = getScalar<double>(*f) == o->getScalar<double>(*f);
                break;
            case ZAVWireTypeFixed64:
            case ZAVWireTypeSFixed64:
            case ZAVWireTypeInt64:
            case ZAVWireTypeSInt64:
            case ZAVWireTypeUInt64:
                same = getScalar<uint64_t>(*f) == o->getScalar<uint64_t>(*f);
                break;
            case ZAVWireTypeData:
            case ZAVWireTypeString:
            case ZAVWireTypeMessage:
            case ZAVWireTypeGroup:
                same = ZAVWireObjectsEqual(objectSlot(*f).get(), o->objectSlot(*f).get());
                break;
            default:
                same = getScalar<uint32_t>(*f) == o->getScalar<uint32_t>(*f);
                break;
        }
        if (!same) return false;
    }
    bool mineEmpty = !extensionMap_ || extensionMap_->empty();
    bool theirsEmpty = !o->extensionMap_ || o->extensionMap_->empty();
    if (mineEmpty != theirsEmpty) return false;
    if (!mineEmpty) {
        if (extensionMap_->size() != o->extensionMap_->size()) return false;
        for (auto& [extension, value] : *extensionMap_) {
            auto it = o->extensionMap_->find(extension);
            if (it == o->extensionMap_->end() || !ZAVWireObjectsEqual(value.get(), it->second.get()))
                return false;
        }
    }
    bool unknownEmpty = !unknownFields() || unknownFields()->countOfFields() == 0;
    bool otherUnknownEmpty = !o->unknownFields() || o->unknownFields()->countOfFields() == 0;
    if (unknownEmpty && otherUnknownEmpty) return true;
    if (unknownEmpty != otherUnknownEmpty) return false;
    return unknownFields()->isEqual(o->unknownFields().get());
}

std::string ZAVWireGeneratedMessage::description() const {
    return ZAVWireFormat("<%s %p>: {\n", className(), static_cast<const void*>(this)) +
           ZAVWireTextFormatForMessage(this, "    ") + "}";
}
