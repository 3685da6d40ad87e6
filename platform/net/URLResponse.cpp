#include "platform/net/URLResponse.h"

#include <cctype>
#include <charconv>

namespace plat {
namespace {

std::string trimmedLower(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    std::string out(s.substr(b, e - b));
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

URLResponse::URLResponse(std::string url, int statusCode, HTTPHeaderFields headers)
    : url_(std::move(url)), statusCode_(statusCode), headers_(std::move(headers)) {
    if (auto type = headers_.value("Content-Type")) {
        std::string_view t = *type;
        size_t semi = t.find(';');
        mimeType_ = trimmedLower(t.substr(0, semi));
        while (semi != std::string_view::npos) {
            t.remove_prefix(semi + 1);
            semi = t.find(';');
            std::string param = trimmedLower(t.substr(0, semi));
            if (param.rfind("charset=", 0) == 0) {
                textEncodingName_ = param.substr(8);
                if (textEncodingName_.size() >= 2 && textEncodingName_.front() == '"' &&
                    textEncodingName_.back() == '"')
                    textEncodingName_ = textEncodingName_.substr(1, textEncodingName_.size() - 2);
            }
        }
    }
    if (auto length = headers_.value("Content-Length")) {
        std::string text = trimmedLower(*length);
        int64_t n = -1;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (ec == std::errc() && end == text.data() + text.size() && n >= 0) expectedContentLength_ = n;
    }
}

}  // namespace plat
