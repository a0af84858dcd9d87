#pragma once
// The launcher's layout: where each picture control sits, worked out from the sizes of the
// pictures, so that a background of another size moves the hot-spots with it.

#include <QPoint>
#include <QSize>
#include <QString>
#include <map>
#include <vector>

struct ControlPlacement {
  QString name;
  QPoint position;  // left and top edge in client coordinates
  QSize size;
};

// Placements of MainBack and the hot-spot pictures in layout order, from the picture sizes by
// control name (a missing name counts as an empty picture). Every control takes the size of its
// picture, except E2, which takes E1's.
std::vector<ControlPlacement> ComputeLauncherLayout(const std::map<QString, QSize>& pictureSizes);
