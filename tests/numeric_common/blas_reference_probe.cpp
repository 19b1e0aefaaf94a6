// Prints the results of the BLAS cases, computed with the reference BLAS, one
// hexadecimal floating-point number per line.
#include <cstdio>

#include "blas_cases.h"

int main() {
  for (double v : blascases::Compute()) std::printf("%a\n", v);
  return 0;
}
