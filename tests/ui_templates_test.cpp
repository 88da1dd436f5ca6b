// The resource script against the controllers' view of the templates: every
// template carries exactly the controls (ID, kind, hidden or not) that the
// dialogs speak to, with the template captions the dialogs start from.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ui/DialogTemplates.h"

namespace tarvo {
namespace {

struct RcControl {
  std::string caption;
  std::string id;  // as written: a number or IDC_STATIC
  std::string windowClass;
  std::string style;
};

struct RcDialog {
  std::string caption;
  std::vector<RcControl> controls;
  int icons = 0;
};

std::string Trim(std::string s) {
  const auto b = s.find_first_not_of(" \t\r");
  const auto e = s.find_last_not_of(" \t\r\\");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// The fields of a comma-separated line, trimmed.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream in(line);
  for (std::string field; std::getline(in, field, ',');) out.push_back(Trim(field));
  return out;
}

// The text between the first double quote of `s` at or after `from` and the
// next one; `end` is set behind the closing quote (npos when there is none).
std::string Quoted(const std::string& s, std::size_t from, std::size_t& end) {
  const auto open = s.find('"', from);
  const auto close = open == std::string::npos ? open : s.find('"', open + 1);
  if (close == std::string::npos) {
    end = std::string::npos;
    return "";
  }
  end = close + 1;
  return s.substr(open + 1, close - open - 1);
}

// CONTROL "caption", id, "class", style, x, y, w, h
// (Not inlined: GCC 12 then warns falsely of a free of the caller's object.)
[[gnu::noinline]] bool ParseControl(const std::string& line, RcControl& control) {
  if (!StartsWith(line, "CONTROL \"")) return false;
  std::size_t end = 0;
  control.caption = Quoted(line, 0, end);
  if (end == std::string::npos) return false;
  const std::vector<std::string> f = Fields(line.substr(end));
  if (f.size() < 4 || f[2].size() < 2) return false;
  control.id = f[1];
  control.windowClass = f[2].substr(1, f[2].size() - 2);
  control.style = f[3];
  return true;
}

// Reads the dialog templates of the script, expanding the shared Details body.
std::map<std::string, RcDialog> ReadDialogs(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in.good()) << path;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(Trim(line));

  std::map<std::string, std::vector<std::string>> macros;  // multi-line defines
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::stringstream words(lines[i]);
    std::string define, name, rest;
    words >> define >> name;
    if (define != "#define" || (words >> rest)) continue;  // "#define NAME \\" only
    std::vector<std::string>& body = macros[name];
    while (++i < lines.size() && !lines[i].empty()) body.push_back(lines[i]);
  }

  std::map<std::string, RcDialog> dialogs;
  RcDialog* current = nullptr;
  bool inBody = false;
  auto take = [&](const std::string& line) {
    RcControl control;
    if (ParseControl(line, control)) {
      current->controls.push_back(control);
    } else if (StartsWith(line, "ICON ")) {
      ++current->icons;
    }
  };
  for (const std::string& line : lines) {
    std::stringstream words(line);
    std::string first, second;
    words >> first >> second;
    if (second == "DIALOGEX") {
      current = &dialogs[first];
      inBody = false;
    } else if (current != nullptr && !inBody && first == "CAPTION") {
      std::size_t end = 0;
      current->caption = Quoted(line, 0, end);
    } else if (current != nullptr && line == "BEGIN") {
      inBody = true;
    } else if (current != nullptr && line == "END") {
      current = nullptr;
    } else if (current != nullptr && inBody) {
      auto macro = macros.find(line);
      if (macro != macros.end()) {
        for (const std::string& l : macro->second) take(l);
      } else {
        take(line);
      }
    }
  }
  return dialogs;
}

ControlKind KindOf(const RcControl& c, bool& known) {
  known = true;
  if (c.windowClass == "ComboBox") return ControlKind::kList;
  if (c.windowClass == "Edit") return ControlKind::kEdit;
  if (c.windowClass == "Static") return ControlKind::kLabel;
  if (c.windowClass == "msctls_trackbar32") return ControlKind::kTrackbar;
  if (c.windowClass == "msctls_updown32") return ControlKind::kUpDown;
  if (c.windowClass == "Button") {
    return c.style.find("TARVO_CHECK") != std::string::npos ? ControlKind::kCheckBox
                                                             : ControlKind::kButton;
  }
  known = false;
  return ControlKind::kLabel;
}

class TemplatesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dialogs_ = ReadDialogs(TARVOSCN_RESOURCE_DIR "/dialogs.rc"); }
  static const RcDialog& Dialog(const char* name) { return dialogs_.at(name); }
  static const RcControl& Control(const char* dialog, int id) {
    for (const RcControl& c : Dialog(dialog).controls) {
      if (c.id == std::to_string(id)) return c;
    }
    static const RcControl kNone;
    ADD_FAILURE() << dialog << " has no control " << id;
    return kNone;
  }
  static std::map<std::string, RcDialog> dialogs_;
};
std::map<std::string, RcDialog> TemplatesTest::dialogs_;

constexpr DialogTemplate kAll[] = {DialogTemplate::kSetting,   DialogTemplate::kDetails,
                                   DialogTemplate::kDetailsUs, DialogTemplate::kGamma,
                                   DialogTemplate::kImprinter, DialogTemplate::kFunction,
                                   DialogTemplate::kStartScan};

TEST_F(TemplatesTest, EveryTemplateCarriesTheControlsOfItsDialog) {
  ASSERT_EQ(dialogs_.size(), std::size(kAll));
  for (DialogTemplate which : kAll) {
    const std::string name = TemplateName(which);
    ASSERT_TRUE(dialogs_.count(name)) << name;
    std::map<int, const RcControl*> script;
    for (const RcControl& c : Dialog(name.c_str()).controls) {
      if (c.id == "IDC_STATIC") continue;
      EXPECT_TRUE(script.emplace(std::stoi(c.id), &c).second) << name << " repeats " << c.id;
    }
    std::set<int> expected;
    for (const ControlForm& form : TemplateControls(which)) {
      expected.insert(form.id);
      auto it = script.find(form.id);
      if (it == script.end()) {
        ADD_FAILURE() << name << " lacks control " << form.id;
        continue;
      }
      bool known = false;
      EXPECT_EQ(KindOf(*it->second, known), form.kind) << name << " " << form.id;
      EXPECT_TRUE(known) << it->second->windowClass;
      const bool hidden = it->second->style.find("NOT WS_VISIBLE") != std::string::npos;
      EXPECT_EQ(hidden, form.hidden) << name << " " << form.id;
      if (form.hidden) {
        EXPECT_NE(it->second->style.find("WS_DISABLED"), std::string::npos) << form.id;
      }
    }
    for (const auto& [id, control] : script) {
      EXPECT_TRUE(expected.count(id)) << name << " has control " << id << " no dialog uses";
    }
    EXPECT_NE(Control(name.c_str(), kIdOkButton).style.find("TARVO_DEFAULT"), std::string::npos)
        << name;
  }
}

TEST_F(TemplatesTest, DetailsTemplatesDifferOnlyInTheirButtons) {
  const RcDialog& jp = Dialog("DETAILS");
  const RcDialog& us = Dialog("DETAILS_US");
  ASSERT_EQ(jp.controls.size(), 37u);  // 32 with IDs, an empty label and four lines
  ASSERT_EQ(us.controls.size(), jp.controls.size());
  for (std::size_t i = 0; i < jp.controls.size(); ++i) {
    EXPECT_EQ(jp.controls[i].id, us.controls[i].id);
    EXPECT_EQ(jp.controls[i].caption, us.controls[i].caption);
  }
}

TEST_F(TemplatesTest, StartScanLabelsAreTheTemplatesOwn) {
  std::vector<std::string> labels;
  for (const RcControl& c : Dialog("STARTSCAN").controls) {
    if (c.id == "IDC_STATIC") labels.push_back(c.caption);
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"File name :", "Job separator :"}));
  EXPECT_EQ(Control("STARTSCAN", startscan::kJobSeparator).style.find("CBS_SORT"),
            std::string::npos);
}

TEST_F(TemplatesTest, FunctionListDesignTimeData) {
  std::ifstream in(TARVOSCN_RESOURCE_DIR "/dialogs.rc");
  std::stringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  const auto begin = text.find("FUNCTION 240");
  ASSERT_NE(begin, std::string::npos);
  const std::string block = text.substr(begin, text.find("END", begin) - begin);
  std::vector<std::string> names;
  std::stringstream lines(block);
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> f = Fields(Trim(line));
    if (f.size() < 4 || f[1] != "0x0403") continue;
    std::size_t end = 0;
    std::string name = Quoted(line, 0, end);
    ASSERT_TRUE(name.size() >= 2 && name.substr(name.size() - 2) == "\\0") << line;
    name.resize(name.size() - 2);
    EXPECT_EQ(f[0], "1005");
    EXPECT_EQ(f[2], std::to_string(name.size() + 1) + "L") << name;
    names.push_back(name);
  }
  EXPECT_EQ(names.size(), 14u);
}

}  // namespace
}  // namespace tarvo
