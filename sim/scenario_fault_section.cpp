// A scenario's fault rules.
#include "sim/record_layout.h"
#include "sim/scenario_sections.h"

namespace vsim::scenario_read {

FaultRule parseFault(const json& j, const std::string& path) {
    allowKeys(j, path,
              {"kind", "channel", "operation", "address", "field", "after", "everyNth", "count",
               "probability", "code", "bytes", "delayMs"});
    FaultRule r;
    if (!j.contains("kind")) fail(path, "missing \"kind\"");
    const auto kind = faultKindFromName(text(j["kind"], join(path, "kind")));
    if (!kind)
        fail(join(path, "kind"),
             "unknown fault kind (noReply, shortReply, corruptCheck, moduleError, refuse, writeFail, slow, "
             "corruptBuffer, moduleSilent, "
             "noSuchObject, noSuchInstance, endOfMibView, wrongRequestId, versionZero, malformedBer, "
             "garbage)");
    r.kind = *kind;
    if (j.contains("channel")) {
        const std::string p = join(path, "channel");
        if (j["channel"].is_string() && j["channel"].get<std::string>() == "controller")
            r.channel = 255;
        else
            r.channel = static_cast<int>(integer(j["channel"], p, 0, 126));
    }
    if (j.contains("operation")) {
        const std::string p = join(path, "operation");
        const auto op = operationFromName(text(j["operation"], p).c_str());
        if (!op)
            fail(p,
                 "unknown operation (readShort, readAddr, writeShort, writeAddr, writeReply, assign, probe)");
        r.operation = op;
    }
    if (j.contains("address") && j.contains("field")) fail(path, "give either \"address\" or \"field\"");
    if (j.contains("address"))
        r.address = static_cast<uint32_t>(integer(j["address"], join(path, "address"), 0, 0x3FFFF));
    if (j.contains("field")) {
        // "user.Unom" or "system.maxUnom": the command address of that parameter.
        const std::string p = join(path, "field");
        const std::string f = text(j["field"], p);
        const size_t dot = f.find('.');
        const std::string block = f.substr(0, dot);
        const std::string name = dot == std::string::npos ? "" : f.substr(dot + 1);
        std::optional<Field> field;
        uint32_t base = 0;
        if (block == "user") {
            field = findField(userFields(), name);
            if (!field) field = findField(userFloatFields(), name);
            base = kUserBase;
        } else if (block == "system") {
            field = name == "exponent" ? findField(systemFields(), "voltageExponent")
                                       : findField(systemFields(), name);
            base = kSystemBase;
        }
        if (!field) fail(p, "unknown parameter \"" + f + "\" (write user.NAME or system.NAME)");
        r.address = kCommandSpace + base + field->offset;
    }
    if (j.contains("after"))
        r.after = static_cast<int>(integer(j["after"], join(path, "after"), 0, 1000000000));
    if (j.contains("everyNth"))
        r.everyNth = static_cast<int>(integer(j["everyNth"], join(path, "everyNth"), 1, 1000000000));
    if (j.contains("count"))
        r.count = static_cast<int>(integer(j["count"], join(path, "count"), 0, 1000000000));
    if (j.contains("probability")) r.probability = number(j["probability"], join(path, "probability"), 0, 1);
    if (j.contains("code")) r.code = static_cast<uint16_t>(integer(j["code"], join(path, "code"), 1, 0xFFFF));
    if (j.contains("bytes")) r.bytes = static_cast<int>(integer(j["bytes"], join(path, "bytes"), 1, 64));
    if (j.contains("delayMs"))
        r.delayMs = static_cast<int>(integer(j["delayMs"], join(path, "delayMs"), 0, 600000));
    return r;
}

}  // namespace vsim::scenario_read
