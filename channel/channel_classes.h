#pragma once
// The channel object: four facets, each a data record with its own read and write accessors, over one
// shared virtual base that knows the module address and scales raw values.
#include <cstdint>

#include "channel/channel_records.h"
#include "link/module_access.h"

namespace vz {

class COMMUNICATE {};

class MODULE : public COMMUNICATE {
  public:
    static constexpr uint16_t kUnassigned = 255;
    static constexpr uint16_t kLastChannel = 126;

    uint16_t moduleAddress = kUnassigned;  // channel number once assigned

    bool hasModuleAddress() const { return moduleAddress <= kLastChannel; }
    uint8_t addressByte() const { return moduleAddressByte(moduleAddress); }
};

class CHANNEL_BASE : public MODULE {
  public:
    // Raw numbers to physical units and back, with the channel's own exponents.
    virtual double voltageFromRaw(int16_t raw) const = 0;
    virtual double currentFromRaw(int16_t raw) const = 0;
    virtual int16_t voltageToRaw(double volts) const = 0;
    virtual int16_t currentToRaw(double amperes) const = 0;

  protected:
    // Channels are never deleted through the base, so no virtual destructor (and no extra slots).
    ~CHANNEL_BASE() = default;
};

class MODULE_MEASURE : public MODULE_MEASURE_DATA, public virtual CHANNEL_BASE {
  protected:
    ~MODULE_MEASURE() = default;
};

class MODULE_USER_CONFIG : public MODULE_USER_CONFIG_DATA, public virtual CHANNEL_BASE {
  public:
    // Whole block from the module, or from the controller cache under -x; 0 or kBlockReadFailed.
    int readFromModule();

    // Each setter sends one parameter and stores it locally only when the module accepted it.
    bool setIdGroup(uint16_t value);
    bool setUnom(int16_t value);
    bool setUgain(float value);  // WDX layout
    bool setInom(int16_t value);
    bool setIgain(float value);  // WDX layout
    bool setRampUp(uint16_t value);
    bool setRampDown(uint16_t value);
    bool setErrorAction(uint16_t value);
    bool setMinUSense(int16_t value);
    bool setMaxUSense(int16_t value);
    bool setMaxUModule(int16_t value);
    bool setMaxCurrent(int16_t value);
    bool setMaxTemperature(int16_t value);
    bool setMaxPower(uint16_t value);
    bool setMaxTimeout(uint16_t value);
    bool setFlags(uint16_t value);
    bool setDelayMinUSense(uint16_t value);
    bool setDelayMaxUSense(uint16_t value);
    bool setDelayMaxUModule(uint16_t value);
    bool setDelayMaxCurrent(uint16_t value);
    bool setDelayMaxTemperature(uint16_t value);
    bool setDelayMaxPower(uint16_t value);

  protected:
    ~MODULE_USER_CONFIG() = default;
};

class MODULE_SYSTEM_CONFIG : public MODULE_SYSTEM_CONFIG_DATA, public virtual CHANNEL_BASE {
  public:
    int readFromModule();

    bool setSerialNumber(uint32_t value);
    bool setFlags(uint32_t value);
    // Low byte voltageExponent, high byte currentExponent.
    bool setExponent(uint16_t pair);
    bool setCalUModGain(uint16_t value);
    bool setCalUModOffset(int16_t value);
    bool setCalIModGain(uint16_t value);
    bool setCalIModOffset(int16_t value);
    bool setCalUSenGain(uint16_t value);
    bool setCalUSenOffset(int16_t value);
    bool setCalUSetGain(uint16_t value);
    bool setCalUSetOffset(int16_t value);
    bool setCalISetGain(uint16_t value);
    bool setCalISetOffset(int16_t value);
    bool setPhase(uint16_t value);
    bool setMaxUnom(int16_t value);
    bool setMaxInom(int16_t value);
    bool setMaxUSense(int16_t value);
    bool setMaxUTerminal(int16_t value);
    bool setMaxCurrent(int16_t value);
    bool setMaxTemperature(int16_t value);
    bool setMaxPower(uint16_t value);
    bool setPwmOffset(int16_t value);
    bool setCalUIntGain(uint16_t value);
    bool setCalUIntOffset(int16_t value);
    bool setPwmMaxOnTime(uint16_t value);
    bool setPwmMinPeriod(uint16_t value);

  protected:
    ~MODULE_SYSTEM_CONFIG() = default;
};

class MODULE_FIRMWARE : public MODULE_FIRMWARE_DATA, public virtual CHANNEL_BASE {
  public:
    // On failure the name becomes "! Read Error !" and the version 0.
    int readFromModule();

  protected:
    ~MODULE_FIRMWARE() = default;
};

enum ModuleKind : uint32_t {
    kKindOther = 0,
    kKindDeviz = 1,
    kKindReruz = 2,
    kKindWdxSlave = 3,
    kKindBolanJova = 4,
};

class QOR final : public MODULE_MEASURE,
                  public MODULE_USER_CONFIG,
                  public MODULE_SYSTEM_CONFIG,
                  public MODULE_FIRMWARE {
  public:
    uint32_t foundSerial = 0;  // 0: no module at this channel
    int32_t rowTop = 0;
    uint32_t cacheWordLow = 0;
    uint32_t cacheWordHigh = 0;
    uint32_t moduleKind = kKindOther;

    bool present() const { return foundSerial != 0; }
    // Kinds whose configuration the program reads and edits.
    bool configurable() const { return moduleKind >= kKindDeviz && moduleKind <= kKindWdxSlave; }

    double voltageFromRaw(int16_t raw) const override;
    double currentFromRaw(int16_t raw) const override;
    int16_t voltageToRaw(double volts) const override;
    int16_t currentToRaw(double amperes) const override;

    // The facets share field and setter names (flags, maxPower, ...); these name the one meant.
    MODULE_MEASURE& measure() { return *this; }
    MODULE_USER_CONFIG& user() { return *this; }
    MODULE_SYSTEM_CONFIG& system() { return *this; }
    MODULE_FIRMWARE& firmware() { return *this; }
    const MODULE_MEASURE& measure() const { return *this; }
    const MODULE_USER_CONFIG& user() const { return *this; }
    const MODULE_SYSTEM_CONFIG& system() const { return *this; }
    const MODULE_FIRMWARE& firmware() const { return *this; }
};

}  // namespace vz
