// The crate behind the port name SIM: a KRAT controller with a mix of modules that shows every
// kind of channel line, a current-limited output and an active supervision failure.
#include "sim/scenario.h"

namespace vsim {

const char* defaultScenarioJson() {
    return R"json({
  "seed": 1,
  "controller": {
    "type": 18, "snmp": true, "cacheChannels": "none", "canTimeoutMs": 20, "lineRate": true,
    "config": { "ip": "192.168.1.50", "subnetMask": "255.255.255.0", "gateway": "192.168.1.1",
                "mac": "00:50:C2:5A:10:01", "httpPort": 80, "snmpPort": 161, "ethernetFlags": 7 }
  },
  "bridges": [
    { "serial": "VZ0001", "description": "KRAT crate controller (virtual)", "vid": "1A2B", "pid": "0012" }
  ],
  "modules": [
    { "channel": 0, "serialNumber": 10001, "firmware": { "name": "DEVIZ 5V20A", "version": "2.1.0.7" },
      "system": { "voltageExponent": -12, "currentExponent": -10, "maxUnom": "6 V", "maxInom": "20 A",
                  "maxUSense": "7 V", "maxUTerminal": "7.5 V", "maxCurrent": "22 A", "maxTemperature": 90,
                  "maxPower": 150 },
      "user": { "idGroup": 1, "Unom": "5 V", "Inom": "20 A", "rampUp": 5, "rampDown": 10,
                "minUSense": "4.5 V", "maxUSense": "5.5 V", "maxTemperature": 80 } },
    { "channel": 1, "serialNumber": 10002, "firmware": { "name": "DEVIZ 12V10A", "version": "2.1.0.7" },
      "system": { "voltageExponent": -11, "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A",
                  "maxUSense": "15.5 V", "maxUTerminal": "15.9 V", "maxCurrent": "11 A", "maxPower": 150 },
      "user": { "idGroup": 1, "Unom": "12 V", "Inom": "10 A", "rampUp": 20, "rampDown": 20 },
      "on": true },
    { "channel": 2, "serialNumber": 10003, "firmware": { "name": "RERUZ 48V2A", "version": "1.4.2.0" },
      "system": { "voltageExponent": -9, "currentExponent": -13, "maxUnom": "50 V", "maxInom": "2 A",
                  "maxUSense": "55 V", "maxUTerminal": "60 V", "maxCurrent": "2.2 A", "maxPower": 110 },
      "user": { "idGroup": 2, "Unom": "48 V", "Inom": "2 A", "rampUp": 10, "rampDown": 50 } },
    { "channel": 3, "serialNumber": 10004, "firmware": { "name": "RERUZ 12V10A", "version": "1.4.2.0" },
      "system": { "voltageExponent": -11, "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A" },
      "user": { "idGroup": 2, "Unom": "12 V", "Inom": "8 A", "rampUp": 20, "rampDown": 20,
                "flags": ["switchOffNoRamp"] },
      "analogError": { "uSense": { "gain": 1.02, "offset": "30 mV" }, "uTerminal": { "gain": 1.02, "offset": "30 mV" },
                       "current": { "gain": 0.985, "offset": "-20 mA" }, "uSet": { "gain": 0.99, "offset": "15 mV" } } },
    { "channel": 4, "serialNumber": 10005, "firmware": { "name": "DEVIZ 5V20A", "version": "2.1.0.7" },
      "system": { "voltageExponent": -12, "currentExponent": -10, "maxUnom": "6 V", "maxInom": "20 A",
                  "flags": ["isSlave"] },
      "user": { "idGroup": 1, "Unom": "5 V", "Inom": "20 A" } },
    { "channel": 5, "serialNumber": 10006, "firmware": { "name": "BOLAN JOVA", "version": "1.0.0.3" },
      "temperatures": [21, 22, 24, 23, 25, 22, 21, 20] },
    { "channel": 6, "serialNumber": 10007, "firmware": { "name": "DEVIZ 12V10A", "version": "2.0.9.1" },
      "system": { "voltageExponent": -11, "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A" },
      "user": { "idGroup": 2, "Unom": "12 V", "Inom": "10 A", "maxTemperature": 70,
                "SupervisionDelays.maxTemperature": 500 },
      "ambientC": 78 },
    { "channel": 7, "serialNumber": 10008, "firmware": { "name": "RERUZ 48V2A", "version": "1.4.2.0" },
      "system": { "voltageExponent": -9, "currentExponent": -13, "maxUnom": "50 V", "maxInom": "2 A" },
      "user": { "idGroup": 2, "Unom": "48 V", "Inom": "1.5 A", "rampUp": 25, "rampDown": 25 } }
  ],
  "loads": [
    { "channel": 0, "ohms": 0.5 },
    { "channel": 1, "ohms": 2.4 },
    { "channel": 2, "ohms": 48 },
    { "channel": 3, "ohms": 3 },
    { "channel": 7, "ohms": 10 }
  ]
})json";
}

}  // namespace vsim
