#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "furnace/InstructionProgram.h"

namespace karvo {
namespace {

// A program of `count` segments; segment n has setpoint 100 * n and is
// finished when finished[n - 1] is 'Y'.
TInstructionProgram Program(int count, const std::string& finished = "") {
  TInstructionProgram p;
  for (int n = 1; n <= count; ++n) {
    TFurnaceActionParameters a;
    a.TargetSetpoint = 100 * n;
    a.RampRate = n;
    a.Finished = n <= static_cast<int>(finished.size()) && finished[n - 1] == 'Y';
    p.SetInstruction(n, a);
  }
  return p;
}

std::vector<int> Setpoints(const TInstructionProgram& p) {
  std::vector<int> v;
  for (int n = 1; n <= p.InstructionCount(); ++n) v.push_back(p.GetInstruction(n).TargetSetpoint);
  return v;
}

struct ListCase {
  const char* name;
  std::function<TInstructionProgram()> make;
  int count;
  int current;
  std::vector<int> setpoints;  // of segments 1..count
};

TEST(InstructionProgram, ListOperations) {
  const TFurnaceActionParameters s{false, 777, 7, 0.5, false};
  const std::vector<ListCase> cases = {
      {"new program", [] { return TInstructionProgram(); }, 0, 0, {}},
      {"writing segment 3 into an empty list grows it with zero segments",
       [&] {
         TInstructionProgram p;
         p.SetInstruction(3, s);
         return p;
       },
       3,
       1,
       {0, 0, 777}},
      {"segments 1 and 2 finished", [] { return Program(3, "YYN"); }, 3, 3, {100, 200, 300}},
      {"segment 2 finished out of turn is skipped", [] { return Program(3, "NYN"); }, 3, 1, {100, 200, 300}},
      {"all finished", [] { return Program(2, "YY"); }, 2, 0, {100, 200}},
      {"finishing element 0 marks no segment",
       [] {
         auto p = Program(2);
         p.InstructionFinished(0);
         return p;
       },
       2,
       1,
       {100, 200}},
      {"finishing beyond the list does nothing",
       [] {
         auto p = Program(2);
         p.InstructionFinished(3);
         p.InstructionFinished(-1);
         return p;
       },
       2,
       1,
       {100, 200}},
      {"finishing the current segment moves on",
       [] {
         auto p = Program(3);
         p.InstructionFinished(1);
         return p;
       },
       3,
       2,
       {100, 200, 300}},
      {"negative index write does nothing",
       [&] {
         auto p = Program(2);
         p.SetInstruction(-1, s);
         return p;
       },
       2,
       1,
       {100, 200}},
      {"writing inside the list never shrinks it",
       [&] {
         auto p = Program(5);
         p.SetInstruction(2, s);
         return p;
       },
       5,
       1,
       {100, 777, 300, 400, 500}},
      {"writing element 0 adds no segment",
       [&] {
         TInstructionProgram p;
         p.SetInstruction(0, s);
         return p;
       },
       0,
       0,
       {}},
      {"cull 3 on five keeps segments 1 and 2",
       [] {
         auto p = Program(5);
         p.InstructionsCull(3);
         return p;
       },
       2,
       1,
       {100, 200}},
      {"cull 1 on five keeps segment 1",
       [] {
         auto p = Program(5);
         p.InstructionsCull(1);
         return p;
       },
       1,
       1,
       {100}},
      {"cull 0 on five keeps segment 1",
       [] {
         auto p = Program(5);
         p.InstructionsCull(0);
         return p;
       },
       1,
       1,
       {100}},
      {"negative cull keeps segment 1",
       [] {
         auto p = Program(5);
         p.InstructionsCull(-7);
         return p;
       },
       1,
       1,
       {100}},
      {"cull 1 on an empty list grows one zero segment",
       [] {
         TInstructionProgram p;
         p.InstructionsCull(1);
         return p;
       },
       1,
       1,
       {0}},
      {"cull 10 on three grows to nine segments",
       [] {
         auto p = Program(3, "YYY");
         p.InstructionsCull(10);
         return p;
       },
       9,
       4,
       {100, 200, 300, 0, 0, 0, 0, 0, 0}},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TInstructionProgram p = c.make();
    EXPECT_EQ(p.InstructionCount(), c.count);
    EXPECT_EQ(p.InstructionsCurrentSegment(), c.current);
    EXPECT_EQ(Setpoints(p), c.setpoints);
  }
}

TEST(InstructionProgram, ReadsOutsideTheListAreAllZero) {
  auto p = Program(2, "YY");
  p.InstructionFinished(0);
  const TFurnaceActionParameters zero{};
  EXPECT_EQ(p.GetInstruction(-1), zero);
  EXPECT_EQ(p.GetInstruction(3), zero);
  EXPECT_EQ(p.GetInstruction(1 << 30), zero);
  // Element 0 is addressable and carries its own flag.
  EXPECT_TRUE(p.GetInstruction(0).Finished);
  // Grown elements are all zero too.
  p.InstructionsCull(4);
  EXPECT_EQ(p.GetInstruction(3), zero);
}

TEST(InstructionProgram, ExampleTableByteForByte) {
  TInstructionProgram p;
  p.SetInstruction(1, {true, 850, 5, 2.5 / 24, false});
  p.SetInstruction(2, {false, 1200, 10, 1.25, false});
  std::vector<std::string> field = {"old content"};
  p.InstructionsTable(2, field);
  const std::vector<std::string> expected = {
      "Instructions",
      "",
      " Segment  SetPoint RampRate DwellTime  Finished",
      "       1       850        5   0/02:30       Yes",
      "*      2      1200       10   1/06:00        No",
  };
  EXPECT_EQ(field, expected);
}

TEST(InstructionProgram, TableEdgeCases) {
  std::vector<std::string> field;
  TInstructionProgram().InstructionsTable(1, field);
  EXPECT_EQ(field, (std::vector<std::string>{"Instructions", "", TInstructionProgram::kHeader}));

  // No marker for 0, for a number beyond the list, or for a negative one.
  const auto p = Program(3);
  for (int highlighted : {0, 4, -1}) {
    p.InstructionsTable(highlighted, field);
    ASSERT_EQ(field.size(), 6u);
    for (std::size_t i = 3; i < field.size(); ++i) {
      EXPECT_EQ(field[i][0], ' ') << highlighted;
      EXPECT_EQ(field[i].size(), 47u);
    }
  }

  // A ten-digit setpoint widens its own line only.
  auto wide = Program(2);
  wide.SetInstruction(1, {false, 1234567890, 1, 0.0, false});
  wide.InstructionsTable(0, field);
  EXPECT_EQ(field[3], "       1 1234567890        1   0/00:00        No");
  EXPECT_EQ(field[3].size(), 48u);
  EXPECT_EQ(field[4].size(), 47u);
}

TEST(InstructionProgram, DwellColumn) {
  struct Case {
    double duration;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "  0/00:00"},
      {2.5 / 24, "  0/02:30"},
      {1.25, "  1/06:00"},
      {3 + 23.0 / 24 + 59.0 / 1440, "  3/23:59"},
      // Hours and minutes are rounded to the millisecond; days are not.
      {1.0 - 1e-10, "  0/00:00"},
      {45.0 / 1440 - 0.4 / 86400000, "  0/00:45"},
      {59.0 / 1440 + 59.9 / 86400, "  0/00:59"},
      {1234.5, "1234/12:00"},
      {-1.25, " -1/06:00"},
      {-0.25, "  0/06:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TInstructionProgram::DwellText(c.duration), c.text) << c.duration;
  }
}

}  // namespace
}  // namespace karvo
