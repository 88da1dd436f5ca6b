// The public parameter descriptor table against the library itself: every
// row's values go through TsdParSet's checks on the simulator, send the block
// the row names and come back from TsdParGet; refused values and every other
// ID answer without changing or sending anything; C sees the same table.
#include "tarvoscn_params.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "scan/Parameters.h"
#include "sim_ops_support.h"

extern "C" const TsdParamDesc* ParamTableFromC(size_t* count, size_t* rowSize);

namespace tarvo {
namespace {

const TsdParamDesc* Row(std::int32_t id) {
  const auto end = std::end(tsdParamTable);
  const auto it = std::find_if(std::begin(tsdParamTable), end, [&](auto& r) { return r.id == id; });
  return it == end ? nullptr : &*it;
}

std::vector<std::int32_t> Values(const TsdParamDesc& row) {
  std::vector<std::int32_t> out;
  for (const std::int32_t* v = row.values; v != nullptr && *v != TSD_TABLE_END; ++v) out.push_back(*v);
  return out;
}

bool Listed(const TsdParamDesc& row, std::int32_t v) { return std::ranges::count(Values(row), v) != 0; }
bool Has(const TsdParamDesc& row, std::uint32_t flag) { return (row.access & flag) != 0; }

Result SetOn(test::SimContext& sim, const TsdParamDesc& row, std::int32_t value) {
  if (row.type == TSD_PARAM_TEXT || row.type == TSD_PARAM_BLOCK) {
    static std::int32_t block[64];  // 256 bytes, aligned for a pair of values
    std::string text(static_cast<std::size_t>(value), 'A');
    const void* data = row.type == TSD_PARAM_TEXT ? static_cast<const void*>(text.c_str()) : block;
    const auto cell = reinterpret_cast<std::uintptr_t>(data);
    return ParSet(sim.context, row.id, &cell);
  }
  return ParSet(sim.context, row.id, &value);
}

std::int32_t GetOn(test::SimContext& sim, const TsdParamDesc& row, std::int32_t got = -12345) {
  EXPECT_EQ(ParGet(sim.context, row.id, &got), Result::Ok);
  return got;
}

TEST(ParamTable, EveryIdIsARowOrAnswers3AndCSeesTheSameRows) {
  size_t count = 0, rowSize = 0;
  const TsdParamDesc* fromC = ParamTableFromC(&count, &rowSize);
  ASSERT_EQ(count, TSD_PARAM_COUNT);
  ASSERT_EQ(rowSize, sizeof(TsdParamDesc));
  std::int32_t previous = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const TsdParamDesc& row = tsdParamTable[i];
    EXPECT_GT(row.id, previous) << row.name;  // ascending, each ID once
    previous = row.id;
    EXPECT_EQ(std::tie(fromC[i].id, fromC[i].push), std::tie(row.id, row.push));
    EXPECT_STREQ(fromC[i].name, row.name);
    std::string name = row.key;  // the name in lower case without PAR_
    for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ("PAR_" + name, row.name);
    EXPECT_LE(row.min, row.max) << row.name;
  }
  test::SimContext sim;
  std::vector<std::int32_t> ids = {-1, INT32_MAX, INT32_MIN};
  for (std::int32_t id = 0; id <= 131; ++id) ids.push_back(id);
  for (std::int32_t id : ids) {
    const TsdParamDesc* row = Row(id);
    std::int32_t cell = 1;
    if (row == nullptr || !Has(*row, TSD_PARAM_SETTABLE)) {
      const auto before = test::Snapshot(sim.context);
      sim.bus.ClearRecords();
      EXPECT_EQ(ParSet(sim.context, id, &cell), Result::UnknownParameter) << id;
      EXPECT_TRUE(sim.bus.Records().empty()) << id;
      EXPECT_EQ(test::Snapshot(sim.context), before) << id;
    }
    if (row == nullptr || !Has(*row, TSD_PARAM_GETTABLE)) {
      EXPECT_EQ(ParGet(sim.context, id, &cell), Result::UnknownParameter) << id;
    }
  }
}

TEST(ParamTable, SettableRowsTakeTheirValuesRefuseOthersAndSendTheirBlock) {
  // What the simulator records last for a set of each push kind.
  const std::map<std::int32_t, std::string> pushed = {
      {TSD_PUSH_NONE, ""}, {TSD_PUSH_WINDOW, "setwindow"}, {TSD_PUSH_FUNCTION_KEY, "definekey"},
      {TSD_PUSH_GAMMA, "send 03"}, {TSD_PUSH_PAGE_32, "definescanmode 32"},
      {TSD_PUSH_PAGE_36, "definescanmode 36"}, {TSD_PUSH_ADDON_PAGE_34, "definescanmode 34"},
      {TSD_PUSH_PAGE_37, "definescanmode 37"}};
  // Kept in the record only, or sent in a page the get does not read back.
  const std::set<std::int32_t> echoless = {PAR_TEXT_MODE, PAR_POLARITY, PAR_ADDON};
  for (const TsdParamDesc& row : tsdParamTable) {
    if (!Has(row, TSD_PARAM_SETTABLE) || Has(row, TSD_PARAM_DEPENDS)) continue;
    SCOPED_TRACE(row.name);
    const bool text = row.type == TSD_PARAM_TEXT || row.type == TSD_PARAM_BLOCK;
    const bool echoes = Has(row, TSD_PARAM_GETTABLE) && !echoless.count(row.id) && !text;
    std::vector<std::int32_t> good = Values(row), bad;
    if (good.empty()) good = {row.min, row.max};
    for (std::int64_t v : {std::int64_t{row.min} - 1, std::int64_t{row.max} + 1})
      if (v >= INT32_MIN && v <= INT32_MAX) bad.push_back(static_cast<std::int32_t>(v));
    for (std::int32_t v = row.min; row.type == TSD_PARAM_CHOICE && v < row.max && bad.size() < 3; ++v)
      if (!Listed(row, v)) bad.push_back(v);  // a gap in the list
    if (row.type == TSD_PARAM_TEXT) bad = {row.max + 1};
    if (row.type == TSD_PARAM_BLOCK || (row.type == TSD_PARAM_TEXT && row.max == 0)) bad.clear();
    for (std::int32_t value : good) {
      test::SimContext sim;
      // Taken: checked and stored (a push the scanner refuses, such as gray
      // at the record's depth 0, still counts).
      const Result r = SetOn(sim, row, value);
      EXPECT_TRUE(r != Result::InvalidValue && r != Result::UnknownParameter) << value;
      const auto sent = test::Commands(sim.bus);
      EXPECT_EQ(sent.empty() ? "" : sent.back(), pushed.at(row.push)) << value;
      // Back from a get, after its refresh from the scanner; line art in text
      // mode reads back as line art.
      if (r == Result::Ok && echoes && !(row.id == PAR_IMAGE_TYPE && value == 9)) {
        EXPECT_EQ(GetOn(sim, row), value);
      }
    }
    for (std::int32_t value : bad) {
      test::SimContext sim;
      const auto before = test::Snapshot(sim.context);
      if (Has(row, TSD_PARAM_ANY_VALUE)) {
        // Taken as the nearest value of its kind: any nonzero flag is 1.
        EXPECT_EQ(SetOn(sim, row, value), Result::Ok) << value;
        if (row.type == TSD_PARAM_FLAG && echoes) {
          EXPECT_EQ(GetOn(sim, row), 1) << value;
        }
        continue;
      }
      EXPECT_EQ(SetOn(sim, row, value), Result::InvalidValue) << value;
      EXPECT_TRUE(sim.bus.Records().empty()) << value;
      EXPECT_EQ(test::Snapshot(sim.context), before) << value;
    }
  }
}

TEST(ParamTable, DependentValuesAreTakenUnderSomeImageTypeAndOthersUnderNone) {
  const TsdParamDesc& bits = *Row(PAR_BITS_PER_PIXEL);
  for (std::int32_t value : {0, 1, 2, 3, 4, 8, 16}) {
    bool taken = false;
    for (std::int32_t type : Values(*Row(PAR_IMAGE_TYPE))) {
      test::SimContext sim;
      ASSERT_NE(ParSet(sim.context, PAR_IMAGE_TYPE, &type), Result::InvalidValue);
      taken = taken || ParSet(sim.context, bits.id, &value) != Result::InvalidValue;
    }
    EXPECT_EQ(taken, Listed(bits, value)) << value;
  }
}

TEST(ParamTable, GetsWriteAValueOfTheRow) {
  test::SimContext sim;
  std::uint8_t buffer[256] = {};
  for (const TsdParamDesc& row : tsdParamTable) {
    if (!Has(row, TSD_PARAM_GETTABLE)) continue;
    if (row.type == TSD_PARAM_TEXT || row.type == TSD_PARAM_BLOCK) {
      auto cell = reinterpret_cast<std::uintptr_t>(buffer);
      EXPECT_EQ(ParGet(sim.context, row.id, &cell), Result::Ok) << row.name;
      continue;
    }
    // A key without function leaves the cell.
    const std::int32_t value = GetOn(sim, row, row.values ? row.values[0] : row.min);
    EXPECT_TRUE(row.values ? Listed(row, value) : value >= row.min && value <= row.max)
        << row.name << " " << value;
  }
}

}  // namespace
}  // namespace tarvo
