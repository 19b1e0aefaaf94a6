"""Dalvex: a sparse LDLᵀ factorization with its inertia, and sparse nonlinear
least squares, in NumPy's and SciPy's conventions.

Functions
---------
ldl
    Factorize a sparse symmetric (indefinite) matrix: the factor solves,
    gives the inertia and the log-determinant, and refactorizes new values
    on the same pattern.
least_squares
    Minimise a sum of squares with a sparse Jacobian (Levenberg-Marquardt),
    as scipy.optimize.least_squares is called.
root
    Solve a square sparse nonlinear system, as scipy.optimize.root is called.

The numerical work runs in C++ with the GIL released. See docs/python.md
for worked examples.
"""

from ._core import __version__, metis_available
from ._ldl import Factor, FactorStats, Inertia, ldl
from ._least_squares import least_squares
from ._root import root

__all__ = ["ldl", "Factor", "FactorStats", "Inertia", "least_squares", "root",
           "metis_available", "__version__"]

# Shown as dalvex.Factor, dalvex.ldl, ... in help() and tracebacks.
for _public in (ldl, Factor, FactorStats, Inertia, least_squares, root):
    _public.__module__ = __name__
del _public
