// libFuzzer target: arbitrary bytes as the catalogue files of a font set (a Style file, its
// localised twin and a Font file, cut from the input at 0xFF bytes), loaded through
// LoadCatalogue on a declared disc and walked with every lookup the font window and the runs
// make; each file the engine holds is also checked against the buffer-filling INI reader.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "platform/prefix.h"
#include "platform/profile.h"

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

// The NUL-separated names of a list buffer.
std::vector<std::string> SplitList(const std::vector<char>& buffer) {
  std::vector<std::string> names;
  for (std::size_t at = 0; at < buffer.size() && buffer[at] != '\0';) {
    std::size_t end = at;
    while (end < buffer.size() && buffer[end] != '\0') ++end;
    names.emplace_back(buffer.data() + at, end - at);
    at = end + 1;
  }
  return names;
}

std::vector<std::string> ListOf(const char* section, const std::string& path,
                                platform::DWORD size) {
  std::vector<char> buffer(size, '\x7F');
  platform::GetPrivateProfileStringA(section, nullptr, "", buffer.data(), size, path.c_str());
  return SplitList(buffer);
}

// What the engine's reader of a file answers is what the buffer-filling reader answers, for the
// catalogue's list buffer and for a small one. wholeList holds every list of the file.
void CheckReader(const platform::ProfileView& reader, const std::string& path,
                 platform::DWORD wholeList, platform::DWORD small) {
  std::vector<char> value(2048);
  for (const std::string& section : ListOf(nullptr, path, wholeList)) {
    for (platform::DWORD size : {platform::DWORD{16384}, small}) {
      const auto keys = reader.Keys(section, size);
      Check(std::vector<std::string>(keys.begin(), keys.end()) ==
            ListOf(section.c_str(), path, size));
    }
    for (const std::string& key : ListOf(section.c_str(), path, wholeList)) {
      platform::DWORD n = platform::GetPrivateProfileStringA(section.c_str(), key.c_str(), "",
                                                             value.data(), 2048, path.c_str());
      Check(reader.Value(section, key) == std::string_view(value.data(), n));
    }
    // Every numbered key the reader reports is one the file holds: no value holds a line break,
    // so the default comes back only for a missing key.
    for (long long n : reader.NumberedKeys(section, "RegName")) {
      Check(n > 0);
      const std::string key = "RegName" + std::to_string(n);
      platform::GetPrivateProfileStringA(section.c_str(), key.c_str(), "\n", value.data(), 2048,
                                         path.c_str());
      Check(value[0] != '\n');
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
  const char* names[] = {"Style", "Font", "Style.cht"};
  for (std::size_t i = 0; i < 3; ++i) {
    std::string_view part = i < parts.size() ? parts[i] : std::string_view();
    std::ofstream(info / names[i], std::ios::binary | std::ios::trunc)
        .write(part.data(), static_cast<std::streamsize>(part.size()));
  }

  const auto wholeList = static_cast<platform::DWORD>(size + 4);
  const platform::DWORD small = size ? data[size - 1] % 64 : 2;
  // Loading goes through the file search, the registry and the installed-font list, which cost
  // far more than reading the files: one input in eight takes that whole path.
  if (size % 8 != 0) {
    for (const char* name : names) {
      const std::string path = std::string("D:\\TTF\\tmp\\Info\\") + name;
      CheckReader(platform::OpenProfileFile(path), path, wholeList, small);
    }
    return 0;
  }

  Check(engine::LoadCatalogue("D:\\TTF\\tmp\\Info", "D:\\TTF", 4));
  const engine::FontEngine& e = engine::Engine();
  Check(e.StyleReaders.size() == e.StyleFiles.size());
  Check(e.FontReaders.size() == e.FontFiles.size());
  for (std::size_t i = 0; i < e.StyleFiles.size(); ++i)
    CheckReader(e.StyleReaders[i], e.StyleFiles[i], wholeList, small);
  for (std::size_t i = 0; i < e.FontFiles.size(); ++i)
    CheckReader(e.FontReaders[i], e.FontFiles[i], wholeList, small);
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
