# Type stubs of the extension module dalvex._core: the C++ interface as the
# package's own Python modules call it, after they have checked and converted
# the user's arguments. Not a public interface: use dalvex.ldl,
# dalvex.least_squares and dalvex.root.
from typing import Any, Callable, Dict, List, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str

def metis_available() -> bool: ...

class LDLT:
    def __init__(self, ordering: str, elimination_order: List[int], pivot_threshold: float,
                 zero_pivot_tolerance: float) -> None: ...
    # layout "csc" (starts, row indices), "csr" (starts, column indices) or
    # "coo" (rows, columns), indices of one dtype, int32 or int64; values
    # float64; triangle "lower", "upper" or "both". Returns "success" or
    # "singular".
    def factorize(self, n: int, layout: str, first: npt.NDArray[np.integer],
                  second: npt.NDArray[np.integer], values: npt.NDArray[np.float64],
                  triangle: str) -> str: ...
    # b: float64, Fortran order, shape (n, k), overwritten by the solutions.
    # Returns (refinement steps, scaled residual, seconds).
    def solve(self, b: npt.NDArray[np.float64], refinement_steps: int,
              compute_residual: bool) -> Tuple[int, float, float]: ...
    @property
    def status(self) -> str: ...
    @property
    def order(self) -> int: ...
    @property
    def rank(self) -> int: ...
    @property
    def inertia(self) -> Tuple[int, int, int]: ...
    def log_determinant(self) -> Tuple[float, float]: ...
    def statistics(self) -> Dict[str, Union[int, float, str]]: ...

# The row of each entry of a pattern in compressed rows (or its column, in
# compressed columns), from the starts (int32 or int64, from 0, not
# decreasing).
def compressed_majors(
        starts: Union[npt.NDArray[np.int32], npt.NDArray[np.int64]]) -> npt.NDArray[np.int32]: ...

# A canonical compressed pattern (starts from 0; each row's indices strictly
# increasing; both int32 or both int64) as copies of its starts and indices
# with the row of each entry (as compressed_majors); None for any other.
def canonical_pattern(
        starts: npt.NDArray[np.integer], indices: npt.NDArray[np.integer]
) -> Optional[Tuple[npt.NDArray[np.integer], npt.NDArray[np.integer], npt.NDArray[np.int32]]]: ...

# Whether two contiguous vectors of one dtype (integer or float64) hold
# equal elements, as numpy.array_equal.
def equal(a: npt.NDArray[Any], b: npt.NDArray[Any]) -> bool: ...

# max |v_i| of a nonempty contiguous float64 vector (NaN when one is NaN).
def largest_magnitude(v: npt.NDArray[np.float64]) -> float: ...

# SciPy's termination tests (ftol, xtol, gtol; 0 disables one), made after
# each step; `gradient` asks for the optimality at each point even without
# gtol. Held over the runs of one solve: the steps tried and the status a
# test met (or -2, the callback's stop).
class TerminationTests:
    steps: int  # read only
    status: Optional[int]  # read only
    seconds: float  # read only: wall-clock seconds in the tests, this run
    def __init__(self, ftol: float, xtol: float, gtol: float, gradient: bool) -> None: ...

# One solve from x (float64, overwritten by the final point). residuals(x)
# and jacobian(x) return float64 arrays of m values and of one value per
# pattern entry (rows[k], columns[k]); jacobian None: differences. start:
# [x0, f0, j0], their evaluations at x (x0 equal to it; j0 None with
# differences), which serve the first evaluations there (the list's items
# are taken, set to None). After
# each step, the tests, then on_step(step, cost, cost reduction, step norm,
# optimality or None, Marquardt parameter, x, status of a test met or None),
# which returns True to stop. Returns the summary, the residuals, the
# Jacobian values and the gradient Jᵀf (None when the tests did not make it
# there) at the final point.
def least_squares(
    m: int, n: int, rows: npt.NDArray[np.int32], columns: npt.NDArray[np.int32],
    residuals: Callable[[npt.NDArray[np.float64]], npt.NDArray[np.float64]],
    jacobian: Optional[Callable[[npt.NDArray[np.float64]], npt.NDArray[np.float64]]],
    x: npt.NDArray[np.float64], start: List[Optional[npt.NDArray[np.float64]]],
    options: Dict[str, Union[int, float, bool]],
    tests: TerminationTests,
    on_step: Optional[Callable[[int, float, float, float, Optional[float], float,
                                npt.NDArray[np.float64], Optional[int]], bool]],
    on_log: Optional[Callable[[str], None]],
) -> Tuple[Dict[str, Union[int, float, bool, str]], npt.NDArray[np.float64],
           npt.NDArray[np.float64], Optional[npt.NDArray[np.float64]]]: ...
