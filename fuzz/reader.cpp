#include "reader.h"

#include <algorithm>
#include <cstring>

namespace mfbfuzz {

std::uint8_t Reader::u8() {
    if (n_ == 0)
        return 0;
    --n_;
    return *p_++;
}
std::uint16_t Reader::u16() {
    const std::uint16_t lo = u8();
    return static_cast<std::uint16_t>(lo | u8() << 8);
}
std::uint32_t Reader::u32() {
    const std::uint32_t lo = u16();
    return lo | static_cast<std::uint32_t>(u16()) << 16;
}
void Reader::bytes(std::uint8_t* to, std::size_t n) {
    const std::size_t have = std::min(n, n_);
    if (have)
        std::memcpy(to, p_, have);
    std::memset(to + have, 0, n - have);
    p_ += have;
    n_ -= have;
}
Reader Reader::take(std::size_t n) {
    const std::size_t have = std::min(n, n_);
    Reader r(p_, have);
    p_ += have;
    n_ -= have;
    return r;
}

} // namespace mfbfuzz
