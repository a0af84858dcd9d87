// zelvafont-ctl's disc commands: the font sets, styles and fonts of the product disc, and the
// install and remove runs, done through the engine the way the font window does them.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>

#include "ctl/ctl.h"
#include "disc/disc.h"
#include "engine/engine.h"
#include "platform/console.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/language.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace ctl {
namespace {

struct FontSet {
  const char* name;
  const char* folder;  // below the disc root, ending in a backslash
};

constexpr FontSet kFontSets[] = {
    {"TTC", "TTC\\"},
    {"TTF", "TTF\\"},
    {"Gift_FontU", "Gift\\Gift_FontU\\"},
    {"Gift_Font", "Gift\\Gift_Font\\"},
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

bool IsDriveName(const std::string& s) {
  return (s.size() == 2 || (s.size() == 3 && s[2] == '\\')) &&
         std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':';
}

// A letter from D: on that names no drive yet.
char FreeDriveLetter() {
  char buffer[27 * 4 + 2] = {};
  platform::DWORD length = platform::GetLogicalDriveStringsA(sizeof buffer, buffer);
  std::set<char> used = {'A', 'B', 'C'};
  for (platform::DWORD i = 0; i < length && i < sizeof buffer && buffer[i]; i += 4)
    used.insert(static_cast<char>(std::toupper(static_cast<unsigned char>(buffer[i]))));
  for (char letter = 'D'; letter <= 'Z'; ++letter)
    if (!used.count(letter)) return letter;
  return 0;
}

// The disc root ("D:\") that the command works on.
std::string OpenDisc(const Context& context) {
  const std::string& disc = context.options.disc;
  if (disc.empty()) {
    std::string root = disc::FindProductDisc();
    if (root == "0")
      throw CtlError(kExitNoDisc,
                     "no CD-ROM drive holds the product disc (volume label QRTMV); "
                     "name one with --disc FOLDER or --disc D:");
    return root;
  }
  if (IsDriveName(disc)) {
    std::string root;
    root += static_cast<char>(std::toupper(static_cast<unsigned char>(disc[0])));
    root += ":\\";
    if (platform::GetDriveTypeA(root.c_str()) == platform::DRIVE_NO_ROOT_DIR ||
        !platform::DirectoryExists(root))
      throw CtlError(kExitNoDisc, "drive " + root.substr(0, 2) + " holds no disc");
    return root;
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(disc, ec))
    throw CtlError(kExitNoDisc, "no disc folder " + disc);
  char letter = FreeDriveLetter();
  if (letter == 0) throw CtlError(kExitNoDisc, "no free drive letter for " + disc);
  platform::DriveDeclaration drive;
  drive.letter = letter;
  drive.type = platform::DRIVE_CDROM;
  drive.hostFolder = std::filesystem::absolute(disc).string();
  drive.label = disc::kProductLabel;
  if (platform::DeclareDrive(drive, platform::DeclarationScope::Process))
    return std::string(1, letter) + ":\\";
  // Windows makes drives only through its own tools; there the folder itself is the disc.
  if (platform::GetLastError() == static_cast<platform::DWORD>(platform::ERROR_NOT_SUPPORTED)) {
    if (std::optional<std::string> root = platform::WindowsPathOf(disc))
      return root->ends_with('\\') ? *root : *root + "\\";
  }
  throw CtlError(kExitFailed, "cannot use " + disc + " as a drive");
}

const FontSet& FindFontSet(const std::string& name) {
  for (const auto& set : kFontSets)
    if (EqualsIgnoringCase(set.name, name)) return set;
  throw CtlError(kExitNoCatalogue,
                 "unknown font set '" + name + "' (TTC, TTF, Gift_FontU or Gift_Font)");
}

// Loads a set's catalogue into the engine as the launcher and the font window do.
struct LoadedSet {
  const FontSet* set = nullptr;
  std::string folder;    // "D:\TTC\"
  std::string language;  // the set's language name
};

LoadedSet LoadFontSet(const Context& context, const std::string& setName) {
  const FontSet& set = FindFontSet(setName);
  std::string root = OpenDisc(context);
  LoadedSet loaded;
  loaded.set = &set;
  loaded.folder = root + set.folder;
  const std::string shown = context.terminal.FromAnsi(loaded.folder);
  if (!platform::DirectoryExists(loaded.folder))
    throw CtlError(kExitNoCatalogue, "the disc has no font set " + std::string(set.name) +
                                         " (" + shown + " is missing)");
  platform::SetCurrentDirectoryA(loaded.folder.c_str());
  loaded.language = disc::ReadLanguageSuffix(loaded.folder);
  std::string infoDir = loaded.folder + "tmp\\Info";
  std::string sourceDir = loaded.folder.substr(0, loaded.folder.size() - 1);
  if (!engine::LoadCatalogue(infoDir, sourceDir, 0)) {
    // The catalogue is loaded with the Fonts folder the store names: a store that cannot be
    // used is the cause to name, not the catalogue.
    const std::string store = engine::DescribeStoreProblem(false);
    if (!store.empty()) throw CtlError(kExitFailed, context.terminal.FromAnsi(store));
  }
  if (engine::Engine().CatalogueDir.empty())
    throw CtlError(kExitNoCatalogue, "cannot load the font catalogue of " + std::string(set.name) +
                                         " (" + context.terminal.FromAnsi(infoDir) + ")");
  platform::OSVERSIONINFOA version;
  if (platform::GetVersionExA(&version) &&
      version.dwPlatformId != platform::VER_PLATFORM_WIN32_NT)
    engine::SetCopyHook(engine::CopyFontFileMaskGsub);
  return loaded;
}

std::vector<std::string> StyleNames(const LoadedSet& loaded) {
  std::vector<std::string> names;
  if (!engine::ListStyleNames(names))
    throw CtlError(kExitNoCatalogue, "the catalogue of " + std::string(loaded.set->name) +
                                         " names a style without a display name");
  return names;
}

// Selects the style given with --style; returns its display name (ANSI).
std::string SelectGivenStyle(const Context& context, const LoadedSet& loaded) {
  std::string name = context.terminal.ToAnsi(context.options.style);
  if (!engine::SelectStyle(name)) {
    std::vector<std::string> names;
    engine::ListStyleNames(names);
    std::string known;
    for (const auto& n : names) known += (known.empty() ? "" : ", ") + context.terminal.FromAnsi(n);
    throw CtlError(kExitNoCatalogue, "font set " + std::string(loaded.set->name) +
                                         " has no style '" + context.options.style +
                                         "' (styles: " + known + ")");
  }
  return name;
}

std::string StateWord(std::uint32_t state) {
  if (state & engine::FontInstalled) return "installed";
  if (state & engine::FontMismatch) return "mismatch";
  if (state & engine::LinkInstalled) return "links";
  return "-";
}

std::string PadRight(std::string s, size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

void PrintLine(const std::string& line) { std::cout << line << "\n"; }

int CommandSets(Context& context) {
  if (context.options.args.size() != 1) throw CtlError(kExitUsage, "sets takes no operands");
  std::string root = OpenDisc(context);
  Json json;
  json.BeginObject().Key("disc").String(platform::AnsiToUtf8(root)).Key("sets").BeginArray();
  for (const auto& set : kFontSets) {
    std::string folder = root + set.folder;
    if (!platform::DirectoryExists(folder)) continue;
    std::string language = disc::ReadLanguageSuffix(folder);
    if (context.options.json) {
      json.BeginObject()
          .Key("name").String(set.name)
          .Key("folder").String(platform::AnsiToUtf8(folder))
          .Key("language").String(platform::AnsiToUtf8(language))
          .EndObject();
    } else {
      std::string line = PadRight(set.name, 12) + PadRight(context.terminal.FromAnsi(folder), 24);
      if (!language.empty()) line += "language " + context.terminal.FromAnsi(language);
      PrintLine(line);
    }
  }
  json.EndArray().EndObject();
  if (context.options.json) PrintLine(json.str());
  return kExitOk;
}

int CommandStyles(Context& context) {
  const auto& args = context.options.args;
  if (args.size() != 2) throw CtlError(kExitUsage, "usage: styles SET");
  LoadedSet loaded = LoadFontSet(context, args[1]);
  std::vector<std::string> names = StyleNames(loaded);
  if (context.options.json) {
    Json json;
    json.BeginObject()
        .Key("set").String(loaded.set->name)
        .Key("language").String(platform::AnsiToUtf8(loaded.language))
        .Key("styles").BeginArray();
    for (const auto& name : names) {
      std::string key;
      engine::FindStyleKey(name, key);
      json.BeginObject()
          .Key("name").String(platform::AnsiToUtf8(name))
          .Key("key").String(platform::AnsiToUtf8(key))
          .EndObject();
    }
    PrintLine(json.EndArray().EndObject().str());
  } else {
    for (const auto& name : names) PrintLine(context.terminal.FromAnsi(name));
  }
  return kExitOk;
}

struct FontRow {
  std::string key, name, size;
  std::uint32_t state = 0;
};

std::vector<FontRow> StyleFonts() {
  std::vector<std::string> keys;
  engine::ListStyleFonts(keys);
  const std::vector<std::uint32_t> states = engine::QueryFontStates(keys);
  std::vector<FontRow> rows;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const std::string& key = keys[i];
    FontRow row;
    row.key = key;
    engine::GetFontName(key, row.name);
    engine::ReadFontValue(key, "Size", row.size);
    row.state = states[i];
    rows.push_back(std::move(row));
  }
  return rows;
}

void WriteFontRows(Json& json, const std::vector<FontRow>& rows) {
  json.BeginArray();
  for (const auto& row : rows) {
    json.BeginObject()
        .Key("key").String(platform::AnsiToUtf8(row.key))
        .Key("name").String(platform::AnsiToUtf8(row.name))
        .Key("installed").Bool(row.state & engine::FontInstalled)
        .Key("state").Integer(row.state)
        .Key("size_mb").Number(std::strtod(row.size.c_str(), nullptr))
        .EndObject();
  }
  json.EndArray();
}

int CommandFonts(Context& context) {
  const auto& args = context.options.args;
  if (args.size() != 2 || !context.options.hasStyle)
    throw CtlError(kExitUsage, "usage: fonts SET --style NAME");
  LoadedSet loaded = LoadFontSet(context, args[1]);
  std::string style = SelectGivenStyle(context, loaded);
  std::vector<FontRow> rows = StyleFonts();
  if (context.options.json) {
    Json json;
    json.BeginObject()
        .Key("set").String(loaded.set->name)
        .Key("style").String(platform::AnsiToUtf8(style))
        .Key("fonts");
    WriteFontRows(json, rows);
    PrintLine(json.EndObject().str());
    return kExitOk;
  }
  size_t keyWidth = 3;
  for (const auto& row : rows)
    keyWidth = std::max(keyWidth, context.terminal.FromAnsi(row.key).size());
  PrintLine(PadRight("KEY", keyWidth + 2) + "STATE      SIZE(MB)  NAME");
  for (const auto& row : rows) {
    PrintLine(PadRight(context.terminal.FromAnsi(row.key), keyWidth + 2) +
              PadRight(StateWord(row.state), 11) +
              PadRight(row.size.empty() ? "0" : context.terminal.FromAnsi(row.size), 10) +
              context.terminal.FromAnsi(row.name));
  }
  return kExitOk;
}

// The progress display of a run: a bar redrawn in place on a terminal, plain lines otherwise.
struct Progress {
  const Terminal* terminal = nullptr;
  bool bar = false;
  const char* verb = "";
  std::vector<std::string> handled;  // display names, ANSI
  bool drawn = false;

  static int Columns() {
    const int columns = platform::StandardErrorColumns();
    return columns > 20 ? columns : 80;
  }

  // Cuts UTF-8 text to about the given number of terminal columns (wide characters count two).
  static std::string Fit(const std::string& text, int columns) {
    int used = 0;
    size_t i = 0;
    while (i < text.size()) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
      int width = c >= 0xE1 ? 2 : 1;  // from U+1100 on: mostly wide (CJK)
      if (used + width > columns) break;
      used += width;
      i += length;
    }
    return text.substr(0, std::min(i, text.size()));
  }

  void Draw(int done, int total, const char* name) {
    int shownTotal = std::max(total, done);
    if (name) handled.emplace_back(name);
    // A linked font outside the current style has no display name there.
    std::string shownName = !name ? "" : *name ? terminal->FromAnsi(name) : "(linked font)";
    if (!bar) {
      if (name) {
        std::cerr << verb << " " << (done + 1) << "/" << shownTotal << ": " << shownName << "\n";
      } else {
        std::cerr << "done: " << done << " of " << shownTotal << "\n";
      }
      return;
    }
    constexpr int kWidth = 30;
    int filled = shownTotal > 0 ? done * kWidth / shownTotal : kWidth;
    std::string line = "\r[" + std::string(filled, '#') + std::string(kWidth - filled, '.') +
                       "] " + std::to_string(done) + "/" + std::to_string(shownTotal);
    if (name) line += " " + std::string(verb) + " " + shownName;
    int room = Columns() - 1;
    line = "\r" + Fit(line.substr(1), room);
    std::cerr << line << "\x1b[K";
    if (!name) std::cerr << "\n";
    std::cerr.flush();
    drawn = name != nullptr;
  }

  static void Callback(int done, int total, const char* name, void* context) {
    static_cast<Progress*>(context)->Draw(done, total, name);
  }
};

// The fonts the run works on: the selection, expanded by links when they are included.
int CommandRun(Context& context, bool install) {
  const auto& options = context.options;
  const auto& args = options.args;
  const std::string command = install ? "install" : "remove";
  if (args.size() < 2 || !options.hasStyle)
    throw CtlError(kExitUsage, "usage: " + command + " SET --style NAME (--all | KEY...)");
  if (options.all == (args.size() > 2))
    throw CtlError(kExitUsage, command + " needs either --all or font keys, not both");
  if (!install && options.noLinks)
    throw CtlError(kExitUsage,
                   "remove always takes the linked fonts along; --no-links is for install");
  LoadedSet loaded = LoadFontSet(context, args[1]);
  std::string style = SelectGivenStyle(context, loaded);

  std::vector<std::string> styleFonts;
  engine::ListStyleFonts(styleFonts);
  std::vector<std::string> keys;
  if (options.all) {
    keys = styleFonts;
  } else {
    for (size_t i = 2; i < args.size(); ++i) {
      std::string key = context.terminal.ToAnsi(args[i]);
      if (std::find(styleFonts.begin(), styleFonts.end(), key) == styleFonts.end())
        throw CtlError(kExitNoCatalogue,
                       "style '" + options.style + "' has no font '" + args[i] + "'");
      keys.push_back(key);
    }
  }

  engine::ClearSelection();
  for (const auto& key : keys) engine::AddToSelection(key);
  bool includeLinks = install ? !options.noLinks : true;
  engine::SetIncludeLinks(includeLinks);
  const std::vector<std::string> work = engine::SelectionWorkList();

  Progress progress;
  progress.terminal = &context.terminal;
  progress.bar = platform::StandardErrorIsConsole();
  progress.verb = install ? "installing" : "removing";
  struct Waiting {
    double limit;
    bool said = false;
  } waiting{options.waitSeconds};
  engine::SetRunWait(
      [](double waited, void* context) {
        auto& w = *static_cast<Waiting*>(context);
        if (!w.said) {
          std::cerr << "zelvafont-ctl: another installation is running; waiting for it\n";
          w.said = true;
        }
        return waited < w.limit;
      },
      &waiting);
  try {
    if (install)
      engine::InstallSelection(&Progress::Callback, &progress);
    else
      engine::RemoveSelection(&Progress::Callback, &progress);
  } catch (const std::exception& e) {
    if (progress.drawn) std::cerr << "\n";
    std::string cause;
    for (const auto& problem : engine::LastRunReport().problems)
      cause += "; " + context.terminal.FromAnsi(engine::DescribeProblem(problem, false));
    throw CtlError(kExitFailed,
                   command + " stopped: " + context.terminal.FromAnsi(e.what()) + cause);
  }
  engine::SetRunWait(nullptr, nullptr);
  const engine::RunReport& report = engine::LastRunReport();
  if (report.busy)
    throw CtlError(kExitBusy, "another installation is running; " + command +
                                  " gave up after waiting " +
                                  std::to_string(static_cast<long>(options.waitSeconds)) + " s");

  // A font that is not in the wanted state afterwards failed: say so, and why, rather than
  // report success.
  // The states after the run, taken at once (a chain of links would make one query per font
  // walk the chain again and again).
  const std::vector<std::uint32_t> states = engine::QueryFontStates(work);
  std::vector<std::string> failed;
  for (std::size_t i = 0; i < work.size(); ++i) {
    const bool installed = states[i] & engine::FontInstalled;
    if (installed != install) failed.push_back(work[i]);
  }
  for (const auto& problem : report.problems) {
    if (std::find(failed.begin(), failed.end(), problem.key) == failed.end())
      failed.push_back(problem.key);
  }

  if (options.json) {
    Json json;
    json.BeginObject()
        .Key("action").String(command)
        .Key("set").String(loaded.set->name)
        .Key("style").String(platform::AnsiToUtf8(style))
        .Key("links").Bool(includeLinks)
        .Key("handled").Integer(static_cast<std::int64_t>(progress.handled.size()))
        .Key("failed").BeginArray();
    for (const auto& key : failed) json.String(platform::AnsiToUtf8(key));
    json.EndArray().Key("problems").BeginArray();
    for (const auto& problem : report.problems) {
      json.BeginObject()
          .Key("key").String(platform::AnsiToUtf8(problem.key))
          .Key("message").String(platform::AnsiToUtf8(engine::DescribeProblem(problem, false)))
          .EndObject();
    }
    json.EndArray().Key("fonts").BeginArray();
    for (std::size_t i = 0; i < work.size(); ++i) {
      const std::string& key = work[i];
      std::string name;
      engine::GetFontName(key, name);
      const std::uint32_t state = states[i];
      json.BeginObject()
          .Key("key").String(platform::AnsiToUtf8(key))
          .Key("name").String(platform::AnsiToUtf8(name))
          .Key("installed").Bool(state & engine::FontInstalled)
          .Key("state").Integer(state)
          .EndObject();
    }
    PrintLine(json.EndArray().EndObject().str());
  } else {
    PrintLine(std::string(install ? "installed " : "removed ") +
              std::to_string(progress.handled.size()) + " font" +
              (progress.handled.size() == 1 ? "" : "s"));
  }
  if (!failed.empty()) {
    std::string list;
    for (const auto& key : failed) {
      list += (list.empty() ? "" : ", ") + context.terminal.FromAnsi(key);
      for (const auto& problem : report.problems) {
        if (problem.key == key)
          list += " (" + context.terminal.FromAnsi(
                             engine::DescribeProblem(problem, false).substr(
                                 (problem.name.empty() ? problem.key : problem.name).size() + 2)) +
                  ")";
      }
    }
    throw CtlError(kExitFailed, std::to_string(failed.size()) + " font" +
                                    (failed.size() == 1 ? " was" : "s were") + " not " +
                                    (install ? "installed: " : "removed: ") + list);
  }
  return kExitOk;
}

}  // namespace

int RunCheckCommand(Context& context) {
  const auto& options = context.options;
  if (options.args.size() != 1) throw CtlError(kExitUsage, "usage: check [--repair]");
  std::vector<engine::Drift> drift;
  if (!engine::CheckInstalledFonts(options.repair, drift))
    throw CtlError(kExitBusy, "another installation is running; check again when it is done");
  static const char* const kKinds[] = {"entry-without-file", "file-without-entry", "leftover",
                                       "size-mismatch"};
  bool unmended = false;
  Json json;
  json.BeginObject().Key("consistent").Bool(drift.empty()).Key("drift").BeginArray();
  for (const auto& d : drift) {
    const char* kind = kKinds[static_cast<int>(d.kind)];
    unmended = unmended || !d.repaired;
    if (options.json) {
      json.BeginObject()
          .Key("kind").String(kind)
          .Key("what").String(platform::AnsiToUtf8(d.what))
          .Key("file").String(platform::AnsiToUtf8(d.file))
          .Key("repaired").Bool(d.repaired)
          .EndObject();
    } else {
      PrintLine(PadRight(kind, 20) + context.terminal.FromAnsi(d.what) +
                (d.file != d.what ? " -> " + context.terminal.FromAnsi(d.file) : "") +
                (d.repaired ? "  [repaired]" : ""));
    }
  }
  if (options.json) PrintLine(json.EndArray().EndObject().str());
  else if (drift.empty()) PrintLine("consistent");
  if (unmended)
    throw CtlError(kExitFailed, std::to_string(drift.size()) + " difference" +
                                    (drift.size() == 1 ? "" : "s") +
                                    " between the store and the Fonts folder" +
                                    (options.repair ? " (not all of them are ours to mend)" : ""));
  return kExitOk;
}

int RunDiscCommand(Context& context) {
  const std::string& command = context.options.args[0];
  int result;
  if (command == "sets") {
    result = CommandSets(context);
  } else if (command == "styles") {
    result = CommandStyles(context);
  } else if (command == "fonts") {
    result = CommandFonts(context);
  } else if (command == "install") {
    result = CommandRun(context, true);
  } else if (command == "remove") {
    result = CommandRun(context, false);
  } else {
    throw CtlError(kExitUsage, "unknown command '" + command + "' (see --help)");
  }
  engine::ReleaseEngine();
  return result;
}

}  // namespace ctl
