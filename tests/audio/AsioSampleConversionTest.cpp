// Float samples into every ASIO buffer format, byte by byte.

#include "audio/AsioDriver.h"
#include "audio/AsioSampleConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace qv::test {
namespace {

std::vector<uint8_t> convert(const std::vector<float>& in, int32_t type) {
    std::vector<uint8_t> out(in.size() * static_cast<size_t>(asioSampleWidth(type)) + 4, 0xEE);
    convertFloatToAsio(in.data(), out.data(), static_cast<int>(in.size()), type);
    return out;
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(AsioSampleConversionTest, WidthsOfTheKnownTypesAndNoneForOthers) {
    EXPECT_EQ(asioSampleWidth(AsioSampleType::kInt16Lsb), 2);
    EXPECT_EQ(asioSampleWidth(AsioSampleType::kInt24Msb), 3);
    EXPECT_EQ(asioSampleWidth(AsioSampleType::kInt32Lsb), 4);
    EXPECT_EQ(asioSampleWidth(AsioSampleType::kFloat32Msb), 4);
    EXPECT_EQ(asioSampleWidth(AsioSampleType::kFloat64Lsb), 8);
    for (int32_t code : {-1, 5, 8, 15, 21, 24, 32, 40})
        EXPECT_FALSE(isSupportedAsioSampleType(code)) << code;
}

TEST(AsioSampleConversionTest, SixteenBitIntegersInBothByteOrders) {
    const std::vector<float> in = {0.5f, -0.5f, 1.5f, -2.0f, kNaN};
    // 0.5 * 32767 = 16383.5 -> 16383 (0x3FFF); -16383 = 0xC001; 1.5 -> 32767; -2 -> -32767 (0x8001).
    const std::vector<uint8_t> lsb = {0xFF, 0x3F, 0x01, 0xC0, 0xFF, 0x7F, 0x01, 0x80, 0x00, 0x00, 0xEE};
    const std::vector<uint8_t> msb = {0x3F, 0xFF, 0xC0, 0x01, 0x7F, 0xFF, 0x80, 0x01, 0x00, 0x00, 0xEE};
    auto out = convert(in, AsioSampleType::kInt16Lsb);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 11), lsb);
    out = convert(in, AsioSampleType::kInt16Msb);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 11), msb);
}

TEST(AsioSampleConversionTest, TwentyFourBitIntegersArePackedIntoThreeBytes) {
    const std::vector<float> in = {1.0f, -1.0f, 0.25f};
    // 8388607 = 0x7FFFFF; -8388607 = 0x800001; 0.25 * 8388607 = 2097151.75 -> 2097151 = 0x1FFFFF.
    const std::vector<uint8_t> lsb = {0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80, 0xFF, 0xFF, 0x1F, 0xEE};
    const std::vector<uint8_t> msb = {0x7F, 0xFF, 0xFF, 0x80, 0x00, 0x01, 0x1F, 0xFF, 0xFF, 0xEE};
    auto out = convert(in, AsioSampleType::kInt24Lsb);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 10), lsb) << "nothing written past 3 bytes a sample";
    out = convert(in, AsioSampleType::kInt24Msb);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 10), msb);
}

TEST(AsioSampleConversionTest, ThirtyTwoBitIntegersStayInsideTheirRange) {
    const std::vector<float> in = {1.0f, -1.0f, 2.0f, -0.5f};
    auto out = convert(in, AsioSampleType::kInt32Lsb);
    int32_t values[4];
    std::memcpy(values, out.data(), sizeof values);  // this machine is little-endian
    EXPECT_EQ(values[0], 2147483647);
    EXPECT_EQ(values[1], -2147483647);
    EXPECT_EQ(values[2], 2147483647);
    EXPECT_EQ(values[3], -1073741823);  // -1073741823.5 truncated toward zero
    out = convert({1.0f}, AsioSampleType::kInt32Msb);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 4), (std::vector<uint8_t>{0x7F, 0xFF, 0xFF, 0xFF}));
}

TEST(AsioSampleConversionTest, FloatsAreLimitedAndKeepTheirBits) {
    const std::vector<float> in = {0.3f, 1.5f, -2.0f, kNaN};
    auto out = convert(in, AsioSampleType::kFloat32Lsb);
    float f[4];
    std::memcpy(f, out.data(), sizeof f);
    EXPECT_EQ(f[0], 0.3f);
    EXPECT_EQ(f[1], 1.0f);
    EXPECT_EQ(f[2], -1.0f);
    EXPECT_EQ(f[3], 0.0f);
    out = convert({1.0f}, AsioSampleType::kFloat32Msb);  // 1.0f = 0x3F800000
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 4), (std::vector<uint8_t>{0x3F, 0x80, 0x00, 0x00}));

    out = convert({0.3f, -3.0f}, AsioSampleType::kFloat64Lsb);
    double d[2];
    std::memcpy(d, out.data(), sizeof d);
    EXPECT_EQ(d[0], static_cast<double>(0.3f)) << "widened, not rounded to 0.3";
    EXPECT_EQ(d[1], -1.0);
    out = convert({-1.0f}, AsioSampleType::kFloat64Msb);  // -1.0 = 0xBFF0000000000000
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 9),
              (std::vector<uint8_t>{0xBF, 0xF0, 0, 0, 0, 0, 0, 0, 0xEE}));
}

TEST(AsioSampleConversionTest, AnUnknownTypeWritesNothing) {
    std::vector<uint8_t> out(16, 0xEE);
    const float in[4] = {1, 1, 1, 1};
    convertFloatToAsio(in, out.data(), 4, 24);
    EXPECT_EQ(out, std::vector<uint8_t>(16, 0xEE));
}

}  // namespace
}  // namespace qv::test
