#include "link/snmp_transport.h"

#include "app/core/connection.h"
#include "link/snmp_client.h"
#include "link/snmp_operations.h"

namespace vz {

void installSnmpTransport() {
    snmpProber = snmpProbe;
    bindSnmpOperations = bindSnmpVariants;
}

}  // namespace vz
