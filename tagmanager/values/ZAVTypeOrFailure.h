#pragma once
// Either a value or a failure code (the producer's own codes; 0 means a value is held).
#include <cstdint>
#include <memory>

#include "tagmanager/values/ZAVObject.h"

template <typename T = const ZAVObject>
class ZAVTypeOrFailure {
  public:
    explicit ZAVTypeOrFailure(std::shared_ptr<T> type) : type_(std::move(type)) {}
    explicit ZAVTypeOrFailure(int64_t failure) : failure_(failure) {}
    const std::shared_ptr<T>& type() const { return type_; }
    int64_t failure() const { return failure_; }

  private:
    std::shared_ptr<T> type_;
    int64_t failure_ = 0;
};
