#include "tagmanager/runtime/ZAVResourceUtil.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <memory_resource>
#include <new>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <unordered_map>

#include "platform/base/Error.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/values/ZAVTypes.h"
#include "wire/ZAVWireArena.h"
#include "wire/ZAVWireCodedOutputStream.h"
#include "wire/ZAVWireString.h"
#include "wire/ZAVWireUnknownFieldSet.h"

namespace {

const std::string kPushAfterEvaluateKey = "push_after_evaluate";

std::string describePending(const std::vector<size_t>& pending) {
    std::string out = "{(";
    for (size_t i = 0; i < pending.size(); ++i) out += (i ? ", " : "") + std::to_string(pending[i]);
    return out + ")}";
}

// What one more element of a repeated message field adds: its tag (field numbers below 16 take one byte),
// its length and its body.
uint64_t embeddedSize(uint64_t size) {
    return 1 + ZAVWireVarint32Size(static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX))) + size;
}

// The serialised size of a plain value or a macro reference, measured only once a list, map or template
// holds it: there, shared parts multiply it, while such a value standing alone is no larger than the bytes
// it was read from.
constexpr uint64_t kUnmeasured = UINT64_MAX;
// The same mark in a slot's stored size.
constexpr uint32_t kUnmeasuredSlot = UINT32_MAX;
static_assert(ZAVResourceUtil::kMaxValueBytes < kUnmeasuredSlot &&
              ZAVResourceUtil::kMaxValueNodes < kUnmeasuredSlot);

// The fields of a value that expansion reads and writes by descriptor, looked up once (every entry of the
// value table comes through here).
struct ValueFields {
    const ZAVWireFieldDescriptor *type, *string, *listItems, *mapKeys, *mapValues, *functionId,
        *templateTokens;
    static const ValueFields& get() {
        static const ValueFields fields = [] {
            const ZAVWireDescriptor& d = *ZAVPValue::descriptor();
            return ValueFields{d.fieldAt(0), d.fieldAt(1), d.fieldAt(2), d.fieldAt(3),
                               d.fieldAt(4), d.fieldAt(6), d.fieldAt(10)};
        }();
        return fields;
    }
};

// The tables' names for the bounds checks' log lines, made once.
const std::string kValues = "values", kValue = "value", kProperties = "properties", kKeys = "keys",
                  kPredicates = "predicates", kTags = "tags", kMacros = "macros";

void checkSize(uint64_t size, size_t index) {
    if (size > ZAVResourceUtil::kMaxValueBytes)
        ZAVResourceUtil::logAndThrow("Value too large: more than " +
                                     std::to_string(ZAVResourceUtil::kMaxValueBytes) +
                                     " bytes at value reference: " + std::to_string(index));
}

bool onlyTypeAndText(const ZAVPValue& value, uint32_t textField);

// Fills slot i with the plain entry of the value table, as its slot holds it: counting on the table when the
// whole resource is expanded (see valueTableOwner), else on the entry.
void fillPlainSlot(const ZAVResourceUtil::ExpandedValues& expanded, size_t i, const ZAVWireObjectPtr& entry) {
    auto* value = static_cast<ZAVPValue*>(entry.get());
    expanded.values[i] =
        expanded.valueTableOwner ? ZAVPValuePtr(expanded.valueTableOwner, value) : ZAVPValuePtr(entry, value);
    expanded.sizes[i] = kUnmeasuredSlot;
    expanded.nodes[i] = 1;
}

// The types whose value is the table's entry itself.
bool isPlainType(int32_t type) {
    return type == ZAVPValue_Type_String || type == ZAVPValue_Type_FunctionId ||
           type == ZAVPValue_Type_Integer || type == ZAVPValue_Type_Boolean;
}

// A value's serialised size. A text or function name that sets nothing else (as most do) is measured
// from its two fields rather than by walking every field of the value.
uint64_t serializedSizeOf(const ZAVPValue& value) {
    const auto& fields = ValueFields::get();
    const ZAVWireFieldDescriptor &typeField = *fields.type, &stringField = *fields.string,
                                 &functionIdField = *fields.functionId;
    if (!value.hasField(typeField)) return value.serializedSize();
    const int32_t type = value.getScalar<int32_t>(typeField);
    const ZAVWireFieldDescriptor* textField = type == ZAVPValue_Type_String       ? &stringField
                                              : type == ZAVPValue_Type_FunctionId ? &functionIdField
                                                                                  : nullptr;
    if (!textField || !onlyTypeAndText(value, textField->number())) return value.serializedSize();
    uint64_t size = ZAVWireEnumFieldSize(typeField.number(), type);
    if (const auto* text = value.presentObject(*textField))
        size += ZAVWireStringFieldSize(textField->number(), static_cast<const ZAVWireString&>(*text));
    return size;
}

uint64_t measuredSize(ZAVResourceUtil::ExpandedValues& expanded, size_t index) {
    auto& slot = expanded.sizes[index];
    if (slot == kUnmeasuredSlot) {
        const uint64_t size = serializedSizeOf(*expanded.values[index]);
        checkSize(size, index);
        slot = static_cast<uint32_t>(size);
    }
    return slot;
}

// The serialised size of a value just made by valueBuilderBasedOnValue. Without escapings it depends on the
// type and the references flag only, so it is measured once per pair.
uint64_t builtSize(const ZAVPValue& built, ZAVResourceUtil::ExpandedValues& expanded) {
    if (built.hasEscapingArray()) return built.serializedSize();
    const int64_t key = static_cast<int64_t>(built.type()) * 2 + (built.containsReferences() ? 1 : 0);
    for (const auto& [known, size] : expanded.builtSizes)
        if (known == key) return size;
    const uint64_t size = built.serializedSize();
    expanded.builtSizes.emplace_back(key, size);
    return size;
}

// The key table's names, each made once for every property that names it.
std::vector<std::string> keyNames(const ZAVPResource& resource) {
    auto keys = resource.keyArray();
    std::vector<std::string> names;
    names.reserve(keys->count());
    for (size_t k = 0; k < keys->count(); ++k) {
        auto key = keys->objectAtIndex(k);
        names.push_back(key ? key->description() : std::string());
    }
    return names;
}

// The object as its message class, or null. The schema's classes are final, so an exact type check
// answers what a dynamic cast would, for much less.
template <typename T>
const T* messageAs(const ZAVWireRootObject* object) {
    static_assert(std::is_final_v<T>);
    if (!object) return nullptr;
    return typeid(*object) == typeid(T) ? static_cast<const T*>(object) : nullptr;
}
template <typename T>
const T* messageAs(const ZAVWireObjectPtr& object) {
    return messageAs<T>(object.get());
}

// Whether the value sets nothing but its type and the one text field: no flag, escaping, extension or
// unknown field that another value with the same text might lack.
bool onlyTypeAndText(const ZAVPValue& value, uint32_t textField) {
    // The fields besides the type and the text, per text field (2 or 7), listed once, with the mask of
    // their presence marks (all of them: none when a has index lies past the first word).
    struct Others {
        std::vector<const ZAVWireFieldDescriptor*> fields;
        uint32_t mask = 0;
        bool masked = true;
    };
    static const auto others = [] {
        std::array<Others, 2> lists;
        const auto& descriptor = *ZAVPValue::descriptor();
        for (size_t f = 0; f < descriptor.fieldCount(); ++f) {
            const auto* field = descriptor.fieldAt(f);
            if (field->number() == 1) continue;
            for (size_t l = 0; l < 2; ++l) {
                if (field->number() == (l == 0 ? 2u : 7u)) continue;
                lists[l].fields.push_back(field);
                if (field->hasIndex() < 32)
                    lists[l].mask |= 1u << field->hasIndex();
                else
                    lists[l].masked = false;
            }
        }
        return lists;
    }();
    const Others& other = others[textField == 2 ? 0 : 1];
    // Mostly none of them is marked: one look at the marks then stands for the walk.
    if (!other.masked || (value.presenceWord() & other.mask) != 0) {
        for (const auto* field : other.fields) {
            if (!value.hasField(*field)) continue;
            // A list read into the value is marked as present (the escapings are found the same way): only
            // an empty one is allowed.
            if (!field->isRepeated()) return false;
            const ZAVWireArray* items = value.existingArray(*field);
            if (items && items->count()) return false;
        }
    }
    const auto& unknown = value.unknownFields();
    return (!unknown || unknown->countOfFields() == 0) && !value.hasExtensions();
}

}  // namespace

// The calls and rules of one expansion come from a few blocks of some kilobytes instead of one allocation
// each. Every reference to one of them counts on its block, and the block, when the last reference goes,
// lets go of its objects in the order they were made.
struct ZAVResourceUtil::Blocks {
    template <typename T>
    class Of {
      public:
        Of() = default;
        Of(const Of&) = delete;
        Of& operator=(const Of&) = delete;
        ~Of() {
            for (size_t c = 0; c < chunks_.size(); ++c)
                for (size_t k = 0, n = c + 1 == chunks_.size() ? used_ : kPerChunk; k < n; ++k)
                    std::destroy_at(at(c, k));
        }
        template <typename... Args>
        T* make(Args&&... args) {
            if (chunks_.empty() || used_ == kPerChunk) {
                chunks_.push_back(std::unique_ptr<Slot[]>(new Slot[kPerChunk]));
                used_ = 0;
            }
            T* made = std::construct_at(at(chunks_.size() - 1, used_), std::forward<Args>(args)...);
            ++used_;
            return made;
        }

      private:
        // Well under the size the allocator maps pages for: a block let go of is taken again by the next
        // expansion instead of being faulted in anew.
        static constexpr size_t kPerChunk = sizeof(T) >= 16 * 1024 ? 1 : 16 * 1024 / sizeof(T);
        struct alignas(T) Slot {
            std::byte bytes[sizeof(T)];
        };
        T* at(size_t c, size_t k) { return std::launder(reinterpret_cast<T*>(chunks_[c][k].bytes)); }
        std::vector<std::unique_ptr<Slot[]>> chunks_;
        size_t used_ = 0;
    };

    // Memory for lists that are made at their size and never grow or shrink (the calls' properties, the
    // rules' lists, the macros by name), taken from blocks of some kilobytes and let go of all together.
    class ListMemory final : public std::pmr::memory_resource {
      private:
        void* do_allocate(size_t bytes, size_t alignment) override {
            if (alignment > alignof(std::max_align_t) || bytes > kChunk / 4)
                return own_.emplace_back(std::make_unique<std::byte[]>(bytes)).get();
            size_t at = (used_ + alignment - 1) & ~(alignment - 1);
            if (chunks_.empty() || at + bytes > kChunk) {
                chunks_.push_back(std::make_unique<std::byte[]>(kChunk));
                at = 0;
            }
            used_ = at + bytes;
            return chunks_.back().get() + at;
        }
        void do_deallocate(void*, size_t, size_t) override {}
        bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
            return this == &other;
        }

        static constexpr size_t kChunk = 8 * 1024;
        std::vector<std::unique_ptr<std::byte[]>> chunks_, own_;
        size_t used_ = 0;
    };
    // The calls' entries point at the key names and the expanded values, which stay with the calls.
    // Declared before the calls, so they go after them; the values then go in table order.
    struct Calls {
        std::vector<std::string> keys;
        std::vector<ZAVPValuePtr> values;
        ListMemory properties;  // each call's entries
        Of<ZAVExpandedFunctionCall> made;
    };
    std::shared_ptr<Calls> calls = std::make_shared<Calls>();
    // Declared before the rules, so it goes after them.
    struct Rules {
        ListMemory memory;
        Of<ZAVExpandedRule> made;
    };
    std::shared_ptr<Rules> rules = std::make_shared<Rules>();
    // Per key: its place among the names in name order (equal names, equal places), so that a call's
    // properties are sorted without comparing texts; and the place of "push_after_evaluate", if any.
    std::vector<uint32_t> ranks;
    uint32_t pushRank = UINT32_MAX;
    uint32_t instanceNameRank = UINT32_MAX;
    // The "instance_name" value of the call made last, or null.
    const ZAVPValuePtr* instanceName = nullptr;
    std::vector<std::pair<uint32_t, ZAVExpandedFunctionCall::PropertyEntry>> entries;  // one call's, reused
    // Per value: whether a call points at it. The others are let go of with the expansion, while the
    // parse still holds them, rather than with the calls.
    std::vector<uint8_t> held;

    void rankKeys() {
        const auto& keys = calls->keys;
        std::vector<uint32_t> order(keys.size());
        for (uint32_t k = 0; k < order.size(); ++k) order[k] = k;
        std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
        ranks.assign(keys.size(), 0);
        uint32_t rank = 0;
        for (size_t k = 0; k < order.size(); ++k) {
            if (k && keys[order[k]] != keys[order[k - 1]]) ++rank;
            ranks[order[k]] = rank;
            if (keys[order[k]] == kPushAfterEvaluateKey) pushRank = rank;
            if (keys[order[k]] == ZAVExpandedFunctionCall::instanceNameKey()) instanceNameRank = rank;
        }
    }
};

const std::string& ZAVResourceUtil::exceptionName() {
    static const std::string name = "InvalidResourceException";
    return name;
}

void ZAVResourceUtil::logAndThrow(const std::string& message) {
    ZAVLog::error(message);
    throw plat::Exception(exceptionName(), "Resource is invalid");
}

void ZAVResourceUtil::outOfBounds(int32_t index, const std::string& listName) {
    // Unsigned, so a negative index is simply too large (and named as the platform's unsigned form).
    uint64_t wide = static_cast<uint64_t>(static_cast<int64_t>(index));
    logAndThrow("Index out of bounds detected: " + std::to_string(wide) + " in " + listName);
}

const ZAVWireObjectPtr& ZAVResourceUtil::objectWithTAGPBArrayBoundsCheck(const ZAVWireArray& array,
                                                                         int32_t index,
                                                                         const std::string& listName) {
    checkBounds(index, array.count(), listName);
    return array.objectAtIndex(static_cast<uint32_t>(index));
}

void ZAVResourceUtil::fillPlain(const ExpandedValues& expanded, int32_t index) {
    const auto i = static_cast<uint32_t>(index);
    if (!expanded.plainLeft || !expanded.valueTable)
        logAndThrow("Index out of bounds detected: " + std::to_string(index) + " in values");
    fillPlainSlot(expanded, i, expanded.valueTable->objectAtIndex(i));
}

ZAVPValuePtr ZAVResourceUtil::valueBuilderBasedOnValue(const ZAVPValue& value) {
    // In the arena of the expansion that calls, if any.
    auto built = ZAVWireMakeShared<ZAVPValue>();
    built->setType(value.type());
    if (value.hasEscapingArray() && value.escapingArray_Count() > 0)
        built->setEscapingArray(std::static_pointer_cast<ZAVWireArray>(value.escapingArray()->copy()));
    if (value.containsReferences()) built->setContainsReferences(true);
    return built;
}

const ZAVPServingValue* ZAVResourceUtil::servingValue(const ZAVPValue& value) {
    // Looked at where it is: the value holds it as long as the expansion runs.
    const auto* serving = messageAs<ZAVPServingValue>(value.presentExtension(ZAVPServingValue::ext()));
    if (!serving) logAndThrow("Expected a ServingValue and didn't get one");
    return serving;
}

ZAVPValuePtr ZAVResourceUtil::expandIthValue(int32_t index, const ZAVPResource& resource,
                                             ExpandedValues& expanded, std::vector<size_t>& pending) {
    return expandValue(index, resource, expanded, pending);
}

const ZAVPValuePtr& ZAVResourceUtil::expandValue(int32_t index, const ZAVPResource& resource,
                                                 ExpandedValues& expanded, std::vector<size_t>& pending) {
    const size_t i = static_cast<uint32_t>(index);
    if (index >= 0 && std::find(pending.begin(), pending.end(), i) != pending.end())
        logAndThrow("Value cycle detected.  Current value reference: " + std::to_string(i) +
                    ".  Previous value references: " + describePending(pending) + ".");
    auto owned = expanded.valueTable ? nullptr : resource.valueArray();
    const ZAVWireObjectPtr& entry =
        objectWithTAGPBArrayBoundsCheck(owned ? *owned : *expanded.valueTable, index, kValue);
    if (expanded.values.size() <= i)
        logAndThrow("Index out of bounds detected: " + std::to_string(i) + " in value");
    if (expanded.values[i]) return expanded.values[i];
    // Looked at where it is; a plain value is then handed over as it is (most entries of a table are).
    const auto* value = messageAs<ZAVPValue>(entry);
    if (!value) logAndThrow("Invalid value: " + entry->description());
    if (pending.size() >= kMaxValueDepth)
        logAndThrow("Value nesting deeper than " + std::to_string(kMaxValueDepth) +
                    " at value reference: " + std::to_string(i));
    switch (static_cast<ZAVPValue_Type>(value->getScalar<int32_t>(*ValueFields::get().type))) {
        case ZAVPValue_Type_String:
        case ZAVPValue_Type_FunctionId:
        case ZAVPValue_Type_Integer:
        case ZAVPValue_Type_Boolean:
            fillPlainSlot(expanded, i, entry);
            return expanded.values[i];
        default:
            return expandComposite(i, *value, resource, expanded, pending);
    }
}

const ZAVPValuePtr& ZAVResourceUtil::expandComposite(size_t i, const ZAVPValue& source,
                                                     const ZAVPResource& resource, ExpandedValues& expanded,
                                                     std::vector<size_t>& pending) {
    const auto* value = &source;
    const auto& fields = ValueFields::get();
    pending.push_back(i);

    ZAVPValuePtr result;
    uint64_t size = 0;
    uint64_t nodes = 1;
    // Expands each index into the list `field` of the result, adding the elements' serialised sizes and
    // node counts as it goes. The list is made at its size and set once, rather than grown in the value.
    auto expandInto = [&](const ZAVWireArray& indices, const ZAVWireFieldDescriptor& field) {
        if (!indices.count()) {
            result->getArray(field);  // an empty list, as reading it would make
            return;
        }
        auto items = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeObject, indices.count());
        for (size_t k = 0; k < indices.count(); ++k) {
            int32_t child = indices.int32AtIndex(k);
            const auto& item = expandValue(child, resource, expanded, pending);
            size += embeddedSize(measuredSize(expanded, static_cast<uint32_t>(child)));
            nodes += expanded.nodes[static_cast<uint32_t>(child)];
            if (size > kMaxValueBytes || nodes > kMaxValueNodes) break;
            items->addObject(item);
        }
        result->setArray(field, std::move(items));
    };
    switch (static_cast<ZAVPValue_Type>(value->getScalar<int32_t>(*fields.type))) {
        case ZAVPValue_Type_List: {
            result = valueBuilderBasedOnValue(*value);
            size = builtSize(*result, expanded);
            expandInto(*servingValue(*value)->listItemArray(), *fields.listItems);
            break;
        }
        case ZAVPValue_Type_Map: {
            result = valueBuilderBasedOnValue(*value);
            size = builtSize(*result, expanded);
            auto serving = servingValue(*value);
            auto keys = serving->mapKeyArray();
            auto values = serving->mapValueArray();
            if (keys->count() != values->count())
                logAndThrow("Uneven map keys (" + std::to_string(keys->count()) + ") and map values (" +
                            std::to_string(values->count()) + ")");
            expandInto(*keys, *fields.mapKeys);
            expandInto(*values, *fields.mapValues);
            break;
        }
        case ZAVPValue_Type_MacroReference: {
            result = valueBuilderBasedOnValue(*value);
            auto serving = servingValue(*value);
            if (!serving->hasMacroNameReference()) logAndThrow("Missing macro name reference");
            const auto& name = expandValue(serving->macroNameReference(), resource, expanded, pending);
            // A text name is taken as it is (strings never change); anything else by its text form.
            result->setMacroReference(
                name->type() == ZAVPValue_Type_String
                    ? name->string()
                    : ZAVWireString::create(ZAVTypes::valueToString(name)->textValue()));
            size = kUnmeasured;
            break;
        }
        case ZAVPValue_Type_Template: {
            result = valueBuilderBasedOnValue(*value);
            size = builtSize(*result, expanded);
            expandInto(*servingValue(*value)->templateTokenArray(), *fields.templateTokens);
            break;
        }
        case ZAVPValue_Type_TagReference:
            ZAVLog::warning("Tag type of TagReference shouldn't be present");
            logAndThrow("Invalid value: " + value->description());
        default:
            logAndThrow("Invalid value: " + value->description());
    }
    if (size != kUnmeasured) checkSize(size, i);
    if (nodes > kMaxValueNodes)
        logAndThrow("Value too large: more than " + std::to_string(kMaxValueNodes) +
                    " parts at value reference: " + std::to_string(i));
    expanded.values[i] = std::move(result);
    // Both within their limits here (checked above), so they fit their slots.
    expanded.sizes[i] = size == kUnmeasured ? kUnmeasuredSlot : static_cast<uint32_t>(size);
    expanded.nodes[i] = static_cast<uint32_t>(nodes);
    pending.pop_back();
    return expanded.values[i];
}

ZAVExpandedFunctionCallPtr ZAVResourceUtil::expandFunctionCall(const ZAVPFunctionCall& call,
                                                               const ZAVPResource& resource,
                                                               const ExpandedValues& expanded, size_t) {
    return expandFunctionCall(call, resource, expanded, keyNames(resource));
}

ZAVExpandedFunctionCallPtr ZAVResourceUtil::expandFunctionCall(const ZAVPFunctionCall& call,
                                                               const ZAVPResource& resource,
                                                               const ExpandedValues& expanded,
                                                               const std::vector<std::string>& keys) {
    auto owned = expanded.propertyTable ? nullptr : resource.propertyArray();
    const ZAVWireArray* table = expanded.propertyTable ? expanded.propertyTable : owned.get();
    std::vector<int32_t> pairs;
    propertyPairs(call, *table, expanded, keys, pairs);
    return callFromPairs(pairs, expanded, keys);
}

void ZAVResourceUtil::propertyPairs(const ZAVPFunctionCall& call, const ZAVWireArray& table,
                                    const ExpandedValues& expanded, const std::vector<std::string>& keys,
                                    std::vector<int32_t>& pairs) {
    pairs.clear();
    // Read where it is: the accessor would add an empty list to a call that has none.
    static const ZAVWireFieldDescriptor& propertyField = *ZAVPFunctionCall::descriptor()->fieldAt(2);
    static const std::array<const ZAVWireFieldDescriptor*, 2> fields = {
        ZAVPProperty::descriptor()->fieldAt(0), ZAVPProperty::descriptor()->fieldAt(1)};
    const ZAVWireArray* indices = call.existingArray(propertyField);
    if (!indices) return;
    pairs.reserve(indices->count() * 2);
    for (size_t k = 0; k < indices->count(); ++k) {
        const auto& entry = objectWithTAGPBArrayBoundsCheck(table, indices->int32AtIndex(k), kProperties);
        const auto* property = messageAs<ZAVPProperty>(entry);
        if (!property) logAndThrow("Invalid property at index " + std::to_string(k));
        // What key() and value() read, each read once.
        const int32_t key = property->getScalar<int32_t>(*fields[0]);
        const int32_t valueIndex = property->getScalar<int32_t>(*fields[1]);
        checkBounds(key, keys.size(), kKeys);
        if (!objectWithNSArrayBoundsCheck(expanded.values, valueIndex, kValues))
            fillPlain(expanded, valueIndex);
        pairs.push_back(key);
        pairs.push_back(valueIndex);
    }
}

ZAVExpandedFunctionCallPtr ZAVResourceUtil::callFromPairs(const std::vector<int32_t>& pairs,
                                                          const ExpandedValues& expanded,
                                                          const std::vector<std::string>& keys) {
    // A call of its own holds its own names and values.
    ZAVExpandedFunctionCall::Properties properties;
    ZAVPValuePtr pushAfterEvaluate;
    for (size_t k = 0; k + 1 < pairs.size(); k += 2) {
        const std::string& name = keys[static_cast<uint32_t>(pairs[k])];
        const auto& value = expanded.values[static_cast<uint32_t>(pairs[k + 1])];
        if (name == kPushAfterEvaluateKey)
            pushAfterEvaluate = value;
        else
            properties[name] = value;  // a later property of the same name replaces the earlier one
    }
    return std::make_shared<ZAVExpandedFunctionCall>(std::move(properties), std::move(pushAfterEvaluate));
}

ZAVExpandedFunctionCall* ZAVResourceUtil::blockCall(const std::vector<int32_t>& pairs,
                                                    const ExpandedValues& expanded,
                                                    const std::vector<std::string>& keys, Blocks& blocks) {
    ZAVPValuePtr pushAfterEvaluate;
    auto& entries = blocks.entries;
    entries.clear();
    for (size_t k = 0; k + 1 < pairs.size(); k += 2) {
        const uint32_t key = static_cast<uint32_t>(pairs[k]);
        // The expanded values themselves, shared with every other call that names them.
        const ZAVPValuePtr* value = &expanded.values[static_cast<uint32_t>(pairs[k + 1])];
        blocks.held[static_cast<uint32_t>(pairs[k + 1])] = 1;
        const uint32_t rank = blocks.ranks[key];
        if (rank == blocks.pushRank) {
            pushAfterEvaluate = *value;
            continue;
        }
        // In name order; a later property of the same name replaces the earlier one.
        auto at = std::lower_bound(entries.begin(), entries.end(), rank,
                                   [](const auto& entry, uint32_t r) { return entry.first < r; });
        if (at != entries.end() && at->first == rank)
            at->second.value = value;
        else
            entries.insert(at, {rank, {&keys[key], value}});
    }
    blocks.instanceName = nullptr;
    for (const auto& [rank, entry] : entries)
        if (rank == blocks.instanceNameRank) blocks.instanceName = entry.value;
    auto* list = static_cast<ZAVExpandedFunctionCall::PropertyEntry*>(
        blocks.calls->properties.allocate(entries.size() * sizeof(ZAVExpandedFunctionCall::PropertyEntry),
                                          alignof(ZAVExpandedFunctionCall::PropertyEntry)));
    for (size_t k = 0; k < entries.size(); ++k) list[k] = entries[k].second;
    return blocks.calls->made.make(
        std::span<const ZAVExpandedFunctionCall::PropertyEntry>(list, entries.size()),
        std::move(pushAfterEvaluate));
}

namespace {

// The rule's six lists, each entry taken by index from its table with `entry`, handed to `make`. Read
// where they are: the accessors would add an empty list to the rule for each one it lacks.
template <typename Table, typename Entry, typename Make>
auto withRuleLists(const ZAVPRule& rule, const Table& tags, const Table& macros, const Table& predicates,
                   std::pmr::memory_resource* memory, Entry entry, Make make) {
    enum : size_t {
        kPositive = 0,
        kNegative = 1,
        kAddTag = 2,
        kRemoveTag = 3,
        kAddMacro = 6,
        kRemoveMacro = 7
    };
    auto list = [&](size_t field, const Table& from, const std::string& listName) {
        ZAVExpandedFunctionCallList into(memory);
        static const ZAVWireDescriptor& descriptor = *ZAVPRule::descriptor();
        const ZAVWireFieldDescriptor& listField = *descriptor.fieldAt(field);
        // A list not marked present is at most an empty one made on read (adding to it marks it), so
        // most rules' missing lists cost no look-up under the rule's lock.
        if (!rule.hasField(listField)) return into;
        const ZAVWireArray* indices = rule.existingArray(listField);
        if (!indices) return into;
        into.reserve(indices->count());
        for (size_t k = 0; k < indices->count(); ++k)
            into.push_back(entry(
                ZAVResourceUtil::objectWithNSArrayBoundsCheck(from, indices->int32AtIndex(k), listName)));
        return into;
    };
    return make(list(kPositive, predicates, kPredicates), list(kNegative, predicates, kPredicates),
                list(kAddTag, tags, kTags), list(kRemoveTag, tags, kTags), list(kAddMacro, macros, kMacros),
                list(kRemoveMacro, macros, kMacros));
}

}  // namespace

ZAVExpandedRulePtr ZAVResourceUtil::expandRule(const ZAVPRule& rule, const ZAVExpandedFunctionCallList& tags,
                                               const ZAVExpandedFunctionCallList& macros,
                                               const ZAVExpandedFunctionCallList& predicates) {
    return withRuleLists(
        rule, tags, macros, predicates, std::pmr::get_default_resource(),
        [](const ZAVExpandedFunctionCallPtr& call) { return call; },
        [](auto&&... made) { return std::make_shared<const ZAVExpandedRule>(std::move(made)...); });
}

ZAVExpandedRulePtr ZAVResourceUtil::blockRule(const ZAVPRule& rule, const CallTable& tags,
                                              const CallTable& macros, const CallTable& predicates,
                                              Blocks& blocks) {
    const auto& calls = blocks.calls;
    return withRuleLists(
        rule, tags, macros, predicates, &blocks.rules->memory,
        [&calls](ZAVExpandedFunctionCall* call) { return ZAVExpandedFunctionCallPtr(calls, call); },
        [&blocks](auto&&... made) {
            return ZAVExpandedRulePtr(blocks.rules, blocks.rules->made.make(std::move(made)...));
        });
}

std::shared_ptr<const ZAVExpandedResource> ZAVResourceUtil::expandResource(const ZAVPResource& resource) {
    auto valueTable = resource.valueArray();
    auto propertyTable = resource.propertyArray();
    ExpandedValues expanded(valueTable->count());
    expanded.valueTable = valueTable.get();
    expanded.valueTableOwner = valueTable;
    expanded.propertyTable = propertyTable.get();
    std::vector<size_t> pending;  // empty again after each value
    // Every entry is checked here, but a plain one (most are) stays where the table holds it until a call or
    // another value names it: an entry nothing names is never counted on and let go of again.
    const auto& typeField = *ValueFields::get().type;
    {
        // The values made here (lists, maps, references, templates) and their lists come from a few blocks
        // rather than one allocation each; each of them holds the blocks until it goes.
        ZAVWireArenaRef arena = ZAVWireArenaRef::make(8 * 1024);
        ZAVWireArenaScope scope(arena.get());
        for (size_t i = 0; i < valueTable->count(); ++i) {
            const auto* value = messageAs<ZAVPValue>(valueTable->objectAtIndex(i));
            if (!value)
                expandValue(static_cast<int32_t>(i), resource, expanded, pending);  // fails
            else if (isPlainType(value->getScalar<int32_t>(typeField)) || expanded.values[i])
                continue;
            else
                expandComposite(i, *value, resource, expanded, pending);
        }
    }
    expanded.plainLeft = true;
    Blocks blocks;
    blocks.calls->keys = keyNames(resource);
    blocks.rankKeys();
    blocks.held.assign(expanded.values.size(), 0);
    const auto& keys = blocks.calls->keys;
    // Predicates that read the same properties are one predicate: made once and shared by every rule that
    // lists them (their outcome depends on nothing else). Tags and macros stay one object each, as a
    // rule's tags fire and its macros are chosen one by one.
    struct Made {
        uint64_t hash;
        size_t offset, length;
        ZAVExpandedFunctionCall* call;
    };
    std::vector<int32_t> pool, pairs, signature;
    std::vector<Made> made;
    // An open table over `made` (entry + 1; 0 is free), at least twice as large as the calls it takes, so a
    // look-up touches a few adjacent slots instead of a node each.
    std::vector<uint32_t> madeSlots;
    // A plain text or function name stands for every entry of the value table with the same type and
    // bytes (the resource repeats them, one entry per call); anything more is only the same as itself.
    std::vector<int32_t> canonical(valueTable->count(), -1);
    // Per text: the first entry that carried it and the first that stands for it (-1: none yet). Whether
    // an entry holds nothing but the text is asked only once another entry has the same text.
    struct Text {
        int32_t first;
        int32_t standing;
    };
    std::unordered_map<std::string_view, Text> texts[2];
    std::vector<int8_t> plainText(valueTable->count(), -1);  // -1 not asked yet
    auto isPlainText = [&](int32_t index, size_t slot) {
        auto& known = plainText[static_cast<uint32_t>(index)];
        if (known < 0) known = onlyTypeAndText(*expanded.values[static_cast<uint32_t>(index)], slot ? 7 : 2);
        return known == 1;
    };
    auto canonicalOf = [&](int32_t index) {
        auto& known = canonical[static_cast<uint32_t>(index)];
        if (known >= 0) return known;
        known = index;
        const ZAVPValue& value = *expanded.values[static_cast<uint32_t>(index)];
        // What type(), hasString() and string() (or the function name's) read, by the fields looked up once.
        const auto& fields = ValueFields::get();
        const int32_t type = value.getScalar<int32_t>(*fields.type);
        const ZAVWireFieldDescriptor* textField = type == ZAVPValue_Type_String       ? fields.string
                                                  : type == ZAVPValue_Type_FunctionId ? fields.functionId
                                                                                      : nullptr;
        if (!textField || !value.hasField(*textField)) return known;
        const size_t slot = textField == fields.string ? 0 : 1;
        // Looked at where it is: the value holds it as long as the expansion runs.
        const auto* text = static_cast<const ZAVWireString*>(value.presentObject(*textField));
        if (!text) return known;
        auto [at, added] = texts[slot].try_emplace(std::string_view(text->utf8()), Text{index, -1});
        // The only entry with its text so far stands for itself, whatever else it holds.
        if (added) return known;
        auto& entry = at->second;
        if (entry.standing < 0 && isPlainText(entry.first, slot)) entry.standing = entry.first;
        if (!isPlainText(index, slot)) return known;
        if (entry.standing < 0) entry.standing = index;
        known = entry.standing;
        return known;
    };
    // Each macro's "instance_name" value as its call holds it (null for none), in resource order.
    std::vector<const ZAVPValuePtr*> macroNames;
    auto expandCalls = [&](const ZAVWireArray& calls, bool share, std::vector<const ZAVPValuePtr*>* names) {
        CallTable list;
        list.reserve(calls.count());
        if (share) {
            size_t slots = 16;
            while (slots < calls.count() * 2) slots *= 2;
            madeSlots.assign(slots, 0);
            made.reserve(calls.count());
        }
        for (size_t k = 0; k < calls.count(); ++k) {
            const auto& entry = calls.objectAtIndex(k);
            const auto* call = messageAs<ZAVPFunctionCall>(entry);
            if (!call) logAndThrow("Invalid function call at index " + std::to_string(k));
            propertyPairs(*call, *propertyTable, expanded, keys, pairs);
            if (!share) {
                list.push_back(blockCall(pairs, expanded, keys, blocks));
                if (names) names->push_back(blocks.instanceName);
                continue;
            }
            signature.assign(pairs.begin(), pairs.end());
            for (size_t n = 1; n < signature.size(); n += 2) signature[n] = canonicalOf(signature[n]);
            uint64_t hash = 1469598103934665603ull;
            for (int32_t n : signature) hash = (hash ^ static_cast<uint32_t>(n)) * 1099511628211ull;
            const size_t mask = madeSlots.size() - 1;
            size_t at = hash & mask;
            const Made* same = nullptr;
            for (; madeSlots[at] && !same; at = (at + 1) & mask) {
                const Made& known = made[madeSlots[at] - 1];
                if (known.hash == hash && known.length == signature.size() &&
                    std::equal(signature.begin(), signature.end(),
                               pool.begin() + static_cast<std::ptrdiff_t>(known.offset)))
                    same = &known;
            }
            if (!same) {
                made.push_back(
                    Made{hash, pool.size(), signature.size(), blockCall(pairs, expanded, keys, blocks)});
                madeSlots[at] = static_cast<uint32_t>(made.size());
                pool.insert(pool.end(), signature.begin(), signature.end());
                same = &made.back();
            }
            list.push_back(same->call);
        }
        return list;
    };
    auto tags = expandCalls(*resource.tagArray(), false, nullptr);
    auto predicates = expandCalls(*resource.predicateArray(), true, nullptr);
    macroNames.reserve(resource.macroArray()->count());
    auto macros = expandCalls(*resource.macroArray(), false, &macroNames);
    ZAVExpandedResourceBuilder builder;
    ZAVExpandedResource::Macros byName(&blocks.rules->memory);
    // Filed as addMacro files them, with the names in order first, so that each goes in at the end.
    {
        // A text name is looked at where it is (its string held here meanwhile); any other is converted
        // once and kept here.
        std::vector<std::shared_ptr<ZAVWireString>> nameTexts;
        nameTexts.reserve(macros.size());
        std::vector<std::string> converted;
        converted.reserve(macros.size());
        // Each name with its first eight bytes as a number whose order is theirs, so that most comparisons
        // of the sort are one of numbers.
        struct Named {
            uint64_t prefix;
            std::string_view name;
            size_t index;
            bool operator<(const Named& other) const {
                if (prefix != other.prefix) return prefix < other.prefix;
                if (int c = name.compare(other.name)) return c < 0;
                return index < other.index;
            }
        };
        std::vector<Named> named;
        named.reserve(macros.size());
        auto file = [&named](std::string_view name, size_t index) {
            uint64_t prefix = 0;
            for (size_t b = 0; b < 8; ++b)
                prefix = prefix << 8 | (b < name.size() ? static_cast<uint8_t>(name[b]) : 0u);
            named.push_back({prefix, name, index});
        };
        for (size_t k = 0; k < macros.size(); ++k) {
            const ZAVPValuePtr* name = macroNames[k];
            if (name && *name && (*name)->type() == ZAVPValue_Type_String) {
                // What valueToText gives, without a copy.
                nameTexts.push_back((*name)->string());
                file(nameTexts.back()->utf8(), k);
                continue;
            }
            converted.push_back(ZAVTypes::valueToText(name ? *name : nullptr));
            file(converted.back(), k);
        }
        std::sort(named.begin(), named.end());  // by name, then in resource order
        for (size_t k = 0; k < named.size();) {
            size_t end = k + 1;
            while (end < named.size() && named[end].name == named[k].name) ++end;
            ZAVExpandedFunctionCallList calls(&blocks.rules->memory);
            calls.reserve(end - k);
            for (size_t n = k; n < end; ++n) calls.emplace_back(blocks.calls, macros[named[n].index]);
            byName.emplace_hint(byName.end(), std::string(named[k].name), std::move(calls));
            k = end;
        }
    }
    auto rules = resource.ruleArray();
    builder.rules.reserve(rules->count());
    for (size_t k = 0; k < rules->count(); ++k) {
        const auto* rule = messageAs<ZAVPRule>(rules->objectAtIndex(k));
        if (!rule) logAndThrow("Invalid rule at index " + std::to_string(k));
        builder.addRule(blockRule(*rule, tags, macros, predicates, blocks));
    }
    // Moved, so the calls' entries still point at them.
    for (size_t i = 0; i < expanded.values.size(); ++i)
        if (!blocks.held[i]) expanded.values[i].reset();
    blocks.calls->values = std::move(expanded.values);
    // Handed over, not copied: the builder goes with this call. The lists' memory stays with the resource.
    return std::make_shared<const ZAVExpandedResource>(
        std::move(builder.rules), std::move(byName),
        resource.hasVersion() ? resource.version()->utf8() : std::string(), resource.resourceFormatVersion(),
        std::shared_ptr<const void>(blocks.rules));
}
