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

std::vector<std::string> ScriptLines() {
  std::ifstream in(TARVOSCN_RESOURCE_DIR "/dialogs.rc");
  EXPECT_TRUE(in.good());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    const auto b = line.find_first_not_of(" \t");
    lines.push_back(b == std::string::npos ? "" : line.substr(b, line.find_last_not_of(" \t\r\\") - b + 1));
  }
  return lines;
}

// The controls of each DIALOGEX, multi-line #defines expanded.
std::map<std::string, std::vector<RcControl>> ReadDialogs() {
  static const std::regex kDefine(R"(#define (\w+)$)"), kDialog(R"((\w+) DIALOGEX .*)"),
      kControl(R"re(CONTROL "([^"]*)", ([-\w]+), "(\w+)", ([^,]+),.*)re");
  const std::vector<std::string> lines = ScriptLines();
  std::map<std::string, std::vector<std::string>> macros;
  std::map<std::string, std::vector<RcControl>> dialogs;
  std::vector<RcControl>* current = nullptr;
  std::smatch m;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (std::regex_match(lines[i], m, kDefine)) {
      const std::string name = m[1];  // a body up to the blank line
      while (++i < lines.size() && !lines[i].empty()) macros[name].push_back(lines[i]);
    } else if (std::regex_match(lines[i], m, kDialog)) {
      current = &dialogs[m[1]];
    } else if (lines[i] == "END") {
      current = nullptr;
    } else if (current != nullptr) {
      auto macro = macros.find(lines[i]);
      for (const std::string& l : macro != macros.end() ? macro->second : std::vector{lines[i]}) {
        if (std::regex_match(l, m, kControl)) current->push_back({m[1], m[2], m[3], m[4]});
      }
    }
  }
  return dialogs;
}

ControlKind KindOf(const RcControl& c) {
  const std::map<std::string, ControlKind> kinds = {
      {"ComboBox", ControlKind::kList},          {"Edit", ControlKind::kEdit},
      {"Static", ControlKind::kLabel},           {"msctls_trackbar32", ControlKind::kTrackbar},
      {"msctls_updown32", ControlKind::kUpDown}, {"Button", ControlKind::kButton}};
  EXPECT_TRUE(kinds.count(c.windowClass)) << c.windowClass;
  if (c.windowClass == "Button" && c.style.find("TARVO_CHECK") != std::string::npos) return ControlKind::kCheckBox;
  return kinds.count(c.windowClass) ? kinds.at(c.windowClass) : ControlKind::kLabel;
}

TEST(Templates, EveryTemplateCarriesTheControlsOfItsDialog) {
  const auto dialogs = ReadDialogs();
  ASSERT_EQ(dialogs.size(), 7u);
  for (DialogTemplate which : {DialogTemplate::kSetting, DialogTemplate::kDetails, DialogTemplate::kDetailsUs,
                               DialogTemplate::kGamma, DialogTemplate::kImprinter, DialogTemplate::kFunction,
                               DialogTemplate::kStartScan}) {
    const std::string name = TemplateName(which);
    ASSERT_TRUE(dialogs.count(name)) << name;
    std::map<int, const RcControl*> script;
    for (const RcControl& c : dialogs.at(name)) {
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
  }
  // Start-scan's labels have no message: the template's own texts show; its
  // list keeps the order of the separator values.
  std::vector<std::string> labels;
  for (const RcControl& c : dialogs.at("STARTSCAN")) {
    if (c.id == "IDC_STATIC") labels.push_back(c.caption);
    EXPECT_TRUE(c.id != std::to_string(startscan::kJobSeparator) || c.style.find("CBS_SORT") == std::string::npos);
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"File name :", "Job separator :"}));
}

// Design-time list entries: a list control of the template, the length with
// the NUL.
TEST(Templates, DesignTimeListData) {
  static const std::regex kBlock(R"((\w+) 240)"), kEntry(R"re((\d+), 0x0403, (\d+)L, "(.*)\\0",)re");
  std::map<std::string, DialogTemplate> byName;
  for (DialogTemplate which : {DialogTemplate::kDetails, DialogTemplate::kDetailsUs, DialogTemplate::kFunction}) {
    byName[TemplateName(which)] = which;
  }
  std::map<std::string, int> entries;
  std::string block;
  std::smatch m;
  for (const std::string& line : ScriptLines()) {
    if (std::regex_match(line, m, kBlock)) {
      block = m[1];
      ASSERT_TRUE(byName.count(block)) << block;
    } else if (!block.empty() && std::regex_match(line, m, kEntry)) {
      const ControlForm* list = FindControl(byName.at(block), std::stoi(m[1]));
      EXPECT_TRUE(list != nullptr && list->kind == ControlKind::kList) << line;
      EXPECT_EQ(std::stoul(m[2]), m[3].length() + 1) << line;
      ++entries[block];
    } else if (line == "END") {
      block.clear();
    }
  }
  EXPECT_EQ(entries, (std::map<std::string, int>{{"DETAILS", 3}, {"DETAILS_US", 3}, {"FUNCTION", 14}}));
}

}  // namespace
}  // namespace tarvo
