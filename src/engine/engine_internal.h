#pragma once
// What the engine's source files share: the writable record, the catalogue's value helpers and
// the path checks that keep the engine inside its folders.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/engine.h"
#include "platform/registry.h"

namespace engine::detail {

FontEngine& MutableEngine();

// A decimal integer with an optional sign, the whole text; 0 when it does not parse or does
// not fit in 32 bits. Negative counts count as 0.
std::int64_t ParseCount(std::string_view text);

// The non-empty values of prefix + 1 ... prefix + count, count being the integer value of
// countKey. Only keys that some Font file holds are read, so that a count of two thousand
// million does not walk two thousand million missing keys.
std::vector<std::string> ReadNumberedValues(const std::string& fontKey,
                                            const std::string& countKey,
                                            const std::string& prefix);

// Registration names for testing and removing: the plain group, then the localised group.
std::vector<std::string> AllRegistrationNames(const std::string& fontKey);

// The linked font keys of a font, in Link1 ... order, empty ones skipped.
std::vector<std::string> ReadLinks(const std::string& fontKey);

// True when a relative path climbs out of its folder: a component (split at backslashes that
// are characters of their own, and at slashes) made only of dots and blanks with two dots.
bool ClimbsOut(std::string_view path);

// True when registry data names a plain file inside the Fonts folder: not empty, no folder
// separator, no drive, and not a dots-only name.
bool IsPlainFileName(std::string_view name);

// An open key of the installed-font list, closed on scope exit; not open when the key cannot be
// opened with that access.
class FontsKeyHandle {
 public:
  explicit FontsKeyHandle(platform::DWORD access);
  ~FontsKeyHandle();
  FontsKeyHandle(const FontsKeyHandle&) = delete;
  FontsKeyHandle& operator=(const FontsKeyHandle&) = delete;
  bool IsOpen() const { return key_ != 0; }
  platform::HKEY get() const { return key_; }

 private:
  platform::HKEY key_ = 0;
};

// The installed-font list as the registry's snapshot holds it, indexed by the words of the
// entry names. A registration name can only match an entry at the start of one of its words
// (the start of the name or just after a blank), where the text goes on with the name and a
// blank. The index keeps these places ordered by the text from there on, so the places of one
// name are one run of it, found by binary search however many entries share the name's first
// words, and only the first-occurrence rule of NameMatches is left to settle. It is rebuilt
// only when the registry hands out another snapshot, i.e. after the list changed.
class FontListIndex {
 public:
  // The entries (indexes into names(), in listing order) that any of the names match.
  std::vector<std::uint32_t> Match(const std::vector<std::string>& regNames) const;
  const std::vector<std::string>& names() const { return *names_; }
  // An entry's string data as the same look at the list found it; empty when it has none.
  std::string Data(std::uint32_t entry) const;

  // The index of the current list, shared by every caller until the list changes.
  static std::shared_ptr<const FontListIndex> Current();

 private:
  static std::shared_ptr<const FontListIndex> Build(platform::SharedRegistryValues values);

  // The text of an entry name from one of its word starts on; head holds its first eight bytes,
  // which settle most comparisons of the order without a look at the text itself.
  struct Place {
    std::uint64_t head;
    std::uint32_t entry;
    std::uint32_t at;
  };
  std::string_view TextAt(const Place& place) const {
    return std::string_view((*names_)[place.entry]).substr(place.at);
  }

  std::shared_ptr<const std::vector<std::string>> names_;
  std::shared_ptr<const std::vector<std::string>> data_;
  std::vector<Place> places_;  // ordered by TextAt
};

// A value's string data; empty when it cannot be read.
std::string ReadValueData(platform::HKEY key, const std::string& name);

// The bits FontInstalled and FontMismatch of QueryFontState, without the walk of its links: all
// that the counts and the runs look at. The fonts of one QueryOwnFontStates share one look at
// the installed-font list.
std::uint32_t QueryOwnFontState(const std::string& fontKey);
std::vector<std::uint32_t> QueryOwnFontStates(const std::vector<std::string>& fontKeys);

// While one lives, InstallFont and RemoveFont only note that the font list changed; the note is
// announced (one WM_FONTCHANGE broadcast) when the last one goes, also when a run ends with an
// error, so every font a run touched is announced.
class BatchAnnouncements {
 public:
  BatchAnnouncements();
  ~BatchAnnouncements();
  BatchAnnouncements(const BatchAnnouncements&) = delete;
  BatchAnnouncements& operator=(const BatchAnnouncements&) = delete;
  // The font list changed: broadcast now, or when the last batch goes.
  static void Announce();
};

}  // namespace engine::detail
