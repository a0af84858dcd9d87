// The demo disc's font sets: styles, fonts, registration names, links and window texts, and
// how they are fitted to the fonts that this machine has.
#include <algorithm>
#include <cctype>
#include <set>

#include "demodisc.h"

namespace demodisc {
namespace {

const char* kChineseLine = "永和九年 蘭亭序 Aa";
const char* kKaiLine = "天地玄黃 千字文 Aa";
const char* kHeiLine = "床前明月光 Aa 123";
const char* kChineseOnlyLine = "床前明月光 疑是地上霜";  // for fonts without Latin letters
const char* kLatinLine = "Quick brown fox 123";
const char* kMonoLine = "if (x) return 42;";

FontPlan Font(std::string key, std::string file, std::string english, std::string chinese,
              std::vector<std::string> regNames, std::string family, std::string style,
              SampleKind sample, std::string sampleText) {
  FontPlan f;
  f.key = std::move(key);
  f.file = std::move(file);
  f.english = std::move(english);
  f.chinese = std::move(chinese);
  f.regNames = std::move(regNames);
  f.family = std::move(family);
  f.style = std::move(style);
  f.sample = sample;
  f.sampleText = std::move(sampleText);
  return f;
}

SetSpec ChineseCollections() {
  SetSpec set;
  set.name = "TTC";
  set.folder = "TTC";
  set.checkBothEnglish = "Also install the Ming font that the Kai font links to";
  set.checkBothChinese = "同時安裝楷書所連結的明體字型";
  set.fonts.push_back(Font("UMing", "uming.ttc", "AR PL UMing", "文鼎PL細上海宋",
                           {"AR PL UMing TW", "AR PL UMing HK", "AR PL UMing CN",
                            "AR PL UMing TW MBE"},
                           "AR PL UMing TW", "Light", SampleKind::Chinese, kChineseLine));
  auto kai = Font("UKai", "ukai.ttc", "AR PL UKai", "文鼎PL中楷",
                  {"AR PL UKai TW", "AR PL UKai HK", "AR PL UKai CN", "AR PL UKai TW MBE"},
                  "AR PL UKai TW", "Book", SampleKind::Chinese, kKaiLine);
  kai.links = {"UMing"};
  set.fonts.push_back(kai);
  // Two registration names; the Chinese ones keep the English family name, so the font counts
  // as installed whichever language installed it.
  auto hei = Font("WQYMicroHei", "wqy-microhei.ttc", "WenQuanYi Micro Hei", "文泉驛微米黑",
                  {"WenQuanYi Micro Hei", "WenQuanYi Micro Hei Mono"}, "WenQuanYi Micro Hei",
                  "Regular", SampleKind::Chinese, kHeiLine);
  hei.chtRegNames = {"文泉驛微米黑", "WenQuanYi Micro Hei"};
  set.fonts.push_back(hei);
  auto droid = Font("DroidFallback", "DroidSansFallbackFull.ttf", "Droid Sans Fallback",
                    "Droid 無襯線黑體", {"Droid Sans Fallback"}, "Droid Sans Fallback",
                    "Regular", SampleKind::Chinese, kChineseOnlyLine);
  droid.fallback = true;
  set.fonts.push_back(droid);
  set.styles = {
      {"Ming", "Ming (Song)", "明體", {"UMing"}},
      {"Kai", "Kai (regular script)", "楷書", {"UKai"}},
      {"Hei", "Hei (sans serif)", "黑體", {"WQYMicroHei", "DroidFallback"}},
      {"All", "All fonts", "全部字型", {"UMing", "UKai", "WQYMicroHei", "DroidFallback"}},
  };
  return set;
}

SetSpec LatinFonts() {
  SetSpec set;
  set.name = "TTF";
  set.folder = "TTF";
  set.checkBothEnglish = "Also install the Bold font of every checked font";
  set.checkBothChinese = "同時安裝所勾選字型的粗體";
  // "Book" keeps the regular face's name from matching the entries of Bold and Mono.
  auto sans = Font("DejaVuSans", "DejaVuSans.ttf", "DejaVu Sans", "DejaVu 無襯線體",
                   {"DejaVu Sans Book"}, "DejaVu Sans", "Book", SampleKind::Latin, kLatinLine);
  sans.links = {"DejaVuSansBold"};
  auto serif = Font("DejaVuSerif", "DejaVuSerif.ttf", "DejaVu Serif", "DejaVu 襯線體",
                    {"DejaVu Serif Book"}, "DejaVu Serif", "Book", SampleKind::Latin,
                    kLatinLine);
  serif.links = {"DejaVuSerifBold"};
  auto mono = Font("DejaVuSansMono", "DejaVuSansMono.ttf", "DejaVu Sans Mono",
                   "DejaVu 等寬字體", {"DejaVu Sans Mono Book"}, "DejaVu Sans Mono", "Book",
                   SampleKind::Mono, kMonoLine);
  mono.links = {"DejaVuSansMonoBold"};
  set.fonts = {
      sans,
      Font("DejaVuSansBold", "DejaVuSans-Bold.ttf", "DejaVu Sans Bold", "DejaVu 無襯線體 粗體",
           {"DejaVu Sans Bold"}, "DejaVu Sans", "Bold", SampleKind::Latin, kLatinLine),
      serif,
      Font("DejaVuSerifBold", "DejaVuSerif-Bold.ttf", "DejaVu Serif Bold", "DejaVu 襯線體 粗體",
           {"DejaVu Serif Bold"}, "DejaVu Serif", "Bold", SampleKind::Latin, kLatinLine),
      mono,
      Font("DejaVuSansMonoBold", "DejaVuSansMono-Bold.ttf", "DejaVu Sans Mono Bold",
           "DejaVu 等寬字體 粗體", {"DejaVu Sans Mono Bold"}, "DejaVu Sans Mono", "Bold",
           SampleKind::Mono, kMonoLine),
  };
  set.styles = {
      {"Sans", "Sans serif", "無襯線體", {"DejaVuSans", "DejaVuSansBold"}},
      {"Serif", "Serif", "襯線體", {"DejaVuSerif", "DejaVuSerifBold"}},
      {"Mono", "Monospace", "等寬字體", {"DejaVuSansMono", "DejaVuSansMonoBold"}},
  };
  return set;
}

SetSpec GiftUnicodeFonts() {
  SetSpec set;
  set.name = "Gift_FontU";
  set.folder = "Gift/Gift_FontU";
  set.checkBothEnglish = "Also install the Bold font linked to Noto Sans Mono";
  set.checkBothChinese = "同時安裝 Noto Sans Mono 所連結的粗體";
  auto noto = Font("NotoSansMono", "NotoSansMono-Regular.ttf", "Noto Sans Mono",
                   "Noto 等寬字體", {"Noto Sans Mono Regular"}, "Noto Sans Mono", "Regular",
                   SampleKind::Mono, kMonoLine);
  noto.links = {"NotoSansMonoBold"};
  auto ming = Font("UMingHK", "uming.ttc", "AR PL UMing HK", "文鼎PL細上海宋 (香港)",
                   {"AR PL UMing TW", "AR PL UMing HK", "AR PL UMing CN", "AR PL UMing TW MBE"},
                   "AR PL UMing HK", "Light", SampleKind::Chinese, kChineseLine);
  ming.fallback = true;
  set.fonts = {
      Font("DroidSansFallback", "DroidSansFallbackFull.ttf", "Droid Sans Fallback",
           "Droid 無襯線黑體", {"Droid Sans Fallback"}, "Droid Sans Fallback", "Regular",
           SampleKind::Chinese, kChineseOnlyLine),
      noto,
      Font("NotoSansMonoBold", "NotoSansMono-Bold.ttf", "Noto Sans Mono Bold",
           "Noto 等寬字體 粗體", {"Noto Sans Mono Bold"}, "Noto Sans Mono", "Bold",
           SampleKind::Mono, kMonoLine),
      Font("NotoMono", "NotoMono-Regular.ttf", "Noto Mono", "Noto 等寬", {"Noto Mono"},
           "Noto Mono", "Regular", SampleKind::Mono, kMonoLine),
      ming,
  };
  set.styles = {
      {"Unicode", "Unicode CJK", "萬國碼中文", {"DroidSansFallback", "UMingHK"}},
      {"Mono", "Monospace", "等寬字體", {"NotoSansMono", "NotoSansMonoBold", "NotoMono"}},
      {"All", "All fonts", "全部字型",
       {"DroidSansFallback", "NotoSansMono", "NotoSansMonoBold", "NotoMono", "UMingHK"}},
  };
  return set;
}

SetSpec GiftSymbolFonts() {
  SetSpec set;
  set.name = "Gift_Font";
  set.folder = "Gift/Gift_Font";
  set.checkBothEnglish = "Also install the symbol fonts linked to the checked fonts";
  set.checkBothChinese = "同時安裝所勾選字型連結的符號字型";
  // The two URW fonts are symbol-encoded: their glyphs sit at the Latin-1 codes, so the sample
  // text is written in those codes.
  auto dingbats = Font("Dingbats", "D050000L.otf", "Dingbats (D050000L)", "裝飾符號 (D050000L)",
                       {"D050000L"}, "D050000L", "Regular", SampleKind::Symbols,
                       "( ) . 3 7 ` \u00a4 \u00d4 \u00dc");
  dingbats.links = {"StandardSymbols"};
  auto math = Font("DejaVuMath", "DejaVuMathTeXGyre.ttf", "DejaVu Math TeX Gyre",
                   "DejaVu 數學符號", {"DejaVu Math TeX Gyre"}, "DejaVu Math TeX Gyre",
                   "Regular", SampleKind::Symbols,
                   "\u2211 \u222b \u221a \u221e \u2248 \u2260 \u00b1 \u03b1 \u03b2 \u03c0 \u03a9");
  auto symbols = Font("DejaVuSymbols", "DejaVuSans.ttf", "DejaVu Sans symbols",
                      "DejaVu 符號", {"DejaVu Sans Book"}, "DejaVu Sans", "Book",
                      SampleKind::Symbols,
                      "\u2660 \u2663 \u2665 \u2666 \u263a \u2602 \u2603 \u2714 \u2211 \u221e");
  symbols.fallback = true;
  set.fonts = {
      Font("StandardSymbols", "StandardSymbolsPS.otf", "Standard Symbols PS", "標準符號",
           {"Standard Symbols PS"}, "Standard Symbols PS", "Regular", SampleKind::Symbols,
           "a b g d p W \u00a5 \u00a7 \u00a8 \u00a9 \u00aa"),
      dingbats,
      math,
      symbols,
  };
  set.styles = {
      {"Symbols", "Symbols", "符號", {"StandardSymbols", "Dingbats", "DejaVuSymbols"}},
      {"Math", "Mathematics", "數學符號", {"DejaVuMath"}},
      {"All",
       "All fonts",
       "全部字型",
       {"StandardSymbols", "Dingbats", "DejaVuMath", "DejaVuSymbols"}},
  };
  return set;
}

bool IsFontFileName(const std::string& name) {
  if (name.size() < 5) return false;
  std::string ext = name.substr(name.size() - 4);
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".ttf" || ext == ".ttc" || ext == ".otf";
}

}  // namespace

std::vector<SetSpec> DiscLayout() {
  return {ChineseCollections(), LatinFonts(), GiftUnicodeFonts(), GiftSymbolFonts()};
}

int FitLayoutToMachine(std::vector<SetSpec>& sets, const std::map<std::string, FoundFont>& found) {
  int kept = 0;
  for (auto& set : sets) {
    auto present = [&](const FontPlan& f) { return found.count(f.file) > 0; };
    bool anyRegular = std::any_of(set.fonts.begin(), set.fonts.end(),
                                  [&](const FontPlan& f) { return !f.fallback && present(f); });
    std::erase_if(set.fonts, [&](const FontPlan& f) {
      return !present(f) || (f.fallback && anyRegular);
    });
    if (set.fonts.empty()) {
      // Not even a fallback: any font file on the machine serves (the source name must end in
      // a dot and three letters).
      for (const auto& [name, file] : found) {
        if (!IsFontFileName(name)) continue;
        bool ascii = std::all_of(file.family.begin(), file.family.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        std::string shown = ascii && !file.family.empty() ? file.family : "Font 1";
        FontPlan f = Font("Font1", name, shown, shown, {shown}, file.family, file.style,
                          SampleKind::Latin, kLatinLine);
        set.fonts.push_back(f);
        set.styles.clear();
        break;
      }
    }
    std::set<std::string> keys;
    for (const auto& f : set.fonts) keys.insert(f.key);
    for (auto& f : set.fonts)
      std::erase_if(f.links, [&](const std::string& k) { return !keys.count(k); });
    for (auto& style : set.styles)
      std::erase_if(style.fonts, [&](const std::string& k) { return !keys.count(k); });
    std::erase_if(set.styles, [](const StyleSpec& s) { return s.fonts.empty(); });
    // Every set offers at least two styles, however few fonts the machine has.
    if (set.styles.size() < 2) {
      bool hasAll = std::any_of(set.styles.begin(), set.styles.end(),
                                [](const StyleSpec& s) { return s.key == "All"; });
      StyleSpec all{"All", "All fonts", "全部字型", {}};
      for (const auto& f : set.fonts) all.fonts.push_back(f.key);
      if (!hasAll) set.styles.push_back(all);
      if (set.styles.size() < 2)
        set.styles.insert(set.styles.begin(),
                          StyleSpec{"Featured", "Featured", "精選字型", {set.fonts.front().key}});
    }
    kept += static_cast<int>(set.fonts.size());
  }
  return kept;
}

std::vector<MessageText> InstallWindowTexts(const SetSpec& set) {
  return {
      {"Title", "ZelvaFont Orchid Edition - Font Installer", "ZelvaFont 蘭花版 - 字型安裝程式"},
      {"Msg1", "Select Font Style", "選擇字型風格"},
      {"Msg2", "Fonts List", "字型清單"},
      {"Msg3", set.checkBothEnglish, set.checkBothChinese},
      {"Msg4", "Fonts:", "字型數:"},
      {"Msg5", "Set", "套"},
      {"Msg6", "Installed:", "已安裝:"},
      {"Msg7", "Selected:", "已選取:"},
      {"Msg8", "Free Space:", "可用空間:"},
      {"Msg9", "Require Space:", "所需空間:"},
      {"Msg10", "Install", "安裝"},
      {"Msg11", "Select All", "全部選取"},
      {"Msg12", "Reset", "重新設定"},
      {"Msg13", "Exit", "離開"},
      {"Msg14", "mark is installed", "表示已安裝"},
      {"Msg17", "Remove", "移除"},
      {"Msg18", "MB", "MB"},
  };
}

}  // namespace demodisc
