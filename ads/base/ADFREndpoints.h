#pragma once
// Where the ad server's endpoints live: one entry per kind in the "ads" section of plat::Endpoints
// ("ads.settings", ...). The built-in defaults lie under ".invalid" and resolve nowhere; the app sets its
// own (setEndpoint) and the endpoints file's "ads" section, with its CA file, overrides both.
#include <optional>
#include <string>

#include "platform/net/Endpoints.h"
#include "platform/net/URLRequest.h"

class ADFREndpoints {
  public:
    enum class Kind {
        SettingsMirror,
        Settings,
        Impression,
        ClickApi,
        IpEcho,
        SiteRoot,
        Staging,
        AdCrops,
        Jquery,
        HouseNetwork,
        PriceToken,
        Exchange,
        // The ad networks' own servers (plain http); "inmobi-script" is the host of its tag's script.
        Gamefeat,
        Zucks,
        InMobi,
        InMobiScript,
        Millennial,
        Leadbolt,
    };

    // "ads.settings_mirror", "ads.settings", "ads.impression", "ads.click", "ads.ip", "ads.site",
    // "ads.staging", "ads.adcrops" (the wall's offer list), "ads.jquery" (the wall pages' script library),
    // "ads.house", "ads.price", "ads.exchange", and "ads.<network>" for the ad networks.
    static std::string name(Kind kind);
    // Registers the built-in defaults (once; again after plat::Endpoints was reset).
    static void registerDefaults();
    static void setEndpoint(Kind kind, plat::Endpoint endpoint);
    static plat::Endpoint endpoint(Kind kind);
    // The endpoints file or the app names `kind`. A built-in default alone leads nowhere: nothing is
    // sent there, not even a name lookup.
    static bool isConfigured(Kind kind);
    // isConfigured, and when not, one line (the first time in this process for `kind`) says that
    // nothing goes there.
    static bool isConfiguredOrSay(Kind kind);
    // `url` goes to the host of an endpoint that only the built-in defaults name (and no configured one
    // shares), or plat::Endpoints::leadsNowhere (an address that cannot be read, a host under
    // ".invalid"): nothing may be sent there. isConfiguredOrSay's line tells of it once. Any thread.
    static bool leadsNowhere(const std::string& url);
    // The base address of an ad page: the site root when "ads.site" is configured, else none (empty),
    // so the page's relative addresses lead nowhere and the engine looks up no name for them.
    static std::string pageBaseURL();
    // Neither settings server is configured: no ad settings are fetched, so the ads send nothing. The
    // first call in this process says so in one line.
    static bool adServerUnconfigured();
    // Tests: the once-per-process lines may be said again.
    static void forgetOfflineLines();

    // The settings are fetched over https whatever scheme the table names.
    static std::string settingsURL(Kind kind, const std::string& path);
    static std::string url(Kind kind, const std::string& path);
    // "host[:port]" as the ad HTML's base and the reports name it.
    static std::string hostAndPort(Kind kind);

    // True for "about:blank" and for addresses of the ad server's own origin (the site root's scheme,
    // host and port, when "ads.site" is configured): where an ad page may go without a tap.
    static bool isAdServerPage(const std::string& url);
    // Both are http(s) addresses of one scheme, host and port.
    static bool sameOrigin(const std::string& a, const std::string& b);
    // `url` is `page` or lies below it: one scheme, host and port (http(s), or file), and a path that is
    // the page's or goes on from it at a "/". Both are read in the web engine's one form
    // (plat::NormalURL, ".." segments resolved however they are escaped), so the page's own spelling
    // meets the engine's; an address that form refuses, or one with a user name, is neither, nor is a
    // web address whose path holds an escaped "/" or "\", which a server that decodes them first reads
    // otherwise. A file page's folder may hold a "\" in its name.
    static bool withinPage(const std::string& url, const std::string& page);

    // Makes `request` trust the endpoint's CA file, when it names one (the file layer's "ca_file").
    static void trustCertificateAuthorityOf(Kind kind, plat::URLRequest& request);
    // True when both settings hosts are loopback addresses (a local ad server needs no way out).
    static bool settingsHostsOnLoopback();
};
