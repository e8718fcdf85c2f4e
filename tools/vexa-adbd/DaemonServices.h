#pragma once
// The services vexa-adbd offers without a simulated phone behind it: "shell:getprop [KEY]"
// from the property table and "shell:echo ARGS". Anything else is refused, so the server reports
// the stream closed.

#include "bridge/adb/protocol/AdbDeviceTransport.h"

#include <map>
#include <memory>
#include <string>

namespace vexa_adbd {

using PropertyTable = std::map<std::string, std::string>;

// nullptr for a service not offered.
std::unique_ptr<adb::IAdbService> MakeService(const PropertyTable& properties, const std::string& name);

class CPhoneDevice;
// The services of a simulated phone file: "shell:CMD", "exec:CMD" and "sync:". nullptr for others.
std::unique_ptr<adb::IAdbService> MakePhoneService(CPhoneDevice& phone, const std::string& name);

// "[key]: [value]" lines, as getprop prints them.
std::string GetpropListing(const PropertyTable& properties);

} // namespace vexa_adbd
