#include "wire/ZAVWireUnknownFieldSet.h"

#include <algorithm>

namespace {

ZAVWireMutableArrayPtr copyList(const ZAVWireMutableArrayPtr& list) {
    if (!list) return nullptr;
    return std::static_pointer_cast<ZAVWireMutableArray>(list->mutableCopy());
}

bool listsEqual(const ZAVWireMutableArrayPtr& a, const ZAVWireMutableArrayPtr& b) {
    size_t ca = a ? a->count() : 0;
    size_t cb = b ? b->count() : 0;
    if (ca == 0 && cb == 0) return true;
    if (!a || !b) return false;
    return a->isEqual(b.get());
}

size_t listCount(const ZAVWireMutableArrayPtr& list) {
    return list ? list->count() : 0;
}

void appendInto(ZAVWireMutableArrayPtr& mine, const ZAVWireMutableArrayPtr& theirs) {
    if (!theirs || theirs->count() == 0) return;
    if (mine) {
        mine->appendArray(theirs.get());
    } else {
        mine = copyList(theirs);
    }
}

}  // namespace

// ---- field

void ZAVWireMutableField::addVarint(uint64_t value) {
    if (!varints_) varints_ = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeUInt64);
    varints_->addUInt64(value);
}

void ZAVWireMutableField::addFixed32(uint32_t value) {
    if (!fixed32s_) fixed32s_ = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeUInt32);
    fixed32s_->addUInt32(value);
}

void ZAVWireMutableField::addFixed64(uint64_t value) {
    if (!fixed64s_) fixed64s_ = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeUInt64);
    fixed64s_->addUInt64(value);
}

void ZAVWireMutableField::addLengthDelimited(std::shared_ptr<ZAVWireData> value) {
    if (!lengthDelimited_)
        lengthDelimited_ = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeObject);
    lengthDelimited_->addObject(std::move(value));
}

void ZAVWireMutableField::addGroup(ZAVWireUnknownFieldSetPtr value) {
    if (!groups_) groups_ = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeObject);
    groups_->addObject(std::move(value));
}

void ZAVWireMutableField::mergeFromField(const ZAVWireField& other) {
    appendInto(varints_, other.varintList());
    appendInto(fixed32s_, other.fixed32List());
    appendInto(fixed64s_, other.fixed64List());
    appendInto(lengthDelimited_, other.lengthDelimitedList());
    // Groups are mutable sets: take copies so the other field's sets stay its own.
    if (other.groupList() && other.groupList()->count()) {
        for (size_t i = 0; i < other.groupList()->count(); ++i) {
            addGroup(std::static_pointer_cast<ZAVWireUnknownFieldSet>(
                other.groupList()->objectAtIndex(i)->copy()));
        }
    }
}

ZAVWireObjectPtr ZAVWireField::copy() const {
    auto f = std::make_shared<ZAVWireMutableField>(number_);
    f->mergeFromField(*this);
    return f;
}

void ZAVWireField::writeToOutput(ZAVWireCodedOutputStream& output) const {
    uint32_t n = static_cast<uint32_t>(number_);
    if (listCount(varints_)) output.writeUInt64s(n, *varints_, 0);
    if (listCount(fixed32s_)) output.writeFixed32s(n, *fixed32s_, 0);
    if (listCount(fixed64s_)) output.writeFixed64s(n, *fixed64s_, 0);
    if (listCount(lengthDelimited_)) output.writeDatas(n, *lengthDelimited_);
    if (listCount(groups_)) output.writeUnknownGroups(n, *groups_);
}

size_t ZAVWireField::serializedSize() const {
    uint32_t n = static_cast<uint32_t>(number_);
    size_t tag = ZAVWireTagSize(n);
    size_t total = 0;
    for (size_t i = 0; i < listCount(varints_); ++i)
        total += ZAVWireUInt64FieldSize(n, varints_->uint64AtIndex(i));
    total += listCount(fixed32s_) * (tag + 4);
    total += listCount(fixed64s_) * (tag + 8);
    for (size_t i = 0; i < listCount(lengthDelimited_); ++i) {
        total +=
            ZAVWireDataFieldSize(n, static_cast<const ZAVWireData&>(*lengthDelimited_->objectAtIndex(i)));
    }
    for (size_t i = 0; i < listCount(groups_); ++i) {
        total +=
            2 * tag + static_cast<const ZAVWireUnknownFieldSet&>(*groups_->objectAtIndex(i)).serializedSize();
    }
    return total;
}

void ZAVWireField::writeAsMessageSetExtensionToOutput(ZAVWireCodedOutputStream& output) const {
    for (size_t i = 0; i < listCount(lengthDelimited_); ++i) {
        output.writeRawMessageSetExtension(
            number_, static_cast<const ZAVWireData&>(*lengthDelimited_->objectAtIndex(i)));
    }
}

size_t ZAVWireField::serializedSizeAsMessageSetExtension() const {
    size_t total = 0;
    for (size_t i = 0; i < listCount(lengthDelimited_); ++i) {
        total += ZAVWireRawMessageSetExtensionSize(
            number_, static_cast<const ZAVWireData&>(*lengthDelimited_->objectAtIndex(i)));
    }
    return total;
}

bool ZAVWireField::isEqual(const ZAVWireRootObject* other) const {
    if (other == this) return true;
    auto* f = dynamic_cast<const ZAVWireField*>(other);
    if (!f) return false;
    return listsEqual(varints_, f->varints_) && listsEqual(fixed32s_, f->fixed32s_) &&
           listsEqual(fixed64s_, f->fixed64s_) && listsEqual(lengthDelimited_, f->lengthDelimited_) &&
           listsEqual(groups_, f->groups_);
}

std::string ZAVWireField::description() const {
    std::string out =
        ZAVWireFormat("<%s %p>: Field: %d {\n", className(), static_cast<const void*>(this), number_);
    for (size_t i = 0; i < listCount(varints_); ++i) {
        out += ZAVWireFormat("\t%llu\n", static_cast<unsigned long long>(varints_->uint64AtIndex(i)));
    }
    for (size_t i = 0; i < listCount(fixed32s_); ++i)
        out += ZAVWireFormat("\t%u\n", fixed32s_->uint32AtIndex(i));
    for (size_t i = 0; i < listCount(fixed64s_); ++i) {
        out += ZAVWireFormat("\t%llu\n", static_cast<unsigned long long>(fixed64s_->uint64AtIndex(i)));
    }
    for (size_t i = 0; i < listCount(lengthDelimited_); ++i) {
        out += "\t" + lengthDelimited_->objectAtIndex(i)->description() + "\n";
    }
    for (size_t i = 0; i < listCount(groups_); ++i)
        out += "\t" + groups_->objectAtIndex(i)->description() + "\n";
    return out + "}";
}

// ---- set

ZAVWireUnknownFieldSet::ZAVWireUnknownFieldSet(const Fields* fields) {
    if (!fields) return;
    fields_ = std::make_unique<Fields>();
    for (const auto& [number, field] : *fields) {
        (*fields_)[number] = std::static_pointer_cast<ZAVWireMutableField>(field->copy());
    }
}

ZAVWireObjectPtr ZAVWireUnknownFieldSet::copy() const {
    return std::make_shared<ZAVWireUnknownFieldSet>(fields_.get());
}

bool ZAVWireUnknownFieldSet::hasField(int32_t number) const {
    return fields_ && fields_->count(number);
}

ZAVWireMutableFieldPtr ZAVWireUnknownFieldSet::getField(int32_t number) const {
    if (!fields_) return nullptr;
    auto it = fields_->find(number);
    return it == fields_->end() ? nullptr : it->second;
}

void ZAVWireUnknownFieldSet::getTags(int32_t* tags) const {
    if (!fields_) return;
    for (const auto& entry : *fields_) *tags++ = entry.first;
}

std::vector<ZAVWireMutableFieldPtr> ZAVWireUnknownFieldSet::sortedFields() const {
    std::vector<ZAVWireMutableFieldPtr> out;
    if (!fields_) return out;
    for (const auto& entry : *fields_) out.push_back(entry.second);
    return out;
}

ZAVWireMutableFieldPtr& ZAVWireUnknownFieldSet::slotFor(int32_t number) {
    if (number == 0) ZAVWireRaise(NSInvalidArgumentException, "Zero is not a valid field number.");
    if (!fields_) fields_ = std::make_unique<Fields>();
    return (*fields_)[number];
}

void ZAVWireUnknownFieldSet::addField(const ZAVWireField& field) {
    slotFor(field.number()) = std::static_pointer_cast<ZAVWireMutableField>(field.copy());
}

ZAVWireMutableFieldPtr ZAVWireUnknownFieldSet::getFieldBuilder(int32_t number, bool create) {
    if (auto existing = getField(number)) return existing;
    if (!create) return nullptr;
    auto& slot = slotFor(number);
    slot = std::make_shared<ZAVWireMutableField>(number);
    return slot;
}

void ZAVWireUnknownFieldSet::mergeField(const ZAVWireField& field) {
    if (auto existing = getField(field.number())) {
        existing->mergeFromField(field);
    } else {
        addField(field);
    }
}

void ZAVWireUnknownFieldSet::mergeUnknownFields(const ZAVWireUnknownFieldSet* other) {
    if (!other || !other->fields_ || other == this) return;
    for (const auto& entry : *other->fields_) mergeField(*entry.second);
}

void ZAVWireUnknownFieldSet::mergeVarintField(int32_t number, int32_t value) {
    getFieldBuilder(number, true)->addVarint(static_cast<uint64_t>(static_cast<int64_t>(value)));
}

bool ZAVWireUnknownFieldSet::mergeFieldFrom(int32_t tag, ZAVWireCodedInputStream& input) {
    int32_t number = static_cast<int32_t>(static_cast<uint32_t>(tag) >> 3);
    switch (tag & 7) {
        case 0:
            getFieldBuilder(number, true)->addVarint(static_cast<uint64_t>(input.readInt64()));
            return true;
        case 1:
            getFieldBuilder(number, true)->addFixed64(input.readFixed64());
            return true;
        case 2: {
            auto field = getFieldBuilder(number, true);
            auto data = input.readData();
            // A negative length leaves no value to keep; storing a hole would corrupt the set.
            if (!data) ZAVWireRaiseParseError();
            field->addLengthDelimited(std::move(data));
            return true;
        }
        case 3: {
            auto group = std::make_shared<ZAVWireUnknownFieldSet>();
            input.readUnknownGroup(number, *group);
            getFieldBuilder(number, true)->addGroup(std::move(group));
            return true;
        }
        case 5:
            getFieldBuilder(number, true)->addFixed32(input.readFixed32());
            return true;
        default:
            return false;
    }
}

void ZAVWireUnknownFieldSet::mergeFromCodedInputStream(ZAVWireCodedInputStream& input) {
    while (true) {
        int32_t tag = input.readTag();
        if (tag == 0 || !mergeFieldFrom(tag, input)) return;
    }
}

void ZAVWireUnknownFieldSet::mergeFromData(std::shared_ptr<const ZAVWireData> data) {
    ZAVWireCodedInputStream input(std::move(data));
    mergeFromCodedInputStream(input);
    input.checkLastTagWas(0);
}

void ZAVWireUnknownFieldSet::mergeMessageSetMessage(int32_t typeId, std::shared_ptr<ZAVWireData> data) {
    getFieldBuilder(typeId, true)->addLengthDelimited(std::move(data));
}

void ZAVWireUnknownFieldSet::writeToCodedOutputStream(ZAVWireCodedOutputStream& output) const {
    if (!fields_) return;
    for (const auto& entry : *fields_) entry.second->writeToOutput(output);
}

size_t ZAVWireUnknownFieldSet::serializedSize() const {
    size_t total = 0;
    if (fields_) {
        for (const auto& entry : *fields_) total += entry.second->serializedSize();
    }
    return total;
}

void ZAVWireUnknownFieldSet::writeAsMessageSetTo(ZAVWireCodedOutputStream& output) const {
    if (!fields_) return;
    for (const auto& entry : *fields_) entry.second->writeAsMessageSetExtensionToOutput(output);
}

size_t ZAVWireUnknownFieldSet::serializedSizeAsMessageSet() const {
    size_t total = 0;
    if (fields_) {
        for (const auto& entry : *fields_) total += entry.second->serializedSizeAsMessageSetExtension();
    }
    return total;
}

std::shared_ptr<ZAVWireData> ZAVWireUnknownFieldSet::data() const {
    auto data = ZAVWireData::withLength(serializedSize());
    ZAVWireCodedOutputStream output(nullptr, data);
    writeToCodedOutputStream(output);
    return data;
}

bool ZAVWireUnknownFieldSet::isEqual(const ZAVWireRootObject* other) const {
    if (other == this) return true;
    auto* s = dynamic_cast<const ZAVWireUnknownFieldSet*>(other);
    if (!s) return false;
    if (!fields_ || !s->fields_) return !fields_ && !s->fields_;
    if (fields_->size() != s->fields_->size()) return false;
    for (const auto& [number, field] : *fields_) {
        auto it = s->fields_->find(number);
        if (it == s->fields_->end() || !field->isEqual(it->second.get())) return false;
    }
    return true;
}

std::string ZAVWireUnknownFieldSet::description() const {
    return ZAVWireFormat("<%s %p>: TextFormat: {\n", className(), static_cast<const void*>(this)) +
           ZAVWireTextFormatForUnknownFieldSet(this, "  ") + "}";
}

// ---- text form

namespace {

void appendEscaped(std::string& out, unsigned c, bool bytes) {
    switch (c) {
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        case '"':
            out += "\\\"";
            return;
        case '\'':
            out += "\\'";
            return;
        case '\\':
            out += "\\\\";
            return;
        default:
            break;
    }
    if (!bytes || (c >= 0x20 && c <= 0x7E)) {
        out += static_cast<char>(c);
    } else {
        out += ZAVWireFormat("\\%03o", c);
    }
}

}  // namespace

std::string ZAVWireTextFormatEscapeBytes(const uint8_t* bytes, size_t length) {
    std::string out = "\"";
    for (size_t i = 0; i < length; ++i) appendEscaped(out, bytes[i], true);
    return out + "\"";
}

std::string ZAVWireTextFormatEscapeString(const std::string& utf8) {
    // Only ASCII characters have escapes, so the UTF-8 bytes of everything else pass through as they are.
    std::string out = "\"";
    for (unsigned char c : utf8) appendEscaped(out, c, false);
    return out + "\"";
}

std::string ZAVWireTextFormatForUnknownFieldSet(const ZAVWireUnknownFieldSet* set,
                                                const std::string& indent) {
    std::string out;
    if (!set) return out;
    const char* p = indent.c_str();
    for (const auto& field : set->sortedFields()) {
        int32_t n = field->number();
        if (auto& l = field->varintList()) {
            for (size_t i = 0; i < l->count(); ++i) {
                out +=
                    ZAVWireFormat("%s%d: %llu\n", p, n, static_cast<unsigned long long>(l->uint64AtIndex(i)));
            }
        }
        if (auto& l = field->fixed32List()) {
            for (size_t i = 0; i < l->count(); ++i)
                out += ZAVWireFormat("%s%d: 0x%X\n", p, n, l->uint32AtIndex(i));
        }
        if (auto& l = field->fixed64List()) {
            for (size_t i = 0; i < l->count(); ++i) {
                out += ZAVWireFormat("%s%d: 0x%llX\n", p, n,
                                     static_cast<unsigned long long>(l->uint64AtIndex(i)));
            }
        }
        if (auto& l = field->lengthDelimitedList()) {
            for (size_t i = 0; i < l->count(); ++i) {
                auto& d = static_cast<const ZAVWireData&>(*l->objectAtIndex(i));
                out += ZAVWireFormat("%s%d: ", p, n) + ZAVWireTextFormatEscapeBytes(d.bytes(), d.length()) +
                       "\n";
            }
        }
        if (auto& l = field->groupList()) {
            for (size_t i = 0; i < l->count(); ++i) {
                out += ZAVWireFormat("%s%d: {\n", p, n);
                out += ZAVWireTextFormatForUnknownFieldSet(
                    static_cast<const ZAVWireUnknownFieldSet*>(l->objectAtIndex(i).get()), indent + "  ");
                out += ZAVWireFormat("%s}\n", p);
            }
        }
    }
    return out;
}
