// MC59AD on small hand-checked patterns, its argument checks and its records.
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mc59_harness.h"

namespace {

using mc59test::Call;
using V = std::vector<int32_t>;
using D = std::vector<double>;

const char kErrorHead[] = " *** Error return from MC59AD *** INFO(1) = ";
const char kWarningHead[] = " *** Warning message from MC59AD *** INFO(1) = ";

// 2 x 3 with entries (1,1), (2,3), (1,3), (2,1); column 2 is empty.
Call SmallUnsymmetric(int32_t mode) {
  Call c;
  c.Control(MC59_ICNTL_MODE) = mode;
  c.Coordinates(3, 2, {1, 2, 1, 2}, {1, 3, 3, 1}, {11, 23, 13, 21});
  return c;
}

TEST(MC59Modes, SmallPatternInEveryMode) {
  for (int32_t mode : {0, 1}) {
    SCOPED_TRACE(mode);
    Call c = SmallUnsymmetric(mode);
    c.Run();
    EXPECT_EQ(c.Info(MC59_INFO_STATUS), 0);
    EXPECT_EQ(c.Info(MC59_INFO_ENTRIES), 4);
    EXPECT_EQ(c.Starts(), (V{1, 3, 3, 5}));
    if (mode == 1) {
      EXPECT_EQ(c.Rows(), (V{1, 2, 1, 2}));
      EXPECT_EQ(c.a, (D{11, 21, 13, 23}));
    }
    for (int32_t k = 0; k < 4; ++k)  // every value still belongs to its row
      EXPECT_EQ(static_cast<int32_t>(c.a[k]) / 10, c.irn[k]);
    EXPECT_EQ(c.errors + c.warnings, "");
  }
  Call c;  // column form, rows out of order
  c.Control(MC59_ICNTL_MODE) = 2;
  c.Coordinates(3, 2, {2, 1, 2, 1}, {0}, {21, 11, 23, 13});
  c.ip = {1, 3, 3, 5};
  c.Run();
  EXPECT_EQ(c.Info(MC59_INFO_STATUS), 0);
  EXPECT_EQ(c.Rows(), (V{1, 2, 1, 2}));
  EXPECT_EQ(c.a, (D{11, 21, 13, 23}));
  EXPECT_EQ(c.Starts(), (V{1, 3, 3, 5}));
}

TEST(MC59Modes, RepeatedEntryIsMergedAndReported) {
  for (int32_t mode : {0, 1}) {
    SCOPED_TRACE(mode);
    Call c;
    c.Control(MC59_ICNTL_MODE) = mode;
    c.Coordinates(3, 2, {1, 2, 1, 2, 2}, {1, 3, 3, 1, 3}, {1, 2, 3, 4, 5});
    c.Run();
    EXPECT_EQ(c.Info(MC59_INFO_STATUS), 1);
    EXPECT_EQ(c.Info(MC59_INFO_DUPLICATES), 1);
    EXPECT_EQ(c.Info(MC59_INFO_ENTRIES), 4);
    EXPECT_EQ(c.Starts(), (V{1, 3, 3, 5}));
    const int32_t at = c.irn[2] == 2 ? 2 : 3;  // (2,3) in column 3
    EXPECT_EQ(c.a[at], 7.0);
    EXPECT_EQ(c.warnings, std::string(kWarningHead) + "  1\n" +
                              "        1 duplicate entries were supplied by the user\n");
  }
}

TEST(MC59Modes, NegativeSymmetryDiscardsDuplicateValues) {
  Call c;
  c.Control(MC59_ICNTL_SYMMETRIC) = -1;
  c.Coordinates(2, 2, {2, 1, 2}, {1, 2, 2}, {5, 7, 3});
  c.Run();
  EXPECT_EQ(c.Info(MC59_INFO_STATUS), 1);
  EXPECT_EQ(c.Starts(), (V{1, 2, 3}));
  EXPECT_EQ(c.Rows(), (V{2, 2}));
  EXPECT_EQ(c.a[0] == 5 || c.a[0] == 7, true);  // one of the two, not their sum
  EXPECT_EQ(c.a[1], 3.0);
}

TEST(MC59Modes, SymmetricEntryAboveDiagonalIsFolded) {
  for (int32_t mode : {0, 1}) {
    SCOPED_TRACE(mode);
    Call c;
    c.Control(MC59_ICNTL_MODE) = mode;
    c.Control(MC59_ICNTL_SYMMETRIC) = 1;
    c.Coordinates(3, 3, {1, 2}, {3, 2}, {13, 22});
    c.Run();
    EXPECT_EQ(c.Info(MC59_INFO_STATUS), 0);
    EXPECT_EQ(c.Starts(), (V{1, 2, 3, 3}));
    EXPECT_EQ(c.Rows(), (V{3, 2}));
    EXPECT_EQ(c.a, (D{13, 22}));
  }
}

TEST(MC59Modes, SymmetricColumnFormDropsUpperEntries) {
  Call c;
  c.Control(MC59_ICNTL_MODE) = 2;
  c.Control(MC59_ICNTL_SYMMETRIC) = 1;
  // column 1: rows 3, 1; column 2: rows 1 (upper), 2, 2 (duplicate), 7 (out of range)
  c.Coordinates(3, 3, {3, 1, 1, 2, 2, 7}, {0}, {31, 11, 12, 22, 1, 9});
  c.ip = {1, 3, 7, 7};
  c.Run();
  EXPECT_EQ(c.Info(MC59_INFO_STATUS), 3);
  EXPECT_EQ(c.Info(MC59_INFO_DUPLICATES), 1);
  EXPECT_EQ(c.Info(MC59_INFO_BAD_ROWS), 2);
  EXPECT_EQ(c.Info(MC59_INFO_UPPER), 1);
  EXPECT_EQ(c.Starts(), (V{1, 3, 4, 4}));
  EXPECT_EQ(c.Rows(), (V{1, 3, 2}));
  EXPECT_EQ((D{c.a[0], c.a[1], c.a[2]}), (D{11, 31, 23}));
  EXPECT_EQ(c.warnings,
            std::string(kWarningHead) + "  3\n" +
                "        2 entries in IRN supplied by the user were \n"
                "       out of range and were ignored by the routine\n"
                "        1 duplicate entries were supplied by the user\n"
                "        1 of these entries were in the upper triangular \n"
                "       part of matrix\n");
}

TEST(MC59OutOfRange, DroppedAndCountedInBothIndices) {
  Call c;
  c.Control(MC59_ICNTL_MODE) = 0;
  c.Coordinates(2, 2, {3, 1, 0, 2}, {1, 1, 5, 2});
  c.Run();
  EXPECT_EQ(c.Info(MC59_INFO_STATUS), 6);
  EXPECT_EQ(c.Info(MC59_INFO_BAD_ROWS), 2);
  EXPECT_EQ(c.Info(MC59_INFO_BAD_COLUMNS), 1);
  EXPECT_EQ(c.Info(MC59_INFO_ENTRIES), 2);
  EXPECT_EQ(c.Starts(), (V{1, 2, 3}));
  EXPECT_EQ(c.warnings, std::string(kWarningHead) + "  6\n" +
                            "        2 entries in IRN supplied by the user were \n"
                            "       out of range and were ignored by the routine\n"
                            "        1 entries in JCN supplied by the user were \n"
                            "       out of range and were ignored by the routine\n");
}

TEST(MC59OutOfRange, EveryEntryOutOfRangeIsAnError) {
  Call c;
  c.Coordinates(1, 2, {3, 3, 0}, {1, 1, 2});
  c.Run();
  EXPECT_EQ(c.Info(MC59_INFO_STATUS), -10);
  EXPECT_EQ(c.Info(MC59_INFO_VALUE), 4);  // the last entry counts twice
  EXPECT_EQ(c.Info(MC59_INFO_BAD_ROWS), 3);
  EXPECT_EQ(c.Info(MC59_INFO_BAD_COLUMNS), 1);
  EXPECT_EQ(c.errors, std::string(kErrorHead) + "-10\n All entries out of range\n");
  EXPECT_EQ(c.warnings, "");
}

TEST(MC59Streams, SilencedBelowOne) {
  Call c;
  c.Control(MC59_ICNTL_ERROR_STREAM) = 0;
  c.Control(MC59_ICNTL_WARNING_STREAM) = -1;
  c.Coordinates(2, 2, {3, 3}, {1, 1});
  c.Run();
  EXPECT_EQ(c.Info(MC59_INFO_STATUS), -10);
  c.Coordinates(2, 2, {3, 1}, {1, 1});
  c.Run();
  EXPECT_EQ(c.Info(MC59_INFO_STATUS), 2);
  EXPECT_EQ(c.errors + c.warnings, "");
}

TEST(MC59Modes, PatternOnlyLeavesShortAUntouched) {
  Call c;
  c.Coordinates(3, 2, {1, 2, 1, 2}, {1, 3, 3, 1});
  c.a = {42.0};
  c.Run();
  EXPECT_EQ(c.Info(MC59_INFO_STATUS), 0);
  EXPECT_EQ(c.a, (D{42.0}));
}

// One row of the argument-check table: a change to a valid call and the status,
// value and second message line it must produce.
struct BadArgument {
  const char* name;
  void (*spoil)(Call&);
  int32_t status, value;
  const char* line;
};

const BadArgument kBadArguments[] = {
    {"mode", [](Call& c) { c.Control(2) = 3; }, -1, 3, " ICNTL(2) =  3 is out of range"},
    {"mode first", [](Call& c) { c.Control(2) = -1, c.nc = 0; }, -1, -1,
     " ICNTL(2) = -1 is out of range"},
    {"symmetry", [](Call& c) { c.Control(6) = 3, c.nc = 0; }, -11, 3,
     " ICNTL(6) =  3 is out of range"},
    {"nc", [](Call& c) { c.nc = 0, c.nr = -5; }, -2, 0, " NC =      0 is out of range"},
    {"nr", [](Call& c) { c.nr = -5; }, -3, -5, " NR =     -5 is out of range"},
    {"symmetric square", [](Call& c) { c.Control(6) = -2; }, -3, 2,
     " Symmetric case. NC =      3 but NR =      2"},
    {"ljcn", [](Call& c) { c.jcn.pop_back(); }, -5, 4, " Increase LJCN from          3 to at least          4"},
    {"la", [](Call& c) { c.a.pop_back(); }, -6, 4, " Increase LA from          3 to at least          4"},
    {"la pattern", [](Call& c) { c.a.clear(), c.Control(3) = 1; }, -6, 1,
     " Increase LA from          0 to at least          1"},
    {"lip mode 1", [](Call& c) { c.ip.resize(3); }, -7, 4, " Increase LIP from        3 to at least          4"},
    {"lip mode 0", [](Call& c) { c.Control(2) = 0, c.ip.resize(3); }, -7, 4,
     " Increase LIP from        3 to at least          4"},
    {"liw", [](Call& c) { c.iw.resize(3); }, -8, 4, " Increase LIW from        3 to at least          4"},
    {"ljcn column form", [](Call& c) { c.Control(2) = 2, c.jcn.clear(); }, -5, 1,
     " Increase LJCN from          0 to at least          1"},
};

TEST(MC59Arguments, EachCheckInOrderWithItsMessage) {
  for (const BadArgument& bad : kBadArguments) {
    SCOPED_TRACE(bad.name);
    Call c = SmallUnsymmetric(1);
    bad.spoil(c);
    const std::vector<int32_t> rows = c.irn;
    c.Run();
    EXPECT_EQ(c.Info(MC59_INFO_STATUS), bad.status);
    EXPECT_EQ(c.Info(MC59_INFO_VALUE), bad.value);
    char status[8];
    std::snprintf(status, sizeof status, "%3d", bad.status);
    const std::string head = kErrorHead + std::string(status);
    EXPECT_EQ(c.errors, head + "\n" + bad.line + "\n");
    EXPECT_EQ(c.irn, rows);  // nothing moved
  }
}

TEST(MC59Arguments, NonPositiveAndHugeEntryCounts) {
  const struct {
    int32_t ne;
    const char* field;
  } counts[] = {{0, "         0"}, {-1, "        -1"}, {std::numeric_limits<int32_t>::max(), "2147483647"}};
  for (const auto& k : counts) {
    SCOPED_TRACE(k.ne);
    Call c = SmallUnsymmetric(1);
    c.Run(k.ne);
    EXPECT_EQ(c.Info(MC59_INFO_STATUS), -4);
    EXPECT_EQ(c.Info(MC59_INFO_VALUE), k.ne);
    EXPECT_EQ(c.errors, std::string(kErrorHead) + " -4\n NE = " + k.field + " is out of range\n");
  }
  // Hundreds of millions of entries claimed with short arrays: a status, no access.
  Call c = SmallUnsymmetric(1);
  c.Run(400000000);
  EXPECT_EQ(c.Info(MC59_INFO_STATUS), -5);
  EXPECT_EQ(c.Info(MC59_INFO_VALUE), 400000000);
  EXPECT_EQ(c.errors, std::string(kErrorHead) + " -5\n Increase LJCN from          4 to at least  400000000\n");
}

TEST(MC59Arguments, LargestSizesNeedLengthsBeyondThirtyTwoBits) {
  Call c = SmallUnsymmetric(1);
  c.nc = c.nr = std::numeric_limits<int32_t>::max();
  c.Run();
  EXPECT_EQ(c.Info(MC59_INFO_STATUS), -7);
  EXPECT_EQ(c.Info(MC59_INFO_VALUE), std::numeric_limits<int32_t>::max());  // 2^31 does not fit
  EXPECT_EQ(c.errors, std::string(kErrorHead) + " -7\n Increase LIP from        4 to at least 2147483648\n");
}

TEST(MC59ColumnForm, StartsThatFallOrLeaveTheArrayAreErrors) {
  struct Case {
    V ip;
    int32_t no_check, column;
  };
  const Case cases[] = {{{1, 3, 2, 5}, 0, 2}, {{0, 3, 3, 5}, 0, 1}, {{1, 3, 3, 6}, 0, 4},
                        {{1, 3, 3, 9}, 1, 4}, {{1, -4, 3, 5}, 1, 2}};
  for (const Case& k : cases) {
    Call c;
    c.Control(MC59_ICNTL_MODE) = 2;
    c.Control(MC59_ICNTL_NO_CHECK) = k.no_check;
    c.Coordinates(3, 2, {2, 1, 2, 1}, {0});
    c.ip = k.ip;
    c.Run();
    EXPECT_EQ(c.Info(MC59_INFO_STATUS), -9);
    EXPECT_EQ(c.Info(MC59_INFO_VALUE), k.column);
    EXPECT_EQ(c.errors, std::string(kErrorHead) + " -9\n Entries in IP are not monotonic increasing\n");
    EXPECT_EQ(c.irn, (V{2, 1, 2, 1}));
  }
}

}  // namespace
