#pragma once
// What the api test suite needs of a backend: fresh phones and a bridge over them. The same suite
// runs against every backend; each backend test program instantiates it with its own factory.

#include "bridge/api/DeviceBridge.h"

#include <QString>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

struct TestPhoneIdentity {
    QString serial;
    QString model = QStringLiteral("V960");
    QString brand = QStringLiteral("vexa");
    bool dualSim = true;
    bool sdCard = true;
};

class BridgeBackend {
public:
    virtual ~BridgeBackend() = default;
    // Makes an attached phone with empty stores.
    virtual bool CreatePhone(const TestPhoneIdentity& identity) = 0;
    virtual bool SetAttached(const QString& serial, bool attached) = 0;
    virtual std::unique_ptr<vexa::DeviceBridge> MakeBridge() = 0;
};

struct BackendFactory {
    std::string name;
    std::function<std::unique_ptr<BridgeBackend>()> make;
};

inline void PrintTo(const BackendFactory& factory, std::ostream* out) {
    *out << factory.name;
}

// The simulated backend, over a temporary simulator folder that lives as long as the backend.
std::unique_ptr<BridgeBackend> MakeSimBackend();
