// Drives and volumes: the system's own drive list, drive types and volume labels.
#include "platform/drives.h"

#include <windows.h>

namespace platform {

DWORD GetLogicalDriveStringsA(DWORD bufferLength, char* buffer) {
  return ::GetLogicalDriveStringsA(bufferLength, buffer);
}

DWORD GetDriveTypeA(const char* rootPath) { return ::GetDriveTypeA(rootPath); }

bool GetVolumeInformationA(const char* rootPath, char* volumeName, DWORD volumeNameSize,
                           DWORD* serialNumber, DWORD* maxComponentLength,
                           DWORD* fileSystemFlags, char* fileSystemName,
                           DWORD fileSystemNameSize) {
  ::DWORD serial = 0, maxComponent = 0, flags = 0;
  if (!::GetVolumeInformationA(rootPath, volumeName, volumeNameSize, &serial, &maxComponent,
                               &flags, fileSystemName, fileSystemNameSize))
    return false;
  if (serialNumber) *serialNumber = serial;
  if (maxComponentLength) *maxComponentLength = maxComponent;
  if (fileSystemFlags) *fileSystemFlags = flags;
  return true;
}

}  // namespace platform
