#pragma once
// Classes looked up by name at run time: a name maps to a factory (making new objects of the class, e.g.
// for unarchiving) or to a provider (one object that answers the class's class-level operations).
// Lookups are typed by the interface asked for: an entry registered for another interface is not found,
// just as a class that does not adopt the protocol is passed over. Entries are registered explicitly by
// the code that owns the class (the app at start, tests in their scope), never by static initialisers.
// Thread-safe.
#include <any>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace plat {

// The general form of a registered class object: registered as `provider<ClassObject>`, a class is asked
// for the interfaces it adopts with dynamic_cast.
class ClassObject {
  public:
    virtual ~ClassObject() = default;
};

class ClassRegistry {
  public:
    template <typename Interface>
    using Factory = std::function<std::shared_ptr<Interface>()>;

    static ClassRegistry& shared();

    ClassRegistry() = default;
    ClassRegistry(const ClassRegistry&) = delete;
    ClassRegistry& operator=(const ClassRegistry&) = delete;

    // Replaces an entry of the same name.
    template <typename Interface>
    void registerFactory(std::string name, Factory<Interface> factory) {
        if (!factory) return;
        put(std::move(name), std::any(std::move(factory)));
    }
    template <typename Interface>
    void registerProvider(std::string name, std::shared_ptr<Interface> provider) {
        if (!provider) return;
        put(std::move(name), std::any(std::move(provider)));
    }
    // False when nothing was registered under the name.
    bool unregister(std::string_view name);
    bool contains(std::string_view name) const;

    // A new object of the named class; null when the name is unknown, is registered for another
    // interface, or the factory makes nothing.
    template <typename Interface>
    std::shared_ptr<Interface> create(std::string_view name) const {
        std::any entry = get(name);
        if (const auto* factory = std::any_cast<Factory<Interface>>(&entry)) return (*factory)();
        return nullptr;
    }
    // The named class's provider; null when the name is unknown or registered for another interface.
    template <typename Interface>
    std::shared_ptr<Interface> provider(std::string_view name) const {
        std::any entry = get(name);
        if (const auto* p = std::any_cast<std::shared_ptr<Interface>>(&entry)) return *p;
        return nullptr;
    }

    // Removes its entry again when it goes, so a scope (a test, a session) leaves the registry as it was.
    class Scoped {
      public:
        Scoped(ClassRegistry& registry, std::string name) : registry_(&registry), name_(std::move(name)) {}
        ~Scoped() { registry_->unregister(name_); }
        Scoped(const Scoped&) = delete;
        Scoped& operator=(const Scoped&) = delete;

      private:
        ClassRegistry* registry_;
        std::string name_;
    };

  private:
    void put(std::string name, std::any entry);
    std::any get(std::string_view name) const;

    mutable std::mutex mutex_;
    std::map<std::string, std::any, std::less<>> entries_;
};

}  // namespace plat
