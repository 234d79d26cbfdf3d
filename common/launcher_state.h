// The one process-wide record of start-up values. It is written on the main
// thread before any other thread exists and only read afterwards, so it needs
// no lock.
#pragma once

#include <cstdint>
#include <string>

struct LauncherState {
  // Start-up
  std::string payloadMarker;  // the real payload marker, made at start
  std::string buildInfoText;  // the real build-information text, made at start
  std::string modulePath;     // full path of the launcher's own file
  std::string appDirectory;   // directory of modulePath, always ending in '\'
  // Read from the payload header block
  std::int32_t buildIdentifier = 0;
  // Required product strings of the partner properties
  std::string prodName;
  std::string offering;
  std::string displayName;
  std::string registryKey;
};

LauncherState& GetLauncherState();
