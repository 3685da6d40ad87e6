#include "analytics/RUVHitUtil.h"

#include "platform/base/Uuid.h"

std::string RUVHitUtil::generateClientId() {
    return plat::Uuid::random().lowercaseString();
}
