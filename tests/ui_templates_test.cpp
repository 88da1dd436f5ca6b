// The resource script against the controllers' view of the templates: every
// template carries exactly the controls (ID, kind, hidden or not) that the
// dialogs speak to, and its design-time list data is well formed.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "ui/DialogTemplates.h"

namespace tarvo {
namespace {

struct RcControl {
  std::string caption, id, windowClass, style;
};

// The controls of each DIALOGEX, multi-line #defines expanded, and the entries
// of each design-time list block ("NAME 240": caption, id, "", length).
std::map<std::string, std::vector<RcControl>> ReadScript() {
  static const std::regex kDefine(R"(#define (\w+)$)"), kBlock(R"((\w+ 240)|(\w+) DIALOGEX .*)"),
      kControl(R"re(CONTROL "([^"]*)", ([-\w]+), "(\w+)", ([^,]+),.*)re"),
      kEntry(R"re((\d+), 0x0403, (\d+)L, "(.*)\\0",)re");
  std::ifstream in(TARVOSCN_RESOURCE_DIR "/dialogs.rc");
  EXPECT_TRUE(in.good());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    const auto b = line.find_first_not_of(" \t");
    lines.push_back(b == std::string::npos ? "" : line.substr(b, line.find_last_not_of(" \t\r\\") - b + 1));
  }
  std::map<std::string, std::vector<std::string>> macros;
  std::map<std::string, std::vector<RcControl>> blocks;
  std::vector<RcControl>* current = nullptr;
  std::smatch m;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (std::regex_match(lines[i], m, kDefine)) {
      const std::string name = m[1];  // a body up to the blank line
      while (++i < lines.size() && !lines[i].empty()) macros[name].push_back(lines[i]);
    } else if (std::regex_match(lines[i], m, kBlock)) {
      current = &blocks[m[1].matched ? m[1] : m[2]];
    } else if (lines[i] == "END") {
      current = nullptr;
    } else if (current != nullptr) {
      auto macro = macros.find(lines[i]);
      for (const std::string& l : macro != macros.end() ? macro->second : std::vector{lines[i]}) {
        if (std::regex_match(l, m, kControl)) current->push_back({m[1], m[2], m[3], m[4]});
        if (std::regex_match(l, m, kEntry)) current->push_back({m[3], m[1], "", m[2]});
      }
    }
  }
  return blocks;
}

ControlKind KindOf(const RcControl& c) {
  static const std::map<std::string, ControlKind> kKinds = {
      {"ComboBox", ControlKind::kList},          {"Edit", ControlKind::kEdit},
      {"Static", ControlKind::kLabel},           {"msctls_trackbar32", ControlKind::kTrackbar},
      {"msctls_updown32", ControlKind::kUpDown}, {"Button", ControlKind::kButton}};
  EXPECT_TRUE(kKinds.count(c.windowClass)) << c.windowClass;
  if (c.windowClass == "Button" && c.style.find("TARVO_CHECK") != std::string::npos) return ControlKind::kCheckBox;
  return kKinds.count(c.windowClass) ? kKinds.at(c.windowClass) : ControlKind::kLabel;
}

TEST(Templates, EveryTemplateCarriesTheControlsOfItsDialogAndWellFormedListData) {
  auto blocks = ReadScript();
  ASSERT_EQ(blocks.size(), 10u);
  std::map<std::string, std::size_t> entries;
  for (DialogTemplate which : {DialogTemplate::kSetting, DialogTemplate::kDetails, DialogTemplate::kDetailsUs,
                               DialogTemplate::kGamma, DialogTemplate::kImprinter, DialogTemplate::kFunction,
                               DialogTemplate::kStartScan}) {
    const std::string name = TemplateName(which);
    ASSERT_TRUE(blocks.count(name)) << name;
    std::map<int, const RcControl*> script;
    for (const RcControl& c : blocks.at(name)) {
      EXPECT_TRUE(c.id == "IDC_STATIC" || script.emplace(std::stoi(c.id), &c).second) << name << " repeats " << c.id;
    }
    EXPECT_EQ(script.size(), TemplateControls(which).size()) << name;
    for (const ControlForm& form : TemplateControls(which)) {
      const RcControl* c = script.count(form.id) ? script.at(form.id) : nullptr;
      ASSERT_NE(c, nullptr) << name << " lacks control " << form.id;
      EXPECT_EQ(KindOf(*c), form.kind) << name << " " << form.id;
      EXPECT_EQ(c->style.find("NOT WS_VISIBLE") != std::string::npos, form.hidden) << name << " " << form.id;
      EXPECT_EQ(c->style.find("WS_DISABLED") != std::string::npos, form.hidden) << name << " " << form.id;
    }
    EXPECT_NE(script.at(kIdOkButton)->style.find("TARVO_DEFAULT"), std::string::npos) << name;
    for (const RcControl& entry : blocks[name + " 240"]) {  // a list of the template; the length with the NUL
      const ControlForm* list = FindControl(which, std::stoi(entry.id));
      EXPECT_TRUE(list != nullptr && list->kind == ControlKind::kList) << entry.caption;
      EXPECT_EQ(std::stoul(entry.style), entry.caption.length() + 1) << entry.caption;
      ++entries[name];
    }
  }
  EXPECT_EQ(entries, (std::map<std::string, std::size_t>{{"DETAILS", 3}, {"DETAILS_US", 3}, {"FUNCTION", 14}}));
  // Start-scan's labels have no message: the template's own texts show; its
  // list keeps the order of the separator values.
  std::vector<std::string> labels;
  for (const RcControl& c : blocks.at("STARTSCAN")) {
    if (c.id == "IDC_STATIC") labels.push_back(c.caption);
    EXPECT_TRUE(c.id != std::to_string(startscan::kJobSeparator) || c.style.find("CBS_SORT") == std::string::npos);
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"File name :", "Job separator :"}));
}

}  // namespace
}  // namespace tarvo
