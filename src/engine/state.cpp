// The state query: the installed-font list indexed by the words of its entry names, the name
// match, and the installed state of a font and of the fonts its links reach, for one font or
// for many at once.
#include <algorithm>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "engine/engine_internal.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace engine {

using detail::MutableEngine;

namespace detail {

FontsKeyHandle::FontsKeyHandle(platform::DWORD access) {
  if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, MutableEngine().FontsKey.c_str(), 0,
                              access, &key_) != platform::ERROR_SUCCESS) {
    key_ = 0;
  }
}

FontsKeyHandle::~FontsKeyHandle() {
  if (key_) platform::RegCloseKey(key_);
}


namespace {

// The first eight bytes of a text as one number that orders as the texts do (names hold no NUL
// bytes, so the zeros that fill a shorter text order it first, as its end does).
std::uint64_t Head(std::string_view text) {
  std::uint64_t head = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    head = (head << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
  }
  return head;
}

}  // namespace

std::vector<std::uint32_t> FontListIndex::Match(const std::vector<std::string>& regNames) const {
  std::vector<std::uint32_t> found;
  std::string followed;
  for (const std::string& name : regNames) {
    if (name.empty()) continue;
    followed.assign(name).push_back(' ');
    const std::uint64_t head = Head(followed);
    auto it = std::lower_bound(
        places_.begin(), places_.end(), std::string_view(followed),
        [this, head](const Place& place, std::string_view text) {
          return place.head != head ? place.head < head : TextAt(place) < text;
        });
    for (; it != places_.end() && TextAt(*it).starts_with(followed); ++it) {
      if (platform::FindDbcs((*names_)[it->entry], name) == it->at) found.push_back(it->entry);
    }
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

std::shared_ptr<const FontListIndex> FontListIndex::Current() {
  static std::mutex lock;
  static std::shared_ptr<const FontListIndex> current;
  auto values = platform::ShareRegistryValues(platform::HKEY_LOCAL_MACHINE,
                                              MutableEngine().FontsKey);
  if (!values.names || !values.data || values.data->size() != values.names->size()) {
    values.names = std::make_shared<const std::vector<std::string>>();
    values.data = values.names;
  }
  std::lock_guard guard(lock);
  if (!current || current->names_ != values.names) current = Build(std::move(values));
  return current;
}

std::string FontListIndex::Data(std::uint32_t entry) const {
  const std::string& data = (*data_)[entry];
  return data.substr(0, data.find('\0'));
}

std::shared_ptr<const FontListIndex> FontListIndex::Build(platform::SharedRegistryValues values) {
  auto index = std::make_shared<FontListIndex>();
  index->names_ = std::move(values.names);
  index->data_ = std::move(values.data);
  const auto& list = *index->names_;
  index->places_.reserve(list.size() * 4);
  for (std::uint32_t entry = 0; entry < list.size(); ++entry) {
    const std::string_view value = list[entry];
    // A word that no blank follows ends the name, and no registration name can start there.
    for (std::size_t at = 0, blank; (blank = value.find(' ', at)) != std::string_view::npos;
         at = blank + 1) {
      index->places_.push_back({Head(value.substr(at)), entry, static_cast<std::uint32_t>(at)});
    }
  }
  std::sort(index->places_.begin(), index->places_.end(),
            [&index](const Place& a, const Place& b) {
              return a.head != b.head ? a.head < b.head : index->TextAt(a) < index->TextAt(b);
            });
  return index;
}

// A value's string data; empty when it cannot be read.
std::string ReadValueData(platform::HKEY key, const std::string& name) {
  std::string data(260, '\0');
  platform::DWORD size = static_cast<platform::DWORD>(data.size());
  platform::LONG result = platform::RegQueryValueExA(
      key, name.c_str(), nullptr, nullptr, reinterpret_cast<platform::BYTE*>(data.data()), &size);
  if (result == platform::ERROR_MORE_DATA) {
    data.assign(size, '\0');
    result = platform::RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                        reinterpret_cast<platform::BYTE*>(data.data()), &size);
  }
  if (result != platform::ERROR_SUCCESS) return {};
  data.resize(std::min<std::size_t>(size, data.size()));
  data.resize(std::min(data.size(), data.find('\0')));
  return data;
}

}  // namespace detail

namespace {

using detail::FontListIndex;

constexpr std::uint64_t kSizeTolerance = 5120;


std::uint64_t FileSizeOrZero(const std::string& path) {
  return platform::GetFileSizeByPath(path).value_or(0);
}

bool SameInstalledFile(const std::string& source, const std::string& installed) {
  const FontEngine& e = MutableEngine();
  // Data that is not a plain name inside the Fonts folder never counts as installed.
  if (!detail::IsPlainFileName(installed)) return false;
  const std::string installedPath = e.FontsDir + "\\" + installed;
  auto installedSize = platform::GetFileSizeByPath(installedPath);
  if (!installedSize) return false;
  const std::uint64_t discSize = source.empty() ? 0 : FileSizeOrZero(e.SourceDir + "\\" + source);
  const std::uint64_t difference =
      *installedSize > discSize ? *installedSize - discSize : discSize - *installedSize;
  return difference <= kSizeTolerance;
}

// The bits FontInstalled and FontMismatch of single fonts, from their own entries alone. The
// fonts of one query share the index of the installed-font list, with the data of its entries,
// taken at the first font that has a registration name.
class OwnStateProbe {
 public:
  std::uint32_t Query(const std::string& fontKey) {
    const std::vector<std::string> names = detail::AllRegistrationNames(fontKey);
    if (names.empty()) return 0;
    if (!index_) index_ = FontListIndex::Current();
    const std::vector<std::uint32_t> entries = index_->Match(names);
    if (entries.empty()) return 0;
    std::string source;
    ReadFontValue(fontKey, "Source", source);
    std::uint32_t bits = 0;
    for (std::uint32_t entry : entries) {
      bits |= SameInstalledFile(source, index_->Data(entry)) ? FontInstalled : FontMismatch;
    }
    return bits;
  }

 private:
  std::shared_ptr<const FontListIndex> index_;
};

// The link bits that the own bits of the fonts a font's links reach give it.
std::uint32_t LinkBits(std::uint32_t reachedOwnBits) {
  return ((reachedOwnBits & FontInstalled) ? LinkInstalled : 0u) |
         ((reachedOwnBits & FontMismatch) ? LinkMismatch : 0u);
}

// The fonts that a set of fonts and their links reach, each once, with the links between them.
struct LinkGraph {
  std::vector<std::string> keys;
  std::vector<std::vector<std::uint32_t>> links;
  std::unordered_map<std::string, std::uint32_t> ids;

  explicit LinkGraph(const std::vector<std::string>& roots) {
    for (const std::string& root : roots) Add(root);
    for (std::uint32_t font = 0; font < keys.size(); ++font) {
      for (const std::string& link : detail::ReadLinks(keys[font])) {
        const std::uint32_t to = Add(link);
        links[font].push_back(to);
      }
    }
  }

  std::uint32_t Add(const std::string& key) {
    const auto [it, added] = ids.emplace(key, static_cast<std::uint32_t>(keys.size()));
    if (added) {
      keys.push_back(key);
      links.emplace_back();
    }
    return it->second;
  }
};

// The state of every font of the graph. A font's link bits come from every other font it
// reaches, so within a group of fonts that reach each other (a cycle) each font sees the
// others' own bits but not its own, and beyond the group everything the group reaches. The
// groups come out of Tarjan's walk (kept off the call stack) after every group they reach.
std::vector<std::uint32_t> GraphStates(const LinkGraph& graph,
                                       const std::vector<std::uint32_t>& own) {
  constexpr std::uint32_t kUnvisited = 0xFFFFFFFFu;
  const std::size_t count = graph.keys.size();
  std::vector<std::uint32_t> order(count, kUnvisited), low(count), group(count, kUnvisited);
  std::vector<std::uint32_t> reach;  // per group: own bits of the group and all it reaches
  std::vector<std::uint32_t> open, members;
  std::vector<bool> isOpen(count, false);
  std::vector<std::uint32_t> states(count, 0);
  struct Frame {
    std::uint32_t font;
    std::size_t next;
  };
  std::vector<Frame> walk;
  std::uint32_t visited = 0;
  const auto visit = [&](std::uint32_t font) {
    order[font] = low[font] = visited++;
    open.push_back(font);
    isOpen[font] = true;
    walk.push_back({font, 0});
  };
  for (std::uint32_t root = 0; root < count; ++root) {
    if (order[root] != kUnvisited) continue;
    visit(root);
    while (!walk.empty()) {
      Frame& top = walk.back();
      const std::uint32_t font = top.font;
      if (top.next < graph.links[font].size()) {
        const std::uint32_t to = graph.links[font][top.next++];
        if (order[to] == kUnvisited) {
          visit(to);
        } else if (isOpen[to]) {
          low[font] = std::min(low[font], order[to]);
        }
        continue;
      }
      walk.pop_back();
      if (!walk.empty()) low[walk.back().font] = std::min(low[walk.back().font], low[font]);
      if (low[font] != order[font]) continue;
      // font heads a group: its members are the open fonts from it on.
      const auto id = static_cast<std::uint32_t>(reach.size());
      members.clear();
      do {
        members.push_back(open.back());
        open.pop_back();
        isOpen[members.back()] = false;
        group[members.back()] = id;
      } while (members.back() != font);
      std::uint32_t beyond = 0;
      int installed = 0, mismatched = 0;
      for (std::uint32_t member : members) {
        installed += (own[member] & FontInstalled) ? 1 : 0;
        mismatched += (own[member] & FontMismatch) ? 1 : 0;
        for (std::uint32_t to : graph.links[member]) {
          if (group[to] != id) beyond |= reach[group[to]];
        }
      }
      for (std::uint32_t member : members) {
        const std::uint32_t others =
            (installed > ((own[member] & FontInstalled) ? 1 : 0) ? FontInstalled : 0u) |
            (mismatched > ((own[member] & FontMismatch) ? 1 : 0) ? FontMismatch : 0u);
        states[member] = own[member] | LinkBits(beyond | others);
      }
      reach.push_back(beyond | (installed ? FontInstalled : 0u) |
                      (mismatched ? FontMismatch : 0u));
    }
  }
  return states;
}

}  // namespace


bool NameMatches(const std::string& name, const std::string& valueName) {
  if (name.empty() || valueName.size() <= name.size()) return false;
  // A plain byte search rules out almost every entry before the double-byte-aware one runs.
  if (valueName.find(name) == std::string::npos) return false;
  const std::size_t p = platform::FindDbcs(valueName, name);
  if (p == std::string::npos) return false;
  if (p > 0 && valueName[p - 1] != ' ') return false;
  const std::size_t after = p + name.size();
  return after < valueName.size() && valueName[after] == ' ';
}

std::uint32_t QueryFontState(const std::string& fontKey) {
  // The font and every font its links reach, each once: a cycle of links ends here.
  std::vector<std::string> keys{fontKey};
  std::unordered_set<std::string> seen{fontKey};
  for (std::size_t i = 0; i < keys.size(); ++i) {
    for (std::string& link : detail::ReadLinks(keys[i])) {
      if (seen.insert(link).second) keys.push_back(std::move(link));
    }
  }
  OwnStateProbe probe;
  std::uint32_t reached = 0;
  for (std::size_t i = 1; i < keys.size(); ++i) reached |= probe.Query(keys[i]);
  return probe.Query(fontKey) | LinkBits(reached);
}

std::vector<std::uint32_t> QueryFontStates(const std::vector<std::string>& fontKeys) {
  const LinkGraph graph(fontKeys);
  const std::vector<std::uint32_t> states =
      GraphStates(graph, detail::QueryOwnFontStates(graph.keys));
  std::vector<std::uint32_t> result;
  result.reserve(fontKeys.size());
  for (const std::string& key : fontKeys) result.push_back(states[graph.ids.at(key)]);
  return result;
}

namespace detail {

std::uint32_t QueryOwnFontState(const std::string& fontKey) {
  return OwnStateProbe().Query(fontKey);
}

std::vector<std::uint32_t> QueryOwnFontStates(const std::vector<std::string>& fontKeys) {
  OwnStateProbe probe;
  std::vector<std::uint32_t> states;
  states.reserve(fontKeys.size());
  for (const std::string& key : fontKeys) states.push_back(probe.Query(key));
  return states;
}

}  // namespace detail

}  // namespace engine
