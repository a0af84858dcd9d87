#pragma once
// The embedded artwork: the resource names of the launcher's and the font window's pictures.

#include <QString>

namespace assets {

// ":/assets/<name>.jpg" for a picture control name ("MainBack", "FI1", "InstallBack", "Mark").
QString PicturePath(const QString& controlName);

// ":/assets/ZelvaFont.png", the program's window icon.
QString IconPath();

}  // namespace assets
