#include "wire/ZAVWireGeneratedMessage.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

#include "platform/base/Assert.h"
#include "wire/ZAVWireGeneratedMessageInternal.h"

// ---- parsing

struct ZAVWireGeneratedMessage::ParseContext {
    ZAVWireArena* arena;
    const ZAVWireExtensionRegistry* registry;
    // The extension last found: the messages of one list mostly carry the same one.
    const ZAVWireDescriptor* extensionType = nullptr;
    uint32_t extensionNumber = 0;
    const ZAVWireExtensionFieldPtr* extension = nullptr;
};

namespace {

inline void markHas(uint8_t* storage, int32_t index) {
    // Has indices are never negative.
    auto i = static_cast<uint32_t>(index);
    uint8_t* p = storage + (i / 32) * 4;
    uint32_t word;
    std::memcpy(&word, p, 4);
    word |= 1u << (i % 32);
    std::memcpy(p, &word, 4);
}

// Adopts a list made empty by an earlier packed run of no elements, as its first element would.
__attribute__((noinline)) void adoptEmptyArray(uint8_t* storage, const ZAVWireParseEntry& entry,
                                               ZAVWireMutableArray* array) {
    array->setDelegate(nullptr);
    markHas(storage, entry.hasIndex);
}

// Made once per list, out of the loop that appends.
__attribute__((noinline)) void makeFreshArray(ZAVWireObjectPtr& s, uint8_t* storage,
                                              const ZAVWireParseEntry& entry, ZAVWireArena* arena) {
    s = ZAVWireMakeSharedIn<ZAVWireMutableArray>(arena, entry.valueType);
    markHas(storage, entry.hasIndex);
}

// The array a repeated field of a message being built appends to; the field is set from the first element
// on, which the caller appends right away.
__attribute__((always_inline)) inline ZAVWireMutableArray* freshArray(uint8_t* storage,
                                                                      const ZAVWireParseEntry& entry,
                                                                      ZAVWireArena* arena) {
    ZAVWireObjectPtr& s = *std::launder(reinterpret_cast<ZAVWireObjectPtr*>(storage + entry.offset));
    if (!s) [[unlikely]]
        makeFreshArray(s, storage, entry, arena);
    auto* array = static_cast<ZAVWireMutableArray*>(s.get());
    if (array->hasDelegate()) [[unlikely]]
        adoptEmptyArray(storage, entry, array);
    return array;
}

// Appends a scalar read for a repeated field. A list met for the first time gets room for the whole run of
// its field that follows, counted ahead, so that those appends never grow it; with a reader, the rest of
// the run is read here too, its tags being known to match.
template <typename T, typename Read = std::nullptr_t>
inline void appendScalar(uint8_t* storage, const ZAVWireParseEntry& entry, ZAVWireCodedInputStream& input,
                         int32_t tag, T value, ZAVWireArena* arena, Read read = nullptr) {
    ZAVWireObjectPtr& s = *std::launder(reinterpret_cast<ZAVWireObjectPtr*>(storage + entry.offset));
    if (!s && arena) {
        // Longer runs grow as any list does.
        constexpr size_t kMaxRoom = 64;
        size_t more = input.countVarintFields(tag, kMaxRoom - 1);
        auto array = ZAVWireMutableArray::makeParsed<T>(arena, entry.valueType, 1 + more);
        T* room = array->template parsedRoom<T>();
        room[0] = value;
        size_t count = 1;
        if constexpr (!std::is_same_v<Read, std::nullptr_t>) {
            for (; count <= more; ++count) {
                input.skipCountedTag(tag);
                room[count] = static_cast<T>(read());
            }
        }
        array->setParsedCount(count);
        s = std::move(array);
        markHas(storage, entry.hasIndex);
        return;
    }
    freshArray(storage, entry, arena)->appendParsedScalar(value, arena);
}

template <typename T>
inline void storeScalar(uint8_t* storage, const ZAVWireParseEntry& entry, T value) {
    std::memcpy(storage + entry.offset, &value, sizeof(T));
    markHas(storage, entry.hasIndex);
}

}  // namespace

// A message whose class is not made in an arena lives on the heap, and so does what it holds: what the
// parse stores in a message takes for granted that the message lives in the parse's arena, if any.
__attribute__((noinline)) ZAVWireMessagePtr ZAVWireGeneratedMessage::readFreshOnHeap(
    const ZAVWireClass* cls, ZAVWireCodedInputStream& input, ParseContext& context) {
    ZAVWireMessagePtr sub = cls->create();
    ParseContext heap{nullptr, context.registry};
    uint64_t old = input.beginMessage();
    sub->parseFresh(input, heap, cls->descriptor());
    input.endMessage(old);
    return sub;
}

// Taken in line: a sub-message then costs one call level, not two.
__attribute__((always_inline)) inline ZAVWireMessagePtr ZAVWireGeneratedMessage::readFresh(
    const ZAVWireClass* cls, ZAVWireCodedInputStream& input, ParseContext& context) {
    if (!cls->createInArena || !context.arena) [[unlikely]]
        return readFreshOnHeap(cls, input, context);
    ZAVWireMessagePtr sub = cls->createInArena(context.arena);
    uint64_t old = input.beginMessage();
    sub->parseFresh(input, context, cls->descriptor());
    input.endMessage(old);
    return sub;
}

void ZAVWireGeneratedMessage::mergeFromData(std::shared_ptr<const ZAVWireData> data,
                                            const ZAVWireExtensionRegistry* registry) {
    ZAVWireCodedInputStream input(std::move(data));
    mergeFromCodedInputStream(input, registry);
    input.checkLastTagWas(0);
}

void ZAVWireGeneratedMessage::mergeDelimitedFromCodedInputStream(ZAVWireCodedInputStream& input,
                                                                 const ZAVWireExtensionRegistry* registry) {
    if (input.isAtEnd()) return;
    if (auto data = input.readData()) mergeFromData(data, registry);
}

void ZAVWireGeneratedMessage::mergeFromCodedInputStream(ZAVWireCodedInputStream& input,
                                                        const ZAVWireExtensionRegistry* registry) {
    if (ZAVWireArena::current()) {
        mergeFieldsFromCodedInputStream(input, registry);
        return;
    }
    // The outermost message of a parse: what the parse makes comes from an arena of its own, used by this
    // parse only and kept by this message (with whatever earlier parses into it used).
    // Parsed objects take tens of bytes for each byte read: a small message starts with a small block.
    uint64_t left = std::min<uint64_t>(input.bytesLeft(), 1 << 20);
    auto arena = ZAVWireArenaRef::make(std::clamp<size_t>(std::bit_ceil(left * 16), 1024, 64 * 1024));
    ZAVWireArenaRef& kept = rare().arena;
    arena.get()->keep(kept.get());
    kept = arena;
    ZAVWireArenaScope scope(arena.get());
    mergeFieldsFromCodedInputStream(input, registry);
}

void ZAVWireGeneratedMessage::mergeFieldsFromCodedInputStream(ZAVWireCodedInputStream& input,
                                                              const ZAVWireExtensionRegistry* registry) {
    const ZAVWireDescriptor* descriptor = wireDescriptor();
    const auto& fields = descriptor->fieldList();
    const size_t n = fields.size();
    size_t p = 0;
    while (true) {
        int32_t tag = input.readTag();
        // No field has tag 0: the end.
        if (tag == 0) return;
        size_t q = descriptor->fieldIndexForTag(tag, p);
        if (q < n) {
            p = q;
            mergeFieldFromStream(*fields[p], input, registry);
            continue;
        }
        if (!parseUnknownField(input, registry, tag)) return;
    }
}

// The position and where reading stops stay in registers: tags, varints, lengths and the bytes of a string
// are read here in place. The position goes back to the stream before any call that reads from it and is
// taken again after; the stream's last tag is only set where something looks at it (a call that may read a
// group, and the end).
void ZAVWireGeneratedMessage::parseFresh(ZAVWireCodedInputStream& input, ParseContext& context,
                                         const ZAVWireDescriptor* descriptor) {
    const ZAVWireParseEntry* entries = descriptor->parseEntries().data();
    const size_t n = descriptor->fieldCount();
    uint8_t* storage = messageStorage_;
    const uint8_t* const bytes = input.buffer();
    uint64_t pos = input.position();
    uint64_t end = input.readEnd();
    auto handBack = [&]() __attribute__((always_inline)) {
        input.setPosition(pos);
    };
    auto takeBack = [&]() __attribute__((always_inline)) {
        pos = input.position();
        end = input.readEnd();
    };
    // Most varints are one or two bytes; the rest, and the last bytes before the end, go through the stream.
    auto varint32 = [&]() __attribute__((always_inline))->int32_t {
        int32_t v;
        if (ZAVWireCodedInputStream::readShortVarint32(bytes, pos, end, v)) [[likely]]
            return v;
        handBack();
        v = input.readRawVarint32();
        pos = input.position();
        return v;
    };
    auto varint64 = [&]() __attribute__((always_inline))->int64_t {
        if (pos < end && !(bytes[pos] & 0x80)) [[likely]]
            return bytes[pos++];
        handBack();
        int64_t v = input.readRawVarint64();
        pos = input.position();
        return v;
    };
    size_t p = 0;
    while (true) {
        int32_t tag;
        if (!ZAVWireCodedInputStream::readShortTag(bytes, pos, end, tag)) [[unlikely]] {
            if (pos == end) {
                // The end of the data or of the message.
                tag = 0;
            } else {
                handBack();
                tag = input.readTagSlow();
                pos = input.position();
            }
        }
        if (tag == 0) {
            handBack();
            input.setLastTag(0);
            return;
        }
        const ZAVWireParseEntry* found;
        if (static_cast<uint32_t>(tag) < 128) [[likely]] {
            found = descriptor->parseEntryForShortTag(static_cast<uint32_t>(tag));
        } else {
            size_t q = descriptor->fieldIndexForTag(tag, p);
            found = q < n ? &entries[q] : nullptr;
            if (found) p = q;
        }
        if (!found) {
            handBack();
            input.setLastTag(tag);
            bool more = parseFreshUnknownField(input, context, tag, descriptor);
            takeBack();
            if (!more) return;
            continue;
        }
        const ZAVWireParseEntry& entry = *found;
        // Only object and repeated fields have a reference in their slot.
        auto object = [&]() -> ZAVWireObjectPtr& {
            return *std::launder(reinterpret_cast<ZAVWireObjectPtr*>(storage + entry.offset));
        };
        // A scalar into its slot, or a run of them into the field's list (the first read here, the rest
        // where the run is counted, through the stream).
        auto takeScalar = [&](auto v, auto readNext) __attribute__((always_inline)) {
            if (entry.repeated) {
                handBack();
                appendScalar(storage, entry, input, tag, v, context.arena, readNext);
                takeBack();
            } else {
                storeScalar(storage, entry, v);
            }
        };
        switch (entry.kind) {
            case ZAVWireParseEntry::Varint32:
                takeScalar(varint32(), [&] { return input.readVarint32Inline(); });
                break;
            case ZAVWireParseEntry::Varint64:
                takeScalar(varint64(), [&] { return input.readVarint64Inline(); });
                break;
            case ZAVWireParseEntry::Bool:
                takeScalar(static_cast<uint8_t>(varint32() != 0 ? 1 : 0),
                           [&]() -> uint8_t { return input.readVarint32Inline() != 0 ? 1 : 0; });
                break;
            case ZAVWireParseEntry::Enum: {
                int32_t v = varint32();
                if (!entry.isKnownEnumValue(v)) [[unlikely]] {
                    // Kept as an unknown varint so the number survives a write.
                    mutableUnknownFields().mergeVarintField(static_cast<int32_t>(entry.field->number()), v);
                } else if (entry.repeated) {
                    handBack();
                    appendScalar(storage, entry, input, tag, v, context.arena);
                    takeBack();
                } else {
                    storeScalar(storage, entry, v);
                }
                break;
            }
            case ZAVWireParseEntry::String: {
                ZAVWireObjectPtr v;
                const uint64_t lengthAt = pos;
                int32_t length = varint32();
                if (length > 0 && static_cast<uint64_t>(length) <= end - pos) [[likely]] {
                    v = ZAVWireStringCreate(bytes + pos, static_cast<size_t>(length), context.arena);
                    pos += static_cast<uint64_t>(length);
                } else {
                    // Empty, or past the end: the stream's own reading answers or raises.
                    pos = lengthAt;
                    handBack();
                    v = input.readString(context.arena);
                    takeBack();
                }
                if (entry.repeated) {
                    freshArray(storage, entry, context.arena)
                        ->appendParsedObject(std::move(v), context.arena);
                } else {
                    object() = std::move(v);
                    markHas(storage, entry.hasIndex);
                }
                break;
            }
            case ZAVWireParseEntry::Message: {
                if (!entry.repeated && object()) {
                    // A second occurrence merges with the first: the general routine's rules.
                    handBack();
                    input.setLastTag(tag);
                    mergeFieldFromStream(*entry.field, input, context.registry);
                    takeBack();
                    break;
                }
                // readFresh's steps, with the descriptor the entry keeps.
                ZAVWireMessagePtr sub;
                const ZAVWireClass* cls = entry.msgClass;
                handBack();
                if (cls->createInArena && context.arena) [[likely]] {
                    uint64_t old = input.beginMessage();
                    sub = cls->createInArena(context.arena);
                    sub->parseFresh(input, context, entry.messageDescriptor());
                    input.endMessage(old);
                } else {
                    sub = readFreshOnHeap(cls, input, context);
                }
                takeBack();
                if (entry.repeated) {
                    freshArray(storage, entry, context.arena)
                        ->appendParsedObject(std::move(sub), context.arena);
                } else {
                    object() = std::move(sub);
                    markHas(storage, entry.hasIndex);
                }
                break;
            }
            case ZAVWireParseEntry::General:
                handBack();
                input.setLastTag(tag);
                mergeFieldFromStream(*entry.field, input, context.registry);
                takeBack();
                break;
            default:
                __builtin_unreachable();
        }
    }
}

bool ZAVWireGeneratedMessage::parseFreshUnknownField(ZAVWireCodedInputStream& input, ParseContext& context,
                                                     int32_t tag, const ZAVWireDescriptor* descriptor) {
    uint32_t number = static_cast<uint32_t>(tag) >> 3;
    const ZAVWireExtensionFieldPtr* entry = nullptr;
    if (context.extension && context.extensionType == descriptor && context.extensionNumber == number) {
        entry = context.extension;
    } else if (context.registry) {
        entry = context.registry->findExtension(descriptor, number);
        if (entry) {
            context.extensionType = descriptor;
            context.extensionNumber = number;
            context.extension = entry;
        }
    }
    if (entry) {
        const ZAVWireExtensionField& extension = **entry;
        // A singular sub-message extension seen for the first time: read in place as a field would be.
        if (extension.type() == ZAVWireTypeMessage && !extension.isRepeated() && !extension.isPackable() &&
            !extension.mergesWithoutLength() && (tag & 7) == ZAVWireWireFormatLengthDelimited &&
            (!extensionMap_ || extensionMap_->find(*entry) == extensionMap_->end())) {
            ZAVWireMessagePtr sub = readFresh(extension.messageOrGroupClass(), input, context);
            if (extensionMap_) {
                extensionMap_->emplace(*entry, std::move(sub));
            } else if (context.arena) {
                // This message was made in the parse's arena: so is its map, made with its entry in one
                // step, with room for two, as extensions mostly come one or two to a message.
                extensionMap_ =
                    ExtensionMapPtr(ZAVWireExtensionMap::makeWith(context.arena, 2, *entry, std::move(sub)));
            } else {
                extensionMap_ = makeExtensionMap(std::pmr::new_delete_resource());
                extensionMap_->emplace(*entry, std::move(sub));
            }
            return true;
        }
    }
    return parseUnknownField(input, context.registry, tag);
}

// Parsing writes to the message and is not synchronised with readers, so the array it appends to is
// looked up without the lock that creation on read takes.
ZAVWireMutableArray* ZAVWireGeneratedMessage::parsedArray(const ZAVWireFieldDescriptor& field) {
    ZAVWireObjectPtr& s = objectSlot(field);
    if (!s) {
        auto array = ZAVWireMutableArray::arrayWithValueType(field.valueType());
        array->setDelegate(this);
        setAutocreatedRetainedObject(field, std::move(array));
    }
    return static_cast<ZAVWireMutableArray*>(s.get());
}

template <typename T, typename Read>
void ZAVWireGeneratedMessage::mergeScalar(const ZAVWireFieldDescriptor& field, ZAVWireCodedInputStream& input,
                                          Read read) {
    if (!field.isRepeated()) {
        setScalar<T>(field, read());
        return;
    }
    ZAVWireMutableArray* array = parsedArray(field);
    auto add = [&](T v) { array->appendValues(&v, field.valueType(), 1); };
    if (field.isPackable()) {
        uint64_t old = input.pushLimit(input.readInt32());
        while (input.bytesUntilLimit() != 0) add(read());
        input.popLimit(old);
    } else {
        add(read());
    }
}

void ZAVWireGeneratedMessage::mergeEnum(const ZAVWireFieldDescriptor& field, ZAVWireCodedInputStream& input) {
    auto take = [&](int32_t v) {
        if (!field.isValidEnumValue(v)) {
            // Kept as an unknown varint so the number survives a write.
            mutableUnknownFields().mergeVarintField(static_cast<int32_t>(field.number()), v);
        } else if (field.isRepeated()) {
            parsedArray(field)->addInt32(v);
        } else {
            setScalar<int32_t>(field, v);
        }
    };
    if (field.isRepeated() && field.isPackable()) {
        uint64_t old = input.pushLimit(input.readInt32());
        while (input.bytesUntilLimit() != 0) take(input.readEnum());
        input.popLimit(old);
    } else {
        take(input.readEnum());
    }
}

void ZAVWireGeneratedMessage::mergeFieldFromStream(const ZAVWireFieldDescriptor& field,
                                                   ZAVWireCodedInputStream& input,
                                                   const ZAVWireExtensionRegistry* registry) {
    switch (field.type()) {
        case ZAVWireTypeBool:
            return mergeScalar<bool>(field, input, [&] { return input.readBool(); });
        case ZAVWireTypeFixed32:
            return mergeScalar<uint32_t>(field, input, [&] { return input.readFixed32(); });
        case ZAVWireTypeSFixed32:
            return mergeScalar<int32_t>(field, input, [&] { return input.readSFixed32(); });
        case ZAVWireTypeFloat:
            return mergeScalar<float>(field, input, [&] { return input.readFloat(); });
        case ZAVWireTypeFixed64:
            return mergeScalar<uint64_t>(field, input, [&] { return input.readFixed64(); });
        case ZAVWireTypeSFixed64:
            return mergeScalar<int64_t>(field, input, [&] { return input.readSFixed64(); });
        case ZAVWireTypeDouble:
            return mergeScalar<double>(field, input, [&] { return input.readDouble(); });
        case ZAVWireTypeInt32:
            return mergeScalar<int32_t>(field, input, [&] { return input.readInt32(); });
        case ZAVWireTypeInt64:
            return mergeScalar<int64_t>(field, input, [&] { return input.readInt64(); });
        case ZAVWireTypeSInt32:
            return mergeScalar<int32_t>(field, input, [&] { return input.readSInt32(); });
        case ZAVWireTypeSInt64:
            return mergeScalar<int64_t>(field, input, [&] { return input.readSInt64(); });
        case ZAVWireTypeUInt32:
            return mergeScalar<uint32_t>(field, input, [&] { return input.readUInt32(); });
        case ZAVWireTypeUInt64:
            return mergeScalar<uint64_t>(field, input, [&] { return input.readUInt64(); });
        case ZAVWireTypeEnum:
            return mergeEnum(field, input);
        case ZAVWireTypeData:
        case ZAVWireTypeString: {
            ZAVWireObjectPtr value;
            if (field.type() == ZAVWireTypeString) {
                value = ZAVWireCodedInputStreamReadRetainedString(&input);
            } else {
                value = ZAVWireCodedInputStreamReadRetainedData(&input);
                // A negative length leaves nothing to store; a hole in the field would corrupt the message.
                if (!value) ZAVWireRaiseParseError();
            }
            if (field.isRepeated()) {
                parsedArray(field)->addObject(std::move(value));
            } else {
                setRetainedObject(field, std::move(value));
            }
            return;
        }
        case ZAVWireTypeMessage:
        case ZAVWireTypeGroup: {
            auto read = [&](ZAVWireGeneratedMessage& target) {
                if (field.type() == ZAVWireTypeGroup) {
                    input.readGroup(static_cast<int32_t>(field.number()), target, registry);
                } else {
                    input.readMessage(target, registry);
                }
            };
            if (field.isRepeated() && field.type() == ZAVWireTypeMessage) {
                ParseContext context{ZAVWireArena::current(), registry};
                ZAVWireMessagePtr sub = readFresh(field.msgClass(), input, context);
                parsedArray(field)->addObject(std::move(sub));
                return;
            }
            if (field.isRepeated()) {
                auto sub = field.msgClass()->create();
                read(*sub);
                parsedArray(field)->addObject(std::move(sub));
                return;
            }
            if (hasField(field)) {
                ZAVWireObjectPtr& s = objectSlot(field);
                if (s.use_count() == 1) {
                    // Nobody else holds the current sub-message: merging into it gives the same result as
                    // merging into a fresh copy, without copying it for every occurrence.
                    read(*static_cast<ZAVWireGeneratedMessage*>(s.get()));
                    becomeVisibleToAutocreator();
                    return;
                }
            }
            if (!hasField(field) && field.type() == ZAVWireTypeMessage) {
                ParseContext context{ZAVWireArena::current(), registry};
                ZAVWireMessagePtr sub = readFresh(field.msgClass(), input, context);
                setRetainedObject(field, std::move(sub));
                return;
            }
            auto sub = field.msgClass()->create();
            if (hasField(field))
                sub->mergeFrom(*static_cast<ZAVWireGeneratedMessage*>(objectSlot(field).get()));
            read(*sub);
            setRetainedObject(field, std::move(sub));
            return;
        }
    }
}

bool ZAVWireGeneratedMessage::parseUnknownField(ZAVWireCodedInputStream& input,
                                                const ZAVWireExtensionRegistry* registry, int32_t tag) {
    const ZAVWireDescriptor* descriptor = wireDescriptor();
    uint32_t number = static_cast<uint32_t>(tag) >> 3;
    const ZAVWireExtensionField* extension = registry ? registry->getExtension(descriptor, number) : nullptr;
    if (extension && extension->wireType() == (tag & 7)) {
        extension->mergeFromCodedInputStream(input, registry, *this);
        return true;
    }
    if (!extension && descriptor->isWireFormat() && tag == 11) {
        parseMessageSet(input, registry);
        return true;
    }
    if (!ZAVWireUnknownFieldSet::isFieldTag(tag)) return false;
    return mutableUnknownFields().mergeFieldFrom(tag, input);
}

void ZAVWireGeneratedMessage::parseMessageSet(ZAVWireCodedInputStream& input,
                                              const ZAVWireExtensionRegistry* registry) {
    std::shared_ptr<ZAVWireData> bytes;
    uint32_t typeId = 0;
    const ZAVWireExtensionField* extension = nullptr;
    while (true) {
        int32_t tag = input.readTag();
        if (tag == 0) break;
        if (tag == 26) {
            bytes = input.readData();
            if (!bytes) ZAVWireRaiseParseError();
        } else if (tag == 16) {
            typeId = input.readUInt32();
            if (typeId != 0 && registry) extension = registry->getExtension(wireDescriptor(), typeId);
        } else if (!input.skipField(tag)) {
            break;
        }
    }
    input.checkLastTagWas(12);
    if (!bytes || typeId == 0) return;
    if (extension) {
        // The item is read through a stream of its own, which carries on the outer depth: items nested in
        // items (each counted where its value is read) stop at the same limit as any other nesting.
        ZAVWireCodedInputStream item(bytes);
        item.setRecursionDepth(input.recursionDepth());
        extension->mergeFromCodedInputStream(item, registry, *this);
    } else {
        mutableUnknownFields().mergeMessageSetMessage(static_cast<int32_t>(typeId), bytes);
    }
}

// ---- merging

void ZAVWireGeneratedMessage::mergeFrom(const ZAVWireGeneratedMessage& other) {
    if (!isa()->isSubclassOf(other.isa()) && !other.isa()->isSubclassOf(isa())) {
        ZAVWireRaise(NSInvalidArgumentException,
                     ZAVWireFormat("Classes must match %s != %s", isa()->name, other.isa()->name));
    }
    if (&other == this) {
        // Merging into itself would double every repeated field as it reads it; do it through a copy.
        auto copy = messageCopy();
        mergeFrom(*copy);
        return;
    }
    for (auto* f : wireDescriptor()->fieldList()) {
        if (f->isRepeated()) {
            auto theirs = other.getArray(*f);
            if (theirs->count()) getArray(*f)->appendArray(theirs.get());
            continue;
        }
        if (!other.hasField(*f)) continue;
        switch (f->type()) {
            case ZAVWireTypeBool:
                setScalar<bool>(*f, other.getScalar<bool>(*f));
                break;
            case ZAVWireTypeFixed64:
            case ZAVWireTypeSFixed64:
            case ZAVWireTypeDouble:
            case ZAVWireTypeInt64:
            case ZAVWireTypeSInt64:
            case ZAVWireTypeUInt64:
                setScalar<uint64_t>(*f, other.getScalar<uint64_t>(*f));
                break;
            case ZAVWireTypeData:
            case ZAVWireTypeString:
                setRetainedObject(*f, other.objectSlot(*f));
                break;
            case ZAVWireTypeMessage:
            case ZAVWireTypeGroup: {
                auto& theirs = static_cast<const ZAVWireGeneratedMessage&>(*other.objectSlot(*f));
                ZAVWireMessagePtr merged;
                if (hasField(*f)) {
                    merged = static_cast<ZAVWireGeneratedMessage&>(*objectSlot(*f)).messageCopy();
                    merged->mergeFrom(theirs);
                } else {
                    merged = theirs.messageCopy();
                }
                setRetainedObject(*f, merged);
                break;
            }
            default:
                setScalar<uint32_t>(*f, other.getScalar<uint32_t>(*f));
                break;
        }
    }
    mergeUnknownFields(other.unknownFields().get());
    if (!other.extensionMap_ || other.extensionMap_->empty()) return;
    if (!extensionMap_) {
        extensionMap_ = copiedExtensionMap(*other.extensionMap_, true);
        becomeVisibleToAutocreator();
        return;
    }
    for (auto& [extension, value] : *other.extensionMap_) {
        ZAVWireObjectPtr& mine = (*extensionMap_)[extension];
        if (extension->isRepeated()) {
            auto theirs = std::static_pointer_cast<ZAVWireArray>(value);
            if (mine) {
                std::static_pointer_cast<ZAVWireMutableArray>(mine)->appendArray(theirs.get());
            } else {
                mine = theirs->mutableCopy();
            }
        } else if (auto current = asMessage(mine)) {
            auto merged = current->messageCopy();
            merged->mergeFrom(static_cast<const ZAVWireGeneratedMessage&>(*value));
            mine = merged;
        } else {
            mine = asMessage(value) ? value->mutableCopy() : value;
        }
    }
    becomeVisibleToAutocreator();
}
