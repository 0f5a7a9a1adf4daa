// ByteBuffer: a fixed-size run of bytes that is not cleared when made, for
// page blocks and their decoded entry bytes, which are written whole right
// after they are made (clearing them first would cost as much again).
// Copies are deep. Moved-from buffers are empty.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace ck::vellum {

class ByteBuffer {
 public:
  ByteBuffer() = default;
  // size bytes of unspecified content.
  explicit ByteBuffer(size_t size) : data_(size > 0 ? new char[size] : nullptr), size_(size) {}
  explicit ByteBuffer(std::string_view bytes) : ByteBuffer(bytes.size()) {
    if (size_ > 0) std::memcpy(data_.get(), bytes.data(), size_);
  }
  ByteBuffer(const ByteBuffer& other) : ByteBuffer(other.view()) {}
  ByteBuffer& operator=(const ByteBuffer& other) {
    if (this != &other) *this = ByteBuffer(other.view());
    return *this;
  }
  ByteBuffer(ByteBuffer&& other) noexcept
      : data_(std::move(other.data_)), size_(other.size_) {
    other.size_ = 0;
  }
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    data_ = std::move(other.data_);
    size_ = other.size_;
    other.size_ = 0;
    return *this;
  }

  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  size_t size() const { return size_; }
  std::string_view view() const { return {data_.get(), size_}; }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
};

}  // namespace ck::vellum
