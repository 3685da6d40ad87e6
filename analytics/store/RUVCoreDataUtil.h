#pragma once
// The hit store's two data models, built from description dictionaries, and the SQLite layout each gives:
// an entity is a table, an attribute a column (NOT NULL unless optional, indexed when indexed), plus an
// "objectID INTEGER PRIMARY KEY AUTOINCREMENT" column, so a deleted record's id is never handed out again.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Value.h"

enum RUVAttributeType : int64_t {
    RUVAttributeInteger64 = 300,
    RUVAttributeString = 700,
    RUVAttributeDate = 900,  // REAL seconds since 1970
    RUVAttributeBinaryData = 1000,
    RUVAttributeTransformable = 1800,  // a dictionary of texts and null markers, as a length-prefixed blob
};

struct RUVAttributeDescription {
    std::string name;
    int64_t attributeType = 0;
    std::string attributeValueClassName;
    bool indexed = false;
    bool optional = true;
    bool operator==(const RUVAttributeDescription&) const = default;
};

struct RUVEntityDescription {
    std::string name;
    std::vector<RUVAttributeDescription> properties;
    const RUVAttributeDescription* attribute(const std::string& name) const;
    bool operator==(const RUVEntityDescription&) const = default;
};

struct RUVManagedObjectModel {
    std::vector<RUVEntityDescription> entities;
    const RUVEntityDescription* entity(const std::string& name) const;
    // CREATE TABLE / CREATE INDEX statements of the layout, in entity and attribute order.
    std::vector<std::string> schemaSql() const;
    // The file's application_id for this layout (never 0), so a file of another layout is recognised.
    int32_t layoutMark() const;
    bool operator==(const RUVManagedObjectModel&) const = default;
};

class RUVCoreDataUtil {
  public:
    static plat::Value modelDescription();
    static plat::Value oldModelDescription();
    // A new model on every call.
    static RUVManagedObjectModel model();
    static RUVManagedObjectModel oldModel();
    // Empty, with a log line, when a description has an unknown key or a value of the wrong kind.
    static std::optional<RUVManagedObjectModel> modelWithDescription(const plat::Value& description);
    static std::optional<RUVEntityDescription> entityWithDescription(const plat::Value& description);

    // An entity or attribute name as an SQL identifier.
    static std::string sqlName(const std::string& name);

    RUVCoreDataUtil() = delete;
};
