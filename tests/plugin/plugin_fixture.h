// Loads the built module through the reference host and offers the small
// helpers every module-level test needs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "vorn/host_interfaces.h"
#include "vorn/services.h"
#include "vorn_host/message_sinks.h"
#include "vorn_host/module_loader.h"
#include "vorn_host/reference_eso.h"

namespace dalvex_test {

// The reference count of an object, read through AddRef/Release.
inline int32_t CountOf(VornUnknown* face) {
  face->AddRef();
  return face->Release();
}

// Takes a host text and frees it.
inline std::string TakeText(char* text) {
  std::string s = text != nullptr ? text : "(null)";
  VornServices::FreeString(text);
  return s;
}

template <typename Face>
Face* Query(VornUnknown* object, const VornGuid& id) {
  void* out = nullptr;
  if (object->QueryInterface(id, &out) != kVornOk) return nullptr;
  return static_cast<Face*>(out);
}

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module_.Load(DALVEX_MODULE_PATH)) << module_.error();
    factory_ = module_.CreateFactory();
    ASSERT_NE(factory_, nullptr);
    parameters_ = Query<VornSolverParameters>(factory_, kIID_VornSolverParameters);
    ASSERT_NE(parameters_, nullptr);
  }
  void TearDown() override {
    if (parameters_ != nullptr) parameters_->Release();
    if (factory_ != nullptr) {
      EXPECT_EQ(factory_->Release(), 0);
    }
  }

  int32_t SetInteger(const char* name, int32_t value) {
    VornValueCell cell{};
    cell.integer = value;
    return parameters_->SetParameterValue(name, kVornInteger, cell);
  }
  int32_t SetReal(const char* name, double value) {
    VornValueCell cell{};
    cell.real = value;
    return parameters_->SetParameterValue(name, kVornReal, cell);
  }

  // A solver on `eso` writing to sink_; the test owns the returned reference.
  VornNumericNLASystem* CreateSolver(VornUnknown* problem) {
    VornNumericNLASystem* solver = nullptr;
    EXPECT_EQ(factory_->CreateNLASystem(problem, &sink_, &solver), kVornOk);
    return solver;
  }

  vorn_host::PluginModule module_;
  VornFactoryNLASystem* factory_ = nullptr;
  VornSolverParameters* parameters_ = nullptr;
  vorn_host::RecordingSink sink_;
};

}  // namespace dalvex_test
