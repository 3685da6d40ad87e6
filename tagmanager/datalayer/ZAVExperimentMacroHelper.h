#pragma once
// Applies an experiment supplemental of a container download to the data layer: clears persisted keys,
// pushes fixed values and assigns random variants to keys (optionally keeping one already assigned,
// optionally persisted for a lifetime).
#include <memory>

#include "tagmanager/values/ZAVObject.h"
#include "wire/schema/ZAVPServing.h"

class ZAVDataLayer;

class ZAVExperimentMacroHelper {
  public:
    ZAVExperimentMacroHelper() = delete;
    static void handleExperimentSupplemental(ZAVDataLayer& dataLayer, const ZAVPSupplemental& supplemental);
    static void clearKeys(ZAVDataLayer& dataLayer, const ZAVPRuvExperimentSupplemental& experiment);
    static void pushValues(ZAVDataLayer& dataLayer, const ZAVPRuvExperimentSupplemental& experiment);
    static void setRandomValues(ZAVDataLayer& dataLayer, const ZAVPRuvExperimentSupplemental& experiment);
    // Null, with a warning, when the value is not a map.
    static ZAVObjectPtr valueToMap(const ZAVPValuePtr& value);
};
