#pragma once
// An object that lasts as long as the process: made in place on first use, its destructor never run.
//
//   std::string& caFile() {
//       static plat::Lasting<std::string> path;
//       return *path;
//   }
//
// For what threads may reach while the process exits. Worker threads outlive main, and the exit handlers
// destroy function-local and global statics in the reverse order of their making, so an object such a
// thread uses could be taken down under it. Declared as a function-local static, a Lasting is made once,
// safely against other threads, and leaves nothing for the exit handlers to run.
#include <new>
#include <string>
#include <type_traits>
#include <utility>

namespace plat {

template <typename T>
class Lasting {
  public:
    template <typename... Args>
    explicit Lasting(Args&&... args) {
        new (storage_) T(std::forward<Args>(args)...);
    }
    Lasting(const Lasting&) = delete;
    Lasting& operator=(const Lasting&) = delete;

    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
    const T& get() const { return *std::launder(reinterpret_cast<const T*>(storage_)); }
    T& operator*() { return get(); }
    const T& operator*() const { return get(); }
    T* operator->() { return &get(); }
    const T* operator->() const { return &get(); }

  private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

// Nothing for the exit handlers: the compiler registers no destructor for such a static.
static_assert(std::is_trivially_destructible_v<Lasting<std::string>>);

}  // namespace plat
