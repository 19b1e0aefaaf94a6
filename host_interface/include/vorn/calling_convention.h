/* The calling convention of the host interfaces, in one place, for C and C++.
 *
 * Every slot of every face, every service of the services library and the
 * module's entry use it: __stdcall on 32-bit Windows, where the hosts run
 * (the callee removes its arguments from the stack, and linker symbols carry
 * the argument size, "Name@8"); the platform's default convention elsewhere. */
#ifndef VORN_CALLING_CONVENTION_H
#define VORN_CALLING_CONVENTION_H

#if defined(_WIN32) && !defined(_WIN64)
#define VORN_CALL __stdcall
#else
#define VORN_CALL
#endif

#endif
