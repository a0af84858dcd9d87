// The generated product disc and the read-back helpers of the engine's tests.
#include "engine/engine_fixture.h"

#include "engine/engine.h"
#include "platform/prefix.h"
#include "platform/registry.h"

namespace engine_test {

fs::path Utf8Path(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Name(const fs::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

fs::path DejaVu(const std::string& name) {
  return testing_support::HostSystemPath("/usr/share/fonts/truetype/dejavu/" + name);
}

fs::path FontCollection() {
  for (const char* candidate : {"/usr/share/fonts/truetype/arphic/uming.ttc",
                                "/usr/share/fonts/truetype/arphic/ukai.ttc"}) {
    const fs::path path = testing_support::HostSystemPath(candidate);
    if (fs::exists(path)) return path;
  }
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(
           testing_support::HostSystemPath("/usr/share/fonts"), ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->path().extension() == ".ttc") return it->path();
  }
  return {};
}

void EngineTest::SetUpDisc(unsigned short language) {
  using testing_support::RunningSystem;
  using testing_support::System;
  if (RunningSystem() == System::Windows)
    GTEST_SKIP() << "the cases rewrite the installed-font list, which is the machine's own here";
  if (!fs::exists(DejaVu("DejaVuSans.ttf"))) GTEST_SKIP() << "the DejaVu fonts are not installed";
  engine::ReleaseEngine();
  drive_.reset();
  disc_.reset();
  prefix_.reset();  // the old prefix restores the environment as it goes
  prefix_ = std::make_unique<testing_support::TempPrefix>(language);
  disc_ = std::make_unique<testing_support::TempDir>();
  fs::create_directories(infoDir());
  drive_ = std::make_unique<testing_support::ScopedDrive>('D', platform::DRIVE_CDROM, discDir(),
                                                           "QRTMV");
  ASSERT_TRUE(drive_->ok());
  // Every Windows system has the installed-font list; make sure the prefix has it too. It starts
  // empty, as a fresh prefix's does: under Wine it holds the host's fonts as Wine registers them
  // (DejaVu Sans among them), which the cases' names would match.
  platform::HKEY key = 0;
  ASSERT_EQ(platform::RegCreateKeyExA(platform::HKEY_LOCAL_MACHINE, kNtFontsKey, 0, nullptr, 0,
                                      platform::KEY_ALL_ACCESS, nullptr, &key, nullptr),
            platform::ERROR_SUCCESS);
  for (const std::string& name :
       platform::ListRegistryValueNames(platform::HKEY_LOCAL_MACHINE, kNtFontsKey)) {
    ASSERT_EQ(platform::RegDeleteValueA(key, name.c_str()), platform::ERROR_SUCCESS) << name;
  }
  platform::RegCloseKey(key);
}

void EngineTest::DeclareDisc() { ASSERT_TRUE(drive_->Redeclare()); }

void EngineTest::TearDown() {
  engine::ReleaseEngine();
  drive_.reset();
  disc_.reset();
  prefix_.reset();
}

void EngineTest::WriteCatalogue(const std::string& name, const std::string& bytes) {
  testing_support::WriteFile(infoDir() / name, bytes);
}

void EngineTest::PutFont(const std::string& relative, const fs::path& from) {
  fs::path to = setDir() / Utf8Path(relative);
  fs::create_directories(to.parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

bool EngineTest::Load() { return engine::LoadCatalogue(kInfoDir, kSetDir, 0); }

void EngineTest::WriteOneStyle(const std::string& fontSections,
                               const std::vector<std::string>& keys) {
  std::string style = "[StyleList]\r\nS=Style\r\n[S]\r\n";
  for (const auto& key : keys) style += key + "=" + key + " name\r\n";
  WriteCatalogue("Style", style);
  WriteCatalogue("Font", fontSections);
  ASSERT_TRUE(Load());
  ASSERT_TRUE(engine::SelectStyle("Style"));
}

std::vector<std::pair<std::string, std::string>> EngineTest::Entries() const {
  std::vector<std::pair<std::string, std::string>> entries;
  platform::HKEY key = 0;
  if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, kNtFontsKey, 0, platform::KEY_READ,
                              &key) != platform::ERROR_SUCCESS) {
    return entries;
  }
  for (const std::string& name :
       platform::ListRegistryValueNames(platform::HKEY_LOCAL_MACHINE, kNtFontsKey)) {
    char data[1024] = {};
    platform::DWORD size = sizeof data;
    platform::RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                               reinterpret_cast<platform::BYTE*>(data), &size);
    entries.emplace_back(name, data);
  }
  platform::RegCloseKey(key);
  return entries;
}

void EngineTest::SetEntry(const std::string& name, const std::string& data) {
  platform::HKEY key = 0;
  ASSERT_EQ(platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, kNtFontsKey, 0,
                                    platform::KEY_ALL_ACCESS, &key),
            platform::ERROR_SUCCESS);
  ASSERT_EQ(platform::RegSetValueExA(key, name.c_str(), 0, platform::REG_SZ,
                                     reinterpret_cast<const platform::BYTE*>(data.c_str()),
                                     static_cast<platform::DWORD>(data.size() + 1)),
            platform::ERROR_SUCCESS);
  platform::RegCloseKey(key);
}

std::set<std::string> EngineTest::FontsFolder() const {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(fontsDir())) {
    names.insert(Utf8Name(entry.path().filename()));
  }
  return names;
}

std::map<std::string, std::uintmax_t> EngineTest::Tree() const {
  std::map<std::string, std::uintmax_t> tree;
  const auto note = [&](const fs::directory_entry& entry) {
    const std::string name = Utf8Name(entry.path().filename());
    // The registry store's own files change with every read and write; the run lock is made
    // by the first run; Wine reads the disc's label from its folder.
    if (name.rfind("registry.db", 0) == 0 || name == "run.lock" || name == ".windows-label")
      return;
    tree[Utf8Name(entry.path())] = entry.is_regular_file() ? entry.file_size() : 0;
  };
  for (const fs::path& root : {prefixDir(), discDir(), fontsDir()}) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) note(entry);
  }
  for (const auto& entry : fs::directory_iterator(driveC())) note(entry);
  return tree;
}

std::string FontSection(const std::string& key, const std::string& source,
                        const std::vector<std::string>& regNames, const std::string& size,
                        const std::vector<std::string>& links) {
  std::string s = "[" + key + "]\r\nSource=" + source + "\r\nSize=" + size + "\r\n";
  s += "RegNameCount=" + std::to_string(regNames.size()) + "\r\n";
  for (std::size_t i = 0; i < regNames.size(); ++i) {
    s += "RegName" + std::to_string(i + 1) + "=" + regNames[i] + "\r\n";
  }
  if (!links.empty()) {
    s += "LinkCount=" + std::to_string(links.size()) + "\r\n";
    for (std::size_t i = 0; i < links.size(); ++i) {
      s += "Link" + std::to_string(i + 1) + "=" + links[i] + "\r\n";
    }
  }
  return s;
}

}  // namespace engine_test
