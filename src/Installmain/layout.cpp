// The launcher's layout rules.
#include "Installmain/layout.h"

#include <cmath>

namespace {

// trunc(factor * extent), the product in double precision.
int Proportion(double factor, int extent) {
  return static_cast<int>(std::trunc(factor * extent));
}

}  // namespace

std::vector<ControlPlacement> ComputeLauncherLayout(const std::map<QString, QSize>& pictureSizes) {
  const auto sizeOf = [&](const char* name) {
    const auto it = pictureSizes.find(QString::fromLatin1(name));
    return it == pictureSizes.end() ? QSize(0, 0) : it->second;
  };
  const QSize back = sizeOf("MainBack");
  const int W = back.width();
  const int H = back.height();

  std::vector<ControlPlacement> placements;
  std::map<QString, QPoint> at;
  const auto place = [&](const char* name, QPoint position, QSize size) {
    placements.push_back({QString::fromLatin1(name), position, size});
    at[QString::fromLatin1(name)] = position;
  };
  const auto placePicture = [&](const char* name, QPoint position) {
    place(name, position, sizeOf(name));
  };
  const auto pos = [&](const char* name) { return at[QString::fromLatin1(name)]; };

  place("MainBack", QPoint(0, 0), back);
  // The left edge of the TTC hot-spot goes through single precision before it is cut.
  const float fi1Left = static_cast<float>(0.3 * W);
  placePicture("FI1", QPoint(static_cast<int>(std::trunc(fi1Left)),
                             static_cast<int>(std::trunc(0.44 * H - 5))));
  placePicture("FI2", pos("FI1"));
  placePicture("PI21", pos("FI1") + QPoint(20, sizeOf("FI1").height() + 10));
  placePicture("PI22", pos("PI21"));
  placePicture("PI31", pos("PI21") + QPoint(20, sizeOf("PI21").height() + 10));
  placePicture("PI32", pos("PI31"));
  placePicture("im04", QPoint(Proportion(0.31, W), Proportion(0.75, H)));
  placePicture("im041", pos("im04"));
  placePicture("im05", QPoint(pos("im04").x() + sizeOf("im04").width() + 25, pos("im04").y()));
  placePicture("im051", pos("im05"));
  placePicture("im06", QPoint(Proportion(0.76, W), Proportion(0.71, H)));
  placePicture("im061", pos("im06"));
  placePicture("im07", QPoint(Proportion(0.31, W), Proportion(0.805, H)));
  placePicture("im071", pos("im07"));
  placePicture("im08", QPoint(Proportion(0.31, W), Proportion(0.92, H)));
  placePicture("im081", pos("im08"));
  placePicture("im09", QPoint(pos("im08").x() + sizeOf("im08").width() + 20, pos("im08").y()));
  placePicture("im091", pos("im09"));
  placePicture("im10", QPoint(pos("im09").x() + sizeOf("im09").width() + 20, pos("im08").y()));
  placePicture("im101", pos("im10"));
  placePicture("E1", QPoint(pos("im06").x() + sizeOf("im06").width() / 2 - 8, pos("im08").y() - 6));
  place("E2", pos("E1"), sizeOf("E1"));
  return placements;
}
