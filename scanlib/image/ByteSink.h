// Where the image room puts the bytes it produces: a function and its
// context. The page pipeline points it at a guarded file write; tests at a
// growing buffer.
#pragma once

#include <cstdint>
#include <vector>

namespace tarvo {

struct ByteSink {
  void* context = nullptr;
  // True when all `count` bytes were taken.
  bool (*write)(void* context, const std::uint8_t* data, std::uint32_t count) = nullptr;

  bool Write(const std::uint8_t* data, std::uint32_t count) const {
    return write != nullptr && write(context, data, count);
  }
};

// A sink that appends to a vector.
inline ByteSink VectorSink(std::vector<std::uint8_t>& out) {
  return ByteSink{&out, [](void* context, const std::uint8_t* data, std::uint32_t count) {
                    auto& v = *static_cast<std::vector<std::uint8_t>*>(context);
                    v.insert(v.end(), data, data + count);
                    return true;
                  }};
}

}  // namespace tarvo
