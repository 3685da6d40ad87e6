#include "tagmanager/runtime/ZAVTrackingTag.h"

#include <map>
#include <optional>

#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/hits/ZAVDispatcher.h"
#include "tagmanager/runtime/ZAVRuntime.h"
#include "tagmanager/values/ZAVPropertyListUtil.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tagmanager/values/ZAVValueEscapeUtil.h"

namespace {

// The unrepeatable ids every pixel tag shares: the check, the send and the record of one id happen under
// this one lock, so two tags (or two threads) never both send the same id.
std::mutex& idMutex() {
    static std::mutex mutex;
    return mutex;
}

// Guarded by idMutex(). Ordered, so the file is written the same for the same ids.
std::map<std::string, std::string>& idCache() {
    static std::map<std::string, std::string> cache;
    return cache;
}

bool idInCacheLocked(const std::string& id) {
    return idCache().count(id) != 0;
}

bool idInPlistLocked(const std::string& id) {
    auto saved = ZAVPropertyListUtil::readPropertyList(ZAVArbitraryPixel::kUnrepeatableFile);
    return saved && saved->isMap() && saved->objectForKey(id) != nullptr;
}

bool idProcessedLocked(const std::string& id) {
    if (idInCacheLocked(id)) return true;
    if (!idInPlistLocked(id)) return false;
    idCache()[id] = "true";
    return true;
}

void cacheUnrepeatableIdLocked(const std::string& id) {
    idCache()[id] = "true";
}

// The memory cache fills lazily, so ids recorded by earlier runs are merged in from the file before it is
// rewritten: written from memory alone, the file would forget them and their pixels would go out again.
void recordUnrepeatableIdLocked(const std::string& id) {
    auto saved = ZAVPropertyListUtil::readPropertyList(ZAVArbitraryPixel::kUnrepeatableFile);
    if (saved && saved->isMap()) {
        for (const auto& [key, value] : saved->entries())
            if (key && key->isText()) idCache().emplace(key->textValue(), "true");
    }
    cacheUnrepeatableIdLocked(id);
    ZAVObject::Entries entries;
    for (const auto& [key, value] : idCache())
        entries.emplace_back(ZAVObject::text(key), ZAVObject::text(value));
    ZAVPropertyListUtil::writePropertyListAsync(ZAVArbitraryPixel::kUnrepeatableFile,
                                                ZAVObject::map(entries));
}

}  // namespace

ZAVPValuePtr ZAVTrackingTag::evaluate(const Properties& properties) {
    evaluateTrackingTag(properties);
    return ZAVTypes::defaultValue();
}

ZAVPValuePtr ZAVTrackingTag::evaluateWithConverted(const Properties& properties,
                                                   const ZAVConvertedValues& converted) {
    evaluateTrackingTagWithConverted(properties, converted);
    return ZAVTypes::defaultValue();
}

ZAVArbitraryPixel::ZAVArbitraryPixel(std::shared_ptr<ZAVHitSender> sender)
    : ZAVTrackingTag(functionId(), {urlKey()}), sender_(std::move(sender)) {}

std::shared_ptr<ZAVHitSender> ZAVArbitraryPixel::getHitSender() const {
    if (sender_) return sender_;
    return ZAVDispatcher::instance();
}

void ZAVArbitraryPixel::evaluateTrackingTag(const Properties& properties) {
    std::optional<std::string> id;
    if (auto unrepeatable = ZAVFunctionCallImplementation::propertyForKey(properties, unrepeatableKey())) {
        auto text = ZAVTypes::valueToString(unrepeatable);
        if (text != ZAVTypes::defaultString()) id = text->textValue();
    }
    std::unique_lock<std::mutex> idLock(idMutex(), std::defer_lock);
    if (id) {
        idLock.lock();
        if (idProcessedLocked(*id)) return;
    }

    std::string url =
        ZAVTypes::valueToString(ZAVFunctionCallImplementation::propertyForKey(properties, urlKey()))
            ->textValue();
    if (auto additional = ZAVFunctionCallImplementation::propertyForKey(properties, additionalParamsKey())) {
        auto list = ZAVTypes::valueToObject(additional);
        if (!list || !list->isList()) {
            ZAVLog::warning("ArbitraryPixel: additional params not a list: not sending partial hit: " + url);
            return;
        }
        std::string separator = url.find('?') != std::string::npos ? "&" : "?";
        std::vector<std::string> parameters;
        for (const auto& element : list->items()) {
            if (!element || !element->isMap()) {
                ZAVLog::warning(
                    "ArbitraryPixel: additional params contains non-map: not sending partial hit: " + url);
                return;
            }
            addDictionary(element, parameters);
        }
        url += separator + getQueryParametersStringFromArray(parameters);
    }

    // A throttled hit was never sent: its id stays unrecorded so a later firing can still send it.
    if (getHitSender()->sendHitToUrl(url) && id) recordUnrepeatableIdLocked(*id);
}

void ZAVArbitraryPixel::addDictionary(const ZAVObjectPtr& map, std::vector<std::string>& array) {
    for (const auto& [key, value] : map->entries()) {
        array.push_back(ZAVValueEscapeUtil::urlEncode(ZAVTypes::objectToString(key)->textValue()) + "=" +
                        ZAVValueEscapeUtil::urlEncode(ZAVTypes::objectToString(value)->textValue()));
    }
}

std::string ZAVArbitraryPixel::getQueryParametersStringFromArray(const std::vector<std::string>& array) {
    std::string joined;
    for (size_t i = 0; i < array.size(); ++i) {
        if (i) joined += "&";
        joined += array[i];
    }
    return joined;
}

bool ZAVArbitraryPixel::idProcessed(const std::string& id) {
    std::lock_guard<std::mutex> lock(idMutex());
    return idProcessedLocked(id);
}

void ZAVArbitraryPixel::cacheUnrepeatableId(const std::string& id) {
    std::lock_guard<std::mutex> lock(idMutex());
    cacheUnrepeatableIdLocked(id);
}

bool ZAVArbitraryPixel::idInCache(const std::string& id) {
    std::lock_guard<std::mutex> lock(idMutex());
    return idInCacheLocked(id);
}

bool ZAVArbitraryPixel::idInPlist(const std::string& id) {
    std::lock_guard<std::mutex> lock(idMutex());
    return idInPlistLocked(id);
}

void ZAVArbitraryPixel::clearCache() {
    std::lock_guard<std::mutex> lock(idMutex());
    idCache().clear();
}

ZAVDataLayerWrite::ZAVDataLayerWrite(std::shared_ptr<ZAVDataLayer> dataLayer)
    : ZAVTrackingTag(functionId(), {valueKey()}), dataLayer_(std::move(dataLayer)) {}

std::shared_ptr<ZAVDataLayer> ZAVDataLayerWrite::dataLayer() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dataLayer_;
}

void ZAVDataLayerWrite::setDataLayer(std::shared_ptr<ZAVDataLayer> dataLayer) {
    std::lock_guard<std::mutex> lock(mutex_);
    dataLayer_ = std::move(dataLayer);
}

void ZAVDataLayerWrite::evaluateTrackingTag(const Properties& properties) {
    evaluateTrackingTagWithConverted(properties, ZAVConvertedValues::none());
}

void ZAVDataLayerWrite::evaluateTrackingTagWithConverted(const Properties& properties,
                                                         const ZAVConvertedValues& converted) {
    pushToDataLayer(ZAVFunctionCallImplementation::propertyForKey(properties, valueKey()), converted);
    clearPersistent(ZAVFunctionCallImplementation::propertyForKey(properties, clearPrefixKey()));
}

void ZAVDataLayerWrite::pushToDataLayer(const ZAVPValuePtr& value, const ZAVConvertedValues& converted) {
    if (!value || value == ZAVTypes::defaultValue()) return;
    auto list = converted.objectFor(value);
    auto layer = dataLayer();
    if (!list || !list->isList() || !layer) return;
    for (const auto& element : list->items())
        if (element && element->isMap()) ZAVRuntime::pushFromEvaluation(*layer, element);
}

void ZAVDataLayerWrite::clearPersistent(const ZAVPValuePtr& value) {
    if (!value || value == ZAVTypes::defaultValue()) return;
    auto prefix = ZAVTypes::valueToString(value);
    auto layer = dataLayer();
    if (prefix == ZAVTypes::defaultString() || !layer) return;
    ZAVRuntime::clearFromEvaluation(*layer, prefix->textValue());
}
