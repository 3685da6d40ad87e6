#include "platform/net/URLRequest.h"

#include <cctype>

namespace plat {

URLRequest::URLRequest(std::string url, URLRequestCachePolicy cachePolicy, double timeoutInterval)
    : url_(std::move(url)), timeout_(timeoutInterval), cachePolicy_(cachePolicy) {}

void URLRequest::setHTTPMethod(std::string_view method) {
    method_.assign(method);
    for (char& c : method_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (method_.empty()) method_ = "GET";
}

void URLRequest::setValue(std::optional<std::string> value, std::string_view field) {
    if (value) {
        headers_.set(field, std::move(*value));
    } else {
        headers_.remove(field);
    }
}

}  // namespace plat
