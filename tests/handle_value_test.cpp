// Board handles as 32-bit values: a handle truncated to its value and the value sign-extended back
// to the handle, as Windows converts handles between 32- and 64-bit processes.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using mfb::platform::handle_value;
using mfb::platform::to_handle;

TEST(HandleValue, RoundTripsEveryKindOfValue) {
    for (std::uint32_t v :
         {0x0u, 0x4u, 0x1A4u, 0x00FFFFFCu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu})
        EXPECT_EQ(handle_value(to_handle(v)), v) << std::hex << v;
}

TEST(HandleValue, AllOnesIsTheInvalidHandle) {
    EXPECT_EQ(to_handle(0xFFFFFFFF), INVALID_HANDLE_VALUE);
    EXPECT_EQ(handle_value(INVALID_HANDLE_VALUE), 0xFFFFFFFFu);
}

TEST(HandleValue, ValuesBelowTwoToThe31AreTheHandlesThemselves) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(to_handle(0x7FFFFFFC)), std::uintptr_t{0x7FFFFFFC});
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(to_handle(0x1A4)), std::uintptr_t{0x1A4});
}

} // namespace
