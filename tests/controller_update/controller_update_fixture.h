#pragma once
// The update object against the virtual crate's processor, the stand-in access firmware on the search
// path, and what the tests look at afterwards: the log, the flash, whether the controller answers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "base/polling_state.h"
#include "base/settings.h"
#include "ctrlfw/controller_update.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "sim/tms320.h"
#include "sim/virtual_crate.h"
#include "tests/support/crate_fixture.h"

namespace vz {

inline const std::string kExamples = VZ_CONTROLLER_FIRMWARE;

class ControllerUpdateTest : public test::CrateFixture {
  protected:
    void SetUp() override {
        CrateFixture::SetUp();
        setenv("VIDIZOZOREZ_FIRMWARE_PATH", kExamples.c_str(), 1);
        crateSettings().portName = "SIM";  // the stand-in access firmware goes to the virtual crate only
        useScenario(test::oneBridgeScenario(R"({"channel": 1, "serialNumber": 101})", "", dspJson()));
        ASSERT_TRUE(usbOpen(linkState().usbInfo));
        bindDirectOperations();
        const PrgInterface* prg = nullptr;
        ASSERT_EQ(PrgGetInterface(&prg), 0);
        update = std::make_unique<ControllerUpdate>(*prg);
        update->setLogSink([this](const std::string& t) { log += t; });
    }
    void TearDown() override {
        update.reset();
        unsetenv("VIDIZOZOREZ_FIRMWARE_PATH");
        CrateFixture::TearDown();
    }
    virtual std::string dspJson() const { return ""; }
    // A module access read that only a running controller answers.
    bool controllerAnswers() {
        uint8_t b[8];
        return moduleRead(0x81, 0x1000, 0, b, 8) == 8;
    }
    bool contains(const std::string& text) const { return log.find(text) != std::string::npos; }
    // The whole flash as the virtual processor holds it, 0x3D8000 first.
    std::vector<uint16_t> flash() {
        std::vector<uint16_t> words(vsim::Tms320Flash::kWords);
        for (uint32_t i = 0; i < words.size(); ++i)
            words[i] = crate->dsp(0).flash().read(vsim::Tms320Flash::kBase + i);
        return words;
    }

    std::unique_ptr<ControllerUpdate> update;
    std::string log;
};

class BlankControllerTest : public ControllerUpdateTest {
  protected:
    std::string dspJson() const override { return R"("dsp": {"blank": true})"; }
};

}  // namespace vz
