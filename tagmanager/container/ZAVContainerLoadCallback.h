#pragma once
// What the container's two load callbacks share: the container they update, the caller's container
// callback they report to, and silencing on close. Reports are made with the container's lock held.
#include <cstdint>
#include <memory>
#include <mutex>

#include "tagmanager/container/ZAVContainer.h"
#include "tagmanager/container/ZAVLoadCallback.h"

template <typename Message>
class ZAVContainerLoadCallbackOf : public ZAVLoadCallbackOf<Message> {
  public:
    ZAVContainerLoadCallbackOf(std::shared_ptr<ZAVContainerCallback> callback,
                               std::shared_ptr<ZAVContainer> container, uint32_t refreshType)
        : container_(std::move(container)), refreshType_(refreshType), callback_(std::move(callback)) {}

    const std::shared_ptr<ZAVContainer>& container() const { return container_; }
    std::shared_ptr<ZAVContainerCallback> callback() const {
        std::lock_guard<std::recursive_mutex> lock(container_->monitor());
        return callback_;
    }
    // Later results still reach the container but are no longer reported.
    void close() {
        std::lock_guard<std::recursive_mutex> lock(container_->monitor());
        callback_ = nullptr;
    }

    void startLoad() override {
        std::lock_guard<std::recursive_mutex> lock(container_->monitor());
        if (callback_) callback_->containerRefreshBegin(container_, refreshType_);
    }

  protected:
    // Kinds 1 (not available) and 2 (read or transfer error) read differently on the two roads; a server
    // error and anything unknown read alike.
    static uint32_t refreshFailureFor(uint32_t failure, uint32_t notAvailable, uint32_t readOrTransferError) {
        switch (failure) {
            case ZAVLoadFailureNotAvailable:
                return notAvailable;
            case ZAVLoadFailureIOError:
                return readOrTransferError;
            case ZAVLoadFailureServerError:
                return ZAVRefreshFailureServerError;
            default:
                return ZAVRefreshFailureUnknownError;
        }
    }

    // Both with the container's lock held.
    void reportSuccess() {
        if (callback_) callback_->containerRefreshSuccess(container_, refreshType_);
    }
    void reportFailure(uint32_t refreshFailure) {
        if (callback_) callback_->containerRefreshFailure(container_, refreshFailure, refreshType_);
    }

    const std::shared_ptr<ZAVContainer> container_;
    const uint32_t refreshType_;

  private:
    std::shared_ptr<ZAVContainerCallback> callback_;
};
