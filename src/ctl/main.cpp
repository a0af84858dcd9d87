// zelvafont-ctl: lists and installs the fonts of the product disc from the command line, and
// reads and writes the registry of the prefix.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>

#include "ctl/ctl.h"
#include "engine/engine.h"
#include "platform/console.h"
#include "platform/prefix.h"
#include "platform/text.h"

namespace ctl {

std::string UsageText() {
  return R"(Usage: zelvafont-ctl [--system | --prefix DIR] [--disc FOLDER|DRIVE] [--json] COMMAND ...

Commands:
  sets                                   font sets found on the disc
  styles SET                             display names of the set's styles
  fonts SET --style NAME                 key, display name, installed state and size of each font
  install SET --style NAME (--all | KEY...) [--no-links]
                                         install fonts (with their linked fonts unless --no-links)
  remove SET --style NAME (--all | KEY...)
                                         remove fonts and their linked fonts
  check [--repair]                       compare the installed-font list with the Fonts folder:
                                         entries without files, files of ours without entries,
                                         what an interrupted run left, changed copies; --repair
                                         mends what is ours
  registry list KEY                      values of a registry key: name, type, data
  registry get KEY VALUE                 the data of one value
  registry set KEY VALUE DATA [--dword]  store a string (or a 32-bit number with --dword)
  registry delete KEY VALUE              delete one value

SET is one of TTC, TTF, Gift_FontU, Gift_Font (any case).
KEY is HKLM\... or HKCU\... (also HKEY_LOCAL_MACHINE\..., HKEY_CURRENT_USER\...).

Options:
  --system        work for every user of the machine: the machine's prefix /var/lib/zelvafont,
                  fonts in /usr/local/share/fonts/zelvafont and the system font cache; needs
                  root (also with ZELVAFONT_SCOPE=system; ZELVAFONT_SCOPE=user is the default)
  --prefix DIR    use DIR as the prefix (sets ZELVAFONT_PREFIX for this run)
  --disc FOLDER   use FOLDER as the product disc (a CD-ROM drive for this run only)
  --disc D:       use the disc in drive D:
                  (default: the CD-ROM drive that holds the disc labelled QRTMV)
  --json          print one JSON document on stdout
  --wait SECONDS  how long install and remove wait while another installation runs (60)
  --help          show this text
  --version       show the program's version

Exit codes: 0 done, 2 usage error, 3 no product disc, 4 catalogue not loadable or set, style
or font unknown, 5 the run failed (or check found drift it did not mend), 6 another
installation kept running for longer than --wait, 7 the machine scope asked for without root.
)";
}

// One that the system's code page cannot hold would reach the program with '?' in place of what
// is missing, so it is refused at once.
std::vector<std::string> ArgumentsOf(const platform::CommandLine& line) {
  std::vector<std::string> arguments;
  for (std::size_t i = 0; i < line.args.size(); ++i) {
    if (!line.args[i])
      throw CtlError(kExitUsage, "argument " + std::to_string(i + 1) +
                                     " cannot be written in code page " +
                                     std::to_string(platform::GetACP()) +
                                     " (the system language's)");
    arguments.push_back(*line.args[i]);
  }
  return arguments;
}

Options ParseOptions(const std::vector<std::string>& arguments) {
  Options options;
  bool optionsEnded = false;
  const std::size_t count = arguments.size();
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& arg = arguments[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-' || arg[1] != '-') {
      options.args.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg, inlineValue;
    bool hasInline = false;
    if (auto eq = arg.find('='); eq != std::string::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
      hasInline = true;
    }
    auto value = [&]() -> std::string {
      if (hasInline) return inlineValue;
      if (i + 1 >= count) throw CtlError(kExitUsage, "option " + name + " needs a value");
      return arguments[++i];
    };
    auto flag = [&](bool& target) {
      if (hasInline) throw CtlError(kExitUsage, "option " + name + " takes no value");
      target = true;
    };
    if (name == "--prefix") {
      options.prefix = value();
      if (options.prefix.empty()) throw CtlError(kExitUsage, "--prefix needs a folder");
    } else if (name == "--disc") {
      options.disc = value();
      if (options.disc.empty()) throw CtlError(kExitUsage, "--disc needs a folder or a drive");
    } else if (name == "--style") {
      options.style = value();
      options.hasStyle = true;
    } else if (name == "--json") {
      flag(options.json);
    } else if (name == "--help") {
      flag(options.help);
    } else if (name == "--version") {
      flag(options.version);
    } else if (name == "--system") {
      flag(options.system);
    } else if (name == "--all") {
      flag(options.all);
    } else if (name == "--no-links") {
      flag(options.noLinks);
    } else if (name == "--dword") {
      flag(options.dword);
    } else if (name == "--repair") {
      flag(options.repair);
    } else if (name == "--wait") {
      const std::string text = value();
      char* end = nullptr;
      options.waitSeconds = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !(options.waitSeconds >= 0) ||
          options.waitSeconds > 86400 * 365)
        throw CtlError(kExitUsage, "--wait needs a number of seconds");
    } else {
      throw CtlError(kExitUsage, "unknown option " + name + " (see --help)");
    }
  }
  if (options.system && !options.prefix.empty())
    throw CtlError(kExitUsage, "--system and --prefix name different prefixes: give one");
  return options;
}

// The options choose the prefix before the environment does: --prefix, --system, then
// ZELVAFONT_PREFIX or ZELVAFONT_SCOPE.
void ChoosePrefix(const Options& options) {
  if (!options.prefix.empty()) {
    if (!platform::UsePrefixFolder(std::filesystem::absolute(options.prefix).string()))
      throw CtlError(kExitFailed, "cannot use " + options.prefix + " as the prefix");
    return;
  }
  bool machine = options.system;
  if (!machine) {
    const char* scope = std::getenv("ZELVAFONT_SCOPE");
    const std::string value = scope ? scope : "";
    if (!value.empty() && value != "user" && value != "system")
      throw CtlError(kExitUsage, "ZELVAFONT_SCOPE is '" + value + "': it must be user or system");
    const char* prefix = std::getenv("ZELVAFONT_PREFIX");
    if (value == "system" && prefix && *prefix)
      throw CtlError(kExitUsage,
                     "ZELVAFONT_SCOPE=system and ZELVAFONT_PREFIX name different prefixes: "
                     "unset one");
    machine = value == "system";
  }
  if (machine && !platform::SetPrefixScope(platform::PrefixScope::Machine))
    throw CtlError(kExitNotRoot,
                   "the machine scope installs fonts for every user and needs root: run it "
                   "with sudo, or without --system (and ZELVAFONT_SCOPE=system) for your own "
                   "fonts");
}

}  // namespace ctl

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");  // JSON numbers and Size values use a decimal point
  try {
    const platform::CommandLine line = platform::ReadCommandLine(argc, argv);
    ctl::Context context{ctl::ParseOptions(ctl::ArgumentsOf(line)), ctl::Terminal(line.codeset)};
    const auto& options = context.options;
    if (options.help) {
      std::cout << ctl::UsageText();
      return ctl::kExitOk;
    }
    if (options.version) {
      std::cout << "zelvafont-ctl " ZF_VERSION "\n";
      return ctl::kExitOk;
    }
    if (options.args.empty())
      throw ctl::CtlError(ctl::kExitUsage, "no command given (see --help)");
    static const std::set<std::string> kCommands = {"sets",   "styles", "fonts",
                                                    "install", "remove", "registry",
                                                    "check"};
    if (!kCommands.count(options.args[0]))
      throw ctl::CtlError(ctl::kExitUsage,
                          "unknown command '" + options.args[0] + "' (see --help)");
    ctl::ChoosePrefix(options);
    try {
      platform::PrefixDir();
    } catch (const std::exception& e) {
      throw ctl::CtlError(ctl::kExitFailed, e.what());
    }
    // What a killed run left is settled before anything else looks at the fonts.
    engine::RecoverInterruptedRuns();
    if (options.args[0] == "registry") return ctl::RunRegistryCommand(context);
    if (options.args[0] == "check") return ctl::RunCheckCommand(context);
    return ctl::RunDiscCommand(context);
  } catch (const ctl::CtlError& e) {
    std::cout.flush();
    std::cerr << "zelvafont-ctl: " << e.what() << "\n";
    return e.code();
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "zelvafont-ctl: " << e.what() << "\n";
    return ctl::kExitFailed;
  }
}
