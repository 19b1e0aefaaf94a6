// The factory and solver objects through the module's export: faces,
// identity, reference counting, self-description and the info operations.
#include <string>

#include "plugin_fixture.h"

namespace dalvex_test {
namespace {

using vorn_host::ReferenceEso;

constexpr VornGuid kUnknownIID = {0x12345678u, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

TEST_F(PluginTest, FactoryFacesShareOneCountAndOneQueryRule) {
  // The fixture holds the entry's reference and one for the parameter face.
  EXPECT_EQ(CountOf(factory_), 2);
  auto* component = Query<VornUtilityComponent>(parameters_, kIID_IUnknown);
  ASSERT_NE(component, nullptr);
  EXPECT_EQ(CountOf(factory_), 3);
  EXPECT_EQ(Query<VornUtilityComponent>(factory_, kIID_VornUtilityComponent), component);
  EXPECT_EQ(Query<VornFactoryNLASystem>(component, kIID_VornFactoryNLASystem), factory_);
  EXPECT_EQ(Query<VornSolverParameters>(component, kIID_VornSolverParameters), parameters_);
  EXPECT_EQ(CountOf(parameters_), 6);
  EXPECT_EQ(component->Release(), 5);
  EXPECT_EQ(component->Release(), 4);
  EXPECT_EQ(parameters_->Release(), 3);
  EXPECT_EQ(factory_->Release(), 2);

  EXPECT_EQ(TakeText(component->GetName()), "Sparse Levenberg-Marquardt Solver");
  EXPECT_EQ(TakeText(component->GetDescription()),
            "Sparse Levenberg-Marquardt Solver using Pemric routine NS23AD");
  const std::string version = TakeText(component->GetVersion());
  EXPECT_FALSE(version.empty());
  EXPECT_LT(version.size(), 12u);

  void* out = &out;
  EXPECT_EQ(factory_->QueryInterface(kUnknownIID, &out), kVornNoInterface);
  EXPECT_EQ(parameters_->QueryInterface(kIID_VornNumericESO, &out), kVornNoInterface);
  EXPECT_EQ(out, &out) << "a failed query leaves the out-pointer untouched";
  EXPECT_EQ(factory_->QueryInterface(kIID_VornSolverParameters, nullptr), kVornNullPointer);
  EXPECT_EQ(CountOf(factory_), 2);
}

TEST_F(PluginTest, SolverHoldsFactoryAndEsoUntilReleased) {
  ReferenceEso* eso = ReferenceEso::Create(vorn_host::BroydenTridiagonal(3));
  VornNumericNLASystem* solver = CreateSolver(eso->problem());
  ASSERT_NE(solver, nullptr);
  EXPECT_EQ(CountOf(solver), 1);
  EXPECT_EQ(CountOf(factory_), 3);
  EXPECT_EQ(eso->reference_count(), 2) << "one for the host, one for the solver; the component query is returned";

  auto* extension = Query<VornNumericSolverExtension>(solver, kIID_VornNumericSolverExtension);
  ASSERT_NE(extension, nullptr);
  EXPECT_EQ(Query<VornNumericNLASystem>(extension, kIID_VornNumericNLASystem), solver);
  EXPECT_EQ(CountOf(solver), 3);
  void* out = &out;
  EXPECT_EQ(solver->QueryInterface(kIID_VornUtilityComponent, &out), kVornNoInterface);
  EXPECT_EQ(extension->QueryInterface(kIID_IUnknown, &out), kVornNoInterface);
  EXPECT_EQ(solver->QueryInterface(kIID_VornFactoryNLASystem, &out), kVornNoInterface);
  EXPECT_EQ(out, &out);
  EXPECT_EQ(extension->QueryInterface(kIID_VornNumericNLASystem, nullptr), kVornNullPointer);

  // A second solver on the same factory; the factory outlives both.
  VornNumericNLASystem* second = CreateSolver(eso->problem());
  EXPECT_EQ(CountOf(factory_), 4);
  EXPECT_EQ(second->Release(), 0);
  EXPECT_EQ(extension->Release(), 2);
  EXPECT_EQ(solver->Release(), 1);
  EXPECT_EQ(CountOf(factory_), 3);
  EXPECT_EQ(solver->Release(), 0);
  EXPECT_EQ(CountOf(factory_), 2);
  EXPECT_EQ(eso->reference_count(), 1);
  EXPECT_EQ(eso->Release(), 0);
}

TEST_F(PluginTest, CreationAnnouncesTheProblemComponent) {
  ReferenceEso* eso = ReferenceEso::Create(vorn_host::BroydenTridiagonal(2));
  VornNumericNLASystem* solver = CreateSolver(eso->problem());  // PrintLevel defaults to 1
  EXPECT_EQ(sink_.Prints(),
            (std::vector<std::string>{"In solver DLL using component>> ", "Reference host problem", "\n"}));
  EXPECT_EQ(sink_.events().size(), 3u) << "passed straight to Print, without Flush";
  solver->Release();

  sink_.Clear();
  ASSERT_EQ(SetInteger("PrintLevel", 0), kVornOk);
  solver = CreateSolver(eso->problem());
  EXPECT_TRUE(sink_.events().empty());
  solver->Release();
  eso->Release();

  auto bare = vorn_host::BroydenTridiagonal(2);
  bare.description.clear();  // no VornUtilityComponent face
  eso = ReferenceEso::Create(bare);
  sink_.Clear();
  solver = CreateSolver(eso->problem());
  EXPECT_EQ(sink_.Prints(),
            (std::vector<std::string>{"VornUtilityComponent interface not implemented in problem\n"}));
  solver->Release();
  EXPECT_EQ(eso->Release(), 0);
}

TEST_F(PluginTest, CreationToleratesMissingProblemSinkAndOut) {
  EXPECT_EQ(factory_->CreateNLASystem(nullptr, &sink_, nullptr), kVornFailure);

  // Without a problem there is no ESO: the solver exists but cannot solve.
  VornNumericNLASystem* solver = CreateSolver(nullptr);
  ASSERT_NE(solver, nullptr);
  sink_.Clear();
  int32_t iterations = -7;
  EXPECT_EQ(solver->Solve(0, &iterations), kVornFailure);
  EXPECT_EQ(iterations, -7);
  EXPECT_EQ(sink_.Prints(), (std::vector<std::string>{"Invalid ESO passed to solver\n"}));
  EXPECT_TRUE(sink_.EachPrintFlushed());
  EXPECT_EQ(solver->Release(), 0);

  // A null sink drops every text.
  ReferenceEso* eso = ReferenceEso::Create(vorn_host::BroydenTridiagonal(2));
  ASSERT_EQ(factory_->CreateNLASystem(eso->problem(), nullptr, &solver), kVornOk);
  solver->Solve(0, &iterations);
  EXPECT_EQ(solver->Release(), 0);
  EXPECT_EQ(eso->Release(), 0);
}

class SolverInfoTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    auto problem = vorn_host::BroydenTridiagonal(2);
    problem.description.clear();
    eso_ = ReferenceEso::Create(problem);
    solver_ = CreateSolver(eso_->problem());
    ASSERT_NE(solver_, nullptr);
    extension_ = Query<VornNumericSolverExtension>(solver_, kIID_VornNumericSolverExtension);
    ASSERT_NE(extension_, nullptr);
    sink_.Clear();
  }
  void TearDown() override {
    extension_->Release();
    EXPECT_EQ(solver_->Release(), 0);
    EXPECT_EQ(eso_->Release(), 0);
    PluginTest::TearDown();
  }
  ReferenceEso* eso_ = nullptr;
  VornNumericNLASystem* solver_ = nullptr;
  VornNumericSolverExtension* extension_ = nullptr;
};

TEST_F(SolverInfoTest, StatusNamesAreExactAndEverythingElseIsRefused) {
  int32_t value = 99;
  EXPECT_EQ(extension_->GetInfo("Status", &value), kVornOk);
  EXPECT_EQ(value, 0) << "IFLAG starts at 0";
  value = 99;
  EXPECT_EQ(extension_->GetInfo("InJacobian", &value), kVornOk);
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(sink_.events().empty());

  value = 99;
  EXPECT_EQ(extension_->GetInfo("status", &value), kVornFailure);
  EXPECT_EQ(value, 99);
  EXPECT_EQ(extension_->GetInfo(nullptr, &value), kVornFailure);
  EXPECT_EQ(extension_->GetInfo("Status", nullptr), kVornFailure);
  EXPECT_EQ(sink_.Prints(), (std::vector<std::string>{"Unknown info string status ignored\n",
                                                      "Unknown info string  ignored\n",
                                                      "Unknown info string Status ignored\n"}));

  sink_.Clear();
  int32_t any = 1;
  EXPECT_EQ(extension_->SetInfo("Status", 0, &any), kVornFailure);
  EXPECT_EQ(extension_->SetInfo(nullptr, -3, nullptr), kVornFailure);
  const std::string warning = "Warning!  SetInfo no implemented; action ignored\n";
  EXPECT_EQ(sink_.Prints(), (std::vector<std::string>{warning, warning}));
  EXPECT_TRUE(sink_.EachPrintFlushed());
}

TEST_F(SolverInfoTest, ReferenceMessagesOnlyWhenSeriouslyVerbose) {
  void* out = nullptr;
  solver_->AddRef();
  solver_->Release();
  solver_->QueryInterface(kUnknownIID, &out);
  EXPECT_TRUE(sink_.events().empty());

  // The solver takes SeriouslyVerbose from the factory at set-up.
  ASSERT_EQ(SetInteger("SeriouslyVerbose", 1), kVornOk);
  int32_t iterations = 0;
  solver_->Solve(0, &iterations);
  sink_.Clear();
  EXPECT_EQ(solver_->AddRef(), 3);
  EXPECT_EQ(solver_->Release(), 2);
  auto* main = Query<VornNumericNLASystem>(extension_, kIID_VornNumericNLASystem);
  auto* extension = Query<VornNumericSolverExtension>(main, kIID_VornNumericSolverExtension);
  EXPECT_EQ(main->QueryInterface(kIID_IUnknown, &out), kVornNoInterface);
  extension->Release();
  main->Release();
  EXPECT_EQ(sink_.Prints(),
            (std::vector<std::string>{
                "Dalvex_NumericNLASystem: AddRef 3", "Dalvex_NumericNLASystem: Release 2",
                "Dalvex_NumericNLASystem: QueryInterface successful for VornNumericNLASystem\n",
                "Dalvex_NumericNLASystem: AddRef 3",
                "Dalvex_NumericNLASystem: QueryInterface successful for VornNumericSolverExtension\n",
                "Dalvex_NumericNLASystem: AddRef 4", "Dalvex_NumericNLASystem: failed QueryInterface\n",
                "Dalvex_NumericNLASystem: Release 3", "Dalvex_NumericNLASystem: Release 2"}));
  EXPECT_TRUE(sink_.EachPrintFlushed());
}

}  // namespace
}  // namespace dalvex_test
