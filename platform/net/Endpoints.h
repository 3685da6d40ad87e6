#pragma once
// Where the outside parties live: a table from endpoint name ("ads", "collect", ...) to scheme, host and
// port. Three layers, read top down: the endpoints file the program was started with, then what the app
// set, then the built-in defaults that each SDK registers (hosts under ".invalid", which resolve
// nowhere; an SDK sends nothing to a name that only they give). Thread-safe.
//
// An SDK with several endpoints keeps them in a section of the file, {"ads": {"ca_file": "/path/ca.pem",
// "settings": {...}, "impression": {...}}}: they read as "ads.settings", "ads.impression", each carrying
// the section's CA file (the authority to trust for it; empty for the system's).
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

struct Endpoint {
    std::string scheme;  // "http" or "https"
    std::string host;
    int port = 0;
    std::string caFile{};  // the authority to trust for it; empty for the system's

    // "scheme://host:port" followed by `path` (which should begin with "/").
    std::string url(const std::string& path = "") const;
    bool operator==(const Endpoint&) const = default;
};

class Endpoints {
  public:
    using Table = std::map<std::string, Endpoint>;
    static constexpr size_t kMaxFileBytes = 1 << 20;

    static Endpoints& shared();

    void setDefault(const std::string& name, Endpoint endpoint);
    void setOverride(const std::string& name, Endpoint endpoint);
    void removeOverride(const std::string& name);
    void setFileTable(Table table);

    // The endpoint in force for `name`, or nothing when no layer names it.
    std::optional<Endpoint> find(const std::string& name) const;
    // The endpoints file or the app names `name`: a built-in default alone leads nowhere, so an SDK
    // asks this before any request, timer or retry that would go there.
    bool isConfigured(const std::string& name) const;
    // Nothing may be sent to `url` whatever the table says: its address cannot be read as the web engine
    // and libcurl read it (NormalURL refuses it: a user name, a host or port it cannot read, ...), or its
    // host lies under ".invalid", which never resolves. A guard before a send asks this, so what it cannot
    // read stops traffic rather than lets it through.
    static bool leadsNowhere(std::string_view url);
    // Every name any layer knows, with the endpoint in force.
    Table effectiveTable() const;
    // Back to empty layers (tests).
    void reset();

    // Reads an endpoints file: a JSON object of name -> {"scheme": "http"|"https", "host": text,
    // "port": 1-65535}, nothing else, or of section name -> {"ca_file": text (optional), name -> endpoint}.
    // Nothing (with `error` set to a clear reason) for a bad file.
    static std::optional<Table> parse(const std::string& json, std::string* error);
    // parse() on a regular file's text (a folder, a pipe or a device is refused unread); every "ca_file"
    // it names must be a readable file.
    static std::optional<Table> readFile(const std::string& path, std::string* error);
    // readFile, then installs the table as shared()'s file layer.
    static bool loadFile(const std::string& path, std::string* error);
    // An endpoints file's text for `table` (what the peers program writes).
    static std::string toJson(const Table& table);

  private:
    mutable std::mutex mutex_;
    Table defaults_;
    Table overrides_;
    Table file_;
};

}  // namespace plat
