"""Roots of square sparse nonlinear systems in SciPy's conventions: :func:`root`."""

from __future__ import annotations

import warnings
from typing import Any, Callable, Mapping, Optional, Sequence

import numpy as np
from scipy.optimize import OptimizeResult, OptimizeWarning

from ._jacobian import largest_magnitude
from ._least_squares import _budget, _solve, _start, _tolerance

__all__ = ["root"]

_SQRT_EPS = float(np.sqrt(np.finfo(float).eps))
_KNOWN = ("xtol", "ftol", "gtol", "fatol", "maxiter", "maxfev")
_UNSUPPORTED = {
    "col_deriv": "the Jacobian's layout comes from its sparse format; omit col_deriv",
    "eps": "the difference Jacobian chooses and refines each variable's step itself; omit eps",
    "factor": "the first step bound is the method's own; omit factor",
    "diag": "the method scales by the Jacobian's columns itself; omit diag",
}


class _Combined:
    """fun returning (f, J) as two functions, evaluating once per point."""

    def __init__(self, fun: Callable) -> None:
        self._fun = fun
        self._x: Optional[np.ndarray] = None
        self._jacobian: Any = None

    def _evaluate(self, x: np.ndarray, *args: Any) -> Any:
        result = self._fun(x, *args)
        if not (isinstance(result, tuple) and len(result) == 2):
            raise ValueError("with jac=True, fun must return a pair (f, jacobian)")
        self._x, self._jacobian = np.array(x, copy=True), result[1]
        return result[0]

    def fun(self, x: np.ndarray, *args: Any) -> Any:
        return self._evaluate(x, *args)

    def jac(self, x: np.ndarray, *args: Any) -> Any:
        if self._x is None or not np.array_equal(self._x, x):
            self._evaluate(x, *args)
        return self._jacobian


def root(fun: Callable, x0: Any, args: Sequence = (), method: str = "lm", jac: Any = None,
         tol: Optional[float] = None, callback: Optional[Callable] = None,
         options: Optional[Mapping[str, Any]] = None, *,
         jac_sparsity: Any = None) -> OptimizeResult:
    """Find a root of a square system of nonlinear equations with a sparse Jacobian.

    Solves ``fun(x) = 0`` for n equations in n unknowns by the sparse
    Levenberg-Marquardt method of :func:`dalvex.least_squares`, in the
    calling convention of :func:`scipy.optimize.root`.

    Parameters
    ----------
    fun : callable
        ``fun(x, *args)`` returns the n residuals at x (or, with
        ``jac=True``, the pair (residuals, Jacobian)).
    x0 : array_like, shape (n,)
        The starting point, finite.
    args : tuple, optional
        Extra arguments of `fun` and `jac`.
    method : {'lm'}, optional
        The one method; others raise NotImplementedError.
    jac : bool or callable, optional
        A callable ``jac(x, *args)`` returns the Jacobian as a SciPy sparse
        matrix or a dense array; True: `fun` returns it with the residuals;
        None or False (default): differences on `jac_sparsity`.
    tol : float, optional
        The residual tolerance, the option ``fatol`` when not given.
    callback : None
        Not supported (nor by SciPy's 'lm'): pass it to
        :func:`dalvex.least_squares`.
    options : dict, optional
        ``fatol``: a root is a point where the largest |f_i| is at most this
        (default ``1.49012e-08 * max(1, max|fun(x0)|)``), and the solve ends
        there; ``maxfev`` (or ``maxiter``): the budget of residual
        evaluations (default ``100 * (n + 1)`` with a Jacobian function, else
        ``100 * n * (n + 1)``); ``xtol``, ``ftol``, ``gtol``: the tests of
        :func:`dalvex.least_squares`, off by default (0): the solve ends at
        a root, or where the method can make no further progress, which
        ends short of a root anyway. (A step test ends a solve early when a
        difference Jacobian makes the last steps short.)
    jac_sparsity : {None, array_like, sparse matrix}, optional
        The Jacobian's pattern, as for :func:`dalvex.least_squares`.

    Returns
    -------
    OptimizeResult
        ``x``, ``success``, ``status``, ``message``, ``fun``, ``jac`` (a
        sparse matrix), ``nfev``, ``njev``, ``nit``, ``marquardt_parameter``,
        ``termination``. ``success`` means a root: unlike SciPy's 'lm', a
        stop at a minimum of the sum of squares that is not a root (largest
        |f_i| above ``fatol``) is no success, and the message says so.
        ``status`` is that of :func:`dalvex.least_squares`.

    Raises
    ------
    ValueError
        Bad arguments, as :func:`dalvex.least_squares`; and a system that is
        not square.
    NotImplementedError
        Methods other than 'lm', a callback, and options of SciPy's 'lm'
        that the method does not take.

    Examples
    --------
    >>> import numpy as np, dalvex
    >>> sol = dalvex.root(lambda x: [x[0] + 0.5 * (x[0] - x[1]) ** 3 - 1.0,
    ...                              0.5 * (x[1] - x[0]) ** 3 + x[1]], [0.0, 0.0])
    >>> sol.success, np.round(sol.x, 6)
    (True, array([0.841164, 0.158836]))
    """
    if method != "lm":
        raise NotImplementedError(
            f"method={method!r} is not available: dalvex.root has one method, a sparse "
            "Levenberg-Marquardt ('lm'); omit method, or call scipy.optimize.root for the others")
    if callback is not None:
        raise NotImplementedError("callback is not supported by root (nor by SciPy's 'lm'): call "
                                  "dalvex.least_squares(fun, x0, callback=...) instead")
    options = dict(options or {})
    for name, advice in _UNSUPPORTED.items():
        if name in options:
            raise NotImplementedError(f"option {name!r} is not supported: {advice}")
    unknown = sorted(set(options) - set(_KNOWN))
    if unknown:
        warnings.warn(f"Unknown solver options: {', '.join(unknown)}", OptimizeWarning, stacklevel=2)
    if tol is not None:
        options.setdefault("fatol", tol)

    if jac is True:
        combined = _Combined(fun)
        fun, jac_function = combined.fun, combined.jac
    elif jac is None or jac is False:
        jac_function = None
    elif callable(jac):
        jac_function = jac
    else:
        raise ValueError(f"jac must be a bool or a callable; got {jac!r}")
    problem, _ = _start(fun, x0, jac_function, args, {}, jac_sparsity)
    if problem.m != problem.n:
        raise ValueError(f"root needs as many equations as unknowns; fun returned {problem.m} "
                         f"residuals for {problem.n} unknowns (dalvex.least_squares takes more "
                         "residuals than unknowns)")

    scale = max(1.0, problem.largest_f0)
    fatol = _tolerance(options.get("fatol", _SQRT_EPS * scale), "fatol")
    given = options.get("maxfev", options.get("maxiter"))
    if given is None or given == 0:
        n = problem.n
        budget = min(100 * (n + 1) if jac_function is not None else 100 * n * (n + 1), 2**31 - 1)
    else:
        budget = _budget(given, "maxfev", problem.n, jac_function is None)
    result, summary = _solve(
        problem, budget, residual_tolerance=fatol,
        ftol=_tolerance(options.get("ftol", 0.0), "ftol"),
        xtol=_tolerance(options.get("xtol", 0.0), "xtol"),
        gtol=_tolerance(options.get("gtol", 0.0), "gtol"), verbose=0, callback=None,
        gradient=False)

    largest = largest_magnitude(result.fun)
    success = largest <= fatol
    message = result.message
    if summary["reason"] == "residual_tolerance":
        message = "A root was found: the largest residual fell to `fatol`."
    elif result.status > 0 and not success:
        message = (f"{message} The point is not a root: the largest |f| is {largest:.3e}, above "
                   f"`fatol` {fatol:.3e} (a minimum of the sum of squares, or a point the method "
                   "cannot improve on); try another x0.")
    return OptimizeResult(x=result.x, success=success, status=result.status, message=message,
                          fun=result.fun, jac=result.jac, nfev=result.nfev, njev=result.njev,
                          nit=result.nit, marquardt_parameter=result.marquardt_parameter,
                          termination=result.termination)
