// The plug-in's parameter face through its exported entry: any sequence of
// listing, inspecting, reading and setting parameters, with names in any
// case, unknown or absent names, cells of either type with any bits, and
// repeated registration. Checks: every result is a documented code; a value
// within its bounds is taken and reads back exactly; a refused value leaves
// the old one; an unknown name changes nothing; every text handed out is a
// separate allocation that the host frees (leaks show under the sanitizer).
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "dalvex/entry.h"
#include "dalvex/parameters.h"
#include "dalvex_fuzz/fuzz_support.h"
#include "vorn/host_interfaces.h"
#include "vorn/services.h"

namespace dalvex_fuzz {
namespace {

constexpr const char* kName = "parameters";
void Check(bool ok, const char* what) {
  if (!ok) Fail(kName, what);
}

// The plug-in's own table: the names it registers, in order.
using dalvex::kSolverParameters;
constexpr int kCount = dalvex::kParameterCount;

std::string PickName(FuzzInput& in) {
  std::string name;
  if (in.Byte() < 200) {
    name = kSolverParameters[in.Int(0, kCount - 1)].name;
    for (char& c : name) {
      if (in.Byte() < 64) c = static_cast<char>(std::isupper(static_cast<unsigned char>(c)) ? std::tolower(c) : std::toupper(c));
    }
    if (in.Byte() < 16) name.push_back(static_cast<char>(in.Byte() | 1));
    if (in.Byte() < 16 && !name.empty()) name.pop_back();
  } else {
    for (int n = in.Int(0, 12); n > 0; --n) name.push_back(static_cast<char>(in.Byte() | 1));
  }
  return name;
}

bool SameIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

struct Snapshot {
  int32_t result, type;
  VornValueCell cell;
};

Snapshot Read(VornSolverParameters* p, const char* name) {
  Snapshot s{};
  s.type = -7;
  std::memset(&s.cell, 0, sizeof(s.cell));
  s.result = p->GetParameterValue(name, &s.type, &s.cell);
  return s;
}

void CheckInfo(VornSolverParameters* p, const char* name) {
  VornParameterInfo info;
  std::memset(&info, 0x5A, sizeof(info));
  VornParameterInfo untouched = info;
  int32_t r = p->GetParameterInfo(name, &info);
  Check(r == kVornOk || r == kVornUnknownName, "GetParameterInfo result not documented");
  if (r != kVornOk) {
    Check(std::memcmp(&info, &untouched, sizeof(info)) == 0, "GetParameterInfo wrote for an unknown name");
    return;
  }
  Check(info.name != nullptr && info.description != nullptr, "GetParameterInfo gave no texts");
  Check(SameIgnoringCase(info.name, name), "GetParameterInfo answered for another name");
  if (info.type == kVornInteger) {
    Check(info.values.integer.lower <= info.values.integer.value &&
              info.values.integer.value <= info.values.integer.upper,
          "integer value outside its bounds");
  } else {
    Check(info.type == kVornReal, "unexpected parameter type");
    Check(info.values.real.lower <= info.values.real.value && info.values.real.value <= info.values.real.upper,
          "real value outside its bounds");
  }
  VornServices::FreeString(info.name);
  VornServices::FreeString(info.description);
}

void SetAndCheck(FuzzInput& in, VornSolverParameters* p, const std::string& name) {
  Snapshot before = Read(p, name.c_str());
  VornValueCell cell;
  std::memset(&cell, 0, sizeof(cell));
  int32_t type_arg = in.Int(-1, 3);
  if (in.Bool()) {
    cell.integer = in.Byte() < 128 ? in.Int(-200, 200000) : in.AnyInt();
  } else {
    cell.real = in.AnyReal();
  }
  if (in.Byte() < 16) {
    for (int k = 4; k < 8; ++k) reinterpret_cast<unsigned char*>(&cell)[k] = in.Byte();
  }
  int32_t r = p->SetParameterValue(name.c_str(), type_arg, cell);
  Check(r == kVornOk || r == kVornOutOfBounds || r == kVornUnknownName, "SetParameterValue result not documented");
  Check((r == kVornUnknownName) == (before.result == kVornUnknownName), "Set and Get disagree on a name");
  if (r == kVornUnknownName) return;
  Snapshot after = Read(p, name.c_str());
  Check(after.result == kVornOk && after.type == before.type, "read after set failed");
  VornParameterInfo info;
  Check(p->GetParameterInfo(name.c_str(), &info) == kVornOk, "info after set failed");
  VornServices::FreeString(info.name);
  VornServices::FreeString(info.description);
  if (before.type == kVornInteger) {
    bool inside = info.values.integer.lower <= cell.integer && cell.integer <= info.values.integer.upper;
    Check(inside == (r == kVornOk), "integer accepted or refused against its bounds");
    Check(after.cell.integer == (r == kVornOk ? cell.integer : before.cell.integer), "integer value not as set");
  } else {
    bool inside = info.values.real.lower <= cell.real && cell.real <= info.values.real.upper;
    Check(inside == (r == kVornOk), "real accepted or refused against its bounds");
    double expect = r == kVornOk ? cell.real : before.cell.real;
    Check(std::memcmp(&after.cell.real, &expect, sizeof(double)) == 0, "real value not as set");
  }
}

}  // namespace

namespace {

void RunParameters(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  VornFactoryNLASystem* factory = GetFactoryNLASystem();
  Check(factory != nullptr, "no factory");
  void* face = nullptr;
  Check(factory->QueryInterface(kIID_VornSolverParameters, &face) == kVornOk, "no parameter face");
  auto* p = static_cast<VornSolverParameters*>(face);
  int32_t registered = 1;
  for (int op = 0; op < 40 && in.remaining() > 0; ++op) {
    std::string name = PickName(in);
    const char* cname = in.Byte() < 8 ? nullptr : name.c_str();
    switch (in.Byte() % 8) {
      case 0: {
        int32_t count = p->GetParameterCount();
        Check(count == kCount * registered, "parameter count wrong");
        std::vector<char*> names(static_cast<size_t>(count) + 2, nullptr);
        Check(p->GetParameterNames(names.data() + 1) == kVornOk, "GetParameterNames failed");
        Check(names.front() == nullptr && names.back() == nullptr, "GetParameterNames wrote outside the array");
        for (int32_t k = 0; k < count; ++k) {
          char* s = names[static_cast<size_t>(k) + 1];
          Check(s != nullptr && std::strcmp(s, kSolverParameters[k % kCount].name) == 0,
                "names not in table order");
          VornServices::FreeString(s);
        }
        break;
      }
      case 1: CheckInfo(p, name.c_str()); break;
      case 2: {
        Snapshot s = Read(p, cname);
        Check(s.result == kVornOk || s.result == kVornUnknownName, "GetParameterValue result not documented");
        if (cname == nullptr) Check(s.result == kVornUnknownName, "null name found");
        break;
      }
      case 3:
        if (registered < 3) {
          Check(p->RegisterParameters() == kVornOk, "RegisterParameters failed");
          ++registered;
        }
        break;
      case 4: {
        VornGuid id = VornFamilyIID(0x5A1D0000u + static_cast<uint32_t>(in.Int(0, 8)));
        void* out = nullptr;
        int32_t r = factory->QueryInterface(id, &out);
        Check(r == kVornOk || r == kVornNoInterface, "QueryInterface result not documented");
        Check((r == kVornOk) == (out != nullptr), "QueryInterface result and pointer disagree");
        if (out != nullptr) static_cast<VornUnknown*>(out)->Release();
        break;
      }
      default:
        if (cname == nullptr) {
          VornValueCell cell{};
          Check(p->SetParameterValue(nullptr, 0, cell) == kVornUnknownName, "null name accepted");
        } else {
          SetAndCheck(in, p, name);
        }
    }
  }
  p->Release();
  Check(factory->Release() == 0, "factory not destroyed by its last release");
}

}  // namespace

std::string FuzzParameters(const uint8_t* data, size_t size) {
  return CheckedRun([&] { RunParameters(data, size); });
}

}  // namespace dalvex_fuzz
