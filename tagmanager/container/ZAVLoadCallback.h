#pragma once
// What a storage load or a download reports, and what a container's caller hears of it.
#include <cstdint>
#include <memory>

class ZAVContainer;
class ZAVPResourceWithMetadata;
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

// What a load reports: that it began, then the message it read or the kind of its failure.
template <typename Message>
class ZAVLoadCallbackOf {
  public:
    virtual ~ZAVLoadCallbackOf() = default;
    virtual void startLoad() = 0;
    virtual void onSuccess(const std::shared_ptr<Message>& message) = 0;
    virtual void onFailure(uint32_t failure) = 0;
};
// A download hands over the server's answer; a read of the saved file hands over the saved form whole,
// since its time stamp sets when the next download is due.
using ZAVLoadCallback = ZAVLoadCallbackOf<ZAVPSupplementedResource>;
using ZAVSavedResourceLoadCallback = ZAVLoadCallbackOf<ZAVPResourceWithMetadata>;

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
