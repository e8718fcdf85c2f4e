#pragma once
// The services vexa-adbd offers while it has no simulated phone behind it: "shell:getprop [KEY]"
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

// "[key]: [value]" lines, as getprop prints them.
std::string GetpropListing(const PropertyTable& properties);

} // namespace vexa_adbd
