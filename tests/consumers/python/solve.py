"""The installed Python package as its users import it: from the
installation given (not a build tree), solving a small indefinite system
and a small least-squares problem.

Usage: /usr/bin/python3 solve.py PREFIX   (with the package's folder below
PREFIX on PYTHONPATH unless PREFIX is /usr)
"""
import os
import sys

import numpy as np
import scipy.sparse as sp

import dalvex

prefix = os.path.realpath(sys.argv[1])
where = os.path.realpath(dalvex.__file__)
if not where.startswith(prefix + os.sep):
    sys.exit(f"dalvex imported from {where}, not from the installation in {prefix}")

n = 50
A = sp.diags([np.r_[np.ones(n - 10), -np.ones(10)], 0.25 * np.ones(n - 1)], [0, 1], format="csc")
A = A + sp.triu(A, 1).T
F = dalvex.ldl(A)
b = np.arange(n, dtype=float)
if np.max(np.abs(A @ F(b) - b)) > 1e-12 or F.inertia.negative != 10:
    sys.exit(f"ldl: inertia {F.inertia}, residual {np.max(np.abs(A @ F(b) - b))}")

res = dalvex.least_squares(lambda x: np.array([10 * (x[1] - x[0] ** 2), 1 - x[0]]), [-1.2, 1.0])
if not (res.success and np.allclose(res.x, [1.0, 1.0])):
    sys.exit(f"least_squares: {res.message} at {res.x}")
print(f"python consumer: dalvex {dalvex.__version__} from {os.path.dirname(where)}")
