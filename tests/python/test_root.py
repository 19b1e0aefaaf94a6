"""dalvex.root in scipy.optimize.root's conventions, against known roots and SciPy."""

import numpy as np
import pytest
import scipy.optimize as so
import scipy.sparse as sp

import dalvex
from problems import Bratu, BroydenTridiagonal


def test_scipy_documentation_example():
    def fun(x):
        return [x[0] + 0.5 * (x[0] - x[1]) ** 3 - 1.0, 0.5 * (x[1] - x[0]) ** 3 + x[1]]

    def jac(x):
        return np.array([[1 + 1.5 * (x[0] - x[1]) ** 2, -1.5 * (x[0] - x[1]) ** 2],
                         [-1.5 * (x[1] - x[0]) ** 2, 1 + 1.5 * (x[1] - x[0]) ** 2]])

    reference = so.root(fun, [0, 0], jac=jac, method="hybr").x
    for kind in (jac, True, None):
        f = (lambda x: (fun(x), jac(x))) if kind is True else fun
        sol = dalvex.root(f, [0, 0], jac=kind)
        assert sol.success, sol.message
        assert np.allclose(sol.x, reference, rtol=0, atol=1e-10)
        assert np.max(np.abs(fun(sol.x))) <= 1.49012e-08
        assert sol.njev == (None if kind is None else sol.njev) and sol.nfev >= 1


@pytest.mark.parametrize("jac", ["analytic", "differences"])
def test_large_sparse_systems(jac):
    for problem in (BroydenTridiagonal(5000), Bratu(40)):
        sol = dalvex.root(problem.fun, problem.x0,
                          jac=problem.jac if jac == "analytic" else None,
                          jac_sparsity=problem.sparsity, tol=1e-10)
        assert sol.success, sol.message
        assert np.max(np.abs(problem.fun(sol.x))) <= 1e-10
        assert sp.issparse(sol.jac)


def test_a_minimum_that_is_no_root_is_no_success():
    # x^2 + 1 has no real root; the sum of squares is least at x = 0.
    sol = dalvex.root(lambda x: x ** 2 + 1.0, [1.0], jac=lambda x: np.diag(2 * x))
    assert not sol.success and abs(sol.x[0]) < 1e-6
    assert "not a root" in sol.message


def test_options_and_tol():
    problem = BroydenTridiagonal(100)
    sol = dalvex.root(problem.fun, problem.x0, jac=problem.jac, options={"maxfev": 2})
    assert not sol.success and sol.status == 0
    with pytest.warns(so.OptimizeWarning, match="Unknown solver options: bogus"):
        dalvex.root(problem.fun, problem.x0, jac=problem.jac, options={"bogus": 1})
    loose = dalvex.root(problem.fun, problem.x0, jac=problem.jac, tol=1e-3)
    assert loose.success and np.max(np.abs(loose.fun)) <= 1e-3


ERRORS = [
    ("not square", dict(fun=lambda x: np.r_[x, x]), ValueError, "as many equations"),
    ("method", dict(method="hybr"), NotImplementedError, "scipy.optimize.root"),
    ("callback", dict(callback=print), NotImplementedError, "dalvex.least_squares"),
    ("option diag", dict(options={"diag": [1, 1]}), NotImplementedError, "omit diag"),
    ("jac", dict(jac="2-point"), ValueError, "bool or a callable"),
    ("jac=True single", dict(jac=True), ValueError, "pair"),
]


@pytest.mark.parametrize("change, error, words", [e[1:] for e in ERRORS], ids=[e[0] for e in ERRORS])
def test_bad_arguments_raise_a_clear_error(change, error, words):
    arguments = dict(fun=lambda x: x - 1.0, x0=[0.0, 0.0])
    arguments.update(change)
    with pytest.raises(error) as raised:
        dalvex.root(**arguments)
    assert words in str(raised.value)
