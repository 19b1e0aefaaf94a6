// Several solvers at once, each on a thread of its own: solvers of one
// factory and of separate factories, on different problems, each with its
// own reserved output unit. Every run must give exactly what it gives when
// the runs are made one at a time: the result, the point bit for bit, every
// message and every record of its unit's file. The process-wide pieces they
// share (the output-stream registry, the unit reservation, the factory's
// count and parameters) are also driven directly from several threads.
// The ThreadSanitizer build (-DDALVEX_TSAN=ON) runs this program in CI.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "pemric/record.h"
#include "pemric/streams.h"
#include "solve_run.h"
#include "vorn/services.h"
#include "vorn_host/module_loader.h"

namespace dalvex_test {
namespace {

// Runs body(k) for k = 0..n-1, each on a thread of its own, released
// together so that they overlap as much as the machine allows.
template <typename Body>
void OnThreads(int n, Body body) {
  std::promise<void> go;
  std::shared_future<void> gate = go.get_future().share();
  std::vector<std::thread> threads;
  for (int k = 0; k < n; ++k) {
    threads.emplace_back([&, k] {
      gate.wait();
      body(k);
    });
  }
  go.set_value();
  for (std::thread& t : threads) t.join();
}

// ---------------------------------------------------------------------------

struct Setting {
  const char* name;
  double value;  // integers are exact in a double
};

// The factories' settings. Factory 0 is shared by several threads; the
// others belong to one job each and are created on that job's thread.
const std::vector<std::vector<Setting>> kFactorySettings = {
    {{"PrintLevel", 1}, {"Iprint", -1}},                // reports, and monitoring of every point
    {{"Hmax", 1e-6}, {"Iprint", 2}, {"PrintLevel", 0}},  // difference Jacobians
    {{"Iprint", 1}, {"Tol", 1e-10}},                     // a least-squares fit
};

struct Job {
  const char* problem;
  int32_t size;
  int factory;
};

// Different problems, and two of them twice, so two solvers run the same
// arithmetic at the same moment; Bratu's fronts are large enough for the
// factorization's helper threads, which the two solvers then contend for.
const std::vector<Job> kJobs = {
    {"bratu-2d", 100, 0},     {"bratu-2d", 100, 0},        {"broyden-banded", 4000, 0},
    {"broyden-banded", 4000, 0},
    {"reactor-flash", 60, 0}, {"rosenbrock", 0, 1},        {"discrete-boundary-value", 1000, 1},
    {"osborne1", 0, 2},
};

class ConcurrentSolvers : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(module_.Load(DALVEX_MODULE_PATH)) << module_.error(); }

  VornFactoryNLASystem* MakeFactory(int which) const {
    VornFactoryNLASystem* factory = module_.CreateFactory();
    if (factory == nullptr) return nullptr;
    void* face = nullptr;
    factory->QueryInterface(kIID_VornSolverParameters, &face);
    auto* parameters = static_cast<VornSolverParameters*>(face);
    for (const Setting& s : kFactorySettings[which]) {
      VornValueCell cell{};
      int32_t type = -1;
      parameters->GetParameterValue(s.name, &type, &cell);
      if (type == kVornInteger) {
        cell.integer = static_cast<int32_t>(s.value);
      } else {
        cell.real = s.value;
      }
      parameters->SetParameterValue(s.name, type, cell);
    }
    parameters->Release();
    return factory;
  }

  // Job k on `shared` when it belongs to factory 0, else on a factory of its own.
  SolveRun RunJob(int k, VornFactoryNLASystem* shared) const {
    const Job& job = kJobs[k];
    if (job.factory == 0) return SolveLibraryProblem(shared, job.problem, job.size);
    VornFactoryNLASystem* own = MakeFactory(job.factory);
    SolveRun run = SolveLibraryProblem(own, job.problem, job.size);
    own->Release();
    return run;
  }

  vorn_host::PluginModule module_;
};

TEST_F(ConcurrentSolvers, GiveExactlyTheResultsAndRecordsOfOneAtATime) {
  const int n = static_cast<int>(kJobs.size());
  VornFactoryNLASystem* shared = MakeFactory(0);
  ASSERT_NE(shared, nullptr);
  std::vector<SolveRun> alone;
  for (int k = 0; k < n; ++k) alone.push_back(RunJob(k, shared));
  std::vector<SolveRun> together(n);
  OnThreads(n, [&](int k) { together[k] = RunJob(k, shared); });
  EXPECT_EQ(shared->Release(), 0) << "the shared factory's count lost or gained a reference";

  for (int k = 0; k < n; ++k) {
    SCOPED_TRACE(std::string(kJobs[k].problem) + " on factory " + std::to_string(kJobs[k].factory));
    ASSERT_EQ(alone[k].result, kVornOk) << "the job must converge to be a fair comparison";
    EXPECT_EQ(together[k].result, alone[k].result);
    EXPECT_EQ(together[k].iterations, alone[k].iterations);
    EXPECT_EQ(together[k].calls, alone[k].calls);
    EXPECT_TRUE(together[k].x == alone[k].x) << "the final point differs";
    EXPECT_EQ(together[k].messages, alone[k].messages);
    ASSERT_GT(together[k].unit, 0);
    EXPECT_FALSE(alone[k].records.empty());
    EXPECT_TRUE(together[k].records == alone[k].records) << "the unit's file differs";
  }
}

// ---------------------------------------------------------------------------

TEST(ConcurrentServices, EveryUnitIsReservedByExactlyOneCaller) {
  constexpr int kThreads = 6;
  std::vector<std::vector<int32_t>> taken(kThreads);
  OnThreads(kThreads, [&](int k) {
    for (int32_t unit = 1; unit <= 99; ++unit) {
      if (VornServices::ReserveFortranLogicalUnit(unit)) taken[k].push_back(unit);
    }
  });
  std::vector<int32_t> all;
  for (const auto& units : taken) all.insert(all.end(), units.begin(), units.end());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all.size(), 97u) << "units 1..99 but the console's 5 and 6";
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "a unit given out twice";
  for (int32_t unit : all) VornServices::FreeFortranLogicalUnit(unit);
}

// Threads print to streams of their own, to sinks and to default files,
// while others attach and detach theirs: each stream gets exactly its own
// records, in order.
TEST(ConcurrentStreams, EachStreamReceivesExactlyItsOwnRecords) {
  constexpr int kThreads = 6;
  constexpr int kRecords = 300;
  std::vector<std::string> received(kThreads);
  auto append = [](void* context, const char* text, std::size_t length) {
    static_cast<std::string*>(context)->append(text, length);
  };
  OnThreads(kThreads, [&](int k) {
    const int32_t unit = 40 + k;
    const bool to_sink = k % 2 == 0;
    if (to_sink) pemric::AttachStream(unit, append, &received[k]);
    for (int r = 0; r < kRecords; ++r) pemric::Record(unit).Text(" record").I(r, 6).I(k, 4);
    pemric::DetachStream(unit);
    if (!to_sink) {
      received[k] = ReadFile("fort" + std::to_string(unit));
      // Windows writes the file in text mode, each line end as CR LF.
      received[k].erase(std::remove(received[k].begin(), received[k].end(), '\r'), received[k].end());
    }
  });
  for (int k = 0; k < kThreads; ++k) {
    std::string expected;
    for (int r = 0; r < kRecords; ++r) {
      expected += " record" + pemric::FormatI(r, 6) + pemric::FormatI(k, 4) + "\n";
    }
    EXPECT_TRUE(received[k] == expected) << "stream " << 40 + k;
    EXPECT_FALSE(pemric::StreamLostOutput(40 + k));
  }
}

}  // namespace
}  // namespace dalvex_test
