#pragma once
// Builds container resources in their stored, index-based form, by name: values are added and referred to
// by their index in the value table, keys by their text, calls by their property map. The result is the
// bare resource, the supplemented resource (as downloaded) or the resource with metadata (as saved).
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "wire/schema/ZAVPResourcewithmetadata.h"
#include "wire/schema/ZAVPServing.h"

namespace tmtest {

class ResourceBuilder {
  public:
    using Properties = std::vector<std::pair<std::string, int32_t>>;  // key text → value index
    struct Rule {
        std::vector<int32_t> positive, negative, addTags, removeTags, addMacros, removeMacros;
    };

    ResourceBuilder();

    // Values; each returns its index in the value table.
    int32_t value(std::shared_ptr<ZAVPValue> value);
    int32_t string(const std::string& text);
    int32_t integer(int64_t number);
    int32_t boolean(bool flag);
    int32_t functionId(const std::string& id);
    int32_t list(std::vector<int32_t> items);
    int32_t map(std::vector<int32_t> keys, std::vector<int32_t> values);
    // References are marked (containsReferences), and so is every list, map or template holding one.
    int32_t macroReference(int32_t nameIndex);
    int32_t macroReference(const std::string& name);
    int32_t templateOf(std::vector<int32_t> tokens);
    // A value of that type with the given serving value (or none): for malformed cases.
    int32_t raw(ZAVPValue_Type type, std::shared_ptr<ZAVPServingValue> serving);

    int32_t key(const std::string& text);
    int32_t property(const std::string& key, int32_t valueIndex);

    // Calls: the function id goes under "function" (and the name, for macros, under "instance_name").
    int32_t tag(const std::string& function, const Properties& properties = {});
    int32_t predicate(const std::string& function, const Properties& properties = {});
    int32_t macro(const std::string& name, const std::string& function, const Properties& properties = {});
    // A call of exactly these property indices, into the named table ("tag", "predicate", "macro").
    int32_t rawCall(const std::string& table, std::vector<int32_t> propertyIndices);
    void rule(const Rule& rule);
    void setVersion(const std::string& version);
    void setResourceFormatVersion(int32_t version);

    std::shared_ptr<ZAVPResource> build() const { return resource_; }
    std::shared_ptr<ZAVPSupplementedResource> supplemented(const std::string& fingerprint = "") const;
    std::shared_ptr<ZAVPResourceWithMetadata> withMetadata(int64_t timeStamp) const;
    // The registry that reads the serving values back from bytes.
    static const ZAVWireExtensionRegistry* registry();

  private:
    bool refers(const std::vector<int32_t>& indices) const;
    int32_t withReferences(int32_t index, bool refers);
    int32_t call(const std::shared_ptr<ZAVWireMutableArray>& table, const std::string& function,
                 const Properties& properties, const std::string& name);
    std::shared_ptr<ZAVPResource> resource_;
    std::map<std::string, int32_t> keys_;
};

}  // namespace tmtest
