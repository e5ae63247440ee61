// Reads and writes on the bulk endpoints: time-outs, partial counts and bytes kept between reads.
#include <numeric>
#include <vector>

#include "tests/cp210x/bridge_fixture.h"

namespace vz::test {
namespace {

std::vector<uint8_t> bytesFrom(uint8_t first, std::size_t count) {
    std::vector<uint8_t> v(count);
    std::iota(v.begin(), v.end(), first);
    return v;
}

class Reading : public BridgeFixture {
  protected:
    void SetUp() override {
        handle = openCrate();
        ASSERT_EQ(bridge->setTimeouts(333, 333), SI_SUCCESS);
    }

    // Reads `length` bytes; returns what arrived.
    std::vector<uint8_t> readBytes(uint32_t length, uint8_t expectedStatus) {
        std::vector<uint8_t> buffer(length, 0xEE);
        uint32_t received = 12345;
        EXPECT_EQ(bridge->read(handle, buffer.data(), length, received), expectedStatus);
        EXPECT_LE(received, length);
        buffer.resize(std::min(received, length));
        return buffer;
    }

    SiHandle handle = kNoHandle;
};

TEST_F(Reading, CollectsPacketsUntilTheLengthIsThere) {
    crate->bulkIn = {{bytesFrom(1, 2)}, {bytesFrom(3, 3), LIBUSB_SUCCESS, 20'000}};
    EXPECT_EQ(readBytes(5, SI_SUCCESS), bytesFrom(1, 5));
    EXPECT_EQ(crate->bulkInTimeouts.size(), 2u);
}

TEST_F(Reading, TimeOutReturnsThePartialCount) {
    crate->bulkIn = {{bytesFrom(0x10, 3), LIBUSB_SUCCESS, 100'000}};
    const int64_t start = clock.nowUs();
    EXPECT_EQ(readBytes(8, SI_READ_TIMED_OUT), bytesFrom(0x10, 3));
    EXPECT_EQ(clock.nowUs() - start, 333'000) << "waited the read time-out, no longer";
    // The second transfer gets what is left of the 333 ms, not a fresh time-out.
    EXPECT_EQ(crate->bulkInTimeouts, (std::vector<unsigned>{333, 233}));

    // Nothing at all: count 0 after the time-out.
    EXPECT_EQ(readBytes(1, SI_READ_TIMED_OUT), std::vector<uint8_t>{});
}

TEST_F(Reading, LastFractionOfAMillisecondIsNotAnEndlessWait) {
    // libusb reads a time-out of 0 as "no limit": 0.4 ms left must still be a limit.
    crate->bulkIn = {{bytesFrom(1, 1), LIBUSB_SUCCESS, 332'600}};
    EXPECT_EQ(readBytes(2, SI_READ_TIMED_OUT), bytesFrom(1, 1));
    ASSERT_EQ(crate->bulkInTimeouts.size(), 2u);
    EXPECT_EQ(crate->bulkInTimeouts[1], 1u);
}

TEST_F(Reading, BytesThatCameWithATimeOutOrErrorAreKept) {
    crate->bulkIn = {{bytesFrom(1, 2), LIBUSB_ERROR_TIMEOUT, 333'000}};
    EXPECT_EQ(readBytes(4, SI_READ_TIMED_OUT), bytesFrom(1, 2));

    crate->bulkIn = {{bytesFrom(7, 4), LIBUSB_ERROR_TIMEOUT, 333'000}};
    EXPECT_EQ(readBytes(4, SI_SUCCESS), bytesFrom(7, 4)) << "complete, whatever ended the transfer";

    crate->bulkIn = {{bytesFrom(9, 1), LIBUSB_ERROR_NO_DEVICE}};
    EXPECT_EQ(readBytes(4, SI_READ_ERROR), bytesFrom(9, 1));
    crate->bulkIn = {{{}, LIBUSB_ERROR_PIPE}};
    EXPECT_EQ(readBytes(4, SI_READ_ERROR), std::vector<uint8_t>{});
}

TEST_F(Reading, SurplusOfAPacketWaitsForTheNextRead) {
    crate->bulkIn = {{bytesFrom(1, 10)}, {bytesFrom(11, 4)}};
    EXPECT_EQ(readBytes(4, SI_SUCCESS), bytesFrom(1, 4));
    EXPECT_EQ(readBytes(3, SI_SUCCESS), bytesFrom(5, 3));
    EXPECT_EQ(crate->bulkInTimeouts.size(), 1u) << "served from the kept bytes, no transfer";

    // The rest of the kept bytes come first, then the next packet, and its surplus is kept too.
    uint32_t waiting = 0, queue = 0;
    crate->controlReplies[0x10] = std::vector<uint8_t>(19, 0);
    EXPECT_EQ(bridge->checkRxQueue(handle, waiting, queue), SI_SUCCESS);
    EXPECT_EQ(waiting, 3u) << "kept bytes count as waiting";
    EXPECT_EQ(queue, Cp210xBridge::kRxReady);
    EXPECT_EQ(readBytes(5, SI_SUCCESS), bytesFrom(8, 5));
    EXPECT_EQ(readBytes(5, SI_READ_TIMED_OUT), bytesFrom(13, 2));
}

TEST_F(Reading, PurgingTheReceiveSideDropsKeptBytes) {
    crate->bulkIn = {{bytesFrom(1, 10)}, {bytesFrom(0x40, 2)}};
    EXPECT_EQ(readBytes(4, SI_SUCCESS), bytesFrom(1, 4));
    ASSERT_EQ(bridge->flushBuffers(handle, true, false), SI_SUCCESS);
    EXPECT_EQ(readBytes(1, SI_SUCCESS), bytesFrom(5, 1)) << "purging transmit keeps received bytes";
    ASSERT_EQ(bridge->flushBuffers(handle, false, true), SI_SUCCESS);
    EXPECT_EQ(readBytes(2, SI_SUCCESS), bytesFrom(0x40, 2));
}

TEST_F(Reading, TimeOutsApplyToLaterCallsOnly) {
    EXPECT_EQ(readBytes(1, SI_READ_TIMED_OUT), std::vector<uint8_t>{});
    ASSERT_EQ(bridge->setTimeouts(50, 20), SI_SUCCESS);
    EXPECT_EQ(readBytes(1, SI_READ_TIMED_OUT), std::vector<uint8_t>{});
    EXPECT_EQ(crate->bulkInTimeouts, (std::vector<unsigned>{333, 50}));
}

TEST_F(Reading, ZeroLengthAndBadArguments) {
    uint32_t received = 9;
    EXPECT_EQ(bridge->read(handle, nullptr, 0, received), SI_SUCCESS);
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(bridge->read(handle, nullptr, 4, received), SI_INVALID_PARAMETER);
    EXPECT_TRUE(crate->bulkInTimeouts.empty());
}

using Writing = Reading;

TEST_F(Writing, AllBytesGoOutOnTheBulkEndpoint) {
    const auto data = bytesFrom(0xA0, 9);
    uint32_t written = 0;
    EXPECT_EQ(bridge->write(handle, data.data(), 9, written), SI_SUCCESS);
    EXPECT_EQ(written, 9u);
    EXPECT_EQ(crate->bulkOutData, data);
}

TEST_F(Writing, FailuresReportWhatWentOut) {
    struct Case {
        const char* name;
        int result;
        uint8_t status;
    };
    for (const Case& c : {Case{"time-out", LIBUSB_ERROR_TIMEOUT, SI_WRITE_TIMED_OUT},
                          Case{"stall", LIBUSB_ERROR_PIPE, SI_WRITE_ERROR},
                          Case{"unplugged", LIBUSB_ERROR_NO_DEVICE, SI_WRITE_ERROR}}) {
        SCOPED_TRACE(c.name);
        crate->bulkOutData.clear();
        crate->bulkOutAccepts = 3;
        crate->bulkOutResult = c.result;
        const auto data = bytesFrom(1, 8);
        uint32_t written = 99;
        EXPECT_EQ(bridge->write(handle, data.data(), 8, written), c.status);
        EXPECT_EQ(written, 3u);
    }
    uint32_t written = 1;
    EXPECT_EQ(bridge->write(handle + 7, "x", 1, written), SI_INVALID_HANDLE);
    EXPECT_EQ(written, 0u);
}

}  // namespace
}  // namespace vz::test
