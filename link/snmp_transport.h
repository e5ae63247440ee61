#pragma once
// Hands the SNMP probe and the SNMP operation binding to the connection sequence.
namespace vz {

// Called once at start-up, before the connection sequence runs.
void installSnmpTransport();

}  // namespace vz
