// The virtual module processor's boot loader and application at the level of command frames: what
// each answers, the flash row time, the restart silence, and that a written row is what it runs.
#include "sim/boot_firmware.h"

#include <gtest/gtest.h>

#include <vector>

namespace vsim {
namespace {

std::vector<uint8_t> frame(uint8_t cmd, uint32_t adr, uint16_t size, uint8_t sum = 0) {
    return {cmd,
            static_cast<uint8_t>(adr),
            static_cast<uint8_t>(adr >> 8),
            static_cast<uint8_t>(adr >> 16),
            static_cast<uint8_t>(adr >> 24),
            static_cast<uint8_t>(size),
            static_cast<uint8_t>(size >> 8),
            sum};
}

uint8_t checksum(const std::vector<uint8_t>& b, size_t n) {
    uint8_t s = 0;
    for (size_t i = 0; i < n; ++i) s = static_cast<uint8_t>(s + b[i]);
    return static_cast<uint8_t>(-s);
}

BootFirmwareDef def() {
    BootFirmwareDef d;
    d.processor = *processorByName("dsPIC30F4011");
    d.bootLoader.major = 1;
    d.application = FirmwareVersion{};
    d.application->major = 2;
    d.startInBootLoader = true;
    return d;
}

TEST(BootFirmware, AnswersFramesAsTheUpdaterExpects) {
    BootFirmware f(def());
    std::vector<uint8_t> buffer(256, 0);
    int64_t now = 0;
    auto send = [&](const std::vector<uint8_t>& fr) { return f.command(fr, buffer, now); };

    EXPECT_EQ(send(frame(0x02, 0x8000, 96)), bootResult::noMemory);  // beyond the 48 KB flash
    EXPECT_EQ(send(frame(0x06, 0xF80015, 21)), bootResult::noMemory);
    EXPECT_EQ(send(frame(0x04, 0x7FFC00, 16)), bootResult::ok);
    EXPECT_EQ(buffer[0], 0x04);
    EXPECT_EQ(buffer[1], checksum(std::vector<uint8_t>(buffer.begin() + 2, buffer.end()), 32));

    for (size_t i = 0; i < 96; ++i) buffer[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(send(frame(0x03, 0x1000, 96, 0x11)), bootResult::badChecksum);
    const uint8_t sum = checksum(buffer, 96);
    EXPECT_EQ(send(frame(0x03, 0x1000, 96, sum)), bootResult::ok);
    EXPECT_EQ(f.instruction(0x1002), 0x050403u);
    EXPECT_EQ(send(frame(0x03, 0x1040, 96, sum)), bootResult::busy);  // the row takes 50 ms
    now += 50000;
    EXPECT_EQ(send(frame(0x03, 0x1040, 96, sum)), bootResult::ok);
    now += 50000;
    EXPECT_EQ(send(frame(0x03, 0x1010, 96, sum)), bootResult::noMemory);  // not a row base

    EXPECT_EQ(send(frame(0x0A, 0x4000, 0)), bootResult::noApplication);  // erased there
    EXPECT_EQ(send(frame(0x0A, 0, 0)), bootResult::ok);                  // the kept start address 0x100
    EXPECT_FALSE(send(frame(0x10, 0, 0)));                               // restarting: nobody answers
    now += 150000;
    EXPECT_EQ(send(frame(0x10, 0, 0)), bootResult::ok);
    EXPECT_EQ(buffer[2], 2);  // the application runs
    EXPECT_EQ(send(frame(0x02, 0, 96)), bootResult::notInBootLoader);
    EXPECT_EQ(send(frame(0x0C, 0, 0)), bootResult::ok);
    EXPECT_EQ(buffer[2], 2);  // its version record: 2.0.0.0
    EXPECT_EQ(send(frame(0x55, 0, 0)), bootResult::unknownCommand);
}

}  // namespace
}  // namespace vsim
