// Compiled by clang for the Microsoft ABI (i686-pc-windows-msvc) in the test
// host_interface_msvc_names: it defines every services function as declared,
// so that the assembly names each as a library built with the Microsoft
// toolchain exports it.
#include "vorn/services.h"

char* VORN_CALL VornServices::AllocateString(int32_t) { return nullptr; }
void VORN_CALL VornServices::FreeString(char*) {}
int32_t VORN_CALL VornServices::GetDLLVersionNumber(const char*, char*) { return 0; }
bool VORN_CALL VornServices::ReserveFortranLogicalUnit(int32_t) { return false; }
void VORN_CALL VornServices::FreeFortranLogicalUnit(int32_t) {}
