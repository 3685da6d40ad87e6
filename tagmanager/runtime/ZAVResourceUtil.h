#pragma once
// Turns a container resource (flat tables that refer to each other by index) into the expanded model,
// where every reference is the object itself. Any malformed resource ends the whole expansion with one
// "InvalidResourceException"; the detail goes to the log only.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tagmanager/runtime/ZAVExpandedResource.h"
#include "wire/schema/ZAVPServing.h"

class ZAVResourceUtil {
  public:
    ZAVResourceUtil() = delete;

    // A value's serialised form may not grow past this: values are shared by index, so a few bytes can
    // describe a tree of 2^40 nodes.
    static constexpr uint64_t kMaxValueBytes = 16u << 20;
    // Deeper nesting of values is refused, so the expansion (and every later walk) stays off the stack's end.
    static constexpr size_t kMaxValueDepth = 512;
    // A value's nodes counted as a tree (a part referred to twice counts twice): what a walk over it costs,
    // which a few bytes of shared parts can make huge. A value beyond this is refused.
    static constexpr uint64_t kMaxValueNodes = 100000;

    // One slot per entry of the value table; a slot, once filled, is shared by every reference to it.
    struct ExpandedValues {
        explicit ExpandedValues(size_t count) : values(count), sizes(count, 0), nodes(count, 0) {}
        // Null: not expanded yet. Filled through const views too (see plainLeft).
        mutable std::vector<ZAVPValuePtr> values;
        // Each filled slot's serialised size (a plain value's on first use) and node count. Both fit 32
        // bits, as a value past kMaxValueBytes or kMaxValueNodes is refused; half the width is half the
        // memory cleared and walked per entry of the table.
        mutable std::vector<uint32_t> sizes;
        mutable std::vector<uint32_t> nodes;
        std::vector<std::pair<int64_t, uint64_t>> builtSizes;  // see builtSize in the source
        // The resource's value and property tables when the whole resource is expanded, read once.
        const ZAVWireArray* valueTable = nullptr;
        const ZAVWireArray* propertyTable = nullptr;
        // What a plain entry's slot counts on when the whole resource is expanded: the table that holds the
        // entry, whose count stays at hand, rather than the entry's own count, which lies with the entry.
        std::shared_ptr<const ZAVWireArray> valueTableOwner;
        // Set once every entry of the value table has been checked: an empty slot is then a plain entry
        // that nothing had named yet, taken from the table when first named.
        bool plainLeft = false;
    };

    static std::shared_ptr<const ZAVExpandedResource> expandResource(const ZAVPResource& resource);
    static ZAVPValuePtr expandIthValue(int32_t index, const ZAVPResource& resource, ExpandedValues& expanded,
                                       std::vector<size_t>& pendingExpansions);
    static ZAVExpandedFunctionCallPtr expandFunctionCall(const ZAVPFunctionCall& call,
                                                         const ZAVPResource& resource,
                                                         const ExpandedValues& expanded, size_t index);
    // The same with the key table's names made beforehand (one per key, for every call).
    static ZAVExpandedFunctionCallPtr expandFunctionCall(const ZAVPFunctionCall& call,
                                                         const ZAVPResource& resource,
                                                         const ExpandedValues& expanded,
                                                         const std::vector<std::string>& keys);
    // A call's properties as (key, value) index pairs, each checked against the tables as it is read.
    static void propertyPairs(const ZAVPFunctionCall& call, const ZAVWireArray& propertyTable,
                              const ExpandedValues& expanded, const std::vector<std::string>& keys,
                              std::vector<int32_t>& pairs);
    // The call those checked pairs make.
    static ZAVExpandedFunctionCallPtr callFromPairs(const std::vector<int32_t>& pairs,
                                                    const ExpandedValues& expanded,
                                                    const std::vector<std::string>& keys);
    static ZAVExpandedRulePtr expandRule(const ZAVPRule& rule, const ZAVExpandedFunctionCallList& tags,
                                         const ZAVExpandedFunctionCallList& macros,
                                         const ZAVExpandedFunctionCallList& predicates);
    static ZAVPValuePtr valueBuilderBasedOnValue(const ZAVPValue& value);
    static const ZAVPServingValue* servingValue(const ZAVPValue& value);

    // The element at the index (taken as unsigned); anything else fails the expansion.
    static const ZAVWireObjectPtr& objectWithTAGPBArrayBoundsCheck(const ZAVWireArray& array, int32_t index,
                                                                   const std::string& listName);
    template <typename T, typename Allocator>
    static const T& objectWithNSArrayBoundsCheck(const std::vector<T, Allocator>& list, int32_t index,
                                                 const std::string& listName) {
        checkBounds(index, list.size(), listName);
        return list[static_cast<uint32_t>(index)];
    }
    [[noreturn]] static void logAndThrow(const std::string& message);

    static const std::string& exceptionName();

  private:
    // expandIthValue without a copy of the result: the slot in `expanded` that holds it.
    static const ZAVPValuePtr& expandValue(int32_t index, const ZAVPResource& resource,
                                           ExpandedValues& expanded, std::vector<size_t>& pendingExpansions);
    // expandValue for a list, map, macro reference or template (or a value of no known type), of slot `i`.
    static const ZAVPValuePtr& expandComposite(size_t i, const ZAVPValue& value, const ZAVPResource& resource,
                                               ExpandedValues& expanded,
                                               std::vector<size_t>& pendingExpansions);
    // Where one expansion takes its calls and rules from.
    struct Blocks;
    // callFromPairs and expandRule with the objects taken from the blocks. The lists an expansion
    // works with hold the calls by address: the blocks keep them, and only what the resource keeps
    // counts on them.
    using CallTable = std::vector<ZAVExpandedFunctionCall*>;
    static ZAVExpandedFunctionCall* blockCall(const std::vector<int32_t>& pairs,
                                              const ExpandedValues& expanded,
                                              const std::vector<std::string>& keys, Blocks& blocks);
    static ZAVExpandedRulePtr blockRule(const ZAVPRule& rule, const CallTable& tags, const CallTable& macros,
                                        const CallTable& predicates, Blocks& blocks);
    // Inline: every reference of a resource is checked.
    static void checkBounds(int32_t index, size_t count, const std::string& listName) {
        if (index < 0 || static_cast<uint64_t>(index) >= count) [[unlikely]]
            outOfBounds(index, listName);
    }
    [[noreturn]] static void outOfBounds(int32_t index, const std::string& listName);
    // Fills the empty slot `index` (in bounds) with its plain entry when plainLeft allows; else fails.
    static void fillPlain(const ExpandedValues& expanded, int32_t index);
};
