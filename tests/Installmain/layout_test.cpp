// The launcher's layout, worked out from the picture sizes, and the window's controls placed by it.
#include <gtest/gtest.h>

#include <map>

#include "Installmain/launcher_fixture.h"
#include "Installmain/layout.h"

namespace launcher_test {
namespace {

using Sizes = std::map<QString, QSize>;

const Sizes kSuppliedSizes = {
    {"MainBack", {630, 451}}, {"FI1", {233, 27}}, {"FI2", {233, 27}},  {"PI21", {233, 27}},
    {"PI22", {233, 27}},      {"PI31", {105, 27}}, {"PI32", {105, 27}}, {"im04", {45, 15}},
    {"im041", {45, 15}},      {"im05", {45, 15}},  {"im051", {45, 15}}, {"im06", {95, 33}},
    {"im061", {95, 33}},      {"im07", {103, 15}}, {"im071", {103, 15}}, {"im08", {59, 15}},
    {"im081", {59, 15}},      {"im09", {59, 15}},  {"im091", {59, 15}}, {"im10", {59, 15}},
    {"im101", {59, 15}},      {"E1", {79, 24}},    {"E2", {70, 20}},
};

std::map<QString, QPoint> Positions(const Sizes& sizes) {
  std::map<QString, QPoint> positions;
  for (const ControlPlacement& placement : ComputeLauncherLayout(sizes))
    positions[placement.name] = placement.position;
  return positions;
}

// Every pair's highlight sits where its normal picture does.
void ExpectPairsShareTheirPlace(const std::map<QString, QPoint>& at) {
  for (const auto& [normal, highlight] :
       {std::pair{"FI1", "FI2"}, {"PI21", "PI22"}, {"PI31", "PI32"}, {"im04", "im041"},
        {"im05", "im051"}, {"im06", "im061"}, {"im07", "im071"}, {"im08", "im081"},
        {"im09", "im091"}, {"im10", "im101"}, {"E1", "E2"}}) {
    EXPECT_EQ(at.at(normal), at.at(highlight)) << normal;
  }
}

struct LayoutCase {
  const char* name;
  Sizes sizes;
  std::map<QString, QPoint> expected;  // normal pictures; highlights share their place
};

TEST(LauncherLayout, PlacesTheControlsByTheRulesForEachPictureSize) {
  Sizes larger = kSuppliedSizes;
  larger["MainBack"] = {800, 600};
  Sizes reshaped = kSuppliedSizes;
  reshaped["MainBack"] = {1024, 768};
  reshaped["FI1"] = {300, 40};
  reshaped["PI21"] = {250, 31};
  reshaped["im04"] = {60, 20};
  reshaped["im06"] = {120, 40};
  reshaped["im08"] = {80, 18};
  reshaped["im09"] = {70, 18};

  const LayoutCase cases[] = {
      {"supplied 630 x 451", kSuppliedSizes,
       {{"MainBack", {0, 0}},   {"FI1", {189, 193}},  {"PI21", {209, 230}}, {"PI31", {229, 267}},
        {"im04", {195, 338}},  {"im05", {265, 338}}, {"im06", {478, 320}}, {"im07", {195, 363}},
        {"im08", {195, 414}},  {"im09", {274, 414}}, {"im10", {353, 414}}, {"E1", {517, 408}}}},
      {"background 800 x 600", larger,
       {{"MainBack", {0, 0}},   {"FI1", {240, 259}},  {"PI21", {260, 296}}, {"PI31", {280, 333}},
        {"im04", {248, 450}},  {"im05", {318, 450}}, {"im06", {608, 426}}, {"im07", {248, 483}},
        {"im08", {248, 552}},  {"im09", {327, 552}}, {"im10", {406, 552}}, {"E1", {647, 546}}}},
      {"1024 x 768 with larger hot-spots", reshaped,
       {{"MainBack", {0, 0}},   {"FI1", {307, 332}},  {"PI21", {327, 382}}, {"PI31", {347, 423}},
        {"im04", {317, 576}},  {"im05", {402, 576}}, {"im06", {778, 545}}, {"im07", {317, 618}},
        {"im08", {317, 706}},  {"im09", {417, 706}}, {"im10", {507, 706}}, {"E1", {830, 700}}}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto at = Positions(c.sizes);
    for (const auto& [name, position] : c.expected)
      EXPECT_EQ(at.at(name), position) << name.toStdString();
    ExpectPairsShareTheirPlace(at);
  }
}

TEST(LauncherLayout, ExitHighlightTakesTheSizeOfTheExitPicture) {
  for (const ControlPlacement& placement : ComputeLauncherLayout(kSuppliedSizes)) {
    if (placement.name == "E2") {
      EXPECT_EQ(placement.size, QSize(79, 24));
    } else {
      EXPECT_EQ(placement.size, kSuppliedSizes.at(placement.name)) << placement.name.toStdString();
    }
  }
}

TEST(LauncherLayout, MissingPicturesCountAsEmpty) {
  const auto at = Positions({{"MainBack", {630, 451}}});
  EXPECT_EQ(at.at("FI1"), QPoint(189, 193));
  EXPECT_EQ(at.at("PI21"), QPoint(209, 203));
  EXPECT_EQ(at.at("im05"), QPoint(220, 338));
  EXPECT_EQ(at.at("E1"), QPoint(470, 408));
  EXPECT_EQ(Positions({}).at("FI1"), QPoint(0, -5));
}

TEST_F(LauncherTest, ControlsSitWhereTheLayoutPutsThemWithTheSuppliedArtwork) {
  InsertDisc();
  const auto launcher = StartLauncher();
  ASSERT_TRUE(launcher);
  Sizes sizes;
  for (const TImage* control : launcher->Controls()) {
    sizes[control->objectName()] = control->Picture().size();
    if (control->objectName() != "E2") {
      EXPECT_EQ(control->Picture().size(), control->size()) << control->objectName().toStdString();
    }
  }
  EXPECT_EQ(sizes.size(), kSuppliedSizes.size());
  // The supplied artwork has the sizes of the window layout; every highlight its pair's size.
  for (const auto& [name, size] : kSuppliedSizes) {
    if (name != "E2") {
      EXPECT_EQ(sizes.at(name), size) << name.toStdString();
    }
  }
  EXPECT_EQ(sizes.at("E2"), QSize(79, 24));
  for (const ControlPlacement& placement : ComputeLauncherLayout(sizes)) {
    const TImage* control = launcher->Control(placement.name);
    ASSERT_NE(control, nullptr) << placement.name.toStdString();
    EXPECT_EQ(control->geometry(), QRect(placement.position, placement.size))
        << placement.name.toStdString();
  }
}

}  // namespace
}  // namespace launcher_test
