// The state query of many fonts at once against the query of each font alone, on random link
// graphs: chains, cycles, diamonds, self-links and links to fonts the catalogue lacks.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "engine/engine.h"
#include "engine/engine_fixture.h"

namespace engine_test {
namespace {

using Strings = std::vector<std::string>;

enum class Own { None, Installed, Mismatch, Both, NoNames };

struct Graph {
  int fonts = 0;
  std::vector<Own> own;
  std::vector<std::vector<int>> links;  // -1 ... -3 name fonts the catalogue lacks
};

// A shape to start from, with random links added on top.
Graph RandomGraph(std::mt19937& random, int round) {
  std::uniform_int_distribution<int> size(1, 9);
  Graph g;
  g.fonts = size(random);
  g.links.resize(g.fonts);
  const int n = g.fonts;
  switch (round % 4) {
    case 0:  // a chain
      for (int i = 0; i + 1 < n; ++i) g.links[i].push_back(i + 1);
      break;
    case 1:  // a cycle through all
      for (int i = 0; i < n; ++i) g.links[i].push_back((i + 1) % n);
      break;
    case 2:  // diamonds: i links 2i + 1 and 2i + 2, so later fonts are reached twice
      for (int i = 0; i < n; ++i) {
        for (int to : {2 * i + 1, 2 * i + 2, 2 * i + 3}) {
          if (to < n) g.links[i].push_back(to);
        }
      }
      break;
    default:
      break;
  }
  std::uniform_int_distribution<int> extra(0, 2), target(-3, n - 1), state(0, 4);
  for (int i = 0; i < n; ++i) {
    for (int k = extra(random); k > 0; --k) g.links[i].push_back(target(random));
    if (extra(random) == 0) g.links[i].push_back(i);  // a self-link
    g.own.push_back(static_cast<Own>(state(random)));
  }
  return g;
}

std::string Describe(const Graph& g) {
  std::ostringstream text;
  for (int i = 0; i < g.fonts; ++i) {
    text << "F" << i << " own " << static_cast<int>(g.own[i]) << " links";
    for (int to : g.links[i]) text << " " << to;
    text << "; ";
  }
  return text.str();
}

class LinkStateTest : public EngineTest {
 protected:
  // Writes the graph as the catalogue of this round, with the entries and Fonts-folder files
  // its fonts' own states ask for. Keys, names and files carry the round, so that the entries
  // of earlier rounds match no font of this one. Returns the keys: the fonts, then the missing.
  Strings Put(const Graph& g, int round) {
    const std::string r = "R" + std::to_string(round);
    const auto key = [&](int i) {
      return r + (i < 0 ? "Missing" + std::to_string(-i) : "F" + std::to_string(i));
    };
    std::string catalogue;
    for (int i = 0; i < g.fonts; ++i) {
      const std::string file = r + "f" + std::to_string(i) + ".ttf";
      const std::string name = "Zelva " + key(i);
      testing_support::WriteFile(setDir() / file, std::string(100, 'x'));
      Strings links;
      for (int to : g.links[i]) links.push_back(key(to));
      catalogue += FontSection(key(i), file, g.own[i] == Own::NoNames ? Strings{} : Strings{name},
                               "1", links);
      if (g.own[i] == Own::Installed || g.own[i] == Own::Both) {
        testing_support::WriteFile(fontsDir() / file, std::string(100, 'x'));
        SetEntry(name + " (TrueType)", file);
      }
      if (g.own[i] == Own::Mismatch || g.own[i] == Own::Both) {
        SetEntry(name + " Bold (TrueType)", r + "gone" + std::to_string(i) + ".ttf");
      }
    }
    if (round > 0) fs::remove(infoDir() / ("Font" + std::to_string(round - 1)));
    WriteCatalogue("Font" + std::to_string(round), catalogue);
    Strings keys;
    for (int i = -3; i < g.fonts; ++i) keys.push_back(key(i));
    std::rotate(keys.begin(), keys.begin() + 3, keys.end());
    return keys;
  }
};

TEST_F(LinkStateTest, StatesOfManyFontsEqualTheStateOfEachAlone) {
  std::mt19937 random(20261208);
  std::size_t linkedStates = 0;
  for (int round = 0; round < 80; ++round) {
    const Graph g = RandomGraph(random, round);
    Strings keys = Put(g, round);
    ASSERT_TRUE(Load());
    // Any order, with a key asked for twice.
    std::shuffle(keys.begin(), keys.end(), random);
    keys.push_back(keys.front());
    const Strings asked(keys.begin(), keys.begin() + 1 + round % keys.size());
    const std::vector<std::uint32_t> states = engine::QueryFontStates(asked);
    ASSERT_EQ(states.size(), asked.size());
    SCOPED_TRACE("round " + std::to_string(round) + ": " + Describe(g));
    for (std::size_t i = 0; i < asked.size(); ++i) {
      EXPECT_EQ(states[i], engine::QueryFontState(asked[i])) << asked[i];
      if (states[i] & (engine::LinkInstalled | engine::LinkMismatch)) ++linkedStates;
    }
  }
  EXPECT_GT(linkedStates, 50u);  // the rounds did reach installed and mismatched links
  EXPECT_TRUE(engine::QueryFontStates({}).empty());
}

}  // namespace
}  // namespace engine_test
