#include "platform/storage/HolderWatch.h"

namespace plat {

void HolderWatch::look(long named, bool marked, const std::function<bool(long)>& ending) {
    if (named && named != holder_) {
        // What was seen of an earlier holder is not this one's.
        if (holder_) ending_ = false;
        holder_ = named;
    }
    ending_ = ending_ || marked || (holder_ && ending(holder_));
}

std::chrono::seconds HolderWatch::bound() const {
    return std::chrono::seconds(ending_ ? 30 : 3);
}

}  // namespace plat
