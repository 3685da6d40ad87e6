#pragma once
// A first-in first-out queue of at most N values held inline: pushing and popping never touch the heap,
// for loops that run all the time (a streaming worker recycling its buffers).
#include <array>
#include <cstddef>

namespace plat {

template <typename T, std::size_t N>
class FixedQueue {
  public:
    bool empty() const { return count_ == 0; }
    bool full() const { return count_ == N; }
    std::size_t size() const { return count_; }
    // Only on a queue that is not empty.
    T& front() { return items_[head_]; }
    const T& front() const { return items_[head_]; }

    // False, and nothing stored, when the queue is full.
    bool push_back(const T& value) {
        if (full()) return false;
        items_[(head_ + count_) % N] = value;
        ++count_;
        return true;
    }
    void pop_front() {
        if (empty()) return;
        head_ = (head_ + 1) % N;
        --count_;
    }
    void clear() {
        head_ = 0;
        count_ = 0;
    }

  private:
    std::array<T, N> items_{};
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

}  // namespace plat
