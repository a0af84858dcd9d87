#pragma once
// zelvafont-demodisc: the parts of the demo disc builder. The disc's layout (font sets, styles,
// fonts, texts) is a table; the fonts come from what fontconfig lists on this machine.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace demodisc {

enum class SampleKind { Chinese, Latin, Mono, Symbols };

// One font of the demo catalogue. Texts are UTF-8; Chinese ones are written as Big5.
struct FontPlan {
  std::string key;
  std::string file;        // base name of the font file as fontconfig lists it
  std::string english;     // display name in the plain Style file
  std::string chinese;     // display name in the Chinese Style file
  std::vector<std::string> regNames;     // RegName1..n
  std::vector<std::string> chtRegNames;  // the Chinese language's RegName1..n
  std::vector<std::string> links;        // keys of linked fonts
  std::string family;      // the face to draw the sample with (family and style)
  std::string style;
  SampleKind sample = SampleKind::Latin;
  std::string sampleText;  // UTF-8
  bool fallback = false;   // used only when no other font of its set is on this machine
};

struct StyleSpec {
  std::string key;
  std::string english;
  std::string chinese;
  std::vector<std::string> fonts;  // font keys
};

struct SetSpec {
  std::string name;    // "TTC"
  std::string folder;  // host path below the disc root ("Gift/Gift_FontU")
  std::vector<FontPlan> fonts;
  std::vector<StyleSpec> styles;
  std::string checkBothEnglish;  // the set's "Msg3"
  std::string checkBothChinese;
};

// The four font sets as the disc should carry them, before looking at this machine's fonts.
std::vector<SetSpec> DiscLayout();

// A font file that fontconfig lists.
struct FoundFont {
  std::filesystem::path path;
  std::string family;  // of face 0
  std::string style;
};

// Font files by base name (the first listed file of a name wins).
std::map<std::string, FoundFont> ListMachineFonts();

// Drops the fonts that this machine lacks (and the links and styles that named them), falling
// back to the set's fallback fonts and then to any font on the machine, so that every set keeps
// at least one font and two styles. Returns the number of fonts kept over all sets.
int FitLayoutToMachine(std::vector<SetSpec>& sets, const std::map<std::string, FoundFont>& found);

// The "Install Window" texts: key and English / Chinese text, in the message file's order.
struct MessageText {
  std::string key, english, chinese;
};
std::vector<MessageText> InstallWindowTexts(const SetSpec& set);

// UTF-8 -> Big5 (code page 950); throws when a character has no Big5 form.
std::string Big5(const std::string& utf8);

// Writes a profile (INI) file the way a disc made on Windows holds it (CRLF lines). Values are
// bytes as they should stand in the file.
struct IniSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> values;
};
void WriteIniFile(const std::filesystem::path& path, const std::vector<IniSection>& sections);

// Pictures (QPainter, written as JPEG with the project's encoder).
void RenderSample(const FontPlan& font, const FoundFont& file, const std::filesystem::path& out);
void RenderInstalledMark(const std::filesystem::path& out);
// The gift pictures; returns how many were written.
int RenderGiftPictures(const std::filesystem::path& folder, const std::string& chineseFamily);

// The stand-in programs and autorun.sh.
void WriteStandInProgram(const std::filesystem::path& path, const std::string& title,
                         const std::string& text);
void WriteAutorun(const std::filesystem::path& discDir, const std::filesystem::path& launcher,
                  const std::filesystem::path& prefixDir);

}  // namespace demodisc
