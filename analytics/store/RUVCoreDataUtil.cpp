#include "analytics/store/RUVCoreDataUtil.h"

#include "analytics/base/RUVWorker.h"

namespace {

using Dict = plat::Value::Dictionary;

plat::Value attribute(const char* name, int64_t type, bool indexed, bool optional,
                      const char* valueClass = nullptr) {
    Dict d{{"name", plat::Value(name)}, {"attributeType", plat::Value(type)}};
    if (valueClass) d.set("attributeValueClassName", plat::Value(valueClass));
    d.set("indexed", plat::Value(indexed));
    d.set("optional", plat::Value(optional));
    return plat::Value(std::move(d));
}

plat::Value entity(const char* name, plat::Value::Array properties) {
    return plat::Value(Dict{{"name", plat::Value(name)}, {"properties", plat::Value(std::move(properties))}});
}

const char* columnType(int64_t attributeType) {
    switch (attributeType) {
        case RUVAttributeInteger64:
            return "INTEGER";
        case RUVAttributeString:
            return "TEXT";
        case RUVAttributeDate:
            return "REAL";
        default:
            return "BLOB";
    }
}

}  // namespace

const RUVAttributeDescription* RUVEntityDescription::attribute(const std::string& attributeName) const {
    for (const auto& a : properties) {
        if (a.name == attributeName) return &a;
    }
    return nullptr;
}

const RUVEntityDescription* RUVManagedObjectModel::entity(const std::string& entityName) const {
    for (const auto& e : entities) {
        if (e.name == entityName) return &e;
    }
    return nullptr;
}

std::vector<std::string> RUVManagedObjectModel::schemaSql() const {
    std::vector<std::string> sql;
    for (const auto& e : entities) {
        std::string create = "CREATE TABLE IF NOT EXISTS " + RUVCoreDataUtil::sqlName(e.name) +
                             " (objectID INTEGER PRIMARY KEY AUTOINCREMENT";
        for (const auto& a : e.properties) {
            create += ", " + RUVCoreDataUtil::sqlName(a.name) + " " + columnType(a.attributeType);
            if (!a.optional) create += " NOT NULL";
        }
        sql.push_back(create + ")");
        for (const auto& a : e.properties) {
            if (!a.indexed) continue;
            sql.push_back("CREATE INDEX IF NOT EXISTS " + RUVCoreDataUtil::sqlName(e.name + "_" + a.name) +
                          " ON " + RUVCoreDataUtil::sqlName(e.name) + " (" +
                          RUVCoreDataUtil::sqlName(a.name) + ")");
        }
    }
    return sql;
}

int32_t RUVManagedObjectModel::layoutMark() const {
    // FNV-1a over the layout's statements: equal layouts share a mark, others almost surely differ.
    uint32_t h = 2166136261u;
    for (const auto& statement : schemaSql()) {
        for (unsigned char c : statement + ";") {
            h ^= c;
            h *= 16777619u;
        }
    }
    h &= 0x7FFFFFFF;
    return h == 0 ? 1 : static_cast<int32_t>(h);
}

std::string RUVCoreDataUtil::sqlName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

plat::Value RUVCoreDataUtil::modelDescription() {
    return plat::Value(Dict{{"entities", plat::Value(plat::Value::Array{entity(
                                             "RUVHit", {attribute("timestamp", RUVAttributeDate, true, true),
                                                        attribute("parameters", RUVAttributeTransformable,
                                                                  false, true, "NSDictionary")})})}});
}

plat::Value RUVCoreDataUtil::oldModelDescription() {
    return plat::Value(Dict{
        {"entities", plat::Value(plat::Value::Array{
                         entity("RUVProperty", {attribute("name", RUVAttributeString, true, false),
                                                attribute("string", RUVAttributeString, false, true),
                                                attribute("number", RUVAttributeInteger64, false, true),
                                                attribute("ruvVersion", RUVAttributeString, true, false)}),
                         entity("RUVHit", {attribute("timestamp", RUVAttributeDate, true, false),
                                           attribute("parametersData", RUVAttributeBinaryData, false, false),
                                           attribute("dispatchUrl", RUVAttributeString, true, false),
                                           attribute("ruvVersion", RUVAttributeString, true, false)})})}});
}

RUVManagedObjectModel RUVCoreDataUtil::model() {
    return *modelWithDescription(modelDescription());
}

RUVManagedObjectModel RUVCoreDataUtil::oldModel() {
    return *modelWithDescription(oldModelDescription());
}

std::optional<RUVEntityDescription> RUVCoreDataUtil::entityWithDescription(const plat::Value& description) {
    const Dict* d = description.dictionaryIf();
    if (!d) {
        RUV_LOG(RUVLogLevel::Error, "Entity description is not a dictionary");
        return std::nullopt;
    }
    RUVEntityDescription out;
    for (const auto& [key, value] : *d) {
        if (key == "name" && value.isString()) {
            out.name = *value.stringIf();
        } else if (key == "properties" && value.isArray()) {
            for (const auto& attributeValue : *value.arrayIf()) {
                const Dict* ad = attributeValue.dictionaryIf();
                if (!ad) {
                    RUV_LOG(RUVLogLevel::Error, "Attribute description is not a dictionary");
                    return std::nullopt;
                }
                RUVAttributeDescription a;
                for (const auto& [akey, avalue] : *ad) {
                    if (akey == "name" && avalue.isString()) {
                        a.name = *avalue.stringIf();
                    } else if (akey == "attributeType" && avalue.isNumber()) {
                        a.attributeType = avalue.toInt64();
                    } else if (akey == "attributeValueClassName" && avalue.isString()) {
                        a.attributeValueClassName = *avalue.stringIf();
                    } else if (akey == "indexed" && avalue.isNumber()) {
                        a.indexed = avalue.toBool();
                    } else if (akey == "optional" && avalue.isNumber()) {
                        a.optional = avalue.toBool();
                    } else {
                        RUV_LOG(RUVLogLevel::Error, "Unknown attribute key: %s", akey.c_str());
                        return std::nullopt;
                    }
                }
                out.properties.push_back(std::move(a));
            }
        } else {
            RUV_LOG(RUVLogLevel::Error, "Unknown entity key: %s", key.c_str());
            return std::nullopt;
        }
    }
    return out;
}

std::optional<RUVManagedObjectModel> RUVCoreDataUtil::modelWithDescription(const plat::Value& description) {
    const plat::Value& entities = description["entities"];
    if (!entities.isArray() || description.dictionaryIf()->size() != 1) {
        RUV_LOG(RUVLogLevel::Error, "Model description needs exactly an \"entities\" list");
        return std::nullopt;
    }
    RUVManagedObjectModel out;
    for (const auto& e : *entities.arrayIf()) {
        auto built = entityWithDescription(e);
        if (!built) return std::nullopt;
        out.entities.push_back(std::move(*built));
    }
    return out;
}
