#include "sim/snmp_message.h"

#include "sim/ber.h"

namespace vsim {
namespace {

constexpr uint8_t kSequence = 0x30;

bool validOid(const BerElement& e) {
    // Each sub-identifier ends with a byte below 0x80 and has no leading 0x80 padding.
    if (e.length == 0 || (e.data[e.length - 1] & 0x80)) return false;
    bool startOfSubId = true;
    for (size_t i = 0; i < e.length; ++i) {
        if (startOfSubId && e.data[i] == 0x80) return false;
        startOfSubId = !(e.data[i] & 0x80);
    }
    return true;
}

std::optional<VarBind> decodeBinding(const BerElement& element) {
    BerReader r(element);
    const auto name = r.next(kTagOid);
    const auto value = r.next();
    if (!name || !value || !r.atEnd() || !validOid(*name)) return std::nullopt;
    if (value->tag == kSequence || value->tag == (kSequence | 0x80)) return std::nullopt;
    VarBind b;
    b.oid.assign(name->data, name->data + name->length);
    b.valueTag = value->tag;
    b.value.assign(value->data, value->data + value->length);
    return b;
}

}  // namespace

std::optional<SnmpMessage> decodeSnmpMessage(const uint8_t* data, size_t size) {
    BerReader top(data, size);
    const auto message = top.next(kSequence);
    if (!message || !top.atEnd()) return std::nullopt;

    BerReader m(*message);
    const auto version = m.next(0x02);
    const auto community = m.next(kTagOctetString);
    const auto pdu = m.next();
    if (!version || !community || !pdu || !m.atEnd()) return std::nullopt;
    if ((pdu->tag & 0xE0) != 0xA0) return std::nullopt;  // PDUs are context-specific constructed

    SnmpMessage out;
    const auto v = berInteger(*version);
    if (!v) return std::nullopt;
    out.version = *v;
    out.community.assign(community->data, community->data + community->length);
    out.pdu = pdu->tag;

    BerReader p(*pdu);
    const auto id = p.next(0x02);
    const auto status = p.next(0x02);
    const auto index = p.next(0x02);
    const auto list = p.next(kSequence);
    if (!id || !status || !index || !list || !p.atEnd()) return std::nullopt;
    const auto idValue = berInteger(*id);
    const auto statusValue = berInteger(*status);
    const auto indexValue = berInteger(*index);
    if (!idValue || !statusValue || !indexValue) return std::nullopt;
    out.requestId = *idValue;
    out.errorStatus = *statusValue;
    out.errorIndex = *indexValue;

    BerReader l(*list);
    while (!l.atEnd()) {
        const auto element = l.next(kSequence);
        if (!element) return std::nullopt;
        auto binding = decodeBinding(*element);
        if (!binding) return std::nullopt;
        out.bindings.push_back(std::move(*binding));
    }
    return out;
}

std::vector<uint8_t> encodeSnmpMessage(const SnmpMessage& m) {
    std::vector<uint8_t> list;
    for (const VarBind& b : m.bindings) {
        std::vector<uint8_t> binding = berElement(kTagOid, b.oid);
        const auto value = berElement(b.valueTag, b.value);
        binding.insert(binding.end(), value.begin(), value.end());
        const auto wrapped = berElement(kSequence, binding);
        list.insert(list.end(), wrapped.begin(), wrapped.end());
    }
    std::vector<uint8_t> pdu = berIntegerElement(m.requestId);
    for (const auto& part :
         {berIntegerElement(m.errorStatus), berIntegerElement(m.errorIndex), berElement(kSequence, list)})
        pdu.insert(pdu.end(), part.begin(), part.end());

    std::vector<uint8_t> message = berIntegerElement(m.version);
    for (const auto& part : {berElement(kTagOctetString, m.community), berElement(m.pdu, pdu)})
        message.insert(message.end(), part.begin(), part.end());
    return berElement(kSequence, message);
}

}  // namespace vsim
