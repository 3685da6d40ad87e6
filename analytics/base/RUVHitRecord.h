#pragma once
// A hit's parameters: field key ("&t", "&cd", ...) to text, or to the null marker (std::nullopt) for a value
// that is absent and left out when the hit is encoded. Ordered by key, so the same hit always encodes the
// same.
#include <map>
#include <optional>
#include <string>

using RUVHitValue = std::optional<std::string>;
using RUVHitRecord = std::map<std::string, RUVHitValue>;
