#include "bridge/adb/BridgeChoice.h"

#include "bridge/adb/AdbBridge.h"
#include "bridge/adb/AdbLink.h"
#include "bridge/adb/protocol/AdbHostClient.h"
#include "bridge/sim/SimBridge.h"

#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"

#include <QStringList>

namespace vexa {

BridgeBackendKind InstallBridgeBackend(const QString& choice) {
    const QString wanted = choice.isEmpty() ? PCL_GetBridgeBackend() : choice;
    const std::uint16_t port = adb::CAdbHostClient::DefaultPort();
    bool useAdb = wanted == QLatin1String("adb");
    if (wanted == QLatin1String("auto")) {
        QStringList serials;
        useAdb = adbphone::ListReadySerials(port, serials) && !serials.isEmpty();
    }
    if (useAdb) {
        LOG_Info("[Bridge] real phones through the adb server on port %u. %s:%d", port, LOG_HERE);
        adbphone::UseRealPhones(port);
        return BridgeBackendKind::Adb;
    }
    sim::UseSimulatedPhones();
    return BridgeBackendKind::Simulated;
}

} // namespace vexa
