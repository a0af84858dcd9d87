#pragma once
// Pictures for the windows: JPEG files and embedded artwork decoded with the project's libjpeg
// loader into Qt images.

#include <QImage>
#include <QString>
#include <string>

#include "picture/jpeg.h"

namespace picture {

// The JPEG file named by a Windows path; a null image when missing, undecodable or over limits.
QImage LoadPictureFile(const std::string& windowsPath, const DecodeLimits& limits = kWholePicture);
// An embedded picture (a Qt resource path such as ":/assets/MainBack.jpg"); null on failure.
QImage LoadResourcePicture(const QString& resourcePath);
// JPEG bytes in memory.
QImage DecodePicture(const QByteArray& bytes);

}  // namespace picture
