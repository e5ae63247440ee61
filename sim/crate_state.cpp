#include "sim/crate_state.h"

#include <array>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <vector>

#include "sim/boot_firmware.h"
#include "sim/controller.h"
#include "sim/module.h"
#include "sim/tms320.h"
#include "sim/virtual_crate.h"

namespace vsim {
namespace {

using json = nlohmann::json;

struct BadState : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Words as fixed-width hexadecimal, digits per word by memory (6 for 24-bit instructions).
std::string hexWords(const uint32_t* words, size_t count, int digits) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(count * static_cast<size_t>(digits));
    for (size_t i = 0; i < count; ++i)
        for (int d = digits - 1; d >= 0; --d) out.push_back(kDigits[(words[i] >> (4 * d)) & 0xF]);
    return out;
}

std::vector<uint32_t> wordsOf(const std::string& hex, int digits, const std::string& what) {
    if (hex.size() % static_cast<size_t>(digits)) throw BadState(what + ": not whole words");
    std::vector<uint32_t> out(hex.size() / static_cast<size_t>(digits), 0);
    for (size_t i = 0; i < hex.size(); ++i) {
        const char c = hex[i];
        const int v = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (v < 0) throw BadState(what + ": not hexadecimal");
        out[i / static_cast<size_t>(digits)] =
            out[i / static_cast<size_t>(digits)] << 4 | static_cast<uint32_t>(v);
    }
    return out;
}

// A memory as runs of words that are not erased; erased gaps shorter than a few words stay inside a
// run, since a run's own overhead would cost more.
json sparse(const std::vector<uint32_t>& words, uint32_t erased, int digits) {
    constexpr size_t kGap = 8;
    json runs = json::array();
    size_t i = 0;
    while (i < words.size()) {
        if (words[i] == erased) {
            ++i;
            continue;
        }
        size_t end = i + 1, gap = 0;
        for (size_t k = i + 1; k < words.size() && gap < kGap; ++k) {
            if (words[k] == erased) {
                ++gap;
            } else {
                gap = 0;
                end = k + 1;
            }
        }
        runs.push_back({{"at", i}, {"words", hexWords(words.data() + i, end - i, digits)}});
        i = end;
    }
    return runs;
}

std::vector<uint32_t> dense(const json& runs, size_t size, uint32_t erased, int digits,
                            const std::string& what) {
    if (!runs.is_array()) throw BadState(what + ": expected a list of runs");
    std::vector<uint32_t> out(size, erased);
    for (const json& r : runs) {
        if (!r.is_object() || !r.contains("at") || !r["at"].is_number_unsigned() || !r.contains("words") ||
            !r["words"].is_string())
            throw BadState(what + ": a run needs \"at\" and \"words\"");
        const size_t at = r["at"].get<size_t>();
        const auto words = wordsOf(r["words"].get<std::string>(), digits, what);
        if (at > size || words.size() > size - at) throw BadState(what + ": a run lies outside the memory");
        std::copy(words.begin(), words.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return out;
}

template <size_t N>
std::array<uint8_t, N> record(const json& j, const char* key, const std::string& what) {
    if (!j.contains(key) || !j[key].is_string()) throw BadState(what + ": missing \"" + key + "\"");
    const auto bytes = wordsOf(j[key].get<std::string>(), 2, what + "." + key);
    if (bytes.size() != N) throw BadState(what + "." + key + ": " + std::to_string(N) + " bytes expected");
    std::array<uint8_t, N> out{};
    for (size_t i = 0; i < N; ++i) out[i] = static_cast<uint8_t>(bytes[i]);
    return out;
}

template <size_t N>
std::string recordHex(const std::array<uint8_t, N>& bytes) {
    const std::vector<uint32_t> words(bytes.begin(), bytes.end());
    return hexWords(words.data(), words.size(), 2);
}

template <typename T>
std::vector<uint32_t> widened(const std::vector<T>& v) {
    return {v.begin(), v.end()};
}

json moduleState(const Module& m) {
    const BootFirmware::Persistent p = m.bootFirmware().persistent();
    json parameters = json::object();
    for (const auto& [nr, value] : p.parameters) parameters[std::to_string(nr)] = value;
    return {{"channel", m.channel()},
            {"firmware", recordHex(m.firmware())},
            {"system", recordHex(m.system())},
            {"user", recordHex(m.user())},
            {"on", m.outputOn()},
            {"runs", p.bootLoaderRuns ? "boot loader" : "application"},
            {"programMemory", sparse(p.programMemory, 0xFFFFFF, 6)},
            {"eeprom", sparse(widened(p.eeprom), 0xFFFF, 4)},
            {"configuration", sparse(widened(p.config), 0xFFFF, 4)},
            {"parameters", parameters}};
}

// A module's saved state, read completely before anything is changed.
struct ModuleState {
    Module* module;
    int channel;
    std::array<uint8_t, 20> firmware;
    std::array<uint8_t, 64> system;
    std::array<uint8_t, 64> user;
    bool on;
    BootFirmware::Persistent processor;
};

template <typename T>
std::vector<T> narrowed(const std::vector<uint32_t>& v) {
    std::vector<T> out;
    out.reserve(v.size());
    for (uint32_t w : v) out.push_back(static_cast<T>(w));
    return out;
}

// Modules are saved in the controller's order, which an assigned channel does not change.
ModuleState readModule(Controller& controller, size_t index, const json& j, const std::string& what) {
    if (!j.is_object() || !j.contains("channel") || !j["channel"].is_number_integer())
        throw BadState(what + ": missing \"channel\"");
    ModuleState s{};
    s.module = controller.module(controller.modules().at(index)->channel());
    s.channel = j["channel"].get<int>();
    if (s.channel < 0 || s.channel > 126) throw BadState(what + ".channel: 0 to 126");
    s.firmware = record<20>(j, "firmware", what);
    s.system = record<64>(j, "system", what);
    s.user = record<64>(j, "user", what);
    s.on = j.value("on", false);
    const std::string runs = j.value("runs", std::string());
    if (runs != "boot loader" && runs != "application")
        throw BadState(what + ".runs: boot loader or application");
    const BootFirmware::Persistent pristine = s.module->bootFirmware().persistent();
    s.processor.programMemory = dense(j.value("programMemory", json()), pristine.programMemory.size(),
                                      0xFFFFFF, 6, what + ".programMemory");
    s.processor.eeprom = narrowed<uint16_t>(
        dense(j.value("eeprom", json()), pristine.eeprom.size(), 0xFFFF, 4, what + ".eeprom"));
    s.processor.config = narrowed<uint16_t>(
        dense(j.value("configuration", json()), pristine.config.size(), 0xFFFF, 4, what + ".configuration"));
    const json parameters = j.value("parameters", json::object());
    if (!parameters.is_object()) throw BadState(what + ".parameters: expected an object");
    for (auto it = parameters.begin(); it != parameters.end(); ++it) {
        if (!it.value().is_number_unsigned()) throw BadState(what + ".parameters: expected numbers");
        s.processor.parameters[std::stoi(it.key())] = it.value().get<uint32_t>();
    }
    s.processor.bootLoaderRuns = runs == "boot loader";
    return s;
}

}  // namespace

std::string crateStateJson(VirtualCrate& crate) {
    json bridges = json::array();
    for (int b = 0; b < crate.configuredBridgeCount(); ++b) {
        Controller& controller = crate.controller(b);
        Tms320Flash& flash = crate.dsp(b).flash();
        std::vector<uint32_t> words(Tms320Flash::kWords);
        for (uint32_t i = 0; i < Tms320Flash::kWords; ++i) words[i] = flash.read(Tms320Flash::kBase + i);
        json modules = json::array();
        for (const Module* m : controller.modules()) modules.push_back(moduleState(*m));
        bridges.push_back({{"serial", crate.configuredSerial(b)},
                           {"controllerConfig", recordHex(controller.configRecord())},
                           {"flash", sparse(words, 0xFFFF, 4)},
                           {"modules", modules}});
    }
    const json state = {{"format", kCrateStateFormat},
                        {"version", kCrateStateVersion},
                        {"crate", crate.fingerprint()},
                        {"bridges", bridges}};
    return state.dump(1) + "\n";
}

bool applyCrateState(VirtualCrate& crate, const std::string& text, std::string& error) {
    try {
        const json state = json::parse(text);
        if (!state.is_object() || state.value("format", std::string()) != kCrateStateFormat) {
            error = "not a virtual crate state";
            return false;
        }
        if (!state.contains("version") || !state["version"].is_number_integer() ||
            state["version"].get<int>() != kCrateStateVersion) {
            error = "a state of another version (" +
                    (state.contains("version") ? state["version"].dump() : "none") +
                    "; this program reads version " + std::to_string(kCrateStateVersion) + ")";
            return false;
        }
        if (state.value("crate", std::string()) != crate.fingerprint()) {
            error = "the state of another crate (its scenario names other bridges, modules or processors)";
            return false;
        }
        const json& bridges = state.at("bridges");
        if (!bridges.is_array() || static_cast<int>(bridges.size()) != crate.configuredBridgeCount())
            throw BadState("bridges: one entry per bridge expected");
        struct BridgeState {
            std::array<uint8_t, 60> config;
            std::vector<uint32_t> flash;
            std::vector<ModuleState> modules;
        };
        std::vector<BridgeState> read;
        for (size_t b = 0; b < bridges.size(); ++b) {
            const json& j = bridges[b];
            const std::string what = "bridges[" + std::to_string(b) + "]";
            if (!j.is_object() ||
                j.value("serial", std::string()) != crate.configuredSerial(static_cast<int>(b)))
                throw BadState(what + ": another bridge");
            Controller& controller = crate.controller(static_cast<int>(b));
            BridgeState s;
            s.config = record<60>(j, "controllerConfig", what);
            s.flash = dense(j.value("flash", json()), Tms320Flash::kWords, 0xFFFF, 4, what + ".flash");
            const json& modules = j.at("modules");
            if (!modules.is_array() || modules.size() != controller.modules().size())
                throw BadState(what + ".modules: one entry per module expected");
            for (size_t m = 0; m < modules.size(); ++m)
                s.modules.push_back(
                    readModule(controller, m, modules[m], what + ".modules[" + std::to_string(m) + "]"));
            read.push_back(std::move(s));
        }
        const bool keepOn = crate.keepsOutputsOn();
        for (size_t b = 0; b < read.size(); ++b) {
            const BridgeState& s = read[b];
            crate.controller(static_cast<int>(b)).configRecord() = s.config;
            Tms320& dsp = crate.dsp(static_cast<int>(b));
            dsp.flash().erase(0x3FF);
            for (uint32_t i = 0; i < Tms320Flash::kWords; ++i)
                if (s.flash[i] != 0xFFFF)
                    dsp.flash().set(Tms320Flash::kBase + i, static_cast<uint16_t>(s.flash[i]));
            dsp.powerOn();
            for (const ModuleState& m : s.modules) {
                m.module->setChannel(m.channel);
                m.module->restoreRecords(m.firmware, m.system, m.user);
                m.module->bootFirmware().restorePersistent(m.processor);
                m.module->restoreOutput(keepOn && m.on);
            }
        }
        error.clear();
        return true;
    } catch (const json::exception& e) {
        error = std::string("not valid: ") + e.what();
    } catch (const BadState& e) {
        error = std::string("not valid: ") + e.what();
    } catch (const std::exception& e) {
        error = std::string("not valid: ") + e.what();
    }
    return false;
}

}  // namespace vsim
