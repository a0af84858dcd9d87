#pragma once
// The launcher with its font window on a generated product disc in drive D:, as the program
// entry puts them together, with a log of what the user sees: the windows showing and hiding,
// and the message boxes in between.

#include <QObject>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Installfont/insfont.h"
#include "Installmain/launcher_fixture.h"

namespace launcher_test {

// One font of a generated set: a real font file to copy, or filler bytes when hostFont is empty.
struct SetFont {
  std::string key;
  std::string name;
  std::string file;  // below the set folder
  std::string hostFont;
  std::string regName;
};

struct FontSetOptions {
  // The body of tmp\Info\LangMap; no file when empty.
  std::string langMap = "[Lang]\r\n1033=enu\r\n1028=cht\r\n";
  // Without the information folder the catalogue cannot load.
  bool information = true;
  std::vector<SetFont> fonts = {{"F1", "Filler One", "f1.ttf", "", "Zelva Filler One"}};
};

// Writes a font set below the disc folder; set is a host path such as "Gift/Gift_FontU".
void WriteFontSet(const std::filesystem::path& disc, const std::string& set,
                  const FontSetOptions& options = {});
// Writes a program file of the disc (a shell script when body starts with "#!").
void WriteProgram(const std::filesystem::path& path, const std::string& body,
                  bool executable = true);
// A script that notes its working folder in the file "started" beside itself, then sleeps.
std::string RecordingScript(int sleepSeconds = 0);

// Runs the event loop until the file exists; false when it does not come within limitMs.
bool WaitForFile(const std::filesystem::path& path, int limitMs = 10000);

class ActionTest : public LauncherTest {
 protected:
  explicit ActionTest(unsigned short language = 1033);
  ~ActionTest() override;

  // Declares the disc as drive D:, starts the launcher, creates the font window as the program
  // entry does and shows the launcher.
  void Start();
  // Runs the event loop until the font window's worker has nothing left to do.
  void Settle(int limitMs = 20000);
  // The current directory as a Windows path.
  static std::string CurrentDirectory();

  // "launcher shown", "launcher hidden", "font window shown", "font window hidden" and
  // "message: <text>", in the order they happened.
  std::vector<std::string> events_;
  std::unique_ptr<QObject> recorder_;
  std::unique_ptr<TInsMain> launcher_;
  std::unique_ptr<TInsFont> fontWindow_;
};

}  // namespace launcher_test
