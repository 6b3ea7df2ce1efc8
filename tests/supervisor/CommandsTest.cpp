// The operator's commands on a furnace module without a port: the segment
// editors, the dwell conversions, browsing and the furnace name.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestHome.h"
#include "common/Log.h"
#include "common/Seams.h"
#include "supervisor/logic/Commands.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo {
namespace {

using Lines = std::vector<std::string>;

Lines Logged() {
  Lines lines = MemoryLog::Lines();
  MemoryLog::Clear();
  return lines;
}

TEST(Dwell, EditorsToDaysAndBack) {
  const struct {
    TDwell typed;
    double days;
    TDwell loaded;
  } cases[] = {
      {{1, 30, 0}, 2.25, {2, 6, 0}},                        // hours past 23 fold into days
      {{0, 0, 7}, 7.0 / 1440, {0, 0, 7}},                   // not 6 minutes and 59.99 seconds
      {{0, 25, 61}, 1 + 2.0 / 24 + 1.0 / 1440, {1, 2, 1}},  //
      {{0, 0, 0}, 0.0, {0, 0, 0}},                          //
      {{3, 23, 59}, 3 + 23.0 / 24 + 59.0 / 1440, {3, 23, 59}},
      {{0, -6, 0}, -0.25, {0, -6, 0}},  // a negative dwell loads back as it was saved
      {{-1, 0, -30}, -1 - 30.0 / 1440, {-1, 0, -30}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.days);
    EXPECT_NEAR(DwellDuration(c.typed), c.days, 1e-12);
    EXPECT_EQ(DwellOf(DwellDuration(c.typed)), c.loaded);
  }
}

TEST(FurnaceName, OnlyBasicLatinLettersAndDigitsAndNoLeadingDigit) {
  const struct {
    const wchar_t* typed;
    const wchar_t* saved;
  } cases[] = {
      {L"Ofen 2/B", L"Ofen2B"},
      {L"2nd furnace", L"A2ndfurnace"},
      {L"Furnace1", L"Furnace1"},
      {L"", L""},
      {L"!?- /", L""},
      {L"\u00D6fen \u00E4", L"fen"},
      {L"9", L"A9"},
      {L" 9x", L"A9x"},
      {L"x\u0661", L"x"},
      {L"a\tb\nc", L"abc"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormaliseFurnaceName(c.typed), c.saved);
}

TEST(FurnaceName, SaveStartsBothSignalsOfTheNewNameAtZero) {
  test::ScopedStore store;
  WriteRegistryString(L"FS_Oven", L"3");
  WriteRegistryString(L"FW_Oven", L"hold");
  WriteRegistryString(L"FS_Furnace1", L"2");
  ResetFurnaceSignals(L"Oven");
  EXPECT_EQ(ReadRegistryString(L"FS_Oven"), L"0");
  EXPECT_EQ(ReadRegistryString(L"FW_Oven"), L"0");
  EXPECT_EQ(ReadRegistryString(L"FS_Furnace1"), L"2");  // the previous name's values stay
}

class Segments : public ::testing::Test {
 protected:
  Segments() { MemoryLog::Clear(); }
  bool Save(std::int32_t k, std::int32_t setpoint = 500, std::int32_t rampRate = 10, TDwell dwell = {}) {
    return SaveInstruction(&module, {k, setpoint, rampRate, dwell});
  }
  void SaveSegments(int count) {
    for (int k = 1; k <= count; ++k) ASSERT_TRUE(Save(k, 100 * k));
  }
  TDeleteResult Delete(std::int32_t from, bool yes = true) {
    seams::Scoped<seams::QuestionFn> answer(seams::SetQuestion, [&](const std::string& q) {
      questions.push_back(q);
      return yes;
    });
    return DeleteInstructions(&module, from);
  }
  TFurnaceModule module;
  Lines questions;
};

TEST_F(Segments, SaveStoresTheEditorsWithoutLeavingGaps) {
  ASSERT_TRUE(Save(1, 850, 5, {0, 2, 30}));
  const TFurnaceActionParameters first = module.GetInstruction(1);
  EXPECT_FALSE(first.Finished);
  EXPECT_EQ(first.TargetSetpoint, 850);
  EXPECT_EQ(first.RampRate, 5);
  EXPECT_NEAR(first.Duration, 2.5 / 24, 1e-12);
  ASSERT_TRUE(Save(2));
  EXPECT_TRUE(Logged().empty());
  // Segment 5 of two would bring zero segments 3 and 4 along.
  EXPECT_FALSE(Save(5));
  EXPECT_EQ(Logged(), (Lines{"", "Cannot save segment 5: the next free segment is 3"}));
  EXPECT_FALSE(Save(-1));
  EXPECT_EQ(Logged(), (Lines{"", "Cannot save segment -1: the next free segment is 3"}));
  EXPECT_EQ(module.InstructionCount(), 2);
  EXPECT_TRUE(Save(3));
  EXPECT_TRUE(Save(2, 777));  // an unfinished segment is saved over
  EXPECT_EQ(module.GetInstruction(2).TargetSetpoint, 777);
  EXPECT_EQ(module.InstructionCount(), 3);
  // Slot 0 is no segment; it takes a save like the list's other slots.
  EXPECT_TRUE(Save(0, 1, 1, {0, 0, 5}));
  EXPECT_EQ(module.InstructionCount(), 3);
  // A value a controller register cannot hold never becomes a segment.
  EXPECT_FALSE(Save(4, 500, 70000));
  EXPECT_EQ(Logged(),
            (Lines{"", "Cannot save segment 4: the controller takes setpoints and ramp rates from 0 to 65535"}));
  EXPECT_FALSE(Save(4, -5, 10));
  EXPECT_EQ(module.InstructionCount(), 3);
}

TEST_F(Segments, AFinishedSegmentRefusesSaveButCanBeDeleted) {
  SaveSegments(3);
  module.InstructionFinished(2);
  EXPECT_FALSE(Save(2, 999));
  EXPECT_EQ(Logged(), (Lines{"", "Finished segement cannot be edited"}));
  EXPECT_EQ(module.GetInstruction(2).TargetSetpoint, 200);
  EXPECT_EQ(Delete(2), TDeleteResult::Deleted);
  EXPECT_EQ(module.InstructionCount(), 1);
  EXPECT_TRUE(Save(2, 999));
}

TEST_F(Segments, DeleteRemovesWhatItAskedAboutAndNeverAdds) {
  SaveSegments(5);
  EXPECT_EQ(Delete(3, false), TDeleteResult::Declined);
  EXPECT_EQ(module.InstructionCount(), 5);
  EXPECT_EQ(Delete(3), TDeleteResult::Deleted);
  EXPECT_EQ(questions, (Lines{"Do you want to delete all segments from 3 onwards?",
                              "Do you want to delete all segments from 3 onwards?"}));
  EXPECT_EQ(module.InstructionCount(), 2);
  EXPECT_EQ(module.GetInstruction(2).TargetSetpoint, 200);
  // Beyond the end there is nothing to delete and nothing to ask.
  questions.clear();
  Logged();
  EXPECT_EQ(Delete(8), TDeleteResult::NothingToDelete);
  EXPECT_EQ(Logged(), (Lines{"", "There are no segments from 8 onwards to delete"}));
  EXPECT_EQ(Delete(3), TDeleteResult::NothingToDelete);
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(module.InstructionCount(), 2);
  // From 1 the program becomes empty and idle.
  EXPECT_EQ(Delete(1), TDeleteResult::Deleted);
  EXPECT_EQ(module.InstructionCount(), 0);
  EXPECT_EQ(module.InstructionsCurrentSegment(), 0);
  // An empty program stays empty.
  EXPECT_EQ(Delete(1), TDeleteResult::NothingToDelete);
  EXPECT_EQ(Delete(0), TDeleteResult::NothingToDelete);
  EXPECT_EQ(module.InstructionCount(), 0);
  SaveSegments(2);
  EXPECT_EQ(Delete(0), TDeleteResult::Deleted);
  EXPECT_EQ(module.InstructionCount(), 0);
}

TEST_F(Segments, WithoutAFurnaceSaveAndDeleteOnlyLog) {
  EXPECT_FALSE(SaveInstruction(nullptr, {1, 500, 10, {}}));
  EXPECT_EQ(Logged(), (Lines{"", "Cannot program, no furnace installed"}));
  EXPECT_EQ(DeleteInstructions(nullptr, 1), TDeleteResult::NoFurnace);
  EXPECT_EQ(Logged(), (Lines{"Cannot program, no furnace installed"}));
}

TEST_F(Segments, BrowsingStaysWithinTheProgram) {
  TBrowseResult empty = BrowseInstructions(module, 0, +1);
  EXPECT_EQ(empty.Segment, 1);
  EXPECT_FALSE(empty.Loaded);
  EXPECT_FALSE(BrowseInstructions(module, 5, -1).Loaded);
  SaveSegments(3);
  const struct {
    std::int32_t from;
    int step;
    std::int32_t to;
  } cases[] = {{3, +1, 3}, {1, -1, 1}, {2, +1, 3}, {2, -1, 1}, {0, +1, 1}, {10, -1, 3}, {-7, -1, 1}, {0, -1, 1}};
  for (const auto& c : cases) {
    const TBrowseResult b = BrowseInstructions(module, c.from, c.step);
    EXPECT_EQ(b.Segment, c.to) << c.from << " " << c.step;
    ASSERT_TRUE(b.Loaded);
    EXPECT_EQ(b.Loaded->TargetSetpoint, 100 * c.to);
  }
  module.SetInstruction(2, {false, 1200, 10, 1.25, false});
  const TSegmentEditors e = EditorsFor(2, module.GetInstruction(2));
  EXPECT_EQ(e.Segment, 2);
  EXPECT_EQ(e.Setpoint, 1200);
  EXPECT_EQ(e.RampRate, 10);
  EXPECT_EQ(e.Dwell, (TDwell{1, 6, 0}));
}

}  // namespace
}  // namespace karvo
