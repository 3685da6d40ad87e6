#pragma once
// What a tag hands its hit URLs to.
#include <memory>
#include <string>

#include "tagmanager/base/ZAVLog.h"

class ZAVHitSender {
  public:
    virtual ~ZAVHitSender() = default;
    // True when the hit was queued for sending; false when it was throttled and dropped, so a tag that
    // sends an id only once can tell that this one never went out.
    virtual bool sendHitToUrl(const std::string& url) = 0;
    virtual std::shared_ptr<ZAVLogger> logger() const = 0;
    // Not retained.
    virtual void setLogger(std::weak_ptr<ZAVLogger> logger) = 0;
};
