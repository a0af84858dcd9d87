// zf_artwork: draws the artwork of the two windows (the launcher's background and hot-spot
// pictures, the font window's background and installed mark, the program icon) and writes it
// as the JPEG files that the program embeds.
//
//   zf_artwork OUTPUT_FOLDER
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "Installmain/layout.h"
#include "picture/jpeg.h"

namespace {

constexpr QSize kMainBackSize(630, 451);
constexpr QSize kInstallBackSize(640, 480);
constexpr int kJpegQuality = 93;

// The product's colours, shared with the program icon.
const QColor kPlumDeep(0x1a, 0x0d, 0x2e);
const QColor kPlum(0x3d, 0x25, 0x60);
const QColor kViolet(0x5d, 0x3b, 0x85);
const QColor kLavender(0xb9, 0x9a, 0xd6);
const QColor kMist(0xf4, 0xe9, 0xff);
const QColor kGold(0xe8, 0xc6, 0x6a);
const QColor kShellGreen(0x4f, 0x9a, 0x6a);
const QColor kShellDark(0x1f, 0x5a, 0x3a);

QColor WithAlpha(QColor colour, int alpha) {
  colour.setAlpha(alpha);
  return colour;
}

QFont Font(const QString& family, double pixelSize, int weight = QFont::Normal,
           bool italic = false) {
  QFont font(family);
  font.setPixelSize(static_cast<int>(std::lround(pixelSize)));
  font.setWeight(static_cast<QFont::Weight>(weight));
  font.setItalic(italic);
  font.setHintingPreference(QFont::PreferFullHinting);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

// Chinese labels: a sans face that stays crisp at small sizes.
QFont LabelFont(double pixelSize, int weight = QFont::Normal) {
  QFont font = Font(QStringLiteral("WenQuanYi Micro Hei"), pixelSize, weight);
  font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("AR PL UMing TW")});
  return font;
}

QPainterPath Hexagon(QPointF centre, double radius) {
  QPainterPath path;
  for (int i = 0; i < 6; ++i) {
    const double angle = M_PI / 3 * i;
    const QPointF corner(centre.x() + radius * std::cos(angle),
                         centre.y() + radius * std::sin(angle));
    if (i == 0)
      path.moveTo(corner);
    else
      path.lineTo(corner);
  }
  path.closeSubpath();
  return path;
}

// The turtle-shell pattern of the product's name.
void DrawShellPattern(QPainter& p, const QRectF& area, double radius, QColor colour) {
  p.save();
  p.setPen(QPen(colour, 1));
  p.setBrush(Qt::NoBrush);
  const double dx = radius * 1.5;
  const double dy = radius * std::sqrt(3.0);
  int column = 0;
  for (double x = area.left() - radius; x < area.right() + radius; x += dx, ++column) {
    const double offset = (column % 2) ? dy / 2 : 0;
    for (double y = area.top() - dy + offset; y < area.bottom() + dy; y += dy)
      p.drawPath(Hexagon(QPointF(x, y), radius * 0.92));
  }
  p.restore();
}

// One petal or sepal: base at the origin, tip at (0, -length).
QPainterPath PetalPath(double length, double width) {
  QPainterPath path;
  path.moveTo(0, 0);
  path.cubicTo(width * 0.9, -length * 0.15, width * 0.75, -length * 0.95, 0, -length);
  path.cubicTo(-width * 0.75, -length * 0.95, -width * 0.9, -length * 0.15, 0, 0);
  return path;
}

// A moth orchid flower facing the viewer.
void DrawOrchid(QPainter& p, QPointF centre, double scale, double rotation, double opacity = 1.0) {
  p.save();
  p.setOpacity(opacity);
  p.translate(centre);
  p.rotate(rotation);
  p.scale(scale, scale);

  QRadialGradient flesh(QPointF(0, 0), 40);
  flesh.setColorAt(0.0, QColor(0xb0, 0x2a, 0x78));
  flesh.setColorAt(0.22, QColor(0xe4, 0x7d, 0xbd));
  flesh.setColorAt(0.55, QColor(0xfa, 0xd8, 0xee));
  flesh.setColorAt(1.0, QColor(0xff, 0xfb, 0xfe));
  const QPen outline(QColor(0x8e, 0x2a, 0x66, 150), 0.8);

  const auto drawPetal = [&](double angle, double length, double width) {
    p.save();
    p.rotate(angle);
    const QPainterPath petal = PetalPath(length, width);
    p.setPen(outline);
    p.setBrush(flesh);
    p.drawPath(petal);
    // Veins from the heart of the flower.
    p.setPen(QPen(QColor(0xc0, 0x40, 0x92, 110), 0.7));
    for (double v : {-0.35, 0.0, 0.35}) {
      QPainterPath vein;
      vein.moveTo(0, -2);
      vein.quadTo(width * v * 0.8, -length * 0.45, width * v * 0.5, -length * 0.72);
      p.drawPath(vein);
    }
    p.restore();
  };
  // Sepals behind, the broad petals over them.
  drawPetal(0, 36, 15);
  drawPetal(148, 33, 13);
  drawPetal(-148, 33, 13);
  drawPetal(72, 34, 30);
  drawPetal(-72, 34, 30);

  // The lip: three lobes in deep magenta with a golden callus.
  QPainterPath lip;
  lip.moveTo(0, -2);
  lip.cubicTo(9, 0, 12, 8, 7, 15);
  lip.cubicTo(5, 19, 2, 21, 0, 24);
  lip.cubicTo(-2, 21, -5, 19, -7, 15);
  lip.cubicTo(-12, 8, -9, 0, 0, -2);
  QLinearGradient lipFill(0, -2, 0, 24);
  lipFill.setColorAt(0.0, QColor(0xd8, 0x4a, 0x8e));
  lipFill.setColorAt(1.0, QColor(0x7a, 0x14, 0x4c));
  p.setPen(QPen(QColor(0x5a, 0x0c, 0x38, 180), 0.8));
  p.setBrush(lipFill);
  p.drawPath(lip);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf6, 0xd0, 0x4d));
  p.drawEllipse(QPointF(0, 4), 3.2, 2.6);
  // The column.
  p.setBrush(QColor(0xff, 0xff, 0xff));
  p.drawEllipse(QPointF(0, -3), 2.4, 3.4);
  p.restore();
}

void DrawBud(QPainter& p, QPointF centre, double size, double rotation) {
  p.save();
  p.translate(centre);
  p.rotate(rotation);
  QLinearGradient fill(0, -size, 0, size);
  fill.setColorAt(0.0, QColor(0xf8, 0xd3, 0xe9));
  fill.setColorAt(1.0, QColor(0x9c, 0xc4, 0x8a));
  p.setPen(QPen(QColor(0x5c, 0x7a, 0x4a, 160), 0.8));
  p.setBrush(fill);
  p.drawEllipse(QPointF(0, 0), size * 0.7, size);
  p.restore();
}

void DrawLeaf(QPainter& p, QPointF base, double length, double width, double rotation,
              double opacity = 1.0) {
  p.save();
  p.setOpacity(opacity);
  p.translate(base);
  p.rotate(rotation);
  QPainterPath leaf;
  leaf.moveTo(0, 0);
  leaf.cubicTo(width, -length * 0.25, width * 0.8, -length * 0.85, 0, -length);
  leaf.cubicTo(-width * 0.5, -length * 0.8, -width * 0.7, -length * 0.3, 0, 0);
  QLinearGradient fill(-width, 0, width, 0);
  fill.setColorAt(0.0, QColor(0x1b, 0x4d, 0x33));
  fill.setColorAt(0.5, QColor(0x3f, 0x8a, 0x5a));
  fill.setColorAt(1.0, QColor(0x22, 0x5e, 0x3d));
  p.setPen(QPen(QColor(0x10, 0x33, 0x20, 180), 1));
  p.setBrush(fill);
  p.drawPath(leaf);
  p.setPen(QPen(QColor(0xa8, 0xd8, 0xb4, 110), 1));
  QPainterPath rib;
  rib.moveTo(0, -4);
  rib.quadTo(width * 0.2, -length * 0.5, 0, -length * 0.95);
  p.drawPath(rib);
  p.restore();
}

// A flowering orchid spike rising from its leaves, arching to the right.
void DrawOrchidPlant(QPainter& p, QPointF base, double scale, double opacity = 1.0) {
  p.save();
  p.translate(base);
  p.scale(scale, scale);
  QPainterPath stem;
  stem.moveTo(10, 0);
  stem.cubicTo(-10, -120, 20, -260, 130, -300);
  p.setOpacity(opacity);
  p.setPen(QPen(QColor(0x4e, 0x6e, 0x3a), 3.2, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(stem);
  p.setPen(QPen(QColor(0x8f, 0xb8, 0x6a, 160), 1.0));
  p.drawPath(stem.translated(-0.8, 0));

  DrawBud(p, stem.pointAtPercent(1.0) + QPointF(6, 2), 6, 70);
  DrawBud(p, stem.pointAtPercent(0.95) + QPointF(2, 9), 7.5, 40);
  const struct {
    double at;
    double size;
    double rotation;
    QPointF shift;
  } flowers[] = {
      {0.86, 0.80, 14, {6, 26}},
      {0.70, 0.95, -6, {14, 30}},
      {0.52, 1.05, 8, {20, 28}},
      {0.36, 1.10, -10, {24, 30}},
  };
  for (const auto& f : flowers) {
    const QPointF on = stem.pointAtPercent(f.at);
    // Each flower hangs from the spike on a short pedicel.
    p.setOpacity(opacity);
    p.setPen(QPen(QColor(0x4e, 0x6e, 0x3a), 1.6));
    p.drawLine(on, on + f.shift * 0.6);
    DrawOrchid(p, on + f.shift, f.size, f.rotation, opacity);
  }
  DrawLeaf(p, QPointF(8, 6), 120, 38, -62, opacity);
  DrawLeaf(p, QPointF(14, 6), 140, 40, 58, opacity);
  DrawLeaf(p, QPointF(10, 8), 100, 34, -8, opacity);
  p.restore();
}

// The turtle of the product's name, inside a disc, as on the program icon.
void DrawTurtleEmblem(QPainter& p, const QRectF& box) {
  p.save();
  p.translate(box.topLeft());
  p.scale(box.width() / 64.0, box.height() / 64.0);
  QLinearGradient disc(0, 0, 64, 64);
  disc.setColorAt(0.0, kMist);
  disc.setColorAt(0.5, kLavender);
  disc.setColorAt(1.0, kViolet);
  p.setPen(QPen(kPlum, 2));
  p.setBrush(disc);
  p.drawEllipse(QPointF(32, 32), 30, 30);
  p.setBrush(Qt::white);
  p.setPen(QPen(kPlum, 1.5));
  p.drawEllipse(QPointF(32, 32), 6, 6);
  QLinearGradient shell(0, 35, 0, 53);
  shell.setColorAt(0.0, kShellGreen);
  shell.setColorAt(1.0, kShellDark);
  // Head and feet first, the shell over them.
  p.setPen(QPen(QColor(0x12, 0x38, 0x22), 1.2));
  p.setBrush(kShellGreen);
  p.drawEllipse(QPointF(49, 42), 3.5, 3.5);
  p.drawEllipse(QPointF(22, 50), 3, 2.2);
  p.drawEllipse(QPointF(42, 50), 3, 2.2);
  p.setPen(QPen(QColor(0x12, 0x38, 0x22), 1.5));
  p.setBrush(shell);
  p.drawEllipse(QPointF(32, 44), 15, 9);
  p.setPen(QPen(QColor(0x9f, 0xd4, 0xae), 1.2));
  p.drawLine(QPointF(22, 44), QPointF(42, 44));
  p.drawLine(QPointF(27, 37), QPointF(27, 51));
  p.drawLine(QPointF(37, 37), QPointF(37, 51));
  p.setPen(kPlum);
  p.setFont(Font(QStringLiteral("AR PL UMing TW"), 18, QFont::Bold));
  p.drawText(QRectF(16, 8, 32, 24), Qt::AlignCenter, QStringLiteral("字"));
  p.restore();
}

void DrawShadowedText(QPainter& p, const QRectF& box, int flags, const QString& text,
                      const QColor& colour, const QColor& shadow = QColor(0, 0, 0, 120)) {
  p.setPen(shadow);
  p.drawText(box.translated(1, 1), flags, text);
  p.setPen(colour);
  p.drawText(box, flags, text);
}

// A gold rule with a diamond in its middle.
void DrawOrnamentRule(QPainter& p, double left, double right, double y, int alpha) {
  QLinearGradient line(left, y, right, y);
  line.setColorAt(0.0, WithAlpha(kGold, 0));
  line.setColorAt(0.5, WithAlpha(kGold, alpha));
  line.setColorAt(1.0, WithAlpha(kGold, 0));
  p.setPen(QPen(QBrush(line), 1));
  p.drawLine(QPointF(left, y), QPointF(right, y));
  const double mid = (left + right) / 2;
  QPainterPath diamond;
  diamond.moveTo(mid, y - 4);
  diamond.lineTo(mid + 4, y);
  diamond.lineTo(mid, y + 4);
  diamond.lineTo(mid - 4, y);
  diamond.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(WithAlpha(kGold, alpha));
  p.drawPath(diamond);
}

QImage DrawMainBack() {
  const int W = kMainBackSize.width();
  const int H = kMainBackSize.height();
  QImage image(kMainBackSize, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);

  QLinearGradient base(0, 0, 0, H);
  base.setColorAt(0.0, QColor(0x4d, 0x2c, 0x78));
  base.setColorAt(0.55, QColor(0x2e, 0x18, 0x52));
  base.setColorAt(1.0, kPlumDeep);
  p.fillRect(image.rect(), base);

  QRadialGradient titleGlow(QPointF(450, 70), 280);
  titleGlow.setColorAt(0.0, WithAlpha(QColor(0xcf, 0xae, 0xf2), 120));
  titleGlow.setColorAt(1.0, WithAlpha(QColor(0xcf, 0xae, 0xf2), 0));
  p.fillRect(image.rect(), titleGlow);
  QRadialGradient orchidGlow(QPointF(95, 250), 230);
  orchidGlow.setColorAt(0.0, WithAlpha(QColor(0xf0, 0x9c, 0xd4), 80));
  orchidGlow.setColorAt(1.0, WithAlpha(QColor(0xf0, 0x9c, 0xd4), 0));
  p.fillRect(image.rect(), orchidGlow);

  // Silk lines sweeping across the picture.
  for (int i = 0; i < 16; ++i) {
    QPainterPath silk;
    silk.moveTo(-20, 150 + i * 8);
    silk.cubicTo(180, 40 + i * 13, 400, 320 - i * 7, W + 20, 170 + i * 11);
    p.setPen(QPen(WithAlpha(Qt::white, 8 + (i % 4) * 4), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(silk);
  }

  // The calligraphic orchid character, large and faint, beside the install buttons.
  p.setFont(Font(QStringLiteral("AR PL UKai TW"), 150));
  p.setPen(WithAlpha(Qt::white, 26));
  p.drawText(QRectF(440, 135, 185, 175), Qt::AlignCenter, QStringLiteral("蘭"));

  // Title block.
  DrawTurtleEmblem(p, QRectF(196, 26, 62, 62));
  QFont title = Font(QStringLiteral("P052"), 50, QFont::Bold);
  title.setLetterSpacing(QFont::AbsoluteSpacing, 1);
  QPainterPath titlePath;
  titlePath.addText(QPointF(270, 76), title, QStringLiteral("ZelvaFont"));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 110));
  p.drawPath(titlePath.translated(2, 2));
  QLinearGradient titleFill(0, 36, 0, 78);
  titleFill.setColorAt(0.0, Qt::white);
  titleFill.setColorAt(1.0, QColor(0xd8, 0xc2, 0xf4));
  p.setBrush(titleFill);
  p.drawPath(titlePath);
  p.setFont(Font(QStringLiteral("Z003"), 31, QFont::Normal, true));
  DrawShadowedText(p, QRectF(300, 78, 320, 36), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Orchid Edition"), kGold);
  p.setFont(LabelFont(14));
  DrawShadowedText(p, QRectF(198, 118, 420, 22), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("蘭花典藏版 · 中文 TrueType 字型光碟"),
                   QColor(0xe4, 0xd6, 0xf6));
  QFont maker = Font(QStringLiteral("Nimbus Sans"), 10, QFont::Bold);
  maker.setLetterSpacing(QFont::AbsoluteSpacing, 3);
  p.setFont(maker);
  p.setPen(WithAlpha(kLavender, 170));
  p.drawText(QRectF(14, 8, 200, 16), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("ZELVAWORKS"));
  DrawOrnamentRule(p, 196, 610, 160, 150);
  p.setFont(LabelFont(11));
  p.setPen(WithAlpha(kMist, 170));
  p.drawText(QRectF(196, 166, 230, 18), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("請選擇要安裝的字型"));

  // The orchid plant on the left.
  DrawOrchidPlant(p, QPointF(44, H + 4), 1.12);

  // The gift section: a panel with the turtle-shell pattern in which the small hot-spots sit.
  const QRectF gift(182.5, 306.5, 437, 137);
  QPainterPath panel;
  panel.addRoundedRect(gift, 12, 12);
  QLinearGradient panelFill(0, gift.top(), 0, gift.bottom());
  panelFill.setColorAt(0.0, WithAlpha(Qt::white, 30));
  panelFill.setColorAt(1.0, WithAlpha(Qt::white, 10));
  p.setPen(Qt::NoPen);
  p.setBrush(panelFill);
  p.drawPath(panel);
  p.save();
  p.setClipPath(panel);
  DrawShellPattern(p, gift, 13, WithAlpha(Qt::white, 11));
  p.restore();
  p.setPen(QPen(WithAlpha(kGold, 120), 1));
  p.setBrush(Qt::NoBrush);
  p.drawPath(panel);

  p.setFont(LabelFont(13, QFont::Bold));
  DrawShadowedText(p, QRectF(195, 313, 80, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("超值贈品"), kGold);
  QFont giftLatin = Font(QStringLiteral("Nimbus Sans"), 10, QFont::Bold);
  giftLatin.setLetterSpacing(QFont::AbsoluteSpacing, 2);
  p.setFont(giftLatin);
  p.setPen(WithAlpha(kLavender, 200));
  p.drawText(QRectF(254, 313, 200, 20), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("GIFT COLLECTION"));
  p.setFont(LabelFont(10));
  p.setPen(WithAlpha(kMist, 120));
  p.drawText(QRectF(318, 337, 140, 17), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("贈品光碟 · 字型與圖庫"));
  p.drawText(QRectF(308, 362, 150, 17), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("造字與符號字集"));
  // Rules between the groups of the gift section.
  p.setPen(QPen(WithAlpha(kGold, 70), 1, Qt::DotLine));
  p.drawLine(QPointF(195, 388.5), QPointF(455, 388.5));
  p.drawLine(QPointF(465.5, 320), QPointF(465.5, 432));
  // What the document tool is, under its hot-spot.
  p.setFont(LabelFont(10));
  p.setPen(WithAlpha(kMist, 130));
  p.drawText(QRectF(470, 358, 145, 16), Qt::AlignHCenter | Qt::AlignVCenter,
             QStringLiteral("中文文書排版軟體"));
  p.drawText(QRectF(470, 374, 145, 16), Qt::AlignHCenter | Qt::AlignVCenter,
             QStringLiteral("試用版 · 免費贈送"));
  p.setPen(WithAlpha(kMist, 150));
  p.drawText(QRectF(195, 392, 260, 18), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("附贈精靈工具 (限繁體中文視窗)"));

  // A soft vignette and a fine inner edge.
  QRadialGradient vignette(QPointF(W / 2.0, H / 2.0), W * 0.72);
  vignette.setColorAt(0.6, QColor(0, 0, 0, 0));
  vignette.setColorAt(1.0, QColor(0, 0, 0, 90));
  p.fillRect(image.rect(), vignette);
  p.setPen(QPen(WithAlpha(kLavender, 90), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(0.5, 0.5, W - 1, H - 1));
  return image;
}

enum class ButtonKind { Large, Small, Document, Exit };

struct HotSpot {
  const char* normal;
  const char* highlight;
  ButtonKind kind;
  const char* label;
};

const HotSpot kHotSpots[] = {
    {"FI1", "FI2", ButtonKind::Large, "安裝中文視窗專用TTC字型"},
    {"PI21", "PI22", ButtonKind::Large, "安裝英文視窗適用TTF字型"},
    {"PI31", "PI32", ButtonKind::Large, "使用手冊"},
    {"im04", "im041", ButtonKind::Small, "字型版"},
    {"im05", "im051", ButtonKind::Small, "圖形版"},
    {"im06", "im061", ButtonKind::Document, "ZelvaDoc 4.25\n(試用版)"},
    {"im07", "im071", ButtonKind::Small, "Zelva符號外字集"},
    {"im08", "im081", ButtonKind::Small, "註腳精靈"},
    {"im09", "im091", ButtonKind::Small, "天蝶精靈"},
    {"im10", "im101", ButtonKind::Small, "符號精靈"},
    {"E1", "E2", ButtonKind::Exit, "離開"},
};

const std::map<QString, QSize> kPictureSizes = {
    {"MainBack", kMainBackSize}, {"FI1", {233, 27}}, {"PI21", {233, 27}}, {"PI31", {105, 27}},
    {"im04", {45, 15}},          {"im05", {45, 15}}, {"im06", {95, 33}},  {"im07", {103, 15}},
    {"im08", {59, 15}},          {"im09", {59, 15}}, {"im10", {59, 15}},  {"E1", {79, 24}},
};

QLinearGradient GoldFill(double top, double bottom) {
  QLinearGradient fill(0, top, 0, bottom);
  fill.setColorAt(0.0, QColor(0xff, 0xf4, 0xc4));
  fill.setColorAt(0.5, QColor(0xf2, 0xcf, 0x6e));
  fill.setColorAt(1.0, QColor(0xc9, 0x95, 0x34));
  return fill;
}

// A small diamond that marks a button.
void DrawBullet(QPainter& p, QPointF centre, double radius, const QColor& colour) {
  QPainterPath diamond;
  diamond.moveTo(centre.x(), centre.y() - radius);
  diamond.lineTo(centre.x() + radius, centre.y());
  diamond.lineTo(centre.x(), centre.y() + radius);
  diamond.lineTo(centre.x() - radius, centre.y());
  diamond.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPath(diamond);
}

// A hot-spot picture: the background under it with the button drawn on top, so that the
// picture sits seamlessly on the background.
QImage DrawHotSpot(const QImage& back, const QRect& place, const HotSpot& spot, bool lit) {
  QImage image = back.copy(place);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const double w = place.width();
  const double h = place.height();
  const QString label = QString::fromUtf8(spot.label);
  const QRectF box(0.5, 0.5, w - 1, h - 1);
  QPainterPath pill;

  switch (spot.kind) {
    case ButtonKind::Large: {
      pill.addRoundedRect(box, h / 2, h / 2);
      if (lit) {
        p.setPen(QPen(QColor(0xff, 0xfa, 0xe6), 1.2));
        p.setBrush(GoldFill(0, h));
      } else {
        QLinearGradient glass(0, 0, 0, h);
        glass.setColorAt(0.0, WithAlpha(Qt::white, 70));
        glass.setColorAt(0.5, WithAlpha(Qt::white, 28));
        glass.setColorAt(1.0, WithAlpha(Qt::white, 14));
        p.setPen(QPen(WithAlpha(kLavender, 190), 1));
        p.setBrush(glass);
      }
      p.drawPath(pill);
      DrawBullet(p, QPointF(15, h / 2), 4.5, lit ? kPlum : kGold);
      p.setFont(LabelFont(14, lit ? QFont::Bold : QFont::Normal));
      // The label keeps clear of the arrow that the highlight adds at the right end.
      const QRectF text(24, 0, w - 42, h);
      if (lit) {
        p.setPen(kPlum);
        p.drawText(text, Qt::AlignCenter, label);
        // An arrow says the button acts now.
        QPainterPath arrow;
        arrow.moveTo(w - 14, h / 2 - 4);
        arrow.lineTo(w - 9, h / 2);
        arrow.lineTo(w - 14, h / 2 + 4);
        p.setPen(QPen(kPlum, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arrow);
      } else {
        DrawShadowedText(p, text, Qt::AlignCenter, label, QColor(0xfb, 0xf6, 0xff));
      }
      break;
    }
    case ButtonKind::Small: {
      pill.addRoundedRect(box, h / 2, h / 2);
      p.setFont(LabelFont(12, lit ? QFont::Bold : QFont::Normal));
      if (lit) {
        p.setPen(Qt::NoPen);
        p.setBrush(GoldFill(0, h));
        p.drawPath(pill);
        p.setPen(kPlum);
        p.drawText(QRectF(0, 0, w, h), Qt::AlignCenter, label);
      } else {
        DrawShadowedText(p, QRectF(0, 0, w, h), Qt::AlignCenter, label, QColor(0xf1, 0xe6, 0xff));
        QLinearGradient underline(0, 0, w, 0);
        underline.setColorAt(0.0, WithAlpha(kGold, 0));
        underline.setColorAt(0.5, WithAlpha(kGold, 150));
        underline.setColorAt(1.0, WithAlpha(kGold, 0));
        p.setPen(QPen(QBrush(underline), 1));
        p.drawLine(QPointF(2, h - 0.5), QPointF(w - 2, h - 0.5));
      }
      break;
    }
    case ButtonKind::Document: {
      pill.addRoundedRect(box, 7, 7);
      if (lit) {
        p.setPen(QPen(QColor(0xff, 0xfa, 0xe6), 1.2));
        p.setBrush(GoldFill(0, h));
      } else {
        p.setPen(QPen(WithAlpha(kLavender, 180), 1));
        p.setBrush(WithAlpha(Qt::white, 26));
      }
      p.drawPath(pill);
      const QStringList lines = label.split('\n');
      const QColor ink = lit ? kPlum : QColor(0xfb, 0xf6, 0xff);
      p.setFont(Font(QStringLiteral("Nimbus Sans"), 12, QFont::Bold));
      if (lit) {
        p.setPen(ink);
        p.drawText(QRectF(0, 2, w, 15), Qt::AlignCenter, lines.value(0));
      } else {
        DrawShadowedText(p, QRectF(0, 2, w, 15), Qt::AlignCenter, lines.value(0), ink);
      }
      p.setFont(LabelFont(11));
      p.setPen(lit ? kViolet : WithAlpha(kMist, 200));
      p.drawText(QRectF(0, 16, w, 15), Qt::AlignCenter, lines.value(1));
      break;
    }
    case ButtonKind::Exit: {
      pill.addRoundedRect(box, h / 2, h / 2);
      if (lit) {
        QLinearGradient rose(0, 0, 0, h);
        rose.setColorAt(0.0, QColor(0xf7, 0x9c, 0xc0));
        rose.setColorAt(1.0, QColor(0xb8, 0x2e, 0x66));
        p.setPen(QPen(QColor(0xff, 0xe6, 0xf0), 1.2));
        p.setBrush(rose);
      } else {
        p.setPen(QPen(WithAlpha(kLavender, 190), 1));
        p.setBrush(WithAlpha(Qt::white, 24));
      }
      p.drawPath(pill);
      // A power symbol before the label.
      const QPointF centre(20, h / 2 + 0.5);
      p.setPen(QPen(lit ? Qt::white : kGold, 1.6, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(centre.x() - 5.5, centre.y() - 5.5, 11, 11), 120 * 16, 300 * 16);
      p.drawLine(centre + QPointF(0, -7), centre + QPointF(0, -1));
      p.setFont(LabelFont(13, QFont::Bold));
      DrawShadowedText(p, QRectF(30, 0, w - 38, h), Qt::AlignCenter, label,
                       lit ? Qt::white : QColor(0xfb, 0xf6, 0xff),
                       lit ? QColor(0x60, 0x10, 0x30, 140) : QColor(0, 0, 0, 120));
      break;
    }
  }
  return image;
}

QImage DrawInstallBack() {
  const int W = kInstallBackSize.width();
  const int H = kInstallBackSize.height();
  QImage image(kInstallBackSize, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);

  // The window shows the picture from (58, 10) on; its controls carry dark text, so the
  // picture stays light.
  QLinearGradient base(0, 0, W, H);
  base.setColorAt(0.0, QColor(0xfb, 0xf7, 0xff));
  base.setColorAt(1.0, QColor(0xe6, 0xda, 0xf3));
  p.fillRect(image.rect(), base);
  DrawShellPattern(p, QRectF(0, 0, W, H), 16, QColor(0x5d, 0x3b, 0x85, 14));

  // The panel behind the mode switches, the counters and the buttons.
  QPainterPath panel;
  panel.addRoundedRect(QRectF(450.5, 22.5, 158, 400), 10, 10);
  QLinearGradient panelFill(0, 22, 0, 422);
  panelFill.setColorAt(0.0, QColor(0xf1, 0xe8, 0xfa));
  panelFill.setColorAt(1.0, QColor(0xe2, 0xd3, 0xf0));
  p.setPen(QPen(QColor(0xb9, 0x9a, 0xd6, 160), 1));
  p.setBrush(panelFill);
  p.drawPath(panel);
  DrawOrnamentRule(p, 460, 600, 152, 200);

  // A faint orchid behind the panel's lower part.
  p.save();
  p.setClipPath(panel);
  DrawOrchidPlant(p, QPointF(476, 446), 0.56, 0.22);
  p.restore();

  // A frame around the list.
  p.setPen(QPen(QColor(0x9a, 0x7c, 0xbf, 150), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(70.5, 94.5, 377, 322), 4, 4);

  // The band under the progress bar and status bar.
  QLinearGradient band(0, 428, 0, H);
  band.setColorAt(0.0, QColor(0xd9, 0xc8, 0xec));
  band.setColorAt(1.0, QColor(0xc4, 0xad, 0xe0));
  p.fillRect(QRectF(0, 430, W, H - 430), band);
  p.setPen(QPen(QColor(0x9a, 0x7c, 0xbf), 1));
  p.drawLine(QPointF(0, 430.5), QPointF(W, 430.5));

  // The product's mark, top right of the panel.
  DrawTurtleEmblem(p, QRectF(560, 30, 40, 40));
  return image;
}

QImage DrawMark() {
  QImage image(24, 18, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, 0, 18);
  fill.setColorAt(0.0, QColor(0x6c, 0xbf, 0x8a));
  fill.setColorAt(1.0, kShellDark);
  p.setPen(QPen(QColor(0x12, 0x38, 0x22), 1));
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(0.5, 0.5, 23, 17), 5, 5);
  QPainterPath tick;
  tick.moveTo(6, 9.5);
  tick.lineTo(10.5, 13.5);
  tick.lineTo(18, 4.5);
  p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(tick);
  return image;
}

QImage DrawIcon() {
  QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  DrawTurtleEmblem(p, QRectF(0, 0, 64, 64));
  return image;
}

bool WriteJpeg(const QImage& image, const QString& path) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  picture::Bitmap bitmap;
  bitmap.width = rgb.width();
  bitmap.height = rgb.height();
  bitmap.rgb.resize(static_cast<std::size_t>(rgb.width()) * rgb.height() * 3);
  for (int y = 0; y < rgb.height(); ++y) {
    const uchar* line = rgb.constScanLine(y);
    std::copy(line, line + rgb.width() * 3,
              bitmap.rgb.begin() + static_cast<std::ptrdiff_t>(y) * rgb.width() * 3);
  }
  std::vector<std::uint8_t> bytes;
  if (!picture::EncodeJpeg(bitmap, kJpegQuality, bytes)) return false;
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: zf_artwork OUTPUT_FOLDER\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.exists() && !QDir().mkpath(out.path())) {
    std::fprintf(stderr, "zf_artwork: cannot create %s\n", argv[1]);
    return 1;
  }
  for (const char* family : {"WenQuanYi Micro Hei", "AR PL UMing TW", "AR PL UKai TW", "P052"}) {
    if (!QFontDatabase::hasFamily(QString::fromLatin1(family)))
      std::fprintf(stderr, "zf_artwork: font %s is missing; a substitute is used\n", family);
  }

  std::map<QString, QImage> pictures;
  const QImage back = DrawMainBack();
  pictures["MainBack"] = back;
  std::map<QString, QRect> places;
  for (const ControlPlacement& placement : ComputeLauncherLayout(kPictureSizes))
    places[placement.name] = QRect(placement.position, placement.size);
  for (const HotSpot& spot : kHotSpots) {
    const QRect place = places.at(QString::fromLatin1(spot.normal));
    pictures[spot.normal] = DrawHotSpot(back, place, spot, false);
    pictures[spot.highlight] = DrawHotSpot(back, place, spot, true);
  }
  pictures["InstallBack"] = DrawInstallBack();
  pictures["Mark"] = DrawMark();

  int failures = 0;
  for (const auto& [name, image] : pictures) {
    const QString path = out.filePath(name + QStringLiteral(".jpg"));
    if (!WriteJpeg(image, path)) {
      std::fprintf(stderr, "zf_artwork: cannot write %s\n", qPrintable(path));
      ++failures;
    }
  }
  const QString iconPath = out.filePath(QStringLiteral("ZelvaFont.png"));
  if (!DrawIcon().save(iconPath, "PNG")) {
    std::fprintf(stderr, "zf_artwork: cannot write %s\n", qPrintable(iconPath));
    ++failures;
  }
  std::printf("zf_artwork: %zu pictures and the icon written to %s\n", pictures.size(),
              qPrintable(out.path()));
  return failures ? 1 : 0;
}
