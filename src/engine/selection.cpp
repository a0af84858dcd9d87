// The selection: membership, the expansion by font links, the counts and the space, and the two
// batch runs with their progress calls and the EUDC switch around them.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <unordered_set>

#include "engine/engine_internal.h"
#include "engine/journal.h"
#include "platform/fonts.h"

namespace engine {

using detail::MutableEngine;

namespace {

bool IsFontOfCurrentStyle(const std::string& fontKey) {
  std::vector<std::string> fonts;
  if (!ListStyleFonts(fonts)) return false;
  return std::find(fonts.begin(), fonts.end(), fontKey) != fonts.end();
}

// ExpandLinks with the keys already in work kept in listed, which the caller carries from one
// call to the next, so that expanding a whole selection reads each font and each link once.
void ExpandLinksOnce(std::vector<std::string>& work, std::unordered_set<std::string>& listed,
                     const std::string& fontKey) {
  // Depth first, each font before the fonts it links to, each once; kept off the call stack so
  // that a long chain of links cannot overflow it.
  if (!listed.insert(fontKey).second) return;
  work.push_back(fontKey);
  struct Frame {
    std::vector<std::string> links;
    std::size_t next = 0;
  };
  std::vector<Frame> stack;
  stack.push_back({detail::ReadLinks(fontKey), 0});
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.links.size()) {
      stack.pop_back();
      continue;
    }
    std::string& link = top.links[top.next++];
    if (!listed.insert(link).second) continue;
    work.push_back(std::move(link));
    stack.push_back({detail::ReadLinks(work.back()), 0});
  }
}

std::vector<std::string> BuildWorkList() {
  const FontEngine& e = MutableEngine();
  if (!(e.EngineFlags & IncludeLinks)) return e.Selection;
  std::vector<std::string> work;
  std::unordered_set<std::string> listed;
  for (const std::string& key : e.Selection) ExpandLinksOnce(work, listed, key);
  return work;
}

// The test of the counts and the runs: the font's own FontInstalled bit, which its links do
// not change.
bool IsInstalled(const std::string& fontKey) {
  return (detail::QueryOwnFontState(fontKey) & FontInstalled) != 0;
}

// The fonts of the work list whose FontInstalled bit is as wanted, tested in one go.
std::vector<std::string> WorkListInState(bool installed) {
  std::vector<std::string> work = BuildWorkList();
  const std::vector<std::uint32_t> states = detail::QueryOwnFontStates(work);
  std::vector<std::string> inState;
  for (std::size_t i = 0; i < work.size(); ++i) {
    if (((states[i] & FontInstalled) != 0) == installed) inState.push_back(std::move(work[i]));
  }
  return inState;
}

// The switch of the system's linking of end-user-defined characters; a missing library or
// entry point makes it do nothing.
void SwitchEudc(bool on) {
  platform::HMODULE library = platform::LoadLibraryA("GDI32.DLL");
  if (!library) return;
  if (platform::FARPROC enable = platform::GetProcAddress(library, "EnableEUDC")) {
    enable(on ? 1 : 0);
  }
  platform::FreeLibrary(library);
}

// Switches EUDC back on however the run ends.
class EudcOffForRun {
 public:
  EudcOffForRun() { SwitchEudc(false); }
  ~EudcOffForRun() { SwitchEudc(true); }
  EudcOffForRun(const EudcOffForRun&) = delete;
  EudcOffForRun& operator=(const EudcOffForRun&) = delete;
};

// A leading decimal floating-point number ("12.5MB" gives 12.5); 0 when there is none.
// Hexadecimal forms, infinities and NaN are no sizes.
double ParseLeadingSize(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
  text.remove_prefix(start);
  std::string_view digits = text;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
  if (digits.empty() || !(std::isdigit(static_cast<unsigned char>(digits.front())) ||
                          (digits.front() == '.' && digits.size() > 1 &&
                           std::isdigit(static_cast<unsigned char>(digits[1]))))) {
    return 0.0;
  }
  if (digits.size() > 1 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    return 0.0;  // "0x10" reads as 0 followed by text
  }
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::general);
  if (error != std::errc() || !std::isfinite(value)) return 0.0;
  return value;
}

template <typename Handle>
int RunSelection(ProgressFn progress, void* context, bool wantInstalled, Handle handle) {
  const std::vector<std::string> work = BuildWorkList();
  const int total = CountSelection(wantInstalled);
  int done = 0;
  {
    // Destroyed in reverse order: EUDC is switched on before the changes are announced.
    detail::BatchAnnouncements announcements;
    EudcOffForRun eudc;
    for (const std::string& key : work) {
      if (IsInstalled(key) != wantInstalled) continue;
      std::string name;
      GetFontName(key, name);
      if (progress) progress(done, total, name.c_str(), context);
      handle(key);
      ++done;
    }
    if (progress) progress(done, total, nullptr, context);
  }
  return 0;
}

}  // namespace

bool AddToSelection(const std::string& fontKey) {
  if (!IsFontOfCurrentStyle(fontKey)) return false;
  std::vector<std::string>& selection = MutableEngine().Selection;
  if (std::find(selection.begin(), selection.end(), fontKey) == selection.end()) {
    selection.push_back(fontKey);
  }
  return true;
}

bool RemoveFromSelection(const std::string& fontKey) {
  if (!IsFontOfCurrentStyle(fontKey)) return false;
  std::vector<std::string>& selection = MutableEngine().Selection;
  selection.erase(std::remove(selection.begin(), selection.end(), fontKey), selection.end());
  return true;
}

bool ClearSelection() {
  MutableEngine().Selection.clear();
  return true;
}

bool SetIncludeLinks(bool include) {
  std::uint32_t& flags = MutableEngine().EngineFlags;
  flags = include ? (flags | IncludeLinks) : (flags & ~IncludeLinks);
  return true;
}

std::vector<std::string> SelectionWorkList() { return BuildWorkList(); }

void ExpandLinks(std::vector<std::string>& work, const std::string& fontKey) {
  if (std::find(work.begin(), work.end(), fontKey) != work.end()) return;
  std::unordered_set<std::string> listed(work.begin(), work.end());
  ExpandLinksOnce(work, listed, fontKey);
}

int CountSelection(bool countInstalled) {
  const FontEngine& e = MutableEngine();
  if (!(e.EngineFlags & IncludeLinks)) return static_cast<int>(e.Selection.size());
  return static_cast<int>(WorkListInState(countInstalled).size());
}

std::uint32_t SelectionSpace(bool countInstalled) {
  double total = 0.0;
  std::string size;
  for (const std::string& key : WorkListInState(countInstalled)) {
    ReadFontValue(key, "Size", size);
    total += std::max(0.0, ParseLeadingSize(size));  // a negative size is no size
  }
  // Beyond 4 GiB the figure stays at its largest value instead of wrapping round to a small
  // one that would promise room that is not there.
  const double bytes = std::trunc(total * 1048576.0);
  if (!(bytes < 4294967296.0)) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(bytes);
}

int InstallSelection(ProgressFn progress, void* context) {
  // One run per prefix at a time; the states are looked at once the lock is held.
  detail::RunScope run;
  if (!run.Held()) return 0;
  // The fonts' changes and the run's closing broadcast make one announcement; a run that ends
  // with an error announces only what it changed.
  detail::BatchAnnouncements announcements;
  RunSelection(progress, context, false, [](const std::string& key) { InstallFont(key); });
  detail::BatchAnnouncements::Announce();
  return 0;
}

int RemoveSelection(ProgressFn progress, void* context) {
  detail::RunScope run;
  if (!run.Held()) return 0;
  return RunSelection(progress, context, true, [](const std::string& key) { RemoveFont(key); });
}

}  // namespace engine
