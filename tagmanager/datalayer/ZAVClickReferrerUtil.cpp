#include "tagmanager/datalayer/ZAVClickReferrerUtil.h"

#include <mutex>

#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/values/ZAVPropertyListUtil.h"
#include "tagmanager/values/ZAVValueEscapeUtil.h"

namespace {

const char* const kFileName = "ClickReferrer";

// The listener stores on the pushing thread while macros look up elsewhere, so the map is guarded.
std::mutex cacheMutex;
std::optional<std::map<std::string, std::string>> cache;

std::map<std::string, std::string> readFile() {
    std::map<std::string, std::string> stored;
    auto object = ZAVPropertyListUtil::readPropertyList(kFileName);
    if (!object || !object->isMap()) return stored;
    for (const auto& [key, value] : object->entries())
        if (key && key->isText() && value && value->isText()) stored[key->textValue()] = value->textValue();
    return stored;
}

ZAVObjectPtr asObject(const std::map<std::string, std::string>& map) {
    ZAVObject::Entries entries;
    for (const auto& [key, value] : map) entries.emplace_back(ZAVObject::text(key), ZAVObject::text(value));
    return ZAVObject::map(entries);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

}  // namespace

void ZAVClickReferrerUtil::clearCache() {
    std::lock_guard<std::mutex> lock(cacheMutex);
    cache.reset();
}

std::map<std::string, std::string> ZAVClickReferrerUtil::parseComponentsFromQueryParameters(
    const std::string& query) {
    std::map<std::string, std::string> components;
    for (const auto& part : split(query, '&')) {
        auto pieces = split(part, '=');
        std::optional<std::string> key, value;
        if (pieces.size() == 2) {
            key = ZAVValueEscapeUtil::urlDecode(pieces[0]);
            value = ZAVValueEscapeUtil::urlDecode(pieces[1]);
        }
        if (!key || !value) {
            ZAVLog::warning("Invalid component: " + part);
            continue;
        }
        components[*key] = *value;
    }
    return components;
}

std::optional<std::string> ZAVClickReferrerUtil::extractComponent(
    const std::optional<std::string>& component, const std::optional<std::string>& referrer) {
    if (!referrer) return std::nullopt;
    if (!component) return referrer->empty() ? std::nullopt : referrer;
    auto components = parseComponentsFromQueryParameters(*referrer);
    auto found = components.find(*component);
    if (found == components.end()) return std::nullopt;
    return found->second;
}

void ZAVClickReferrerUtil::addClickReferrer(const std::string& referrer) {
    auto conversionId = extractComponent(std::string("conv"), referrer);
    if (!conversionId || conversionId->empty()) return;
    std::lock_guard<std::mutex> lock(cacheMutex);
    if (!cache) cache = readFile();
    (*cache)[*conversionId] = referrer;
    ZAVPropertyListUtil::writePropertyListAsync(kFileName, asObject(*cache));
}

std::optional<std::string> ZAVClickReferrerUtil::clickReferrerForConversionId(
    const std::string& conversionId, const std::optional<std::string>& component) {
    std::optional<std::string> referrer;
    {
        std::lock_guard<std::mutex> lock(cacheMutex);
        if (cache) {
            auto found = cache->find(conversionId);
            if (found != cache->end()) referrer = found->second;
        }
    }
    if (!referrer) {
        auto stored = readFile();
        auto found = stored.find(conversionId);
        referrer = found == stored.end() ? std::string() : found->second;
        std::lock_guard<std::mutex> lock(cacheMutex);
        if (cache) (*cache)[conversionId] = *referrer;
    }
    return extractComponent(component, referrer);
}

void ZAVAdnetClickReferrerListener::changed(const ZAVObjectPtr& update) {
    if (!update || !update->isMap()) return;
    auto url = update->objectForKey("vuz.url");
    if (!url) {
        auto vuz = update->objectForKey("vuz");
        if (!vuz || !vuz->isMap()) return;
        url = vuz->objectForKey("url");
    }
    if (!url || !url->isText()) return;
    // The query: after the first "?", up to the fragment.
    const std::string& text = url->textValue();
    size_t question = text.find('?');
    if (question == std::string::npos) return;
    size_t hash = text.find('#', question);
    std::string query =
        text.substr(question + 1, hash == std::string::npos ? std::string::npos : hash - question - 1);
    auto components = ZAVClickReferrerUtil::parseComponentsFromQueryParameters(query);
    auto referrer = components.find("referrer");
    if (referrer != components.end()) ZAVClickReferrerUtil::addClickReferrer(referrer->second);
}
