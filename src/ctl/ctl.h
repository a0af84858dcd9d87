#pragma once
// zelvafont-ctl: what the command-line tool's parts share: its options, its exit codes, the
// terminal's text encoding, the JSON writer and the command entry points.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"

namespace ctl {

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 2,
  kExitNoDisc = 3,
  kExitNoCatalogue = 4,  // also an unknown set, style or font key
  kExitFailed = 5,  // also drift that check found and did not mend
  kExitBusy = 6,    // another installation held the prefix for longer than --wait
  kExitNotRoot = 7,  // the machine scope (--system) asked for by a user who is not root
};

// A failure that ends the run with a one-line message on stderr.
class CtlError : public std::runtime_error {
 public:
  CtlError(ExitCode code, const std::string& message)
      : std::runtime_error(message), code_(code) {}
  ExitCode code() const { return code_; }

 private:
  ExitCode code_;
};

struct Options {
  std::string prefix;
  std::string disc;
  bool json = false;
  bool help = false;
  bool all = false;
  bool noLinks = false;
  bool dword = false;
  bool repair = false;
  bool system = false;   // the machine's prefix instead of the user's
  bool version = false;
  double waitSeconds = 60;  // how long install and remove wait for another installation
  bool hasStyle = false;
  std::string style;              // in the terminal's encoding
  std::vector<std::string> args;  // the command and its operands
};

// Parses the arguments (options may stand anywhere; "--" ends them). Throws CtlError with
// kExitUsage on a bad option.
Options ParseOptions(const std::vector<std::string>& arguments);
// The command line's texts; throws CtlError (usage) for one the system's code page cannot hold.
std::vector<std::string> ArgumentsOf(const platform::CommandLine& line);
std::string UsageText();

// The terminal's character set (from the locale) against the program's ANSI byte strings.
class Terminal {
 public:
  // Reads the locale (call after setlocale(LC_ALL, "")); arguments come in argumentCodeset,
  // which on Windows differs from the console's.
  explicit Terminal(std::string argumentCodeset);
  // ANSI (active code page) -> the terminal's encoding.
  std::string FromAnsi(std::string_view ansi) const;
  // The terminal's encoding -> ANSI; throws CtlError (usage) when the text has characters that
  // the ANSI code page cannot hold.
  std::string ToAnsi(std::string_view text) const;
  // UTF-8 -> the terminal's encoding; an argument's text -> UTF-8.
  std::string FromUtf8(std::string_view utf8) const;
  std::string ToUtf8(std::string_view text) const;
  bool IsUtf8() const { return utf8_; }

 private:
  std::string codeset_;
  std::string argumentCodeset_;
  bool utf8_ = true;
};

// A compact JSON document built in order; strings are taken as UTF-8 and written as ASCII,
// everything beyond it escaped as \uXXXX, so the document reads the same in every locale.
class Json {
 public:
  Json& BeginObject();
  Json& EndObject();
  Json& BeginArray();
  Json& EndArray();
  Json& Key(std::string_view name);
  Json& String(std::string_view utf8);
  Json& Number(double value);
  Json& Integer(std::int64_t value);
  Json& Bool(bool value);
  Json& Null();
  const std::string& str() const { return out_; }

 private:
  void Separate();
  std::string out_;
  std::vector<bool> first_;  // per open container: nothing written yet
  bool afterKey_ = false;
};

// Escapes UTF-8 text as a JSON string literal (with the quotes).
std::string JsonQuote(std::string_view utf8);

// Everything a command needs besides its operands.
struct Context {
  Options options;
  Terminal terminal;
};

int RunDiscCommand(Context& context);      // sets, styles, fonts, install, remove
int RunCheckCommand(Context& context);     // check [--repair]
int RunRegistryCommand(Context& context);  // registry list|get|set|delete

}  // namespace ctl
