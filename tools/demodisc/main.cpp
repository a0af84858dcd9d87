// zelvafont-demodisc: builds the demo product disc from free fonts installed on this machine,
// and optionally a sandbox prefix in which the disc is the CD-ROM drive D: labelled QRTMV.
#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "demodisc.h"
#include "platform/prefix.h"

namespace fs = std::filesystem;

namespace demodisc {
namespace {

// Written into every disc this tool makes, so that it rebuilds its own discs in place but
// never wipes a folder it did not make.
constexpr const char* kMarker = ".zelvafont-demodisc";

struct Arguments {
  fs::path out;
  fs::path prefix;
  unsigned language = 1028;
};

[[noreturn]] void Usage(const std::string& problem) {
  const char* usage = "Usage: zelvafont-demodisc --out DIR [--prefix PREFIXDIR] [--language N]\n";
  if (problem.empty()) {
    std::cout << usage;
    std::exit(0);
  }
  std::cerr << "zelvafont-demodisc: " << problem << "\n" << usage;
  std::exit(2);
}

Arguments ParseArguments(int argc, char** argv) {
  Arguments args;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--out") {
      args.out = value();
    } else if (arg == "--prefix") {
      args.prefix = value();
    } else if (arg == "--language") {
      std::string text = value();
      char* end = nullptr;
      unsigned long language = std::strtoul(text.c_str(), &end, 10);
      if (text.empty() || *end || language == 0 || language > 0xFFFF)
        Usage("--language needs a language identifier such as 1028 or 1033");
      args.language = static_cast<unsigned>(language);
    } else if (arg == "--help") {
      Usage("");
    } else {
      Usage("unknown argument " + arg);
    }
  }
  if (args.out.empty()) Usage("--out DIR is missing");
  args.out = fs::absolute(args.out).lexically_normal();
  if (!args.prefix.empty()) args.prefix = fs::absolute(args.prefix).lexically_normal();
  return args;
}

void PrepareOutput(const fs::path& out) {
  if (fs::exists(out)) {
    if (!fs::is_directory(out)) throw std::runtime_error(out.string() + " is not a folder");
    bool empty = fs::directory_iterator(out) == fs::directory_iterator();
    if (!empty && !fs::exists(out / kMarker))
      throw std::runtime_error(out.string() +
                               " is not empty and holds no demo disc; choose another folder");
    fs::remove_all(out);
  }
  fs::create_directories(out);
}

IniSection LangSection() {
  return {"Lang", {{"1028", "cht"}, {"3076", "cht"}, {"1033", "enu"}}};
}

std::string SizeInMegabytes(std::uintmax_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", std::ceil(bytes / 1048576.0 * 10) / 10);
  return text;
}

struct Totals {
  int fonts = 0;
  int pictures = 0;
  std::uintmax_t bytes = 0;
};

void WriteFontSet(const fs::path& disc, const SetSpec& set,
                  const std::map<std::string, FoundFont>& found, Totals& totals) {
  fs::path folder = disc / set.folder;
  fs::path info = folder / "tmp" / "Info";
  fs::path images = folder / "tmp" / "img";
  fs::create_directories(info);
  fs::create_directories(folder / "fonts");
  WriteIniFile(info / "LangMap", {LangSection()});

  // The plain Style file lists the styles and fonts under short names; the Chinese and the
  // English file give each language its own display names.
  IniSection plainList{"StyleList", {}}, chineseList{"StyleList", {}}, englishList{"StyleList", {}};
  std::vector<IniSection> plainStyles, chineseStyles, englishStyles;
  for (const auto& style : set.styles) {
    plainList.values.emplace_back(style.key, style.key);
    chineseList.values.emplace_back(style.key, Big5(style.chinese));
    englishList.values.emplace_back(style.key, style.english);
    IniSection plain{style.key, {}}, chinese{style.key, {}};
    for (const auto& key : style.fonts) {
      const auto& font = *std::find_if(set.fonts.begin(), set.fonts.end(),
                                       [&](const FontPlan& f) { return f.key == key; });
      plain.values.emplace_back(key, font.english);
      chinese.values.emplace_back(key, Big5(font.chinese));
    }
    plainStyles.push_back(plain);
    chineseStyles.push_back(chinese);
    englishStyles.push_back(plain);
  }
  plainStyles.insert(plainStyles.begin(), plainList);
  chineseStyles.insert(chineseStyles.begin(), chineseList);
  englishStyles.insert(englishStyles.begin(), englishList);
  WriteIniFile(info / "Style", plainStyles);
  WriteIniFile(info / "Style.cht", chineseStyles);
  WriteIniFile(info / "Style.enu", englishStyles);

  std::vector<IniSection> plainFonts, chineseFonts;
  for (const auto& font : set.fonts) {
    const FoundFont& file = found.at(font.file);
    fs::path target = folder / "fonts" / font.file;
    if (!fs::exists(target)) {
      fs::copy_file(file.path, target);
      totals.bytes += fs::file_size(target);
    }
    IniSection section{font.key, {}};
    section.values = {{"Source", "fonts\\" + font.file},
                      {"Sample", font.key + ".jpg"},
                      {"Size", SizeInMegabytes(fs::file_size(target))},
                      {"RegNameCount", std::to_string(font.regNames.size())}};
    for (size_t i = 0; i < font.regNames.size(); ++i)
      section.values.emplace_back("RegName" + std::to_string(i + 1), font.regNames[i]);
    section.values.emplace_back("LinkCount", std::to_string(font.links.size()));
    for (size_t i = 0; i < font.links.size(); ++i)
      section.values.emplace_back("Link" + std::to_string(i + 1), font.links[i]);
    plainFonts.push_back(section);
    if (!font.chtRegNames.empty()) {
      IniSection chinese{font.key, {{"chtRegNameCount", std::to_string(font.chtRegNames.size())}}};
      for (size_t i = 0; i < font.chtRegNames.size(); ++i)
        chinese.values.emplace_back("chtRegName" + std::to_string(i + 1),
                                    Big5(font.chtRegNames[i]));
      chineseFonts.push_back(chinese);
    }
    RenderSample(font, file, images / (font.key + ".jpg"));
    ++totals.pictures;
    ++totals.fonts;
  }
  WriteIniFile(info / "Font", plainFonts);
  if (!chineseFonts.empty()) WriteIniFile(info / "Font.cht", chineseFonts);

  IniSection english{"Install Window", {}}, chinese{"Install Window", {}};
  for (const auto& text : InstallWindowTexts(set)) {
    english.values.emplace_back(text.key, text.english);
    chinese.values.emplace_back(text.key, Big5(text.chinese));
  }
  WriteIniFile(info / "message", {english});
  WriteIniFile(info / "message.cht", {chinese});
  RenderInstalledMark(images / "installed.jpg");
  ++totals.pictures;
}

void WritePrograms(const fs::path& disc) {
  WriteStandInProgram(disc / "UserManual.exe", "ZelvaFont Orchid Edition - User Manual",
                      "This stands for the user manual of the font disc.\n"
                      "字型光碟使用手冊 (示範)");
  WriteStandInProgram(disc / "Gift" / "ZelvaDoc" / "Disk1" / "Setup.exe", "ZelvaDoc 4.25 Setup",
                      "This stands for the setup of the ZelvaDoc document tool.\n"
                      "ZelvaDoc 文件工具安裝程式 (示範)");
  const char* wizards[] = {"WizardA", "WizardB", "WizardC"};
  for (const char* wizard : wizards) {
    WriteStandInProgram(disc / "Gift" / "Gift_Tools" / wizard / "Setup.exe",
                        std::string(wizard) + " Setup",
                        std::string("This stands for the setup of the gift tool ") + wizard +
                            ".\n贈品工具 " + wizard + " 安裝程式 (示範)");
  }
}

// The Chinese face for the poem picture: the first of these that the machine has.
std::string PoemFamily(const std::map<std::string, FoundFont>& found) {
  const char* files[] = {"ukai.ttc", "uming.ttc", "wqy-microhei.ttc", "DroidSansFallbackFull.ttf"};
  const char* families[] = {"AR PL UKai TW", "AR PL UMing TW", "WenQuanYi Micro Hei",
                            "Droid Sans Fallback"};
  for (size_t i = 0; i < std::size(files); ++i)
    if (found.count(files[i])) return families[i];
  return "Sans Serif";
}

void MakePrefix(const Arguments& args) {
  setenv("ZELVAFONT_PREFIX", args.prefix.c_str(), 1);
  platform::ReopenPrefix();
  platform::PrefixDir();
  platform::DriveDeclaration drive;
  drive.letter = 'D';
  drive.type = platform::DRIVE_CDROM;
  drive.hostFolder = args.out.string();
  drive.label = "QRTMV";
  if (!platform::DeclareDrive(drive, platform::DeclarationScope::Prefix))
    throw std::runtime_error("cannot declare drive D: in " + args.prefix.string());
  if (!platform::SetSystemLanguageSetting(static_cast<platform::LANGID>(args.language)))
    throw std::runtime_error("cannot set the language in " + args.prefix.string());
}

int Run(int argc, char** argv) {
  auto started = std::chrono::steady_clock::now();
  Arguments args = ParseArguments(argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt's notes about the session (no XDG_RUNTIME_DIR and the like) mean nothing to a tool that
  // only draws into images; real failures surface as exceptions.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
      std::cerr << "zelvafont-demodisc: " << message.toStdString() << "\n";
  });
  QGuiApplication application(argc, argv);

  std::map<std::string, FoundFont> found = ListMachineFonts();
  std::vector<SetSpec> sets = DiscLayout();
  FitLayoutToMachine(sets, found);
  for (const auto& set : sets)
    if (set.fonts.empty())
      throw std::runtime_error("fontconfig lists no font file to put on the disc");

  PrepareOutput(args.out);
  Totals totals;
  WriteIniFile(args.out / "tmp" / "Info" / "LangMap", {LangSection()});
  for (const auto& set : sets) WriteFontSet(args.out, set, found, totals);
  totals.pictures += RenderGiftPictures(args.out / "Gift" / "Gift_JPG", PoemFamily(found));
  WritePrograms(args.out);
  fs::path launcher = fs::weakly_canonical(
      fs::path(QCoreApplication::applicationDirPath().toStdString()) / ".." / ".." / "src" /
      "Installmain" / "zelvafont");
  WriteAutorun(args.out, launcher, args.prefix);
  std::ofstream(args.out / kMarker) << "Made by zelvafont-demodisc; rebuilt in place.\n";

  if (!args.prefix.empty()) MakePrefix(args);

  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("demo disc %s: %d fonts in %zu sets (%.1f MB), %d pictures, %.2f s\n",
              args.out.c_str(), totals.fonts, sets.size(), totals.bytes / 1048576.0,
              totals.pictures, seconds);
  if (!args.prefix.empty())
    std::printf("prefix %s: drive D: = the disc (QRTMV), language %u\n", args.prefix.c_str(),
                args.language);
  return 0;
}

}  // namespace
}  // namespace demodisc

int main(int argc, char** argv) {
  try {
    return demodisc::Run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "zelvafont-demodisc: " << e.what() << "\n";
    return 1;
  }
}
