// Qt images over the libjpeg loader.
#include "picture/picture.h"

#include <QFile>

#include "picture/jpeg.h"

namespace picture {

namespace {

QImage ToImage(const Bitmap& bitmap) {
  if (bitmap.Empty()) return QImage();
  const QImage view(bitmap.rgb.data(), bitmap.width, bitmap.height, bitmap.width * 3,
                    QImage::Format_RGB888);
  // The bitmap's bytes go away with it; the copy owns its own.
  return view.convertToFormat(QImage::Format_RGB32);
}

}  // namespace

QImage LoadPictureFile(const std::string& windowsPath, const DecodeLimits& limits) {
  return ToImage(LoadJpegFile(windowsPath, limits));
}

QImage LoadResourcePicture(const QString& resourcePath) {
  QFile file(resourcePath);
  if (!file.open(QIODevice::ReadOnly)) return QImage();
  return DecodePicture(file.readAll());
}

QImage DecodePicture(const QByteArray& bytes) {
  return ToImage(DecodeJpeg(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                            static_cast<std::size_t>(bytes.size())));
}

}  // namespace picture
