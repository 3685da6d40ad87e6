#pragma once
// What a storage load or a download reports, and what a container's caller hears of it.
#include <cstdint>
#include <memory>

class ZAVContainer;
class ZAVPSupplementedResource;

// Why a storage load or a download failed.
enum ZAVLoadFailure : uint32_t {
    // No saved file; the container is being previewed; the connection failed or was not made.
    ZAVLoadFailureNotAvailable = 1,
    // The saved file does not parse or is incomplete; an answer other than 200 and 404.
    ZAVLoadFailureIOError = 2,
    // A 404; a body that does not parse; a body without resource while none was ever loaded.
    ZAVLoadFailureServerError = 3,
};

class ZAVLoadCallback {
  public:
    virtual ~ZAVLoadCallback() = default;
    virtual void startLoad() = 0;
    virtual void onSuccess(const std::shared_ptr<ZAVPSupplementedResource>& resource) = 0;
    virtual void onFailure(uint32_t failure) = 0;
};

// Where a refresh came from.
enum ZAVRefreshType : uint32_t {
    ZAVRefreshTypeSaved = 0,
    ZAVRefreshTypeNetwork = 1,
};

// Why a refresh failed, as the container's caller hears it.
enum ZAVRefreshFailure : uint32_t {
    ZAVRefreshFailureNoSavedContainer = 0,
    ZAVRefreshFailureIOError = 1,
    ZAVRefreshFailureNoNetwork = 2,
    ZAVRefreshFailureNetworkError = 3,
    ZAVRefreshFailureServerError = 4,
    ZAVRefreshFailureUnknownError = 5,
};

class ZAVContainerCallback {
  public:
    virtual ~ZAVContainerCallback() = default;
    virtual void containerRefreshBegin(const std::shared_ptr<ZAVContainer>& container,
                                       uint32_t refreshType) = 0;
    virtual void containerRefreshSuccess(const std::shared_ptr<ZAVContainer>& container,
                                         uint32_t refreshType) = 0;
    virtual void containerRefreshFailure(const std::shared_ptr<ZAVContainer>& container, uint32_t failure,
                                         uint32_t refreshType) = 0;
};
