#include "dialogs/jova_io_test.h"

#include <bit>

#include "channel/channel_table.h"
#include "link/module_access.h"

namespace vz {

namespace {
uint32_t wordAt(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) | (static_cast<uint32_t>(p[3]) << 24);
}
}  // namespace

uint32_t nextOutputTestLatch(uint32_t latchMask) {
    const uint32_t pins = latchMask & jova::kTestPins;
    if (std::popcount(pins) != 1) return 1;
    const uint32_t next = (pins << 1) & jova::kTestPins;
    return next ? next : 1;
}

JovaIoTest::JovaIoTest(DialogControls& controls, bool expertView) : d_(controls), expertView_(expertView) {}

bool JovaIoTest::boardSelected() const {
    return channel_ >= 0 && channel_ < kChannelCount &&
           channelState().channelTable.channels[static_cast<std::size_t>(channel_)].moduleKind ==
               kKindBolanJova;
}

void JovaIoTest::select(int channelIndex) {
    channel_ = channelIndex;
    refresh(true);
}

void JovaIoTest::refresh(bool read) {
    if (read && boardSelected()) {
        uint8_t block[64] = {};
        if (moduleRead(moduleAddressByte(channel_), jova::kBlock, 0, block, 64) == 64)
            record_ = {wordAt(block), wordAt(block + 8), wordAt(block + 16), wordAt(block + 24)};
        else
            record_ = {};
    }
    show();
}

void JovaIoTest::show() {
    for (int pin = 0; pin < jova::kPinPositions; ++pin) {
        const uint32_t bit = 1u << pin;
        const bool external = record_.extMask & bit;
        d_.setCheckState(jova::pinControl(pin, 0),
                         (record_.latchMask & bit) ? CheckState::checked : CheckState::unchecked);
        d_.setCheckState(jova::pinControl(pin, 2), external ? CheckState::checked : CheckState::unchecked);
        d_.setCheckState(jova::pinControl(pin, 3),
                         (record_.outMask & bit) ? CheckState::checked : CheckState::unchecked);
        d_.setEnabled(jova::pinControl(pin, 0), external);
        d_.setEnabled(jova::pinControl(pin, 3), external);
        d_.setCheckState(jova::pinControl(pin, 1),
                         (record_.pinState & bit) ? CheckState::checked : CheckState::unchecked);
    }
}

void JovaIoTest::refreshPinState() {
    if (!boardSelected()) return;
    uint8_t word[4];
    if (moduleRead(moduleAddressByte(channel_), jova::kBlock, 16, word, 4) != 4) return;
    record_.pinState = wordAt(word);
    for (int pin = 0; pin < jova::kPinPositions; ++pin)
        d_.setCheckState(jova::pinControl(pin, 1),
                         (record_.pinState & (1u << pin)) ? CheckState::checked : CheckState::unchecked);
}

bool JovaIoTest::writeWord(uint32_t offset, uint32_t value) {
    if (!boardSelected()) return false;
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return moduleCommand(moduleAddressByte(channel_), jova::kBlock, offset, bytes, 4) == 4;
}

void JovaIoTest::inputTest() {
    if (!expertView_) return;
    writeWord(0, jova::kTestPins);
    writeWord(8, 0);
    refresh(true);
}

void JovaIoTest::outputTest() {
    if (!expertView_) return;
    const uint32_t latch = nextOutputTestLatch(record_.latchMask);
    writeWord(0, jova::kTestPins);
    writeWord(8, jova::kTestPins);
    writeWord(24, latch);
    refresh(true);
}

void JovaIoTest::testOff() {
    if (!expertView_) return;
    writeWord(0, 0);
    refresh(true);
}

void JovaIoTest::cancel() {
    if (expertView_) writeWord(0, 0);
}

void JovaIoTest::pinClicked() {
    if (expertView_) {
        JovaIoRecord wanted = record_;
        wanted.latchMask = wanted.extMask = wanted.outMask = 0;
        for (int pin = 0; pin < jova::kPinPositions; ++pin) {
            const uint32_t bit = 1u << pin;
            if (d_.checkState(jova::pinControl(pin, 0)) == CheckState::checked) wanted.latchMask |= bit;
            if (d_.checkState(jova::pinControl(pin, 2)) == CheckState::checked) wanted.extMask |= bit;
            if (d_.checkState(jova::pinControl(pin, 3)) == CheckState::checked) wanted.outMask |= bit;
        }
        if (wanted.latchMask != record_.latchMask && writeWord(24, wanted.latchMask))
            record_.latchMask = wanted.latchMask;
        if (wanted.extMask != record_.extMask && writeWord(0, wanted.extMask))
            record_.extMask = wanted.extMask;
        if (wanted.outMask != record_.outMask && writeWord(8, wanted.outMask))
            record_.outMask = wanted.outMask;
    }
    refresh(true);
}

}  // namespace vz
