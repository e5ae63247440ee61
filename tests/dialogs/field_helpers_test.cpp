#include "dialogs/field_helpers.h"

#include <gtest/gtest.h>

#include <map>

#include "base/operator_seam.h"
#include "tests/support/scripted_operator.h"

namespace vz {
namespace {

// A dialog as a few texts, check states and combo boxes by id.
class FakeControls : public DialogControls {
  public:
    std::map<int, std::string> texts;
    std::map<int, CheckState> checks;
    std::map<int, std::vector<std::string>> combos;
    std::map<int, int> comboSelection;

    std::optional<std::string> text(int id) const override {
        const auto it = texts.find(id);
        if (it != texts.end()) return it->second;
        if (checks.count(id)) return std::string();
        return std::nullopt;
    }
    void setText(int id, const std::string& t) override { texts[id] = t; }
    void appendText(int id, const std::string& t) override { texts[id] += t; }
    int comboCount(int id) const override {
        const auto it = combos.find(id);
        return it == combos.end() ? -1 : static_cast<int>(it->second.size());
    }
    void addComboItem(int id, const std::string& t) override { combos[id].push_back(t); }
    int comboIndex(int id) const override { return comboSelection.count(id) ? comboSelection.at(id) : -1; }
    void setComboIndex(int id, int index) override { comboSelection[id] = index; }
    CheckState checkState(int id) const override { return checks.at(id); }
    void setCheckState(int id, CheckState s) override { checks[id] = s; }
    void setEnabled(int, bool) override {}
    bool setVisible(int, bool) override { return true; }
    void setReadOnly(int, bool) override {}
    void requestFocus(int) override {}
    void setCaption(const std::string&) override {}
    void selectFocusedText() override {}
};

class FieldHelpersTest : public ::testing::Test {
  protected:
    test::ScriptedOperator seam;
    ScopedOperatorSeam installed{seam};
    FakeControls d;
};

TEST_F(FieldHelpersTest, ScaledFieldAtExponentMinus10) {
    struct Case {
        const char* typed;
        bool stored;
        int16_t raw;
        const char* box;  // expected printBox text, or nullptr
    };
    const Case cases[] = {
        {"12,5", true, 12800, nullptr},  // decimal comma
        {"31.9990234375", true, 32767, nullptr},
        {"32", false, 1024, "Value 32.000000 is too large (maximum is 31.999023)"},
        {"-32.5", false, 1024, "Value -32.500000 is too small (minimum is -32.000000)"},
        {"1.0001", false, 1024, nullptr},  // rounds to the raw value held: nothing to send
        {"volts", false, 1024, nullptr},   // no number: nothing changes, nothing is said
        {"nan", false, 1024, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        seam.boxes.clear();
        int16_t raw = 1024;  // 1 V
        int calls = 0;
        d.texts[7] = c.typed;
        EXPECT_EQ(getEditScaled(d, 7, raw, -10, [&](int16_t) { return ++calls, true; }), c.stored);
        EXPECT_EQ(raw, c.raw);
        EXPECT_EQ(calls, c.stored ? 1 : 0);
        if (c.box) {
            ASSERT_EQ(seam.boxes.size(), 1u);
            EXPECT_EQ(seam.boxes[0].caption, "PrintBox");
            EXPECT_EQ(seam.boxes[0].text, c.box);
        } else {
            EXPECT_TRUE(seam.boxes.empty());
        }
    }
}

TEST_F(FieldHelpersTest, OnlyAnAcceptedChangeIsStored) {
    uint16_t target = 5;
    std::vector<uint16_t> offered;
    bool accept = false;
    auto callback = [&](uint16_t v) { return offered.push_back(v), accept; };
    d.texts[1] = "5";
    EXPECT_FALSE(getEditU16(d, 1, target, callback));  // unchanged: no call
    d.texts[1] = "0x10";
    EXPECT_FALSE(getEditU16(d, 1, target, callback));  // refused: target kept
    EXPECT_EQ(target, 5);
    accept = true;
    EXPECT_TRUE(getEditU16(d, 1, target, callback));
    EXPECT_EQ(target, 16);
    for (const char* outOfRange : {"70000", "-1"}) {
        d.texts[1] = outOfRange;
        EXPECT_FALSE(getEditU16(d, 1, target, callback)) << outOfRange;
    }
    EXPECT_EQ(target, 16);
    EXPECT_EQ(offered, (std::vector<uint16_t>{16, 16}));
    EXPECT_FALSE(getEditU16(d, 99, target, callback));  // no such control
}

TEST_F(FieldHelpersTest, RealsCheckBitsCombosAndText) {
    float f = 0;
    d.texts[1] = "1.#INF";
    EXPECT_TRUE(getEditFloat(d, 1, f));
    EXPECT_EQ(f, 1e38f);
    double infinite = 0;
    EXPECT_TRUE(getEditDouble(d, 1, infinite));
    EXPECT_EQ(infinite, 1e99);
    double v = 0;
    d.texts[1] = " +2,25 V";
    EXPECT_TRUE(getEditDouble(d, 1, v));
    EXPECT_EQ(v, 2.25);

    uint32_t word = 0x0F, offered = 0;
    d.checks[2] = CheckState::unchecked;
    EXPECT_TRUE(getCheckBit(d, 2, word, 2, [&](uint32_t w) { return offered = w, true; }));
    EXPECT_EQ(word, 0x0Bu);
    EXPECT_EQ(offered, 0x0Bu);
    d.checks[2] = CheckState::indeterminate;
    word = 0x04;
    EXPECT_TRUE(getCheckBit(d, 2, word, 2));
    EXPECT_EQ(word, 0u);

    const char* texts[] = {"a", "b", "c"};
    d.combos[3] = {};  // an empty box
    fillCombo(d, 3, texts, 3, 2);
    fillCombo(d, 3, texts, 3, 1);  // a second refresh adds nothing
    EXPECT_EQ(d.combos[3], (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(d.comboSelection[3], 1);
    d.combos[4] = {"x", "y"};
    unsigned index = 1;
    EXPECT_TRUE(getComboIndex(d, 4, index));  // no selection reads as index 0
    EXPECT_EQ(index, 0u);

    d.texts[5] = "";
    appendEditText(d, 5, "a\nb");
    EXPECT_EQ(d.texts[5], "a\r\nb");
}

}  // namespace
}  // namespace vz
