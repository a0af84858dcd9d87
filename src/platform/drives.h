#pragma once
// Drives and volumes: C: is the prefix's drive_c; declared drives come from the prefix; mounted
// ISO 9660 and UDF file systems (optical drives, mounted disc images) get letters from D: on.

#include "platform/prefix.h"
#include "platform/types.h"

namespace platform {

// Writes "C:\<NUL>D:\<NUL>...<NUL>" into buffer. Returns the length written without the final
// NUL; when the list does not fit in bufferLength characters, writes nothing and returns the
// length needed (including the final NUL); 0 on failure.
DWORD GetLogicalDriveStringsA(DWORD bufferLength, char* buffer);

// The type of the drive whose root is rootPath ("D:\"): DRIVE_CDROM, DRIVE_FIXED, ...;
// DRIVE_NO_ROOT_DIR for a letter that is no drive.
DWORD GetDriveTypeA(const char* rootPath);

// The volume label (ANSI) and file-system name of a drive. Returns false (ERROR_NOT_READY)
// for a drive without a medium. Any out-parameter may be null.
bool GetVolumeInformationA(const char* rootPath, char* volumeName, DWORD volumeNameSize,
                           DWORD* serialNumber, DWORD* maxComponentLength,
                           DWORD* fileSystemFlags, char* fileSystemName,
                           DWORD fileSystemNameSize);

}  // namespace platform
