"""Test problems for the Python package, written independently of the library.

Small dense least-squares problems with published least sums of squares
(Moré, Garbow and Hillstrom, "Testing unconstrained optimization software",
ACM TOMS 7, 1981), and large sparse systems (Bratu's 2D problem, Broyden's
tridiagonal function) with their Jacobians.
"""

from typing import Callable, NamedTuple, Sequence

import numpy as np
import scipy.sparse as sp


class Published(NamedTuple):
    name: str
    fun: Callable  # accepts complex x, for complex-step Jacobians
    x0: Sequence[float]
    minima: Sequence[float]  # published least sums of squares (local ones too)


def complex_step_jacobian(fun: Callable, x: np.ndarray) -> np.ndarray:
    """J[:, j] = Im f(x + i h e_j) / h: exact to rounding for analytic f."""
    h = 1e-30
    columns = []
    for j in range(x.size):
        z = x.astype(complex)
        z[j] += 1j * h
        columns.append(np.imag(fun(z)) / h)
    return np.column_stack(columns)


def _i(m):
    return np.arange(1, m + 1, dtype=float)


def _helical(x):
    theta = np.arctan(x[1] / x[0]) / (2 * np.pi) + (0.5 if np.real(x[0]) < 0 else 0.0)
    return np.array([10 * (x[2] - 10 * theta), 10 * (np.sqrt(x[0] ** 2 + x[1] ** 2) - 1), x[2]])


_BARD_Y = np.array([0.14, 0.18, 0.22, 0.25, 0.29, 0.32, 0.35, 0.39, 0.37, 0.58, 0.73, 0.96,
                    1.34, 2.10, 4.39])
_GAUSS_Y = np.array([.0009, .0044, .0175, .0540, .1295, .2420, .3521, .3989, .3521, .2420,
                     .1295, .0540, .0175, .0044, .0009])
_KO_Y = np.array([0.1957, 0.1947, 0.1735, 0.1600, 0.0844, 0.0627, 0.0456, 0.0342, 0.0323,
                  0.0235, 0.0246])
_KO_U = np.array([4.0, 2.0, 1.0, 0.5, 0.25, 0.167, 0.125, 0.100, 0.0833, 0.0714, 0.0625])
_OS1_Y = np.array([0.844, 0.908, 0.932, 0.936, 0.925, 0.908, 0.881, 0.850, 0.818, 0.784,
                   0.751, 0.718, 0.685, 0.658, 0.628, 0.603, 0.580, 0.558, 0.538, 0.522,
                   0.506, 0.490, 0.478, 0.467, 0.457, 0.448, 0.438, 0.431, 0.424, 0.420,
                   0.414, 0.411, 0.406])
_MEYER_Y = np.array([34780, 28610, 23650, 19630, 16370, 13720, 11540, 9744, 8261, 7030,
                     6005, 5147, 4427, 3820, 3307, 2872], dtype=float)


def _bard(x):
    u = _i(15)
    v = 16 - u
    w = np.minimum(u, v)
    return _BARD_Y - (x[0] + u / (v * x[1] + w * x[2]))


def _box3d(x):
    t = 0.1 * _i(10)
    return np.exp(-t * x[0]) - np.exp(-t * x[1]) - x[2] * (np.exp(-t) - np.exp(-10 * t))


def _biggs(x):
    t = 0.1 * _i(13)
    y = np.exp(-t) - 5 * np.exp(-10 * t) + 3 * np.exp(-4 * t)
    return x[2] * np.exp(-t * x[0]) - x[3] * np.exp(-t * x[1]) + x[5] * np.exp(-t * x[4]) - y


def _brown_dennis(x):
    t = _i(20) / 5
    return (x[0] + t * x[1] - np.exp(t)) ** 2 + (x[2] + x[3] * np.sin(t) - np.cos(t)) ** 2


PUBLISHED = [
    Published("rosenbrock", lambda x: np.array([10 * (x[1] - x[0] ** 2), 1 - x[0]]),
              [-1.2, 1.0], [0.0]),
    Published("freudenstein_roth",
              lambda x: np.array([-13 + x[0] + ((5 - x[1]) * x[1] - 2) * x[1],
                                  -29 + x[0] + ((x[1] + 1) * x[1] - 14) * x[1]]),
              [0.5, -2.0], [0.0, 48.9842]),
    Published("powell_badly_scaled",
              lambda x: np.array([1e4 * x[0] * x[1] - 1, np.exp(-x[0]) + np.exp(-x[1]) - 1.0001]),
              [0.0, 1.0], [0.0]),
    Published("brown_badly_scaled",
              lambda x: np.array([x[0] - 1e6, x[1] - 2e-6, x[0] * x[1] - 2]), [1.0, 1.0], [0.0]),
    Published("beale", lambda x: np.array([1.5, 2.25, 2.625]) - x[0] * (1 - x[1] ** _i(3)),
              [1.0, 1.0], [0.0]),
    Published("jennrich_sampson",
              lambda x: 2 + 2 * _i(10) - (np.exp(_i(10) * x[0]) + np.exp(_i(10) * x[1])),
              [0.3, 0.4], [124.362]),
    Published("helical_valley", _helical, [-1.0, 0.0, 0.0], [0.0]),
    Published("bard", _bard, [1.0, 1.0, 1.0], [8.21487e-3, 17.4286]),
    Published("gaussian",
              lambda x: x[0] * np.exp(-x[1] * ((8 - _i(15)) / 2 - x[2]) ** 2 / 2) - _GAUSS_Y,
              [0.4, 1.0, 0.0], [1.12793e-8]),
    Published("meyer",
              lambda x: x[0] * np.exp(x[1] / (45 + 5 * _i(16) + x[2])) - _MEYER_Y,
              [0.02, 4000.0, 250.0], [87.9458]),
    Published("box_3d", _box3d, [0.0, 10.0, 20.0], [0.0]),
    Published("powell_singular",
              lambda x: np.array([x[0] + 10 * x[1], np.sqrt(5) * (x[2] - x[3]),
                                  (x[1] - 2 * x[2]) ** 2, np.sqrt(10) * (x[0] - x[3]) ** 2]),
              [3.0, -1.0, 0.0, 1.0], [0.0]),
    Published("wood",
              lambda x: np.array([10 * (x[1] - x[0] ** 2), 1 - x[0],
                                  np.sqrt(90) * (x[3] - x[2] ** 2), 1 - x[2],
                                  np.sqrt(10) * (x[1] + x[3] - 2), (x[1] - x[3]) / np.sqrt(10)]),
              [-3.0, -1.0, -3.0, -1.0], [0.0]),
    Published("kowalik_osborne",
              lambda x: _KO_Y - x[0] * (_KO_U ** 2 + _KO_U * x[1]) / (_KO_U ** 2 + _KO_U * x[2] + x[3]),
              [0.25, 0.39, 0.415, 0.39], [3.07505e-4]),
    Published("brown_dennis", _brown_dennis, [25.0, 5.0, -5.0, -1.0], [85822.2]),
    Published("osborne_1",
              lambda x: _OS1_Y - (x[0] + x[1] * np.exp(-10 * (_i(33) - 1) * x[3])
                                  + x[2] * np.exp(-10 * (_i(33) - 1) * x[4])),
              [0.5, 1.5, -1.0, 0.01, 0.02], [5.46489e-5]),
    Published("biggs_exp6", _biggs, [1.0, 2.0, 1.0, 1.0, 1.0, 1.0], [0.0, 5.65565e-3]),
]


def solved(sum_of_squares: float, minima: Sequence[float]) -> bool:
    """Whether a sum of squares reaches a published minimum (to its 6 digits)."""
    return any(sum_of_squares <= s * (1 + 1e-5) + 1e-10 for s in minima)


# Bratu's problem on the unit square: -Δu - λ exp(u) = 0, u = 0 on the
# boundary, five-point differences on an N-by-N interior grid (h = 1/(N+1)),
# scaled by h²: F(u) = L u - h² λ exp(u), L the five-point Laplacian.
def bratu_laplacian(N: int) -> sp.csr_matrix:
    T = sp.diags([-1.0, 2.0, -1.0], [-1, 0, 1], shape=(N, N))
    I = sp.identity(N)
    return (sp.kron(I, T) + sp.kron(T, I)).tocsr()


class Bratu:
    def __init__(self, N: int, lam: float = 5.0) -> None:
        self.L = bratu_laplacian(N)
        self.c = lam / (N + 1) ** 2
        self.x0 = np.zeros(N * N)

    def fun(self, u):
        return self.L @ u - self.c * np.exp(u)

    def jac(self, u):
        return (self.L - sp.diags(self.c * np.exp(u))).tocsr()

    @property
    def sparsity(self):
        return self.L != 0


# Broyden's tridiagonal function: f_i = (3 - 2 x_i) x_i - x_{i-1} - 2 x_{i+1} + 1.
class BroydenTridiagonal:
    def __init__(self, n: int) -> None:
        self.n = n
        self.x0 = -np.ones(n)

    def fun(self, x):
        f = (3 - 2 * x) * x + 1
        f[1:] -= x[:-1]
        f[:-1] -= 2 * x[1:]
        return f

    def jac(self, x):
        n = self.n
        return sp.diags([-np.ones(n - 1), 3 - 4 * x, -2 * np.ones(n - 1)], [-1, 0, 1], format="csr")

    @property
    def sparsity(self):
        return sp.diags([1, 1, 1], [-1, 0, 1], shape=(self.n, self.n), format="csr")
