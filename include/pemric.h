/* The numeric routines of the solver, callable from C, C++ and Fortran
 * (bind(C)): every argument by reference, arrays indexed from 1 in the
 * positions each routine documents, signed 32-bit integers. */
#ifndef PEMRIC_H
#define PEMRIC_H

#include "pemric/common.h"
#include "pemric/mc59.h"
#include "pemric/ma57.h"
#include "pemric/ns23.h"

#endif
