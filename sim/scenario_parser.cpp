// Reading scenario files: the crate, its bridges and where each takes its modules from; the sections
// and values are read by the files named in scenario_sections.h and scenario_values.h.
#include <set>
#include <string>

#include "sim/byte_order.h"
#include "sim/scenario.h"
#include "sim/scenario_sections.h"
#include "sim/scenario_text_shape.h"

namespace vsim {
namespace {

using namespace scenario_read;

// The modules and loads of an object, in the record layout of the crate's controller.
void parseModulesAndLoads(const json& j, const std::string& path, CrateDef& crate) {
    if (j.contains("modules")) {
        crate.modules.clear();
        const std::string p = join(path, "modules");
        const json& a = arrayAt(j["modules"], p);
        std::set<int> channels;
        std::set<uint32_t> serials;
        for (size_t i = 0; i < a.size(); ++i) {
            ModuleDef m = parseModule(a[i], join(p, i), crate.controller.type);
            if (!channels.insert(m.channel).second)
                fail(join(p, i), "channel " + std::to_string(m.channel) + " used twice");
            if (!serials.insert(getU32(m.system.data())).second) fail(join(p, i), "serial number used twice");
            crate.modules.push_back(std::move(m));
        }
    }
    if (j.contains("loads")) {
        const std::string p = join(path, "loads");
        const json& a = arrayAt(j["loads"], p);
        for (size_t i = 0; i < a.size(); ++i) {
            const std::string q = join(p, i);
            allowKeys(a[i], q, {"channel", "ohms", "switchOhms", "switchPeriodMs"});
            if (!a[i].contains("channel") || !a[i].contains("ohms"))
                fail(q, "needs \"channel\" and \"ohms\"");
            const int ch = static_cast<int>(integer(a[i]["channel"], join(q, "channel"), 0, 126));
            const double ohms = number(a[i]["ohms"], join(q, "ohms"), 1e-6, 1e9);
            // A switching load: the second resistance and the period it alternates with.
            if (a[i].contains("switchOhms") != a[i].contains("switchPeriodMs"))
                fail(q, "a switching load needs both \"switchOhms\" and \"switchPeriodMs\"");
            double switchOhms = 0;
            int64_t periodUs = 0;
            if (a[i].contains("switchOhms")) {
                switchOhms = number(a[i]["switchOhms"], join(q, "switchOhms"), 1e-6, 1e9);
                periodUs = static_cast<int64_t>(std::llround(
                    1000 * number(a[i]["switchPeriodMs"], join(q, "switchPeriodMs"), 0.01, 1e6)));
            }
            bool found = false;
            for (ModuleDef& m : crate.modules)
                if (m.channel == ch) {
                    m.loadOhms = ohms;
                    m.switchOhms = switchOhms;
                    m.switchPeriodUs = periodUs;
                    found = true;
                }
            if (!found) fail(join(q, "channel"), "no module at channel " + std::to_string(ch));
        }
    }
}

// The crate parts of an object besides its modules and loads: controller, faults, seed.
void parseCrateSettings(const json& j, const std::string& path, CrateDef& crate) {
    if (j.contains("seed"))
        crate.seed = static_cast<uint32_t>(integer(j["seed"], join(path, "seed"), 0, 0xFFFFFFFF));
    if (j.contains("controller"))
        crate.controller = parseController(j["controller"], join(path, "controller"));
    if (j.contains("faults")) {
        crate.faults.clear();
        const std::string p = join(path, "faults");
        const json& a = arrayAt(j["faults"], p);
        // Every exchange walks the rules: their number bounds the cost of each one.
        if (a.size() > kMaxFaultRules) fail(p, "at most " + std::to_string(kMaxFaultRules) + " fault rules");
        for (size_t i = 0; i < a.size(); ++i) crate.faults.push_back(parseFault(a[i], join(p, i)));
    }
}

// A bridge that does not name its own modules takes the shared ones, read in the record layout of
// its own controller (a WDX keeps other fields than a KRAT).
BridgeDef parseBridge(const json& j, const std::string& path, const CrateDef& shared, const json& root,
                      bool& tookSharedModules) {
    allowKeys(j, path,
              {"serial", "description", "vid", "pid", "busy", "plugged", "seed", "controller", "modules",
               "loads", "faults"});
    BridgeDef b;
    b.crate = shared;
    if (!j.contains("serial")) fail(path, "missing \"serial\"");
    b.info.serial = text(j["serial"], join(path, "serial"));
    if (b.info.serial.empty() || b.info.serial.size() > 255)
        fail(join(path, "serial"), "must be 1 to 255 characters");
    if (j.contains("description")) b.info.description = text(j["description"], join(path, "description"));
    b.info.vid = j.contains("vid") ? hexId(j["vid"], join(path, "vid")) : "1A2B";
    b.info.pid = j.contains("pid") ? hexId(j["pid"], join(path, "pid")) : "0012";
    if (j.contains("busy")) b.info.busy = boolean(j["busy"], join(path, "busy"));
    if (j.contains("plugged")) b.plugged = boolean(j["plugged"], join(path, "plugged"));
    // A bridge that names its own modules or loads starts from its own module list.
    if (j.contains("loads") && !j.contains("modules"))
        fail(join(path, "loads"), "give \"modules\" beside \"loads\"");
    parseCrateSettings(j, path, b.crate);
    if (j.contains("modules")) {
        parseModulesAndLoads(j, path, b.crate);
    } else {
        parseModulesAndLoads(root, "$", b.crate);
        tookSharedModules = true;
    }
    return b;
}

}  // namespace

std::optional<Scenario> parseScenario(const std::string& jsonText, std::string& error) {
    if (auto shape = shapeError(jsonText)) {
        error = *shape;
        return std::nullopt;
    }
    JsonPathTracker where;
    try {
        const json root = json::parse(jsonText, [&where](int depth, json::parse_event_t event, json& parsed) {
            return where(depth, event, parsed);
        });
        allowKeys(root, "$",
                  {"seed", "controller", "modules", "loads", "faults", "bridges", "comment", "stateFile",
                   "keepOutputsOn"});
        CrateDef shared;
        parseCrateSettings(root, "$", shared);
        if (!root.contains("bridges")) fail("$", "missing \"bridges\"");
        const json& a = arrayAt(root["bridges"], "$.bridges");
        if (a.empty()) fail("$.bridges", "at least one bridge is needed");
        Scenario s;
        std::set<std::string> serials;
        bool sharedModulesRead = false;
        for (size_t i = 0; i < a.size(); ++i) {
            BridgeDef b =
                parseBridge(a[i], join(std::string("$.bridges"), i), shared, root, sharedModulesRead);
            if (!serials.insert(b.info.serial).second)
                fail(join(std::string("$.bridges"), i), "serial used twice");
            s.bridges.push_back(std::move(b));
        }
        // Shared modules no bridge takes are still checked, so that no error in them goes unseen.
        if (!sharedModulesRead) parseModulesAndLoads(root, "$", shared);
        if (root.contains("stateFile")) {
            if (!root["stateFile"].is_string() || root["stateFile"].get<std::string>().empty())
                fail("$.stateFile", "expected a file name");
            s.stateFile = root["stateFile"].get<std::string>();
        }
        if (root.contains("keepOutputsOn")) {
            if (!root["keepOutputsOn"].is_boolean()) fail("$.keepOutputsOn", "expected true or false");
            s.keepOutputsOn = root["keepOutputsOn"].get<bool>();
        }
        return s;
    } catch (const json::parse_error& e) {
        error = std::string("not valid JSON: ") + e.what();
    } catch (const json::out_of_range& e) {
        // 406: a number too large for a double, met while reading the text.
        const std::string what = e.what();
        const size_t text = what.find("] ");
        error = e.id == 406 ? where.path() + ": " + (text == std::string::npos ? what : what.substr(text + 2))
                            : std::string("scenario: ") + what;
    } catch (const ParseError& e) {
        error = e.what();
    } catch (const json::exception& e) {
        error = std::string("scenario: ") + e.what();
    }
    return std::nullopt;
}

}  // namespace vsim
