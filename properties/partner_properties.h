// The partner properties: the launcher's signed configuration document,
// loaded once at start-up into the process-wide store, and the lookups
// through which the rest of the launcher reads it.
#pragma once

#include <string>

// The string value stored under exactly `name` (byte for byte, case and
// length included) in the partner properties store, or `defaultValue` when it
// holds no string of that name. Shows nothing.
std::string GetPartnerString(const std::string& name, const std::string& defaultValue);
