#include "tagmanager/datalayer/ZAVExperimentMacroHelper.h"

#include "platform/base/Random.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/values/ZAVTypes.h"

void ZAVExperimentMacroHelper::handleExperimentSupplemental(ZAVDataLayer& dataLayer,
                                                            const ZAVPSupplemental& supplemental) {
    if (!supplemental.hasExperimentSupplemental()) {
        ZAVLog::warning("supplemental missing experimentSupplemental");
        return;
    }
    auto experiment = supplemental.experimentSupplemental();
    clearKeys(dataLayer, *experiment);
    pushValues(dataLayer, *experiment);
    setRandomValues(dataLayer, *experiment);
}

void ZAVExperimentMacroHelper::clearKeys(ZAVDataLayer& dataLayer,
                                         const ZAVPRuvExperimentSupplemental& experiment) {
    auto values = experiment.valueToClearArray();
    for (size_t i = 0; i < values->count(); ++i) {
        auto value = std::dynamic_pointer_cast<ZAVPValue>(values->objectAtIndex(i));
        dataLayer.clearPersistentKeysWithPrefix(ZAVTypes::valueToString(value)->textValue());
    }
}

ZAVObjectPtr ZAVExperimentMacroHelper::valueToMap(const ZAVPValuePtr& value) {
    auto object = ZAVTypes::valueToObject(value);
    if (object && object->isMap()) return object;
    ZAVLog::warning("value: " + (object ? object->description() : std::string("(null)")) +
                    " is not a map value, ignored.");
    return nullptr;
}

void ZAVExperimentMacroHelper::pushValues(ZAVDataLayer& dataLayer,
                                          const ZAVPRuvExperimentSupplemental& experiment) {
    auto values = experiment.valueToPushArray();
    for (size_t i = 0; i < values->count(); ++i)
        if (auto map = valueToMap(std::dynamic_pointer_cast<ZAVPValue>(values->objectAtIndex(i))))
            dataLayer.push(map);
}

void ZAVExperimentMacroHelper::setRandomValues(ZAVDataLayer& dataLayer,
                                               const ZAVPRuvExperimentSupplemental& experiment) {
    auto entries = experiment.experimentRandomArray();
    for (size_t i = 0; i < entries->count(); ++i) {
        auto entry = std::dynamic_pointer_cast<ZAVPRuvExperimentRandom>(entries->objectAtIndex(i));
        if (!entry || !entry->hasKey()) {
            ZAVLog::warning("RuvExperimentRandom: No key");
            continue;
        }
        const std::string key = entry->key()->utf8();
        const int64_t min = entry->minRandom();
        const int64_t max = entry->maxRandom();
        ZAVObjectPtr existing = dataLayer.get(key);
        ZAVObjectPtr value;
        if (existing && existing->isNumber() && entry->retainOriginalValue()) {
            // Compared exactly, an integer or a floating number alike.
            const bool inRange = existing->isIntegerNumber()
                                     ? existing->int64Value() >= min && existing->int64Value() <= max
                                     : existing->doubleValue() >= static_cast<double>(min) &&
                                           existing->doubleValue() <= static_cast<double>(max);
            if (inRange) value = existing;
        }
        if (!value) {
            if (max < min) {
                ZAVLog::warning("RuvExperimentRandom: random range invalid");
                continue;
            }
            // The width in unsigned 64 bits, so no range overflows or is cut to 32 bits.
            const uint64_t width = static_cast<uint64_t>(max) - static_cast<uint64_t>(min);
            const uint64_t drawn = plat::Random::uniformBelow(width);
            value = ZAVObject::integer(static_cast<int64_t>(static_cast<uint64_t>(min) + drawn));
        }
        dataLayer.clearPersistentKeysWithPrefix(key);
        ZAVObjectPtr update = ZAVDataLayer::expandKey(key, value);
        const int64_t lifetime = entry->lifetimeInMilliseconds();
        if (lifetime >= 1) {
            ZAVObject::Entries entriesOfUpdate = update->entries();
            bool found = false;
            for (auto& [k, v] : entriesOfUpdate) {
                if (!k->isText() || k->textValue() != "vuz") continue;
                found = true;
                if (v && v->isMap()) {
                    ZAVObject::Entries inner = v->entries();
                    inner.emplace_back(ZAVObject::text("lifetime"), ZAVObject::integer(lifetime));
                    v = ZAVObject::map(inner);
                } else {
                    ZAVLog::warning("RuvExperimentRandom: vuz not a map");
                }
            }
            if (!found)
                entriesOfUpdate.emplace_back(
                    ZAVObject::text("vuz"),
                    ZAVObject::map({{ZAVObject::text("lifetime"), ZAVObject::integer(lifetime)}}));
            update = ZAVObject::map(entriesOfUpdate);
        }
        dataLayer.push(update);
    }
}
