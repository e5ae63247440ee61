#pragma once
// The JOVA I/O test dialog's logic: the board's test block at 0xF000 (which pins the test takes over,
// which it drives, their latches, and the pin levels read back) shown as one row of check boxes per
// pin, and the three tests that write it.
#include <cstdint>

#include "dialogs/dialog_controls.h"

namespace vz {

namespace jova {
constexpr int kInputTest = 5, kOutputTest = 1171, kTestOff = 1172, kCancel = 2;
constexpr uint32_t kBlock = 0xF000;
constexpr uint32_t kTestPins = 0x3FFFF;  // the eighteen pins the tests walk
constexpr int kPinPositions = 32;
// The control of pin i in column c: 0 latch, 1 pin level, 2 eXt, 3 isOut, 5-7 isOC/isPU/isPD.
constexpr int pinControl(int pin, int column) {
    return 2048 + 8 * pin + column;
}
}  // namespace jova

struct JovaIoRecord {
    uint32_t extMask = 0;
    uint32_t outMask = 0;
    uint32_t pinState = 0;
    uint32_t latchMask = 0;
};

// The latch after "Output Test": a single latched pin moves one up within the eighteen test pins;
// anything else (none, several, or the last pin) starts again at the first.
uint32_t nextOutputTestLatch(uint32_t latchMask);

class JovaIoTest {
  public:
    // Tests and pin changes act only in the expert view (-ac); otherwise they only refresh.
    JovaIoTest(DialogControls& controls, bool expertView);

    void select(int channelIndex);  // opening and a change of selection: refresh with reading
    void refresh(bool read);
    void refreshPinState();  // after each repaint of the list: the pin levels only
    void inputTest();
    void outputTest();
    void testOff();
    void cancel();  // the test is switched off before the dialog goes
    void pinClicked();

    const JovaIoRecord& record() const { return record_; }

  private:
    bool boardSelected() const;
    // One word of the block; true when the board answered 4 (it took the value).
    bool writeWord(uint32_t offset, uint32_t value);
    void show();

    DialogControls& d_;
    bool expertView_;
    int channel_ = -1;
    JovaIoRecord record_;
};

}  // namespace vz
