// Constructors of the individual problems; the registry lists them by name.
#ifndef PROBLEMS_SRC_CATALOGUE_H
#define PROBLEMS_SRC_CATALOGUE_H

#include <cstdint>
#include <memory>

#include "problems/problem.h"

namespace problems {

// Classic small systems (Moré, Garbow and Hillstrom, ACM TOMS 7, 1981).
std::unique_ptr<Problem> MakeRosenbrock();
std::unique_ptr<Problem> MakePowellSingular();
std::unique_ptr<Problem> MakeHelicalValley();
std::unique_ptr<Problem> MakeChebyquad(int32_t n);
std::unique_ptr<Problem> MakeBroydenTridiagonal(int32_t n);
std::unique_ptr<Problem> MakeBroydenBanded(int32_t n);
std::unique_ptr<Problem> MakeDiscreteBoundaryValue(int32_t n);

// Over-determined data fitting with published least sums of squares.
std::unique_ptr<Problem> MakeKowalikOsborne();
std::unique_ptr<Problem> MakeOsborne1();

// Large sparse: the 2D Bratu problem on an n x n interior grid.
std::unique_ptr<Problem> MakeBratu2D(int32_t n, double lambda);

// Process model: `tanks` stirred-tank reactors in series, then a flash drum.
std::unique_ptr<Problem> MakeReactorFlash(int32_t tanks);

}  // namespace problems

#endif  // PROBLEMS_SRC_CATALOGUE_H
