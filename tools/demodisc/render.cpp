// The demo disc's pictures: font samples, the installed mark and the gift pictures, drawn with
// QPainter and written as JPEG with the project's encoder.
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <fstream>
#include <random>
#include <stdexcept>

#include "demodisc.h"
#include "picture/jpeg.h"

namespace fs = std::filesystem;

namespace demodisc {
namespace {

constexpr int kSampleWidth = 340;
constexpr int kSampleHeight = 64;
constexpr int kMarkSize = 40;

void WriteJpeg(const QImage& image, const fs::path& out, int quality = 90) {
  QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  picture::Bitmap bitmap;
  bitmap.width = rgb.width();
  bitmap.height = rgb.height();
  bitmap.rgb.resize(static_cast<size_t>(bitmap.width) * bitmap.height * 3);
  for (int y = 0; y < rgb.height(); ++y) {
    const uchar* row = rgb.constScanLine(y);
    std::copy(row, row + bitmap.width * 3,
              bitmap.rgb.begin() + static_cast<size_t>(y) * bitmap.width * 3);
  }
  std::vector<std::uint8_t> bytes;
  if (!picture::EncodeJpeg(bitmap, quality, bytes))
    throw std::runtime_error("cannot encode " + out.string());
  fs::create_directories(out.parent_path());
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  if (!file.flush()) throw std::runtime_error("cannot write " + out.string());
}

// The application font of a file, loaded once per file.
QStringList FamiliesOf(const fs::path& path) {
  static std::map<std::string, QStringList> loaded;
  auto it = loaded.find(path.string());
  if (it != loaded.end()) return it->second;
  int id = QFontDatabase::addApplicationFont(QString::fromStdString(path.string()));
  QStringList families = id >= 0 ? QFontDatabase::applicationFontFamilies(id) : QStringList();
  loaded[path.string()] = families;
  return families;
}

QFont LabelFont(int pixelSize) {
  QFont font("DejaVu Sans");
  font.setPixelSize(pixelSize);
  return font;
}

}  // namespace

void RenderSample(const FontPlan& font, const FoundFont& file, const fs::path& out) {
  QStringList families = FamiliesOf(file.path);
  QString family = QString::fromStdString(font.family);
  if (!families.contains(family) && !families.isEmpty()) family = families.first();
  QFont face = QFontDatabase::font(family, QString::fromStdString(font.style), 18);
  face.setPixelSize(font.sample == SampleKind::Chinese ? 26 : 24);
  face.setStyleStrategy(QFont::NoFontMerging);  // show this font's own glyphs, nothing borrowed

  QImage image(kSampleWidth, kSampleHeight, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const int left = kMarkSize + 8;  // the installed mark covers the top-left corner
  painter.setFont(LabelFont(12));
  painter.setPen(QColor(0x55, 0x55, 0x66));
  QString label = QString::fromStdString(font.english);
  if (font.chinese != font.english)
    label += QStringLiteral("  ") + QString::fromStdString(font.chinese);
  painter.drawText(
      QRect(left, 3, kSampleWidth - left - 4, 16), Qt::AlignLeft | Qt::AlignVCenter,
      QFontMetrics(LabelFont(12)).elidedText(label, Qt::ElideRight, kSampleWidth - left - 4));
  painter.setFont(face);
  painter.setPen(QColor(0x10, 0x10, 0x20));
  QString line = QFontMetrics(face).elidedText(QString::fromStdString(font.sampleText),
                                               Qt::ElideRight, kSampleWidth - left - 6);
  painter.drawText(QRect(left, 20, kSampleWidth - left - 4, kSampleHeight - 22),
                   Qt::AlignLeft | Qt::AlignVCenter, line);
  painter.setPen(QColor(0xDD, 0xDD, 0xE4));
  painter.drawLine(0, kSampleHeight - 1, kSampleWidth, kSampleHeight - 1);
  painter.end();
  WriteJpeg(image, out);
}

void RenderInstalledMark(const fs::path& out) {
  QImage image(kMarkSize, kMarkSize, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QRadialGradient glow(QPointF(16, 14), 22);
  glow.setColorAt(0, QColor(0x4c, 0xc2, 0x5e));
  glow.setColorAt(1, QColor(0x1e, 0x8a, 0x34));
  painter.setPen(QPen(QColor(0x16, 0x6b, 0x28), 1.5));
  painter.setBrush(glow);
  painter.drawEllipse(QRectF(3, 3, kMarkSize - 6, kMarkSize - 6));
  QPainterPath tick;
  tick.moveTo(11, 21);
  tick.lineTo(17.5, 27.5);
  tick.lineTo(29.5, 13);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::white, 4.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(tick);
  painter.end();
  WriteJpeg(image, out, 95);
}

namespace {

constexpr int kGiftWidth = 800;
constexpr int kGiftHeight = 600;

void DrawOrchid(QPainter& p, std::mt19937& random) {
  QLinearGradient sky(0, 0, 0, kGiftHeight);
  sky.setColorAt(0, QColor(0xf7, 0xf1, 0xe8));
  sky.setColorAt(1, QColor(0xe9, 0xdc, 0xc9));
  p.fillRect(0, 0, kGiftWidth, kGiftHeight, sky);
  // Long leaves sweeping from the pot.
  p.setPen(Qt::NoPen);
  std::uniform_real_distribution<double> spread(-1.0, 1.0);
  for (int i = 0; i < 9; ++i) {
    double bend = spread(random);
    QPainterPath leaf;
    QPointF base(400 + 8 * spread(random), 520);
    QPointF tip(400 + 330 * bend, 170 + 140 * std::abs(spread(random)));
    QPointF control(400 + 120 * bend, 260);
    leaf.moveTo(base + QPointF(-7, 0));
    leaf.quadTo(control + QPointF(-10, 0), tip);
    leaf.quadTo(control + QPointF(10, 8), base + QPointF(7, 0));
    leaf.closeSubpath();
    p.setBrush(QColor(0x2f + i * 4, 0x6b + i * 3, 0x3a, 230));
    p.drawPath(leaf);
  }
  // Flowers on an arching stem.
  QPainterPath stem;
  stem.moveTo(405, 500);
  stem.cubicTo(420, 330, 560, 220, 640, 250);
  p.setPen(QPen(QColor(0x5a, 0x7a, 0x3a), 4));
  p.setBrush(Qt::NoBrush);
  p.drawPath(stem);
  for (int i = 0; i < 5; ++i) {
    QPointF centre = stem.pointAtPercent(0.55 + i * 0.1);
    p.save();
    p.translate(centre);
    p.rotate(i * 23);
    p.setPen(Qt::NoPen);
    for (int petal = 0; petal < 5; ++petal) {
      QRadialGradient colour(QPointF(0, -18), 26);
      colour.setColorAt(0, QColor(0xfb, 0xe3, 0xf2));
      colour.setColorAt(1, QColor(0xc0, 0x4f, 0x9a));
      p.setBrush(colour);
      p.drawEllipse(QRectF(-9, -34, 18, 34));
      p.rotate(72);
    }
    p.setBrush(QColor(0xf4, 0xd0, 0x3f));
    p.drawEllipse(QRectF(-5, -5, 10, 10));
    p.restore();
  }
  // The pot.
  QLinearGradient pot(330, 0, 470, 0);
  pot.setColorAt(0, QColor(0x2a, 0x4d, 0x7a));
  pot.setColorAt(0.5, QColor(0x5a, 0x86, 0xb8));
  pot.setColorAt(1, QColor(0x23, 0x3f, 0x66));
  QPainterPath body;
  body.moveTo(330, 500);
  body.lineTo(470, 500);
  body.lineTo(450, 580);
  body.lineTo(350, 580);
  body.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(pot);
  p.drawPath(body);
}

void DrawMountains(QPainter& p, std::mt19937& random) {
  QLinearGradient sky(0, 0, 0, kGiftHeight);
  sky.setColorAt(0, QColor(0x1f, 0x2a, 0x55));
  sky.setColorAt(0.45, QColor(0xd9, 0x6c, 0x5a));
  sky.setColorAt(0.7, QColor(0xf6, 0xc2, 0x7a));
  p.fillRect(0, 0, kGiftWidth, kGiftHeight, sky);
  QRadialGradient sun(QPointF(560, 300), 70);
  sun.setColorAt(0, QColor(0xff, 0xf4, 0xd0));
  sun.setColorAt(0.6, QColor(0xff, 0xd8, 0x8a, 220));
  sun.setColorAt(1, QColor(0xff, 0xd8, 0x8a, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(sun);
  p.drawEllipse(QPointF(560, 300), 70, 70);
  std::uniform_real_distribution<double> phase(0, 6.283);
  for (int layer = 0; layer < 5; ++layer) {
    double a = phase(random), b = phase(random);
    double baseY = 300 + layer * 60;
    QPainterPath ridge;
    ridge.moveTo(0, kGiftHeight);
    for (int x = 0; x <= kGiftWidth; x += 8) {
      double y = baseY - 55 * std::sin(x / (140.0 - layer * 12) + a) -
                 25 * std::sin(x / (47.0 + layer * 5) + b);
      ridge.lineTo(x, y);
    }
    ridge.lineTo(kGiftWidth, kGiftHeight);
    ridge.closeSubpath();
    int shade = 0x6a - layer * 12;
    p.setBrush(QColor(shade / 2, shade / 2 + 4, shade + 10, 235));
    p.drawPath(ridge);
  }
}

void DrawPoem(QPainter& p, const std::string& chineseFamily) {
  p.fillRect(0, 0, kGiftWidth, kGiftHeight, QColor(0xf3, 0xea, 0xd6));
  p.setPen(QPen(QColor(0x8a, 0x6d, 0x45), 3));
  p.setBrush(Qt::NoBrush);
  p.drawRect(30, 30, kGiftWidth - 60, kGiftHeight - 60);
  p.setPen(QPen(QColor(0x8a, 0x6d, 0x45), 1));
  p.drawRect(40, 40, kGiftWidth - 80, kGiftHeight - 80);
  // Columns right to left, top to bottom, as the poem is written.
  const char* columns[] = {"靜夜思",     "床前明月光", "疑是地上霜",
                           "舉頭望明月", "低頭思故鄉", "李白"};
  QFont font(QString::fromStdString(chineseFamily));
  font.setPixelSize(54);
  p.setFont(font);
  p.setPen(QColor(0x22, 0x1c, 0x16));
  int x = kGiftWidth - 140;
  for (int c = 0; c < 6; ++c) {
    QString column = QString::fromUtf8(columns[c]);
    int y = c == 5 ? 380 : 90;
    for (QChar ch : column) {
      p.drawText(QRect(x, y, 64, 64), Qt::AlignCenter, QString(ch));
      y += 70;
    }
    x -= c == 0 ? 110 : 95;
  }
  // The red seal.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xb8, 0x22, 0x1c));
  p.drawRoundedRect(QRectF(x + 20, 470, 64, 64), 6, 6);
  font.setPixelSize(26);
  p.setFont(font);
  p.setPen(QColor(0xf8, 0xe8, 0xd8));
  p.drawText(QRectF(x + 20, 470, 64, 64), Qt::AlignCenter, QString::fromUtf8("蘭\n花"));
}

void DrawNight(QPainter& p, std::mt19937& random) {
  QLinearGradient sky(0, 0, 0, kGiftHeight);
  sky.setColorAt(0, QColor(0x05, 0x08, 0x1c));
  sky.setColorAt(0.7, QColor(0x1b, 0x2b, 0x52));
  sky.setColorAt(1, QColor(0x0a, 0x12, 0x2a));
  p.fillRect(0, 0, kGiftWidth, kGiftHeight, sky);
  std::uniform_int_distribution<int> x(0, kGiftWidth), y(0, 420), bright(120, 255);
  std::uniform_real_distribution<double> size(0.6, 2.2);
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 260; ++i) {
    int b = bright(random);
    p.setBrush(QColor(b, b, std::min(255, b + 20)));
    double r = size(random);
    p.drawEllipse(QPointF(x(random), y(random)), r, r);
  }
  QRadialGradient halo(QPointF(610, 130), 110);
  halo.setColorAt(0, QColor(0xff, 0xf8, 0xe0, 120));
  halo.setColorAt(1, QColor(0xff, 0xf8, 0xe0, 0));
  p.setBrush(halo);
  p.drawEllipse(QPointF(610, 130), 110, 110);
  p.setBrush(QColor(0xfb, 0xf3, 0xd5));
  p.drawEllipse(QPointF(610, 130), 46, 46);
  // Water with the moon's reflection.
  p.fillRect(0, 440, kGiftWidth, kGiftHeight - 440, QColor(0x08, 0x10, 0x26));
  for (int i = 0; i < 14; ++i) {
    p.setBrush(QColor(0xfb, 0xf3, 0xd5, 160 - i * 10));
    p.drawRect(QRectF(610 - 40 + i * 2.5, 450 + i * 10, 80 - i * 5, 3));
  }
  // A pagoda on the shore.
  p.setBrush(QColor(0x02, 0x04, 0x0c));
  QPainterPath shore;
  shore.moveTo(0, 440);
  shore.cubicTo(120, 400, 260, 420, 330, 440);
  shore.lineTo(0, 440);
  p.drawPath(shore);
  for (int level = 0; level < 5; ++level) {
    double w = 90 - level * 14, top = 420 - level * 42;
    QPainterPath roof;
    roof.moveTo(160 - w / 2 - 14, top);
    roof.quadTo(160, top - 26, 160 + w / 2 + 14, top);
    roof.closeSubpath();
    p.drawPath(roof);
    p.drawRect(QRectF(160 - w / 2 + 8, top, w - 16, 42));
  }
  p.drawRect(QRectF(158, 205, 4, 40));
}

}  // namespace

int RenderGiftPictures(const fs::path& folder, const std::string& chineseFamily) {
  std::mt19937 random(20261208);
  struct Picture {
    const char* name;
    int kind;
  };
  const Picture pictures[] = {
      {"Orchid.jpg", 0}, {"Mountains.jpg", 1}, {"Poem.jpg", 2}, {"Night.jpg", 3}};
  for (const auto& picture : pictures) {
    QImage image(kGiftWidth, kGiftHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    switch (picture.kind) {
      case 0: DrawOrchid(painter, random); break;
      case 1: DrawMountains(painter, random); break;
      case 2: DrawPoem(painter, chineseFamily); break;
      default: DrawNight(painter, random); break;
    }
    painter.end();
    WriteJpeg(image, folder / picture.name, 88);
  }
  return static_cast<int>(std::size(pictures));
}

}  // namespace demodisc
