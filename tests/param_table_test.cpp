// The public parameter descriptor table against the library itself: every
// row's values go through TsdParSet's checks on the simulator, send the block
// the row names and come back from TsdParGet; refused values and every other
// ID answer without changing or sending anything; C sees the same table.
#include "tarvoscn_params.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "scan/Parameters.h"
#include "sim_ops_support.h"

extern "C" const TsdParamDesc* ParamTableFromC(size_t* count, size_t* rowSize);

namespace tarvo {
namespace {

const TsdParamDesc* Row(std::int32_t id) {
  for (const TsdParamDesc& row : tsdParamTable) {
    if (row.id == id) return &row;
  }
  return nullptr;
}

std::vector<std::int32_t> Values(const TsdParamDesc& row) {
  std::vector<std::int32_t> out;
  for (const std::int32_t* v = row.values; v != nullptr && *v != TSD_TABLE_END; ++v) {
    out.push_back(*v);
  }
  return out;
}

bool Listed(const TsdParamDesc& row, std::int32_t value) {
  for (std::int32_t v : Values(row)) {
    if (v == value) return true;
  }
  return false;
}

// What the simulator records last for a set of each push kind.
std::string PushCommand(std::int32_t push) {
  switch (push) {
    case TSD_PUSH_WINDOW: return "setwindow";
    case TSD_PUSH_PAGE_32: return "definescanmode 32";
    case TSD_PUSH_PAGE_36: return "definescanmode 36";
    case TSD_PUSH_ADDON_PAGE_34: return "definescanmode 34";
    case TSD_PUSH_FUNCTION_KEY: return "definekey";
    case TSD_PUSH_GAMMA: return "send 03";
    case TSD_PUSH_PAGE_37: return "definescanmode 37";
    default: return "";
  }
}

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

TEST(ParamTable, EveryIdIsARowOrAnswers3AndCSeesTheSameRows) {
  size_t count = 0, rowSize = 0;
  const TsdParamDesc* fromC = ParamTableFromC(&count, &rowSize);
  ASSERT_EQ(count, TSD_PARAM_COUNT);
  ASSERT_EQ(rowSize, sizeof(TsdParamDesc));
  test::SimContext sim;
  std::int32_t previous = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const TsdParamDesc& row = tsdParamTable[i];
    SCOPED_TRACE(row.name);
    EXPECT_GT(row.id, previous);  // ascending, each ID once
    previous = row.id;
    EXPECT_EQ(fromC[i].id, row.id);
    EXPECT_STREQ(fromC[i].name, row.name);
    EXPECT_EQ(fromC[i].push, row.push);
    std::string key = row.name + 4;
    for (char& ch : key) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(std::strncmp(row.name, "PAR_", 4), 0);
    EXPECT_EQ(key, row.key);
    EXPECT_LE(row.min, row.max);
  }
  std::vector<std::int32_t> ids = {-1, INT32_MAX, INT32_MIN};
  for (std::int32_t id = 0; id <= 131; ++id) ids.push_back(id);
  for (std::int32_t id : ids) {
    const TsdParamDesc* row = Row(id);
    std::int32_t cell = 1;
    if (row == nullptr || (row->access & TSD_PARAM_SETTABLE) == 0) {
      const auto before = test::Snapshot(sim.context);
      sim.bus.ClearRecords();
      EXPECT_EQ(ParSet(sim.context, id, &cell), Result::UnknownParameter) << id;
      EXPECT_TRUE(sim.bus.Records().empty()) << id;
      EXPECT_EQ(test::Snapshot(sim.context), before) << id;
    }
    if (row == nullptr || (row->access & TSD_PARAM_GETTABLE) == 0) {
      EXPECT_EQ(ParGet(sim.context, id, &cell), Result::UnknownParameter) << id;
    }
  }
}

TEST(ParamTable, SettableRowsTakeTheirValuesRefuseOthersAndSendTheirBlock) {
  // Kept in the record only, or sent in a page the get does not read back;
  // line art in text mode reads back as line art.
  const std::set<std::int32_t> echoless = {PAR_TEXT_MODE, PAR_POLARITY, PAR_ADDON};
  for (const TsdParamDesc& row : tsdParamTable) {
    if ((row.access & TSD_PARAM_SETTABLE) == 0 || (row.access & TSD_PARAM_DEPENDS) != 0) continue;
    SCOPED_TRACE(row.name);
    std::vector<std::int32_t> good = Values(row);
    if (good.empty()) good = {row.min, row.max};
    std::vector<std::int32_t> bad;
    for (std::int64_t v : {std::int64_t{row.min} - 1, std::int64_t{row.max} + 1}) {
      if (v >= INT32_MIN && v <= INT32_MAX) bad.push_back(static_cast<std::int32_t>(v));
    }
    if (row.type == TSD_PARAM_CHOICE) {
      for (std::int32_t v = row.min; v < row.max && bad.size() < 3; ++v) {
        if (!Listed(row, v)) bad.push_back(v);  // a gap in the list
      }
    }
    if (row.type == TSD_PARAM_TEXT) bad = {row.max + 1};
    if (row.type == TSD_PARAM_BLOCK || (row.type == TSD_PARAM_TEXT && row.max == 0)) bad.clear();
    for (std::int32_t value : good) {
      test::SimContext sim;
      // Taken: checked and stored (a push the scanner refuses, such as gray
      // at the record's depth 0, still counts).
      const Result r = SetOn(sim, row, value);
      EXPECT_TRUE(r != Result::InvalidValue && r != Result::UnknownParameter) << value;
      const auto sent = test::Commands(sim.bus);
      EXPECT_EQ(sent.empty() ? "" : sent.back(), PushCommand(row.push)) << value;
      // The value comes back from a get, after its refresh from the scanner.
      if (r != Result::Ok || (row.access & TSD_PARAM_GETTABLE) == 0 || echoless.count(row.id) ||
          (row.id == PAR_IMAGE_TYPE && value == 9) ||
          row.type == TSD_PARAM_TEXT || row.type == TSD_PARAM_BLOCK)
        continue;
      std::int32_t got = value + 1;
      EXPECT_EQ(ParGet(sim.context, row.id, &got), Result::Ok);
      EXPECT_EQ(got, value);
    }
    for (std::int32_t value : bad) {
      test::SimContext sim;
      const Result expected =
          (row.access & TSD_PARAM_ANY_VALUE) != 0 ? Result::Ok : Result::InvalidValue;
      const auto before = test::Snapshot(sim.context);
      EXPECT_EQ(SetOn(sim, row, value), expected) << value;
      if (expected == Result::Ok) continue;
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
    if ((row.access & TSD_PARAM_GETTABLE) == 0) continue;
    SCOPED_TRACE(row.name);
    if (row.type == TSD_PARAM_TEXT || row.type == TSD_PARAM_BLOCK) {
      auto cell = reinterpret_cast<std::uintptr_t>(buffer);
      EXPECT_EQ(ParGet(sim.context, row.id, &cell), Result::Ok);
      continue;
    }
    std::int32_t value = row.values != nullptr ? row.values[0] : row.min;
    ASSERT_EQ(ParGet(sim.context, row.id, &value), Result::Ok);
    if (row.values != nullptr) {
      EXPECT_TRUE(Listed(row, value)) << value;
    } else {
      EXPECT_GE(value, row.min);
      EXPECT_LE(value, row.max);
    }
  }
}

}  // namespace
}  // namespace tarvo
