// The demo disc's files: Big5 texts, profile files, the machine's font list, the stand-in
// programs and autorun.sh.
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <tuple>

#include "demodisc.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace demodisc {
namespace {

void WriteText(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

void MakeExecutable(const fs::path& path) {
  fs::permissions(path,
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec,
                  fs::perm_options::replace);
}

// A shell word in single quotes.
std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

}  // namespace

std::string Big5(const std::string& utf8) {
  std::string big5 = platform::Utf8ToAnsi(utf8, 950);
  // The converter marks what it cannot convert with '?'; a text without one must not gain one.
  if (std::count(big5.begin(), big5.end(), '?') != std::count(utf8.begin(), utf8.end(), '?'))
    throw std::runtime_error("no Big5 form for the text \"" + utf8 + "\"");
  return big5;
}

void WriteIniFile(const fs::path& path, const std::vector<IniSection>& sections) {
  std::string bytes;
  for (const auto& section : sections) {
    if (!bytes.empty()) bytes += "\r\n";
    bytes += "[" + section.name + "]\r\n";
    for (const auto& [key, value] : section.values) bytes += key + "=" + value + "\r\n";
  }
  WriteText(path, bytes);
}

std::map<std::string, FoundFont> ListMachineFonts() {
  std::map<std::string, FoundFont> fonts;
  if (!FcInit()) return fonts;
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_FAMILY, FC_STYLE, FC_INDEX, nullptr);
  FcFontSet* list = FcFontList(nullptr, pattern, objects);
  struct Face {
    std::string path, family, style;
    int index;
  };
  std::vector<Face> faces;
  for (int i = 0; list && i < list->nfont; ++i) {
    FcChar8* file = nullptr;
    FcChar8* family = nullptr;
    FcChar8* style = nullptr;
    int index = 0;
    if (FcPatternGetString(list->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
    FcPatternGetString(list->fonts[i], FC_FAMILY, 0, &family);
    FcPatternGetString(list->fonts[i], FC_STYLE, 0, &style);
    FcPatternGetInteger(list->fonts[i], FC_INDEX, 0, &index);
    faces.push_back({reinterpret_cast<const char*>(file),
                     family ? reinterpret_cast<const char*>(family) : "",
                     style ? reinterpret_cast<const char*>(style) : "", index});
  }
  if (list) FcFontSetDestroy(list);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  // The system's own copies first, then by path and face, so the choice does not depend on the
  // order fontconfig happens to list.
  auto rank = [](const Face& f) { return f.path.rfind("/usr/share/fonts/", 0) == 0 ? 0 : 1; };
  std::sort(faces.begin(), faces.end(), [&](const Face& a, const Face& b) {
    return std::tuple(rank(a), a.path, a.index) < std::tuple(rank(b), b.path, b.index);
  });
  for (const auto& face : faces) {
    std::string name = fs::path(face.path).filename().string();
    if (fonts.count(name)) continue;
    fonts[name] = FoundFont{face.path, face.family, face.style};
  }
  return fonts;
}

void WriteStandInProgram(const fs::path& path, const std::string& title, const std::string& text) {
  std::string script = R"sh(#!/bin/sh
# Stand-in for a program of the ZelvaFont demo disc: says what it stands for.
title=)sh" + ShellQuote(title) + R"sh(
text=)sh" + ShellQuote(text) + R"sh(
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  if command -v zenity >/dev/null 2>&1; then
    exec zenity --info --title="$title" --text="$text"
  fi
  if command -v notify-send >/dev/null 2>&1; then
    exec notify-send "$title" "$text"
  fi
  if command -v xmessage >/dev/null 2>&1; then
    exec xmessage -center -title "$title" "$title

$text"
  fi
fi
printf '%s\n%s\n' "$title" "$text"
)sh";
  WriteText(path, script);
  MakeExecutable(path);
}

void WriteAutorun(const fs::path& discDir, const fs::path& launcher, const fs::path& prefixDir) {
  std::string prefixLine;
  if (!prefixDir.empty()) {
    std::string relative = fs::relative(prefixDir, discDir).string();
    prefixLine = "# The sandbox prefix made with the disc, unless one is chosen already.\n"
                 "if [ -z \"${ZELVAFONT_PREFIX:-}\" ]; then\n"
                 "  ZELVAFONT_PREFIX=\"$disc\"/" + ShellQuote(relative) + "\n"
                 "  export ZELVAFONT_PREFIX\n"
                 "fi\n";
  }
  std::string launcherRelative = fs::relative(launcher, discDir).string();
  std::string script = R"sh(#!/bin/sh
# Starts ZelvaFont Setup from this disc: the installed program, else the one in the build tree
# that made the disc.
disc=$(cd "$(dirname "$0")" && pwd)
)sh" + prefixLine + R"sh(if command -v zelvafont >/dev/null 2>&1; then
  exec zelvafont "$@"
fi
launcher="$disc"/)sh" + ShellQuote(launcherRelative) + R"sh(
if [ -x "$launcher" ]; then
  exec "$launcher" "$@"
fi
echo "autorun.sh: ZelvaFont Setup is not installed (no zelvafont on PATH, none at $launcher)" >&2
exit 1
)sh";
  fs::path path = discDir / "autorun.sh";
  WriteText(path, script);
  MakeExecutable(path);
}

}  // namespace demodisc
