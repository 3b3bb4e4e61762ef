// Making firmware files on the board's side and reading them back as the loader does.
#include "exchange_table.h"
#include "sim/firmware_file.h"

using namespace mfbtest;
using namespace mfb::sim;

namespace {

TEST(SimFirmwareFile, LayoutOfAMadeFile) {
    const FirmwareImage image{.payload = {0x00, 0xC6, 0xFF},
                              .sections = {Bytes{1}, Bytes{}, Bytes{3, 3}},
                              .trailer = {0xEE}};
    const Bytes f = firmware_file_bytes(image);
    ASSERT_EQ(f.size(), 2952u + 3 + 3 + 1);
    EXPECT_EQ(Bytes(f.begin() + 2136, f.begin() + 2152), cat({le32(1), le32(0), le32(2), le32(3)}));
    EXPECT_EQ(Bytes(f.begin() + 2952, f.end()), (Bytes{1, 3, 3, 0xC6, 0x00, 0x39, 0xEE}))
        << "sections, the payload XORed with 0xC6, the trailer";

    const FirmwareFileReport r = inspect_firmware_file(f);
    EXPECT_TRUE(r.accepted) << r.reason;
    EXPECT_EQ(r.payload, image.payload);
    EXPECT_EQ(r.payload_offset, 2955u);
    EXPECT_EQ(r.payload_available, 4u);
}

} // namespace
