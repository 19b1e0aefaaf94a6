// The plug-in's building blocks, reached through its static library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_text.h"
#include "message_formatter.h"
#include "parameter_table.h"
#include "set_up_reads.h"
#include "solver.h"
#include "tracked_array.h"
#include "vorn/services.h"
#include "vorn_host/message_sinks.h"
#include "vorn_host/reference_eso.h"
#include "workspace_sizes.h"

namespace {

using Texts = std::vector<std::string>;

TEST(TrackedArray, ReallocationReplacesStorageCountAndLabel) {
  dalvex::TrackedArray<double> a;
  EXPECT_STREQ(a.label(), "Unallocated");
  ASSERT_TRUE(a.Allocate(3, "first"));
  a.at(1) = 1.0;
  a.at(3) = 3.0;
  ASSERT_TRUE(a.Allocate(5, "second"));
  EXPECT_EQ(a.count(), 5);
  EXPECT_STREQ(a.label(), "second");
  for (int k = 1; k <= 5; ++k) EXPECT_EQ(a.at(k), 0.0) << "fresh storage is zero-filled";
  EXPECT_FALSE(a.Allocate(-1, "negative"));
  EXPECT_EQ(a.data(), nullptr);
  EXPECT_EQ(a.count(), 0);
  ASSERT_TRUE(a.Allocate(0, "empty"));
  EXPECT_NE(a.data(), nullptr);
  a.Free();
  EXPECT_EQ(a.data(), nullptr);
  EXPECT_STREQ(a.label(), "Unallocated");
}

TEST(MessageFormatter, GrowsInWholeStepsAndDeliversOnce) {
  vorn_host::RecordingSink sink;
  dalvex::MessageFormatter formatter(&sink);
  struct Step {
    int length, capacity;
  } steps[] = {{511, 512}, {512, 512}, {513, 1024}, {1024, 1024}, {2000, 2048}, {10, 2048}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.length);
    sink.Clear();
    const std::string text(static_cast<std::size_t>(s.length), 'z');
    formatter.Format("%s", text.c_str());
    EXPECT_EQ(formatter.capacity(), s.capacity);
    EXPECT_EQ(sink.Prints(), Texts{text});
    EXPECT_TRUE(sink.EachPrintFlushed());
  }
  dalvex::MessageFormatter fresh(&sink);
  sink.Clear();
  fresh.Format("%d%s", 7, std::string(1999, 'y').c_str());
  EXPECT_EQ(fresh.capacity(), 2048);
  EXPECT_EQ(sink.Prints(), Texts{"7" + std::string(1999, 'y')});

  dalvex::MessageFormatter silent(nullptr);
  silent.Format("dropped %d", 1);  // must not crash
}

TEST(HostText, CopiesAndNullBecomesEmpty) {
  char* empty = dalvex::CopyForHost(nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], '\0');
  VornServices::FreeString(empty);
  char* copy = dalvex::CopyForHost("Tol");
  EXPECT_STREQ(copy, "Tol");
  VornServices::FreeString(copy);
  EXPECT_TRUE(dalvex::SameNameIgnoringCase("SeriouslyVerbose", "seriouslyVERBOSE"));
  EXPECT_FALSE(dalvex::SameNameIgnoringCase("Acc", "Ac"));
  EXPECT_FALSE(dalvex::SameNameIgnoringCase("Acc", nullptr));
}

TEST(ParameterTable, GrowsByTenAndOwnsTextValues) {
  dalvex::ParameterTable table;
  ASSERT_TRUE(table.Initialise());
  EXPECT_EQ(table.capacity(), 10);
  ASSERT_TRUE(table.RegisterSolverParameters());
  EXPECT_EQ(table.count(), 18);
  EXPECT_EQ(table.capacity(), 20);
  ASSERT_TRUE(table.RegisterSolverParameters());
  EXPECT_EQ(table.capacity(), 40);
  EXPECT_EQ(table.Find("iprint"), &table.at(17)) << "the first match wins";

  char name[] = "Label";
  char value[] = "first";
  dalvex::ParameterRecord text{};
  text.name = name;
  text.type = kVornText;
  text.values.text.value = value;
  ASSERT_TRUE(table.Append(text));
  dalvex::ParameterRecord* stored = table.Find("label");
  ASSERT_NE(stored, nullptr);
  EXPECT_NE(stored->values.text.value, value) << "the table keeps its own copy";
  EXPECT_STREQ(stored->values.text.value, "first");
  EXPECT_EQ(stored->values.text.second, nullptr);
  ASSERT_TRUE(dalvex::ParameterTable::ReplaceText(*stored, "second"));
  EXPECT_STREQ(stored->values.text.value, "second");
}

TEST(WorkspaceSizes, FirstGuessesAndTheirRange) {
  const dalvex::WorkspaceSizes s = dalvex::SizesFor(3, 2, 4);
  EXPECT_EQ(s.m_Lip, 4);
  EXPECT_EQ(s.m_Liw, 105);
  EXPECT_EQ(s.m_Lw, 30);
  EXPECT_TRUE(dalvex::FitsInt32(s));
  // 9 NNz alone overflows 32 bits here although each size fits.
  EXPECT_FALSE(dalvex::FitsInt32(dalvex::SizesFor(10, 10, 300000000)));
  EXPECT_FALSE(dalvex::FitsInt32(dalvex::SizesFor(INT32_MAX, 1, 0)));
}

// A solver whose factory query failed reads every parameter as its fallback,
// saying so each time even when not verbose.
TEST(SolverParameters, MissingFactoryGivesEveryFallbackWithItsMessage) {
  vorn_host::RecordingSink sink;
  auto problem = vorn_host::BroydenTridiagonal(2);
  vorn_host::ReferenceEso* eso = vorn_host::ReferenceEso::Create(problem);
  auto* solver = new Dalvex_NumericNLASystem(eso->problem(), &sink, nullptr);
  static_cast<VornNumericNLASystem*>(solver)->AddRef();
  int32_t iterations = 0;
  static_cast<VornNumericNLASystem*>(solver)->Solve(0, &iterations);
  Texts expected;
  for (const auto& [name, fallback] : dalvex_test::kSetUpReads) {
    expected.push_back(std::string("Invalid param (") + name + ") setting to default value " + fallback + "\n");
  }
  const Texts all = sink.Prints();
  ASSERT_GE(all.size(), expected.size());
  EXPECT_EQ(Texts(all.begin(), all.begin() + 18), expected);

  // The component face forwards to the solver's own query rule and count.
  Dalvex_Component* component = solver;
  void* out = nullptr;
  EXPECT_EQ(component->QueryInterface(kIID_IUnknown, &out), kVornNoInterface);
  EXPECT_EQ(component->QueryInterface(kIID_VornUtilityComponent, &out), kVornNoInterface);
  EXPECT_EQ(component->QueryInterface(kIID_VornNumericNLASystem, &out), kVornOk);
  EXPECT_EQ(component->Release(), 1);
  EXPECT_EQ(eso->reference_count(), 2);
  EXPECT_EQ(static_cast<VornNumericSolverExtension*>(solver)->Release(), 0);
  EXPECT_EQ(eso->Release(), 0);
}

}  // namespace
