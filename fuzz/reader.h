// The fuzz targets' view of an input: little-endian values read from the front.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mfbfuzz {

// Reads little-endian values from the front; zeros past the end.
class Reader {
  public:
    Reader() = default;
    Reader(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}
    bool empty() const { return n_ == 0; }
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    void bytes(std::uint8_t* to, std::size_t n);
    Reader take(std::size_t n);

  private:
    const std::uint8_t* p_ = nullptr;
    std::size_t n_ = 0;
};

} // namespace mfbfuzz
