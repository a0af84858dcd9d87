// Resource names of the embedded artwork.
#include "assets.h"

namespace assets {

QString PicturePath(const QString& controlName) {
  return QStringLiteral(":/assets/") + controlName + QStringLiteral(".jpg");
}

QString IconPath() { return QStringLiteral(":/assets/ZelvaFont.png"); }

}  // namespace assets
