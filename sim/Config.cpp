#include "Config.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <string_view>
#include <vector>

namespace tarvo::sim {

namespace {

struct NamedOpcode {
  std::string_view name;
  std::uint8_t opcode;
};
constexpr std::array<NamedOpcode, 15> kCommandNames{{
    {"tur", wire::kOpTestUnitReady},
    {"requestsense", wire::kOpRequestSense},
    {"inquiry", wire::kOpInquiry},
    {"modeselect", wire::kOpModeSelect},
    {"scan", wire::kOpScan},
    {"setwindow", wire::kOpSetWindow},
    {"getwindow", wire::kOpGetWindow},
    {"read", wire::kOpRead},
    {"send", wire::kOpSend},
    {"objectposition", wire::kOpObjectPosition},
    {"getscanmode", wire::kOpGetScanMode},
    {"definescanmode", wire::kOpDefineScanMode},
    {"stopbatch", wire::kOpStopBatch},
    {"definekey", wire::kOpDefineFunctionKey},
    {"getkey", wire::kOpGetFunctionKey},
}};

struct NamedSense {
  std::string_view name;
  Sense sense;
};
constexpr std::array<NamedSense, 4> kSenseNames{{
    {"no-paper", kSenseNoPaper},
    {"jam", kSenseJam},
    {"not-ready", kSenseNotReady},
    {"unit-attention", kSenseUnitAttention},
}};

struct PaperSize {
  std::string_view name;
  std::uint32_t widthMm10;
  std::uint32_t lengthMm10;
};
constexpr std::array<PaperSize, 5> kPaperSizes{{{"a4", 2100, 2970},
                                                {"a5", 1480, 2100},
                                                {"letter", 2159, 2794},
                                                {"legal", 2159, 3556},
                                                {"a3", 2970, 4200}}};

// `feed long-edge|short-edge` on a page line; empty means by the sheet's size.
bool FeedWord(std::string_view word, Feed& feed, std::string& problem) {
  if (word.empty() || word == "auto") {
    feed = Feed::kAuto;
  } else if (word == "long-edge") {
    feed = Feed::kLongEdge;
  } else if (word == "short-edge") {
    feed = Feed::kShortEdge;
  } else {
    problem = "feed is long-edge or short-edge, not '" + std::string(word) + "'";
    return false;
  }
  return true;
}

using Words = std::vector<std::string_view>;

Words Split(std::string_view line) {
  Words words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size() || line[i] == '#') break;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    words.push_back(line.substr(start, i - start));
  }
  return words;
}

// Decimal, or hexadecimal with 0x; the whole word must be the number.
bool Number(std::string_view word, std::uint64_t limit, std::uint64_t& value) {
  int base = 10;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    word.remove_prefix(2);
    base = 16;
  }
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value, base);
  return ec == std::errc() && end == word.data() + word.size() && value <= limit;
}

class Parser {
 public:
  explicit Parser(Bus& bus) : bus_(bus) {}

  bool Line(const Words& w, std::string& problem);

  // One statement each; `w[0]` is the keyword.
  bool Adapters(const Words& w, std::string& problem);
  bool ScannerAt(const Words& w, std::string& problem);
  bool OtherDeviceAt(const Words& w, std::string& problem);
  bool IdentityWord(const Words& w, std::string& problem);
  bool VendorPage(const Words& w, std::string& problem);
  bool Counters(const Words& w, std::string& problem);
  bool Pages(const Words& w, std::string& problem);
  bool Condition(const Words& w, std::string& problem);
  bool Fault(const Words& w, std::string& problem);
  bool CompletionMode(const Words& w, std::string& problem);
  bool WireLog(const Words& w, std::string& problem);

 private:
  Rt650& Scanner() {
    if (scanner_ == nullptr) scanner_ = &bus_.AddScanner(0, 0);
    return *scanner_;
  }
  bool Num(const Words& w, std::size_t i, std::uint64_t limit, std::uint64_t& v,
           std::string& problem) {
    if (i >= w.size() || !Number(w[i], limit, v)) {
      problem = i >= w.size() ? "missing number" : "bad number '" + std::string(w[i]) + "'";
      return false;
    }
    return true;
  }
  bool Address(const Words& w, std::uint8_t& adapter, std::uint8_t& target, std::string& problem) {
    std::uint64_t a = 0, t = 0;
    if (!Num(w, 1, 7, a, problem) || !Num(w, 2, 15, t, problem)) return false;
    adapter = static_cast<std::uint8_t>(a);
    target = static_cast<std::uint8_t>(t);
    return true;
  }
  // Optional "key value" pairs after position `from`.
  bool Options(const Words& w, std::size_t from, const std::vector<std::string_view>& keys,
               std::vector<std::string_view>& values, std::string& problem) {
    values.assign(keys.size(), {});
    for (std::size_t i = from; i < w.size(); i += 2) {
      const auto it = std::find(keys.begin(), keys.end(), w[i]);
      if (it == keys.end() || i + 1 >= w.size()) {
        problem = "unexpected '" + std::string(w[i]) + "'";
        return false;
      }
      values[static_cast<std::size_t>(it - keys.begin())] = w[i + 1];
    }
    return true;
  }
  Bus& bus_;
  Rt650* scanner_ = nullptr;
};

bool Parser::Fault(const Words& w, std::string& problem) {
  // fault COMMAND[/TYPE] N KIND [ARGS] [repeat R]
  if (w.size() < 4) {
    problem = "fault needs a command, an occurrence and a kind";
    return false;
  }
  FaultRule rule;
  std::string_view command = w[1];
  const std::size_t slash = command.find('/');
  std::uint64_t v = 0;
  if (slash != std::string_view::npos) {
    if (!Number(command.substr(slash + 1), 255, v)) {
      problem = "bad data type in '" + std::string(command) + "'";
      return false;
    }
    rule.dataType = static_cast<int>(v);
    command = command.substr(0, slash);
  }
  const auto named = std::find_if(kCommandNames.begin(), kCommandNames.end(),
                                  [&](const NamedOpcode& n) { return n.name == command; });
  if (named != kCommandNames.end()) {
    rule.opcode = named->opcode;
  } else if (Number(command, 255, v)) {
    rule.opcode = static_cast<std::uint8_t>(v);
  } else {
    problem = "unknown command '" + std::string(command) + "'";
    return false;
  }
  if (!Num(w, 2, 0xFFFFFFFF, v, problem) || v == 0) {
    if (problem.empty()) problem = "occurrences count from 1";
    return false;
  }
  rule.occurrence = static_cast<std::uint32_t>(v);
  const std::string_view kind = w[3];
  std::size_t next = 4;
  const auto sense = std::find_if(kSenseNames.begin(), kSenseNames.end(),
                                  [&](const NamedSense& n) { return n.name == kind; });
  std::uint64_t a = 0, b = 0, c = 0;
  if (sense != kSenseNames.end()) {
    rule.sense = sense->sense;
  } else if (kind == "illegal") {
    if (!Num(w, 4, 255, a, problem) || !Num(w, 5, 255, b, problem)) return false;
    rule.sense =
        Sense{wire::kKeyIllegalRequest, static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)};
    next = 6;
  } else if (kind == "sense") {
    if (!Num(w, 4, 15, a, problem) || !Num(w, 5, 255, b, problem) || !Num(w, 6, 255, c, problem))
      return false;
    rule.sense = Sense{static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                       static_cast<std::uint8_t>(c)};
    next = 7;
  } else if (kind == "busy") {
    rule.kind = FaultKind::kBusy;
  } else if (kind == "hastat" || kind == "srb") {
    if (!Num(w, 4, 255, a, problem)) return false;
    rule.kind = kind == "hastat" ? FaultKind::kHostAdapter : FaultKind::kSrbStatus;
    rule.value = static_cast<std::uint8_t>(a);
    next = 5;
  } else {
    problem = "unknown fault '" + std::string(kind) + "'";
    return false;
  }
  std::vector<std::string_view> values;
  if (!Options(w, next, {"repeat"}, values, problem)) return false;
  if (!values[0].empty()) {
    if (!Number(values[0], 0xFFFFFFFF, v)) {
      problem = "bad repeat count";
      return false;
    }
    rule.repeat = static_cast<std::uint32_t>(v);
  }
  Scanner().AddFault(rule);
  return true;
}

bool Parser::Condition(const Words& w, std::string& problem) {
  // condition PAGE separator BYTE | flag | jam   (several may follow on one line)
  std::uint64_t page = 0;
  if (!Num(w, 1, 1000000, page, problem)) return false;
  if (page == 0) {
    problem = "pages count from 1";
    return false;
  }
  PageConditions conditions;
  for (std::size_t i = 2; i < w.size(); ++i) {
    std::uint64_t v = 0;
    if (w[i] == "separator") {
      if (!Num(w, ++i, 255, v, problem)) return false;
      conditions.separatorStatus = static_cast<std::uint8_t>(v);
    } else if (w[i] == "flag") {
      conditions.flagged = true;
    } else if (w[i] == "jam") {
      conditions.jam = true;
    } else {
      problem = "unknown condition '" + std::string(w[i]) + "'";
      return false;
    }
  }
  if (!Scanner().SetConditions(page - 1, conditions)) {
    problem = "no page " + std::to_string(page) + " yet";
    return false;
  }
  return true;
}

bool Parser::Pages(const Words& w, std::string& problem) {
  std::vector<std::string_view> values;
  std::uint64_t dpi = 300;
  if (w[0] == "file") {
    if (w.size() < 2) {
      problem = "file needs a path";
      return false;
    }
    if (!Options(w, 2, {"dpi", "feed"}, values, problem)) return false;
    if (!values[0].empty() && !Number(values[0], 1200, dpi)) {
      problem = "bad dpi";
      return false;
    }
    Feed feed = Feed::kAuto;
    if (!FeedWord(values[1], feed, problem)) return false;
    Page page;
    const PnmError error = LoadPnmFile(std::string(w[1]), static_cast<std::uint32_t>(dpi), page);
    if (error != PnmError::kNone || dpi < 50) {
      problem = std::string(w[1]) + ": " +
                (error != PnmError::kNone ? PnmErrorText(error) : "dpi below 50");
      return false;
    }
    page.feed = feed;
    Scanner().AddPage(std::move(page));
    return true;
  }
  // synthetic COUNT [seed S] [dpi D] [size NAME]
  std::uint64_t count = 0, seed = 1;
  if (!Num(w, 1, 100000, count, problem)) return false;
  if (!Options(w, 2, {"seed", "dpi", "size", "feed"}, values, problem)) return false;
  Feed feed = Feed::kAuto;
  if (!FeedWord(values[3], feed, problem)) return false;
  if ((!values[0].empty() && !Number(values[0], ~0ull, seed)) ||
      (!values[1].empty() && !Number(values[1], 600, dpi))) {
    problem = "bad seed or dpi";
    return false;
  }
  PaperSize size = kPaperSizes[0];
  if (!values[2].empty()) {
    const auto it = std::find_if(kPaperSizes.begin(), kPaperSizes.end(),
                                 [&](const PaperSize& p) { return p.name == values[2]; });
    if (it == kPaperSizes.end()) {
      problem = "unknown size '" + std::string(values[2]) + "'";
      return false;
    }
    size = *it;
  }
  if (!Scanner().AddSyntheticPages(static_cast<std::uint32_t>(count), seed,
                                   static_cast<std::uint32_t>(dpi), size.widthMm10,
                                   size.lengthMm10, feed)) {
    problem = "synthetic pages are made at 200, 300 or 600 dpi";
    return false;
  }
  return true;
}

bool Parser::Adapters(const Words& w, std::string& problem) {
  std::uint64_t v = 0;
  if (!Num(w, 1, 8, v, problem)) return false;
  bus_.SetAdapterCount(static_cast<std::uint8_t>(v));
  return true;
}

bool Parser::ScannerAt(const Words& w, std::string& problem) {
  std::uint8_t adapter = 0, target = 0;
  if (!Address(w, adapter, target, problem)) return false;
  scanner_ = &bus_.AddScanner(adapter, target);
  return true;
}

// disk A T [VENDOR [PRODUCT [REV]]];  device A T TYPE VENDOR PRODUCT [REV]
bool Parser::OtherDeviceAt(const Words& w, std::string& problem) {
  std::uint8_t adapter = 0, target = 0;
  std::uint64_t v = 0;
  if (!Address(w, adapter, target, problem)) return false;
  Identity id{0x00, "QUANTEX", "FIRECREST 2GB", "1.0"};
  std::size_t at = 3;
  if (w[0] == "device") {
    if (!Num(w, 3, 31, v, problem)) return false;
    id = Identity{static_cast<std::uint8_t>(v), "OTHERCO", "SCAN 4000", "1.00"};
    at = 4;
  }
  if (w.size() > at) id.vendor = std::string(w[at]);
  if (w.size() > at + 1) id.product = std::string(w[at + 1]);
  if (w.size() > at + 2) id.revision = std::string(w[at + 2]);
  bus_.AddDevice(adapter, target, id);
  return true;
}

bool Parser::IdentityWord(const Words& w, std::string& problem) {
  if (w.size() != 2) {
    problem = std::string(w[0]) + " needs one word";
    return false;
  }
  Identity& id = Scanner().Info().identity;
  (w[0] == "vendor" ? id.vendor : w[0] == "product" ? id.product : id.revision) = std::string(w[1]);
  return true;
}

bool Parser::VendorPage(const Words& w, std::string& problem) {
  std::uint64_t v = 0;
  const bool capability = w[0] == "capability";
  if (!Num(w, 1, capability ? 0xFFFFFFFF : 255, v, problem)) return false;
  ScannerInfo& info = Scanner().Info();
  if (capability) {
    info.capability = static_cast<std::uint32_t>(v);
  } else {
    info.vendorFlags = static_cast<std::uint8_t>(v);
  }
  return true;
}

bool Parser::Counters(const Words& w, std::string& problem) {
  std::array<std::uint32_t, 3> counters{};
  for (std::size_t i = 0; i < counters.size(); ++i) {
    std::uint64_t v = 0;
    if (!Num(w, i + 1, 0xFFFFFFFF, v, problem)) return false;
    counters[i] = static_cast<std::uint32_t>(v);
  }
  Scanner().SetCounters(counters);
  return true;
}

bool Parser::CompletionMode(const Words& w, std::string& problem) {
  std::uint64_t delay = 0;
  if (w.size() == 2 && w[1] == "sync") {
    bus_.SetCompletion(Completion::kSynchronous);
    return true;
  }
  if (w.size() >= 2 && w[1] == "pending" && (w.size() == 2 || Num(w, 2, 10000, delay, problem))) {
    bus_.SetCompletion(Completion::kPending, static_cast<std::uint32_t>(delay));
    return true;
  }
  if (problem.empty()) problem = "completion is sync or pending";
  return false;
}

bool Parser::WireLog(const Words& w, std::string& problem) {
  if (w.size() != 2 || !bus_.OpenWireLog(std::string(w[1]))) {
    problem = "cannot open the wire log";
    return false;
  }
  return true;
}

struct Keyword {
  std::string_view word;
  bool (Parser::*handler)(const Words&, std::string&);
};
constexpr std::array<Keyword, 16> kKeywords{{
    {"adapters", &Parser::Adapters},
    {"scanner", &Parser::ScannerAt},
    {"disk", &Parser::OtherDeviceAt},
    {"device", &Parser::OtherDeviceAt},
    {"vendor", &Parser::IdentityWord},
    {"product", &Parser::IdentityWord},
    {"revision", &Parser::IdentityWord},
    {"capability", &Parser::VendorPage},
    {"flags", &Parser::VendorPage},
    {"counters", &Parser::Counters},
    {"synthetic", &Parser::Pages},
    {"file", &Parser::Pages},
    {"condition", &Parser::Condition},
    {"fault", &Parser::Fault},
    {"completion", &Parser::CompletionMode},
    {"log", &Parser::WireLog},
}};

bool Parser::Line(const Words& w, std::string& problem) {
  const auto it = std::find_if(kKeywords.begin(), kKeywords.end(),
                               [&](const Keyword& k) { return k.word == w[0]; });
  if (it == kKeywords.end()) {
    problem = "unknown keyword '" + std::string(w[0]) + "'";
    return false;
  }
  return (this->*(it->handler))(w, problem);
}

}  // namespace

bool ApplyConfig(const std::string& text, Bus& bus, std::string& error) {
  Parser parser(bus);
  std::size_t lineNumber = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    ++lineNumber;
    const Words words = Split(std::string_view(text).substr(pos, end - pos));
    pos = end + 1;
    if (words.empty()) continue;
    std::string problem;
    if (!parser.Line(words, problem)) {
      error = "line " + std::to_string(lineNumber) + ": " + problem;
      return false;
    }
  }
  return true;
}

bool ApplyConfigFile(const std::string& path, Bus& bus, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot open " + path;
    return false;
  }
  constexpr std::size_t kMaxConfig = 1 << 20;
  std::string text;
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && text.size() <= kMaxConfig) {
    text.append(chunk, got);
  }
  std::fclose(file);
  if (text.size() > kMaxConfig) {
    error = path + ": larger than 1 MiB";
    return false;
  }
  return ApplyConfig(text, bus, error);
}

void ApplyDefaultConfig(Bus& bus) { bus.AddScanner(0, 0).AddSyntheticPages(3, 1, 300); }

}  // namespace tarvo::sim
