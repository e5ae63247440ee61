#pragma once
// The controller configuration dialog's logic: the crate controller's network and option settings
// shown in a dialog's controls, collected back into the record, and written as one record on OK when
// anything changed.
#include "channel/controller_config.h"
#include "dialogs/dialog_controls.h"

namespace vz {

// Control ids of the template.
namespace ccfg {
constexpr int kOk = 1, kCancel = 2;
constexpr int kIpAddress = 1091, kSubnetMask = 1093, kGateway = 1092;
constexpr int kMacHigh = 1049, kMacMiddle = 1050, kMacLow = 1051;
constexpr int kHttpPort = 1046, kSnmpPort = 1047, kSlotOrRetries = 1048;
constexpr int kSpeed100M = 1095, kFullDuplex = 1096, kAutoNegotiation = 1094, kDhcpDisable = 1103,
              kBootpDisable = 1097, kHttpWriteDisable = 1104;
}  // namespace ccfg

struct FlagControl {
    int id;
    int bit;
};
// Each Ethernet flag and each option flag with its check box; bits not listed are kept as read.
inline constexpr FlagControl kEthernetFlagControls[] = {{1095, 0},  {1096, 1},  {1094, 2},
                                                        {1103, 13}, {1097, 14}, {1104, 15}};
inline constexpr FlagControl kOptionFlagControls[] = {{1090, 0}, {1098, 1},  {1099, 2},  {1100, 4},
                                                      {1101, 5}, {1102, 6},  {1087, 7},  {1089, 8},
                                                      {1105, 9}, {1107, 10}, {1106, 11}, {1108, 12}};

class ControllerConfiguration {
  public:
    ControllerConfiguration(DialogControls& controls, int controllerType, bool expertView);

    // Reads the record from the controller (a failed read shows what arrived) and shows it.
    void open();
    // The record into the controls, with the enable rules of the controller type and the expert view.
    void show();
    // The controls into the record; true when any field or bit changed. Fast power-fail detection
    // clears "ignore I/O input".
    bool collect();
    // The auto-negotiation box was clicked: speed and duplex follow at once.
    void autoNegotiationClicked();
    // OK: collect and, if anything changed since the dialog opened, write the whole record.
    // True when a write was made.
    bool ok();

    const ControllerConfig& record() const { return record_; }
    void setRecord(const ControllerConfig& record) { record_ = record; }

  private:
    DialogControls& d_;
    int controllerType_;
    bool expertView_;
    ControllerConfig record_;
    bool changed_ = false;
};

// The dotted text of an IP address control and back: the first octet is the most significant byte.
std::string ipAddressControlText(uint32_t value);
bool parseIpAddress(const std::string& text, uint32_t& value);

}  // namespace vz
