#include "ads/adapters/ADFRScaleoutAPIView.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "ads/adapters/ADFRAdNetworkUtil.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRMessageDigestUtil.h"
#include "ads/base/ADFRTextUtil.h"
#include "ads/base/ADFRWorkQueues.h"
#include "ads/settings/ADFRData.h"
#include "ads/settings/ADFRIpApiManager.h"
#include "ads/settings/ADFRManager.h"
#include "platform/base/Clock.h"
#include "platform/base/Json.h"
#include "platform/base/Locale.h"
#include "platform/base/Log.h"
#include "platform/net/URLConnection.h"
#include "platform/storage/Bundle.h"

namespace {

// The report format whose form the reformer is set by: it holds "rec-impression?", so the query form.
constexpr const char* kImpressionFormat =
    "/zividedir/api/rec-impression?app_id=%@&user_ad_id=%@&uid=%@&locale=%@";

std::string formatF(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

// A number or a text as text; anything else (a list, null...) counts as absent.
std::optional<std::string> scalarText(const plat::Value* value) {
    if (!value || !(value->isInteger() || value->isReal() || value->isString())) return std::nullopt;
    return value->toString();
}

// A category code of letters then digits becomes {"letters": digits}; any other entry goes in as a
// string, so the list stays JSON whatever the settings hold.
plat::Value blockedCategory(const std::string& code) {
    size_t letters = 0;
    while (letters < code.size() && std::isalpha(static_cast<unsigned char>(code[letters]))) ++letters;
    size_t digits = letters;
    while (digits < code.size() && std::isdigit(static_cast<unsigned char>(code[digits]))) ++digits;
    if (letters == 0 || digits == letters || digits != code.size()) return plat::Value(code);
    std::string number = code.substr(letters);
    number.erase(0, std::min(number.find_first_not_of('0'), number.size() - 1));
    if (number.size() > 18) return plat::Value(code);
    return plat::Value(plat::Value::Dictionary{{code.substr(0, letters), plat::Value(std::stoll(number))}});
}

// "bcat" or "badv": none when the settings give the empty string (the member is left out); else the
// list of the entries made by `entryOf` (empty when the key is missing).
template <typename EntryOf>
std::optional<plat::Value::Array> restrictionList(const plat::Value::Dictionary& param, std::string_view key,
                                                  EntryOf entryOf) {
    const plat::Value* value = param.find(key);
    if (value && value->isString() && value->stringIf()->empty()) return std::nullopt;
    plat::Value::Array list;
    if (const auto* entries = value ? value->arrayIf() : nullptr)
        for (const auto& entry : *entries)
            if (const auto* text = entry.stringIf()) list.push_back(entryOf(*text));
    return list;
}

}  // namespace

ADFRScaleoutAPIView::ADFRScaleoutAPIView(plat::Rect frame)
    : ZIZRadWebView(frame), ipManager_(ADFRIpApiManager::sharedManager()) {}

ADFRScaleoutAPIView::~ADFRScaleoutAPIView() {
    if (getAdConnection_) getAdConnection_->cancel();
    if (ipManager_) ipManager_->cancel(this);
}

void ADFRScaleoutAPIView::setting(const ZividedirAdapterSettings& settings) {
    ZIZRadWebView::setting(settings);
    entity_ = settings.entity;
    adDataBgColor_ = settings.text("bgColor");
}

bool ADFRScaleoutAPIView::loadedFlg() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return loadedFlg_;
}

std::string ADFRScaleoutAPIView::impUrl() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return impUrl_;
}

std::string ADFRScaleoutAPIView::adnetworkImpUrl() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return adnetworkImpUrl_;
}

std::optional<std::string> ADFRScaleoutAPIView::recImpressionValue(const std::string& key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return recImpressionURLReformer_ ? recImpressionURLReformer_->getValue(key) : std::nullopt;
}

void ADFRScaleoutAPIView::loadAd() {
    if (loadCheckFlg_) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        recImpressionURLReformer_ = std::make_shared<ADFRRecImpressionURLReformer>();
        loadedFlg_ = false;
    }
    htmlTag_.clear();
    deviceID_.clear();
    loadCheckFlg_ = true;
    ADFRAdNetworkUtil::askIpManager(*ipManager_, *this);
}

void ADFRScaleoutAPIView::finishIpManager(ADFRIpApiManager& manager) {
    // An address or agent that never came reads "(null)" in the lookup's own terms.
    auto missing = [](const std::string& text) { return text.empty() || text == "(null)"; };
    const std::optional<std::string> ifa = ADFRManager::stringAdvertisingId();
    if (entity_ && entity_->param()) param_ = *entity_->param();
    if (!manager.errorStr().empty() || missing(manager.ip()) || missing(manager.ua()) || !ifa ||
        !scalarText(param_.find("w"))) {
        finishLoad();
        return;
    }
    BidInputs inputs;
    inputs.param = param_;
    inputs.bidId = ADFRMessageDigestUtil::md5WithString(formatF(plat::Clock::shared().nowSeconds()));
    inputs.impId = ADFRMessageDigestUtil::md5WithString(formatF(plat::Clock::shared().nowSeconds()));
    inputs.appId = appId();
    inputs.domain = plat::Bundle::main().bundleIdentifier();
    inputs.ip = manager.ip();
    inputs.ua = manager.ua();
    inputs.language = plat::Locale::current().identifier();
    inputs.ifa = *ifa;
    auto body = bidBody(inputs);
    if (!body) {
        plat::logWarning("ADFRScaleoutAPIView: the bid request could not be written; no bid");
        finishLoad();
        return;
    }
    plat::URLRequest request(ADFREndpoints::url(ADFREndpoints::Kind::Exchange, kBidPath) + kBidQuery,
                             plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kBidTimeoutSeconds);
    request.setHTTPMethod("POST");
    request.setValue("application/json", "Content-Type");
    request.setHTTPBody(*body);
    request.setMaxBodyBytes(kMaxAnswerBytes);
    // An error answer shows the black page at once; its body is then read like any answer.
    getAdConnection_ =
        ADFRAdNetworkUtil::fetchPage(request, *this, [](ADFRScaleoutAPIView& self, const plat::Bytes& body) {
            self.htmlTag_.assign(body.begin(), body.end());
            self.finishLoad();
        });
}

std::optional<std::string> ADFRScaleoutAPIView::bidBody(const BidInputs& in) {
    auto text = [&](std::string_view key) { return scalarText(in.param.find(key)).value_or(""); };
    auto bcat = restrictionList(in.param, "bcat", blockedCategory);
    auto badv = restrictionList(in.param, "badv", [](const std::string& domain) {
        return plat::Value(plat::Value::Dictionary{{"domain", plat::Value(domain)}});
    });
    plat::Value::Dictionary body{
        {"id", plat::Value(in.bidId)},
        {"at", plat::Value("2")},
        {"tmax", plat::Value("500")},
        {"imp", plat::Value(plat::Value::Array{plat::Value(plat::Value::Dictionary{
                    {"impid", plat::Value(in.impId)},
                    {"w", plat::Value(text("w"))},
                    {"h", plat::Value(text("h"))},
                    {"pos", plat::Value(int64_t{1})},
                })})},
        {"app", plat::Value(plat::Value::Dictionary{
                    {"aid", plat::Value(in.appId)},
                    {"domain", plat::Value(in.domain)},
                    {"cat", plat::Value(plat::Value::Array{plat::Value(text("cat"))})},
                })},
        {"device", plat::Value(plat::Value::Dictionary{
                       {"ip", plat::Value(in.ip)},
                       {"ua", plat::Value(in.ua)},
                       {"language", plat::Value(in.language)},
                       {"ifa", plat::Value(in.ifa)},
                   })},
    };
    if (bcat || badv) {
        plat::Value::Dictionary restrictions;
        if (bcat) restrictions.set("bcat", plat::Value(std::move(*bcat)));
        if (badv) restrictions.set("badv", plat::Value(std::move(*badv)));
        body.set("restrictions", plat::Value(std::move(restrictions)));
    }
    // The writer escapes what JSON reserves (a quote in a user agent); other text goes out as it is.
    return plat::Json::write(plat::Value(std::move(body)));
}

void ADFRScaleoutAPIView::finishLoad() {
    setLoadHtml(displayHTML());
    if (loadHtml().empty()) setLoadHtml(kBlackPage);
    ZIZRadWebView::loadAd();
}

std::optional<ADFRScaleoutAPIView::Bid> ADFRScaleoutAPIView::parseBid(const std::string& answer) {
    if (answer.empty()) return std::nullopt;
    auto json = plat::Json::parse(answer);
    if (!json) return std::nullopt;
    const auto* seatbids = (*json)["seatbid"].arrayIf();
    if (!seatbids || seatbids->empty()) return std::nullopt;
    const auto* bids = (*seatbids)[0]["bid"].arrayIf();
    if (!bids || bids->empty()) return std::nullopt;
    const plat::Value& first = (*bids)[0];
    auto price = scalarText(first.dictionaryIf() ? first.dictionaryIf()->find("price") : nullptr);
    if (!price) return std::nullopt;
    Bid bid;
    bid.price = *price;
    bid.sid = scalarText(json->dictionaryIf() ? json->dictionaryIf()->find("id") : nullptr).value_or("");
    auto textOf = [&](std::string_view key) {
        const auto* text = first[key].stringIf();
        return text ? *text : std::string();
    };
    bid.impUrl = textOf("impurl");
    bid.imgUrl = textOf("imgurl");
    bid.clickUrl = textOf("clickurl");
    return bid;
}

std::string ADFRScaleoutAPIView::pageHtml(const std::string& bgColor, const std::string& link,
                                          const std::string& image) {
    return ADFRAdNetworkUtil::adPage(ADFRAdNetworkUtil::pictureLink(link, image, true), bgColor);
}

std::string ADFRScaleoutAPIView::displayHTML() {
    auto bid = parseBid(htmlTag_);
    if (!bid) return "";
    const std::string bgColor = adDataBgColor_.value_or("#ffffff");
    // Where the price step looks is settled here, on the main thread.
    plat::Endpoint service = ADFREndpoints::endpoint(ADFREndpoints::Kind::PriceToken);
    service.scheme = "https";
    {
        std::lock_guard<std::mutex> lock(mutex_);
        priceTokensFile_ = plat::Bundle::main().pathForResource(kPriceTokensResource);
        priceServiceURL_ = service.url(kPricePath);
        priceServiceCAFile_ = service.caFile;
    }
    auto self = std::static_pointer_cast<ADFRScaleoutAPIView>(shared_from_this());
    workQueues_.scaleout([self, price = bid->price, impUrl = bid->impUrl, sid = bid->sid]() mutable {
        self->setEncryptedPrice(price, impUrl, sid);
        ADFRWorkQueues::releaseOnMain(std::move(self));
    });
    {
        std::lock_guard<std::mutex> lock(mutex_);
        loadedFlg_ = true;
    }
    changed_.notify_all();
    return pageHtml(bgColor, bid->clickUrl, bid->imgUrl);
}

std::vector<std::string> ADFRScaleoutAPIView::readEncryptList(const std::filesystem::path& file) {
    std::vector<std::string> tokens;
    if (file.empty()) return tokens;
    std::ifstream in(file);
    // No table is no fault: every price then goes to the service.
    if (!in) return tokens;
    std::string line;
    while (tokens.size() <= kPriceTokenCount && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line.size() != kPriceTokenLength) {
            plat::logWarning("ADFRScaleoutAPIView: %s holds a token that is not %zu characters; not used",
                             file.c_str(), kPriceTokenLength);
            return {};
        }
        tokens.push_back(line);
    }
    if (tokens.size() != kPriceTokenCount) {
        plat::logWarning("ADFRScaleoutAPIView: %s does not hold %zu tokens; not used", file.c_str(),
                         kPriceTokenCount);
        return {};
    }
    return tokens;
}

std::vector<std::string> ADFRScaleoutAPIView::getEncryptList() const {
    std::filesystem::path file;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        file = priceTokensFile_;
    }
    // Before any bid (main thread only) the bundle is asked directly.
    return readEncryptList(file.empty() ? plat::Bundle::main().pathForResource(kPriceTokensResource) : file);
}

std::optional<std::string> ADFRScaleoutAPIView::priceToken(double reduced,
                                                           const std::vector<std::string>& table) const {
    // Out of the table's range the conversion is not even tried (it would not fit an integer).
    const bool inRange = reduced > -1 && reduced < static_cast<double>(kPriceTokenCount);
    const int32_t whole = inRange ? static_cast<int32_t>(reduced) : -1;
    if (inRange && whole >= 0 && static_cast<double>(whole) >= reduced && !table.empty())
        return table[static_cast<size_t>(whole)];
    std::string service;
    std::string serviceCAFile;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        service = priceServiceURL_;
        serviceCAFile = priceServiceCAFile_;
    }
    plat::URLRequest request(service + "?ankey=" + kNetworkKey + "&price=" + formatF(reduced),
                             plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kPriceTimeoutSeconds);
    request.setCAFile(serviceCAFile);
    request.setMaxBodyBytes(4096);
    auto body = ADFRWorkQueues::get(request);
    if (!body) return std::nullopt;
    // A line break after the token is no part of it.
    while (!body->empty() && std::isspace(static_cast<unsigned char>(body->back()))) body->pop_back();
    if (body->empty()) return std::nullopt;
    return body;
}

void ADFRScaleoutAPIView::setEncryptedPrice(const std::string& price, const std::string& impUrl,
                                            const std::string& sid) {
    const double reduced = plat::Value(price).toDouble() * 0.9;
    if (!std::isfinite(reduced)) {
        plat::logWarning("ADFRScaleoutAPIView: price %s is no number; no reports", price.c_str());
        return;
    }
    auto token = priceToken(reduced, getEncryptList());
    if (!token) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        adnetworkImpUrl_ = ADFRTextUtil::replaceAll(impUrl, kPriceMacro, *token);
    }
    reformRecImpParam(kImpressionFormat, sid, reduced);
}

void ADFRScaleoutAPIView::reformRecImpParam(const std::string& url, const std::string& sid, double price) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!recImpressionURLReformer_)
            recImpressionURLReformer_ = std::make_shared<ADFRRecImpressionURLReformer>();
        auto& reformer = *recImpressionURLReformer_;
        reformer.addQureyStringKeyValue("rev", formatF(price / 1000));
        reformer.addQureyStringKeyValue("sid", sid);
        reformer.change_toHttps();
        if (ADFRRecImpressionURLReformer::isPathInfoURL(url)) reformer.change_toPathInfo();
    }
    changed_.notify_all();
}

void ADFRScaleoutAPIView::postAdDisplayed() {
    // Everything the reports need from the main thread is read here.
    Report report;
    report.impressionFormat = ZIZRadWebView::impressionURL(appId(), userAdId().value_or(""),
                                                           ADFRManager::stringAdvertisingId().value_or(""),
                                                           ADFRManager::stringCurrentContryCode());
    report.ua = ADFRIpApiManager::sharedManager()->ua();
    report.sinceMicros = plat::Clock::shared().monotonicMicros();
    auto self = std::static_pointer_cast<ADFRScaleoutAPIView>(shared_from_this());
    workQueues_.scaleout([self, report]() mutable {
        self->waitPostAdDisplayed(report);
        ADFRWorkQueues::releaseOnMain(std::move(self));
    });
}

void ADFRScaleoutAPIView::waitPostAdDisplayed(const Report& report) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ADFRWorkQueues::waitForDisplay(lock, changed_, report.sinceMicros, [this] {
            return loadedFlg_ && recImpressionURLReformer_ && recImpressionURLReformer_->getValue("rev");
        });
    }
    postAdDisplayedCall(report);
}

void ADFRScaleoutAPIView::postAdDisplayedCall(const Report& report) {
    std::string impression;
    std::string notice;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!recImpressionURLReformer_ || !recImpressionURLReformer_->getValue("rev")) return;
        impUrl_ = recImpressionURLReformer_->getReformedRecURL(report.impressionFormat);
        impression = impUrl_;
        notice = adnetworkImpUrl_;
    }
    // Holds the adapter, whose end would otherwise wait for the report.
    auto self = std::static_pointer_cast<ADFRScaleoutAPIView>(shared_from_this());
    workQueues_.global([self, impression]() mutable {
        ADFRWorkQueues::get(plat::URLRequest(
            impression, plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kReportTimeoutSeconds));
        ADFRWorkQueues::releaseOnMain(std::move(self));
    });
    if (notice.empty()) return;
    plat::URLRequest request(notice, plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData,
                             kReportTimeoutSeconds);
    if (!report.ua.empty()) request.setValue(report.ua, "User-Agent");
    ADFRWorkQueues::get(request);
}
