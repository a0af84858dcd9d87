// libFuzzer target: arbitrary bytes as the catalogue files of a font set (a Style file, its
// localised twin and a Font file, cut from the input at 0xFF bytes), loaded through
// LoadCatalogue on a declared disc and walked with every lookup the font window and the runs
// make; each file's reader is also checked against the platform's INI parser.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalogue_file.h"
#include "engine/engine.h"
#include "platform/posix/profile_parser.h"
#include "platform/prefix.h"

namespace {

namespace fs = std::filesystem;

void Check(bool condition) {
  if (!condition) std::abort();
}

fs::path Setup() {
  static fs::path disc = [] {
    std::string templ = (fs::temp_directory_path() / "zffuzz-XXXXXX").string();
    Check(mkdtemp(templ.data()) != nullptr);
    fs::path root = templ;
    static const fs::path removeAtExit = root;
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(removeAtExit, ec);
    });
    setenv("ZELVAFONT_PREFIX", (root / "prefix").c_str(), 1);
    platform::ReopenPrefix();
    platform::SetSystemLanguageSetting(1028);
    fs::create_directories(root / "disc" / "TTF" / "tmp" / "Info");
    platform::DriveDeclaration drive;
    drive.letter = 'D';
    drive.hostFolder = (root / "disc").string();
    drive.label = "QRTMV";
    platform::DeclareDrive(drive, platform::DeclarationScope::Process);
    std::ofstream(root / "disc" / "TTF" / "tmp" / "Info" / "LangMap") << "[Lang]\n1028=cht\n";
    return root / "disc" / "TTF" / "tmp" / "Info";
  }();
  return disc;
}

void CheckAgainstPlatform(std::string_view bytes) {
  auto mine = engine::CatalogueFile::Parse(bytes);
  auto theirs = platform::posix::ParsedProfile::Parse(std::string(bytes));
  Check(mine->sections.size() == theirs->sections().size());
  for (const auto& section : theirs->sections()) {
    const std::string name(section.name);
    Check(mine->Keys(name) == platform::posix::ProfileKeys(*theirs, name, 16384));
    for (const auto& key : section.keys) {
      const std::string keyName(key.name);
      Check(std::string(mine->Value(name, keyName)) ==
            platform::posix::ProfileValue(*theirs, name, keyName, ""));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path info = Setup();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts;
  for (int i = 0; i < 2; ++i) {
    std::size_t cut = input.find('\xFF');
    if (cut == std::string_view::npos) break;
    parts.push_back(input.substr(0, cut));
    input.remove_prefix(cut + 1);
  }
  parts.push_back(input);
  for (std::string_view part : parts) CheckAgainstPlatform(part);
  // Loading goes through the platform's file search and path resolution, which cost far more
  // than the parse: one input in eight takes that whole path.
  if (size % 8 != 0) return 0;
  const char* names[] = {"Style", "Font", "Style.cht"};
  for (std::size_t i = 0; i < 3; ++i) {
    std::string_view part = i < parts.size() ? parts[i] : std::string_view();
    std::ofstream(info / names[i], std::ios::binary | std::ios::trunc)
        .write(part.data(), static_cast<std::streamsize>(part.size()));
  }

  Check(engine::LoadCatalogue("D:\\TTF\\tmp\\Info", "D:\\TTF", 4));
  std::vector<std::string> keys, names2, fonts;
  engine::ListStyleKeys(keys);
  engine::ListStyleNames(names2);
  std::string value;
  for (const std::string& key : keys) {
    if (!engine::GetStyleName(key, value)) continue;
    std::string found;
    Check(engine::FindStyleKey(value, found));
    if (!engine::SelectStyle(value) || !engine::ListStyleFonts(fonts)) continue;
    for (const std::string& font : fonts) {
      engine::GetFontName(font, value);
      for (const char* k : {"Source", "Sample", "Size", "RegNameCount", "LinkCount"}) {
        engine::ReadFontValue(font, k, value);
      }
      Check(engine::AddToSelection(font));
    }
    std::vector<std::string> work;
    for (const std::string& font : fonts) engine::ExpandLinks(work, font);
    engine::SelectionSpace(false);
    engine::CountSelection(false);
    if (!fonts.empty()) engine::QueryFontState(fonts.front());
    engine::ClearSelection();
  }
  return 0;
}
