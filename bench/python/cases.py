"""Problems of the Python benchmarks: symmetric indefinite saddle-point
matrices on 2D and 3D grids, Bratu's 2D problem and Broyden's tridiagonal
function (those two from the tests' problems.py)."""

import os
import sys

import numpy as np
import scipy.sparse as sp

# Bratu's problem and Broyden's tridiagonal function as the tests have them.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "python"))
from problems import Bratu, BroydenTridiagonal  # noqa: E402


def laplacian(N: int, d: int) -> sp.csr_matrix:
    """The (2d+1)-point Laplacian on an N^d grid, Dirichlet boundary."""
    T = sp.diags([-1.0, 2.0, -1.0], [-1, 0, 1], shape=(N, N), format="csr")
    I = sp.identity(N, format="csr")
    A = sp.csr_matrix((N ** d, N ** d))
    for k in range(d):
        term = None
        for j in range(d):
            factor = T if j == k else I
            term = factor if term is None else sp.kron(term, factor, format="csr")
        A = A + term
    return A.tocsr()


def coarse_average(N: int, d: int) -> sp.csr_matrix:
    """Averages over the 2^d fine nodes of each coarse cell (N even): a
    structured constraint matrix of full row rank."""
    R = sp.kron(sp.identity(N // 2), np.ones((1, 2)) / 2, format="csr")
    B = R
    for _ in range(d - 1):
        B = sp.kron(B, R, format="csr")
    return B


def saddle_point(N: int, d: int) -> sp.csc_matrix:
    """[[A, Bᵀ], [B, 0]]: A the Laplacian on N^d, B the coarse-cell averages:
    the KKT matrix of a Poisson problem with coarse constraints, symmetric
    indefinite with N^d positive and (N/2)^d negative eigenvalues."""
    A = laplacian(N, d)
    B = coarse_average(N, d)
    return sp.bmat([[A, B.T], [B, None]], format="csc")


# Grid sizes giving about 10⁴, 10⁵ and 10⁶ unknowns ((1 + 2^-d) N^d).
SADDLE_SIZES = {
    "2d-1e4": (94, 2), "2d-1e5": (284, 2), "2d-1e6": (896, 2),
    "3d-1e4": (20, 3), "3d-1e5": (44, 3), "3d-1e6": (96, 3),
}


def problem(name: str):
    kind, size = name.split("-")
    if kind == "bratu":
        return Bratu(int(size))
    if kind == "broyden":
        return BroydenTridiagonal(int(size))
    raise ValueError(name)
