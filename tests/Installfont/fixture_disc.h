#pragma once
// A generated product disc with one font set for the font window's tests and benchmarks: the
// catalogue, message files, sample pictures and font files, declared as drive D:.

#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disc/shared_paths.h"
#include "picture/jpeg.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace fixture {

inline const char* const kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

struct Font {
  std::string key;
  std::string name;
  std::string source;        // file name in the set folder
  std::string hostFont;      // a real font file to copy; empty: filler bytes of bytes length
  std::size_t bytes = 4096;
  std::string sample;        // picture name in tmp\img; empty: no Sample value
  bool writeSample = true;   // false: the Sample value names a missing file
  int sampleWidth = 240;
  int sampleHeight = 24;
  std::string size = "1";    // the Size value, in MB
  std::string regName;
  std::vector<std::string> links;
};

struct Style {
  std::string key;
  std::string name;
  std::vector<std::string> fonts;
};

// A JPEG picture of a text, as the disc's sample pictures are.
inline std::string SamplePicture(const std::string& text, int width, int height,
                                 const QString& family = "DejaVu Sans") {
  QImage image(width, height, QImage::Format_RGB888);
  image.fill(Qt::white);
  if (QCoreApplication::instance()) {
    QPainter painter(&image);
    QFont font(family);
    font.setPixelSize(std::max(8, height * 2 / 3));
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(image.rect().adjusted(4, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     QString::fromStdString(text));
  }
  picture::Bitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.rgb.resize(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    std::copy_n(image.constScanLine(y), width * 3, bitmap.rgb.begin() + std::size_t(y) * width * 3);
  std::vector<std::uint8_t> jpeg;
  picture::EncodeJpeg(bitmap, 90, jpeg);
  return std::string(jpeg.begin(), jpeg.end());
}

class Disc {
 public:
  Disc() : set_(root_.path() / "TTF") {}

  const std::filesystem::path& setHost() const { return set_; }
  std::filesystem::path infoHost() const { return set_ / "tmp" / "Info"; }

  void Add(const Style& style) { styles_.push_back(style); }
  void Add(const Font& font) { fonts_.push_back(font); }
  std::vector<Font>& fonts() { return fonts_; }

  std::string installedMark;  // JPEG bytes of tmp\img\installed.jpg; empty: a red block

  // tmp\Info\message, or message.<suffix> when a suffix is given; body is written as bytes.
  void Message(const std::string& body, const std::string& suffix = "") {
    testing_support::WriteFile(infoHost() / (suffix.empty() ? "message" : "message." + suffix),
                               body);
  }

  void Build() {
    std::string styleFile = "[StyleList]\r\n";
    for (const Style& s : styles_) styleFile += s.key + "=" + s.name + "\r\n";
    for (const Style& s : styles_) {
      styleFile += "[" + s.key + "]\r\n";
      for (const std::string& key : s.fonts) styleFile += key + "=" + NameOf(key) + "\r\n";
    }
    testing_support::WriteFile(infoHost() / "Style1", styleFile);

    std::string fontFile;
    for (const Font& f : fonts_) {
      fontFile += "[" + f.key + "]\r\nSource=" + f.source + "\r\n";
      if (!f.sample.empty()) fontFile += "Sample=" + f.sample + "\r\n";
      fontFile += "Size=" + f.size + "\r\nRegNameCount=1\r\nRegName1=" + f.regName + "\r\n";
      fontFile += "LinkCount=" + std::to_string(f.links.size()) + "\r\n";
      for (std::size_t i = 0; i < f.links.size(); ++i)
        fontFile += "Link" + std::to_string(i + 1) + "=" + f.links[i] + "\r\n";
      const std::filesystem::path file = set_ / f.source;
      if (!f.hostFont.empty()) {
        std::filesystem::create_directories(file.parent_path());
        std::filesystem::copy_file(f.hostFont, file,
                                   std::filesystem::copy_options::overwrite_existing);
      } else {
        testing_support::WriteFile(file, std::string(f.bytes, '\x5a'));
      }
      if (!f.sample.empty() && f.writeSample)
        testing_support::WriteFile(set_ / "tmp" / "img" / f.sample,
                                   SamplePicture(f.name, f.sampleWidth, f.sampleHeight));
    }
    testing_support::WriteFile(infoHost() / "Font1", fontFile);
    testing_support::WriteFile(set_ / "tmp" / "img" / "installed.jpg",
                               installedMark.empty() ? InstalledMark() : installedMark);
  }

  // Declares the disc as drive D: and points the shared path state at its set.
  void Open(const std::string& languageName = "", std::int32_t showInstallBoth = 0) {
    platform::DriveDeclaration drive;
    drive.letter = 'D';
    drive.type = platform::DRIVE_CDROM;
    drive.hostFolder = root_.str();
    drive.label = "QRTMV";
    platform::DeclareDrive(drive, platform::DeclarationScope::Process);
    disc::SharedPaths& paths = disc::Paths();
    paths.discRoot = "D:\\";
    paths.setFolder = "D:\\TTF\\";
    paths.setFolderNoSlash = "D:\\TTF";
    paths.infoFolder = "D:\\TTF\\tmp\\Info";
    paths.infoFolderTexts = "D:\\TTF\\tmp\\Info";
    paths.languageName = languageName;
    paths.showInstallBoth = showInstallBoth;
  }

  // Puts a font in the Fonts folder and its entry in the registry, as an earlier install would.
  void MarkInstalled(const Font& f, const std::filesystem::path& fontsHost) {
    std::filesystem::create_directories(fontsHost);
    std::filesystem::copy_file(set_ / f.source, fontsHost / f.source,
                               std::filesystem::copy_options::overwrite_existing);
    platform::Registry registry;
    registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    registry.OpenKey(kFontsKey, true);
    registry.WriteString(f.regName + " (TrueType)", f.source);
    registry.CloseKey();
  }

  static std::string InstalledMark() {
    picture::Bitmap bitmap;
    bitmap.width = 24;
    bitmap.height = 18;
    bitmap.rgb.assign(24 * 18 * 3, 0);
    for (std::size_t i = 0; i < bitmap.rgb.size(); i += 3) bitmap.rgb[i] = 220;  // red
    std::vector<std::uint8_t> jpeg;
    picture::EncodeJpeg(bitmap, 90, jpeg);
    return std::string(jpeg.begin(), jpeg.end());
  }

 private:
  std::string NameOf(const std::string& key) const {
    for (const Font& f : fonts_)
      if (f.key == key) return f.name;
    return key;
  }

  testing_support::TempDir root_;
  std::filesystem::path set_;
  std::vector<Style> styles_;
  std::vector<Font> fonts_;
};

inline const char* const kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline const char* const kDejaVuSerif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";

// The host's real DejaVu Sans as font SANS, "Zelva Sans", registered as "DejaVu Sans".
inline Font DejaVuSansFont() {
  Font sans;
  sans.key = "SANS";
  sans.name = "Zelva Sans";
  sans.source = "DejaVuSans.ttf";
  sans.hostFont = kDejaVuSans;
  sans.sample = "sans.jpg";
  sans.regName = "DejaVu Sans";
  return sans;
}

// count fonts F1..Fcount with samples, named "Font n", registration names "Zelva Test n".
inline std::vector<Font> NumberedFonts(int count, int sampleHeight = 24) {
  std::vector<Font> fonts;
  for (int i = 1; i <= count; ++i) {
    Font f;
    f.key = "F" + std::to_string(i);
    f.name = "Font " + std::to_string(i);
    f.source = "f" + std::to_string(i) + ".ttf";
    f.bytes = 4096 + i;
    f.sample = "f" + std::to_string(i) + ".jpg";
    f.sampleHeight = sampleHeight;
    f.regName = "Zelva Test " + std::to_string(i);
    fonts.push_back(f);
  }
  return fonts;
}

}  // namespace fixture
