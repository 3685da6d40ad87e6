#include "analytics/base/RUVFields.h"

std::string RUVFields::contentGroupForIndex(uint64_t index) {
    return "&cg" + std::to_string(index);
}

std::string RUVFields::customDimensionForIndex(uint64_t index) {
    return "&cd" + std::to_string(index);
}

std::string RUVFields::customMetricForIndex(uint64_t index) {
    return "&cm" + std::to_string(index);
}

std::string RUVEcommerceFields::stripAmpersandIfPresent(std::string_view text) {
    if (!text.empty() && text.front() == '&') text.remove_prefix(1);
    return std::string(text);
}

std::string RUVEcommerceFields::productFieldForIndex(uint64_t index,
                                                     const std::optional<std::string>& suffix) {
    std::string key = "&pr" + std::to_string(index);
    if (suffix) key += stripAmpersandIfPresent(*suffix);
    return key;
}

std::string RUVEcommerceFields::impressionListForIndex(uint64_t index) {
    return "&il" + std::to_string(index);
}

std::string RUVEcommerceFields::productImpressionForList(std::string_view listPrefix, uint64_t index,
                                                         const std::optional<std::string>& suffix) {
    std::string key = std::string(listPrefix) + "pi" + std::to_string(index);
    if (suffix) key += stripAmpersandIfPresent(*suffix);
    return key;
}

std::string RUVEcommerceFields::promotionForIndex(uint64_t index, const std::optional<std::string>& suffix) {
    std::string key = "&promo" + std::to_string(index);
    if (suffix) key += stripAmpersandIfPresent(*suffix);
    return key;
}
