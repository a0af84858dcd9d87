// The start-up sequence: the disc check, the shared path state, the window's frame and place,
// the language name and the registry marker.
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <functional>
#include <unistd.h>

#include "Installmain/app_support.h"
#include "Installmain/launcher_fixture.h"
#include "disc/shared_paths.h"
#include "platform/files.h"
#include "platform/prefix.h"
#include "platform/registry.h"

namespace launcher_test {
namespace {

constexpr const char* kMarkerKey = "SOFTWARE\\Zelvaworks";

bool MarkerKeyExists() {
  platform::Registry registry(platform::KEY_READ);
  registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  return registry.KeyExists(kMarkerKey);
}

// The marker's type and 32-bit data, read with the raw calls.
struct MarkerValue {
  bool exists = false;
  platform::DWORD type = 0;
  std::int32_t data = 0;
};

MarkerValue ReadMarker() {
  MarkerValue value;
  platform::HKEY key = 0;
  if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, kMarkerKey, 0, platform::KEY_READ,
                              &key) != platform::ERROR_SUCCESS) {
    return value;
  }
  platform::DWORD size = sizeof(value.data);
  value.exists = platform::RegQueryValueExA(key, "Zwk98", nullptr, &value.type,
                                            reinterpret_cast<platform::BYTE*>(&value.data),
                                            &size) == platform::ERROR_SUCCESS;
  platform::RegCloseKey(key);
  return value;
}

void WriteMarker(const std::function<void(platform::Registry&)>& write) {
  platform::Registry registry;
  registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKey(kMarkerKey, true));
  write(registry);
}

struct NoDiscCase {
  unsigned short language;
  const char* message;
};

class NoDiscTest : public LauncherTest, public ::testing::WithParamInterface<NoDiscCase> {
 protected:
  NoDiscTest() : LauncherTest(GetParam().language) {}
};

TEST_P(NoDiscTest, ShowsTheLocalisedMessageAndEndsWithoutAWindow) {
  // A CD-ROM drive with another disc does not count.
  InsertDisc("QRTMVX");
  int exitCode = -1;
  try {
    TInsMain launcher;
    ADD_FAILURE() << "the launcher was created without the disc";
  } catch (const ExitCalled& exit) {
    exitCode = exit.code;
  }
  EXPECT_EQ(exitCode, 0);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, GetParam().message);
  EXPECT_EQ(messages_[0].caption, kProductTitle);
  for (QWidget* widget : QApplication::topLevelWidgets()) EXPECT_FALSE(widget->isVisible());
  EXPECT_EQ(disc::Paths().discRoot, "0");
  // The process ended before the marker: nothing was written.
  EXPECT_FALSE(MarkerKeyExists());
}

INSTANTIATE_TEST_SUITE_P(
    Languages, NoDiscTest,
    ::testing::Values(
        NoDiscCase{3076, "無法找到[QRTMV]字型光碟片,請先放入字型光碟片!"},
        NoDiscCase{1028, "無法找到[QRTMV]字型光碟片,請先放入字型光碟片!"},
        NoDiscCase{2052, "No Found [QRTMV] CD-ROM! Check the CD-ROM."},
        NoDiscCase{1033, "No Found [QRTMV] CD-ROM! Check the CD-ROM."}),
    [](const auto& info) { return std::to_string(info.param.language); });

TEST_F(LauncherTest, FixesTheSharedPathStateForTheDisc) {
  testing_support::WriteFile(disc_.path() / "tmp" / "Info" / "LangMap",
                             "[Lang]\r\n1028=cht\r\n1033 = enu \r\n");
  InsertDisc("qrtmv");
  const auto launcher = StartLauncher();
  ASSERT_TRUE(launcher);
  const disc::SharedPaths& paths = disc::Paths();
  EXPECT_EQ(paths.discRoot, "E:\\");
  EXPECT_EQ(paths.setFolder, "E:\\");
  EXPECT_EQ(paths.setFolderNoSlash, "E:");
  EXPECT_EQ(paths.infoFolder, "E:\\tmp\\Info");
  EXPECT_EQ(paths.infoFolderTexts, "");
  EXPECT_EQ(paths.languageName, "enu");
  EXPECT_EQ(launcher->StartFolder, "E:\\");
  EXPECT_EQ(platform::GetCurrentDirectoryA(), "E:\\");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(LauncherTest, LanguageNameIsEmptyWithoutAUsableLanguageMap) {
  InsertDisc();
  const struct {
    const char* name;
    const char* bytes;
  } maps[] = {
      {"no key for the language", "[Lang]\r\n1028=cht\r\n"},
      {"no Lang section", "[Language]\r\n1033=enu\r\n"},
      {"not an INI file", "\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01"},
  };
  for (const auto& map : maps) {
    SCOPED_TRACE(map.name);
    testing_support::WriteFile(disc_.path() / "tmp" / "Info" / "LangMap", map.bytes);
    disc::Paths().languageName = "stale";
    const auto launcher = StartLauncher();
    ASSERT_TRUE(launcher);
    EXPECT_EQ(disc::Paths().languageName, "");
  }
  std::filesystem::remove(disc_.path() / "tmp" / "Info" / "LangMap");
  const auto launcher = StartLauncher();
  EXPECT_EQ(disc::Paths().languageName, "");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(LauncherTest, WindowIsFixedCentredAndCaptioned) {
  InsertDisc();
  const auto launcher = StartLauncher();
  ASSERT_TRUE(launcher);
  EXPECT_EQ(launcher->windowTitle(), QString::fromUtf8(kProductTitle));
  EXPECT_EQ(launcher->size(), QSize(630, 451));
  EXPECT_EQ(launcher->minimumSize(), QSize(630, 451));
  EXPECT_EQ(launcher->maximumSize(), QSize(630, 451));
  const Qt::WindowFlags flags = launcher->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(launcher->windowIcon().isNull());

  // Start-up leaves the window hidden; the entry shows it when the event loop starts.
  EXPECT_FALSE(launcher->isVisible());
  EXPECT_EQ(HintPause(), 100);
  EXPECT_EQ(HintHidePause(), 10000);

  // Centred by its frame, which only the shown window has.
  launcher->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(launcher.get()));
  const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
  const QRect frame = launcher->frameGeometry();
  ASSERT_NE(frame.size(), launcher->size()) << "the platform gives the window no frame";
  EXPECT_EQ(frame.topLeft(), QPoint(screen.width() / 2 - frame.width() / 2,
                                    screen.height() / 2 - frame.height() / 2));
}

TEST_F(LauncherTest, RegistryMarkerIsWrittenOnceAndThenLeftAlone) {
  InsertDisc();
  ASSERT_FALSE(MarkerKeyExists());
  StartLauncher();
  MarkerValue marker = ReadMarker();
  ASSERT_TRUE(marker.exists);
  EXPECT_EQ(marker.type, platform::REG_DWORD);
  EXPECT_EQ(marker.data, 1);

  // Set to 0 by hand: the next start-up reads it and leaves it so.
  WriteMarker([](platform::Registry& r) { r.WriteInteger("Zwk98", 0); });
  StartLauncher();
  marker = ReadMarker();
  EXPECT_EQ(marker.type, platform::REG_DWORD);
  EXPECT_EQ(marker.data, 0);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(LauncherTest, RegistryMarkerOfTheWrongKindIsReportedAndLeftAlone) {
  InsertDisc();
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"a", "Invalid data type for 'Zwk98'"},
      {"abcd", "Failed to get data for 'Zwk98'"},
      {"a much longer text", "Failed to get data for 'Zwk98'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    messages_.clear();
    WriteMarker([&](platform::Registry& r) { r.WriteString("Zwk98", c.text); });
    const auto launcher = StartLauncher();
    ASSERT_TRUE(launcher) << "the launcher opens after the report";
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, c.message);
    EXPECT_EQ(messages_[0].caption, kProductTitle);
    platform::Registry registry(platform::KEY_READ);
    registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.OpenKeyReadOnly(kMarkerKey));
    EXPECT_EQ(registry.ReadString("Zwk98"), c.text);
  }
}

TEST_F(LauncherTest, RegistryWithoutWriteAccessIsReportedOnceAndTheLauncherOpens) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes to a read-only store anyway";
  // The prefix and its store exist; make both read-only and open the store again.
  ASSERT_FALSE(MarkerKeyExists());
  namespace fs = std::filesystem;
  const fs::path store = prefix_.path() / "registry.db";
  ASSERT_TRUE(fs::exists(store));
  fs::permissions(store, fs::perms::owner_read);
  fs::permissions(prefix_.path(), fs::perms::owner_read | fs::perms::owner_exec);
  platform::ReopenPrefix();
  InsertDisc();
  const auto launcher = StartLauncher();
  fs::permissions(prefix_.path(), fs::perms::owner_all);
  fs::permissions(store, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(launcher);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Failed to create key SOFTWARE\\Zelvaworks");
}

}  // namespace
}  // namespace launcher_test
