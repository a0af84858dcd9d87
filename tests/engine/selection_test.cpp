// The selection, font links, counts, space and the two batch runs on a generated disc.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/engine.h"
#include "engine/engine_fixture.h"
#include "engine/test_helpers.h"
#include "platform/fonts.h"
#include "platform/registry.h"

namespace engine_test {
namespace {

using Strings = std::vector<std::string>;

struct Call {
  int done;
  int total;
  std::string name;  // "<null>" for the closing call
  bool operator==(const Call&) const = default;
  friend void PrintTo(const Call& c, std::ostream* os) {
    *os << "(" << c.done << ", " << c.total << ", " << c.name << ")";
  }
};
using Calls = std::vector<Call>;

struct Recorder {
  Calls calls;
  std::function<void(const Call&)> onCall;
  static void Progress(int done, int total, const char* name, void* context) {
    auto* self = static_cast<Recorder*>(context);
    self->calls.push_back({done, total, name ? name : "<null>"});
    if (self->onCall) self->onCall(self->calls.back());
  }
};

// Style "Main" lists A, B, C, D; E is linked only. A links B and E; B links C; C links A
// (a cycle); D links nothing.
class SelectionTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (IsSkipped()) return;
    PutFont("a.ttf", DejaVu("DejaVuSans.ttf"));
    PutFont("fonts/b.ttf", DejaVu("DejaVuSerif.ttf"));
    PutFont("c.ttf", DejaVu("DejaVuSansMono.ttf"));
    PutFont("d.ttf", DejaVu("DejaVuSans-Bold.ttf"));
    PutFont("e.ttf", DejaVu("DejaVuSerif-Bold.ttf"));
    WriteCatalogue("Style",
                   "[StyleList]\r\nMain=Main style\r\nOther=Other style\r\n"
                   "[Main]\r\nA=Font A\r\nB=Font B\r\nC=Font C\r\nD=Font D\r\n"
                   "[Other]\r\nX=Font X\r\n");
    WriteCatalogue("Font", FontSection("A", "a.ttf", {"Zelva A"}, "0.5", {"B", "E"}) +
                               FontSection("B", "fonts\\b.ttf", {"Zelva B"}, "0.25", {"C"}) +
                               FontSection("C", "c.ttf", {"Zelva C"}, "0.125", {"A"}) +
                               FontSection("D", "d.ttf", {"Zelva D"}, "2") +
                               FontSection("E", "e.ttf", {"Zelva E"}, "1") +
                               FontSection("X", "a.ttf", {"Zelva X"}, "1"));
    ASSERT_TRUE(Load());
    ASSERT_TRUE(engine::SelectStyle("Main style"));
  }

  static Strings WorkList(const Strings& selection) {
    Strings work;
    for (const auto& key : selection) engine::ExpandLinks(work, key);
    return work;
  }
};

TEST_F(SelectionTest, MembershipFollowsTheCurrentStyle) {
  EXPECT_TRUE(engine::AddToSelection("A"));
  EXPECT_TRUE(engine::AddToSelection("A"));
  EXPECT_FALSE(engine::AddToSelection("X"));  // another style's font
  EXPECT_FALSE(engine::AddToSelection("E"));  // linked only
  EXPECT_TRUE(engine::AddToSelection("D"));
  EXPECT_EQ(engine::Engine().Selection, (Strings{"A", "D"}));
  EXPECT_TRUE(engine::RemoveFromSelection("B"));  // of the style, not selected
  EXPECT_FALSE(engine::RemoveFromSelection("X"));
  EXPECT_TRUE(engine::RemoveFromSelection("A"));
  EXPECT_EQ(engine::Engine().Selection, Strings{"D"});
  EXPECT_TRUE(engine::ClearSelection());
  EXPECT_TRUE(engine::Engine().Selection.empty());
}

TEST_F(SelectionTest, LinksExpandDepthFirstEachFontOnce) {
  const struct {
    Strings selection;
    Strings work;
  } cases[] = {
      {{"A"}, {"A", "B", "C", "E"}},
      {{"B"}, {"B", "C", "A", "E"}},
      {{"D", "C"}, {"D", "C", "A", "B", "E"}},
      {{"E", "A"}, {"E", "A", "B", "C"}},
      {{"Unknown"}, {"Unknown"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WorkList(c.selection), c.work);
  }
}

TEST_F(SelectionTest, StateQueryEndsOnALinkCycle) {
  EXPECT_EQ(engine::QueryFontState("A"), 0u);
  engine::InstallFont("C");
  EXPECT_EQ(engine::QueryFontState("C"), engine::FontInstalled);  // itself only via the cycle
  EXPECT_EQ(engine::QueryFontState("A"), engine::LinkInstalled);   // through B
  EXPECT_EQ(engine::QueryFontState("B"), engine::LinkInstalled);
  SetEntry("Zelva E (TrueType)", "gone.ttf");
  EXPECT_EQ(engine::QueryFontState("A"), engine::LinkInstalled | engine::LinkMismatch);
  EXPECT_EQ(engine::QueryFontState("B"), engine::LinkInstalled | engine::LinkMismatch);
}

TEST_F(SelectionTest, RunThatHandlesNothingMakesOnlyTheClosingCall) {
  const int switches = platform::EUDCSwitchCount();
  Recorder recorder;
  EXPECT_EQ(engine::InstallSelection(Recorder::Progress, &recorder), 0);
  EXPECT_EQ(recorder.calls, (Calls{{0, 0, "<null>"}}));
  recorder.calls.clear();
  engine::AddToSelection("D");
  EXPECT_EQ(engine::RemoveSelection(Recorder::Progress, &recorder), 0);  // D is not installed
  EXPECT_EQ(recorder.calls, (Calls{{0, 1, "<null>"}}));
  EXPECT_EQ(platform::EUDCSwitchCount(), switches + 4);
  EXPECT_TRUE(platform::IsEUDCEnabled());
  EXPECT_EQ(engine::InstallSelection(nullptr, nullptr), 0);  // no callback at all
  EXPECT_EQ(engine::QueryFontState("D"), engine::FontInstalled);
}

TEST_F(SelectionTest, InstallRunWithLinksReportsEachFontAndRemovalTakesThemBack) {
  const auto before = Tree();
  const auto entriesBefore = Entries();
  engine::AddToSelection("A");
  engine::AddToSelection("D");
  engine::InstallFont("B");  // already installed: skipped, not counted
  engine::SetIncludeLinks(true);
  EXPECT_EQ(engine::CountSelection(false), 4);  // A C E D
  EXPECT_EQ(engine::CountSelection(true), 1);   // B

  Recorder recorder;
  recorder.onCall = [](const Call& call) {
    if (call.done > 0) {
      EXPECT_FALSE(platform::IsEUDCEnabled());
    }
  };
  engine::InstallSelection(Recorder::Progress, &recorder);
  EXPECT_EQ(recorder.calls, (Calls{{0, 4, "Font A"},
                                   {1, 4, "Font C"},
                                   {2, 4, ""},  // E is linked only: no name in this style
                                   {3, 4, "Font D"},
                                   {4, 4, "<null>"}}));
  EXPECT_TRUE(platform::IsEUDCEnabled());
  for (const char* key : {"A", "B", "C", "D", "E"}) {
    EXPECT_EQ(engine::QueryFontState(key) & engine::FontInstalled, engine::FontInstalled) << key;
  }
  EXPECT_EQ(engine::Engine().Selection, (Strings{"A", "D"}));  // a run leaves it alone

  recorder.calls.clear();
  engine::RemoveSelection(Recorder::Progress, &recorder);
  EXPECT_EQ(recorder.calls.size(), 6u);
  EXPECT_EQ(recorder.calls.front(), (Call{0, 5, "Font A"}));
  EXPECT_EQ(recorder.calls.back(), (Call{5, 5, "<null>"}));
  EXPECT_EQ(Entries(), entriesBefore);
  EXPECT_EQ(Tree(), before);
}

TEST_F(SelectionTest, WithoutLinksOnlyTheSelectedFontsAreHandled) {
  engine::AddToSelection("A");
  engine::AddToSelection("B");
  engine::InstallFont("B");
  engine::SetIncludeLinks(false);
  EXPECT_EQ(engine::CountSelection(false), 2);  // the selection's size, no state query
  Recorder recorder;
  engine::InstallSelection(Recorder::Progress, &recorder);
  EXPECT_EQ(recorder.calls, (Calls{{0, 2, "Font A"}, {1, 2, "<null>"}}));
  EXPECT_EQ(engine::QueryFontState("E") & engine::FontInstalled, 0u);
  EXPECT_EQ(engine::QueryFontState("C") & engine::FontInstalled, 0u);
}

TEST_F(SelectionTest, SpaceAddsTheSizesOfFontsInTheWantedState) {
  struct Case {
    Strings selection;
    bool links;
    bool installed;
    std::uint32_t bytes;
  };
  engine::InstallFont("D");
  const Case cases[] = {
      {{"A"}, false, false, 524288},                   // 0.5 MB
      {{"A"}, true, false, 524288 + 262144 + 131072 + 1048576},
      {{"A", "D"}, false, false, 524288},              // D is installed
      {{"A", "D"}, false, true, 2097152},
      {{"B", "C"}, false, false, 393216},
      {{}, true, false, 0},
  };
  for (const Case& c : cases) {
    engine::ClearSelection();
    for (const auto& key : c.selection) engine::AddToSelection(key);
    engine::SetIncludeLinks(c.links);
    EXPECT_EQ(engine::SelectionSpace(c.installed), c.bytes);
  }
}

// Size values as a disc may hold them, one font at a time.
TEST_F(EngineTest, SizeValuesParseAsLeadingDecimals) {
  struct Case {
    const char* size;
    std::uint32_t bytes;
  };
  const Case cases[] = {
      {"1", 1048576},       {"12.5", 13107200},   {"12.5MB", 13107200}, {".5", 524288},
      {"0.000001", 1},      {"abc", 0},           {"", 0},              {"-5", 0},
      {"1e3", 1048576000},  {"0x10", 0},          {"inf", 0},           {"nan", 0},
      {"4096", 0xFFFFFFFFu}, {"1e308", 0xFFFFFFFFu}, {"+2", 2097152},
      {"1.0000009", 1048576},  // 1048576.94 bytes: the fraction is cut off
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    SetUpDisc();
    WriteCatalogue("Style", "[StyleList]\r\nS=S\r\n[S]\r\nF=F\r\n");
    WriteCatalogue("Font", std::string("[F]\r\nSize=") + c.size + "\r\n");
    ASSERT_TRUE(Load());
    ASSERT_TRUE(engine::SelectStyle("S"));
    ASSERT_TRUE(engine::AddToSelection("F"));
    EXPECT_EQ(engine::SelectionSpace(false), c.bytes);
  }
}

TEST_F(SelectionTest, AVanishingDiscFileIsSkippedAndTheRunGoesOn) {
  engine::AddToSelection("A");
  engine::AddToSelection("D");
  Recorder recorder;
  const fs::path a = setDir() / "a.ttf";
  recorder.onCall = [&](const Call& call) {
    if (call.name == "Font A") fs::remove(a);
  };
  engine::InstallSelection(Recorder::Progress, &recorder);
  EXPECT_EQ(recorder.calls.size(), 3u);
  EXPECT_EQ(engine::QueryFontState("A"), 0u);
  EXPECT_EQ(engine::QueryFontState("D"), engine::FontInstalled);
  EXPECT_EQ(FontsFolder(), std::set<std::string>{"d.ttf"});
  EXPECT_EQ(Entries().size(), 1u);
}

TEST_F(SelectionTest, AReadOnlyFontsFolderInstallsNothingAndTheRunEnds) {
  engine::AddToSelection("A");
  engine::AddToSelection("D");
  ReadOnlyFolder readOnly(fontsDir());
  if (!readOnly.ok())
    GTEST_SKIP() << "cannot make a folder read-only here (Wine run as root writes into one)";
  Recorder recorder;
  EXPECT_EQ(engine::InstallSelection(Recorder::Progress, &recorder), 0);
  EXPECT_EQ(recorder.calls.size(), 3u);
  EXPECT_TRUE(Entries().empty());
  EXPECT_TRUE(FontsFolder().empty());
}

TEST_F(SelectionTest, ARegistryErrorEndsTheRunWithEudcBackOn) {
  engine::AddToSelection("A");
  engine::AddToSelection("D");
  Recorder recorder;
  std::unique_ptr<ReadOnlyRegistry> readOnly;
  readOnly = std::make_unique<ReadOnlyRegistry>(*this);
  if (!readOnly->ok()) GTEST_SKIP() << "cannot make the installed-font list read-only here";
  EXPECT_THROW(engine::InstallSelection(Recorder::Progress, &recorder), platform::RegistryError);
  EXPECT_EQ(recorder.calls, (Calls{{0, 2, "Font A"}}));  // no closing call
  EXPECT_TRUE(platform::IsEUDCEnabled());
  readOnly.reset();
  EXPECT_TRUE(Entries().empty());
  EXPECT_TRUE(FontsFolder().empty());
}

TEST_F(SelectionTest, HugeAndNegativeCountsReadOnlyTheKeysThatExist) {
  WriteCatalogue("Font2",
                 "[D]\r\nLinkCount=2147483647\r\nLink1=E\r\nLink2147483647=Far\r\n"
                 "Link2147483648=Beyond\r\n"
                 "[Neg]\r\nRegNameCount=-5\r\nLinkCount=-5\r\nLink1=A\r\n"
                 "[Big]\r\nLinkCount=99999999999\r\nLink1=A\r\n");
  ASSERT_TRUE(Load());
  EXPECT_EQ(WorkList({"Neg"}), Strings{"Neg"});
  EXPECT_EQ(WorkList({"Big"}), Strings{"Big"});
  EXPECT_EQ(WorkList({"D"}), (Strings{"D", "E", "Far"}));
  EXPECT_EQ(engine::QueryFontState("Neg"), 0u);
}

}  // namespace
}  // namespace engine_test
