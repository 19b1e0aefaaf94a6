"""Sparse nonlinear least squares in SciPy's conventions: :func:`least_squares`."""

from __future__ import annotations

import inspect
import math
from typing import Any, Callable, Dict, Mapping, Optional, Sequence, Tuple

import numpy as np
from scipy.optimize import Bounds, OptimizeResult

from . import _core
from ._jacobian import JacobianPattern, OutsidePattern, largest_magnitude

__all__ = ["least_squares"]

_INT32_MAX = 2**31 - 1

# SciPy's meanings of `status` where ours map onto them.
_MESSAGES = {
    -2: "`callback` raised `StopIteration`.",
    0: "The maximum number of function evaluations is exceeded.",
    1: "`gtol` termination condition is satisfied.",
    2: "`ftol` termination condition is satisfied.",
    3: "`xtol` termination condition is satisfied.",
    4: "Both `ftol` and `xtol` termination conditions are satisfied.",
}
_FAILURES = {
    "factorization_failed": "The shifted normal equations failed to factorize, with ever larger "
                            "shifts; the Jacobian may hold huge values.",
    "non_finite": "The residuals or the Jacobian are not finite at the current point.",
}


_FLOAT64 = np.dtype(np.float64)


def _vector(values: Any, what: str) -> np.ndarray:
    """A real vector as float64 (a copy only when it is not float64 already).

    A contiguous float64 vector, as functions mostly return, is taken as it
    is after a few attribute tests: between two steps of a large solve the
    caches hold nothing of NumPy's, and its general path (atleast_1d, then
    ascontiguousarray) costs tens of microseconds there."""
    if type(values) is np.ndarray and values.dtype is _FLOAT64 and values.ndim == 1 and \
            values.flags.c_contiguous:
        return values
    a = np.atleast_1d(values)
    if a.dtype.kind == "c":
        raise TypeError(f"{what} is complex; only real values are supported")
    if a.dtype.kind not in "biuf":
        raise TypeError(f"{what} has dtype {a.dtype}; a real numeric dtype is needed")
    if a.ndim > 1:
        raise ValueError(f"{what} must have at most one dimension; got shape {a.shape}")
    return np.ascontiguousarray(a, dtype=np.float64)


def _tolerance(value: Optional[float], name: str) -> float:
    """A termination tolerance; None or 0 disables its test."""
    if value is None:
        return 0.0
    value = float(value)
    if not (math.isfinite(value) and value >= 0.0):
        raise ValueError(f"`{name}` must be a finite number at least 0, or None; got {value}")
    return value


class _Problem:
    """The user's functions as the solver calls them.

    The start point's residuals and Jacobian, evaluated first to learn the
    sizes and the pattern, serve the solver's first requests, so that the
    user's functions run once per point; the user's calls are counted.

    A pattern taken from the first Jacobian may miss entries that were zero
    there; a later Jacobian with nonzeros outside it ends the solver's run
    (PatternGrew), and the solve goes on from the best point on the union of
    the two patterns (:meth:`restart`). x0, a copy of the caller's, is the
    start, and then the solver's point."""

    def __init__(self, fun: Callable, jac: Optional[Callable], x0: np.ndarray,
                 args: Sequence, kwargs: Mapping, jac_sparsity: Any) -> None:
        self._fun, self._jac, self._args, self._kwargs = fun, jac, tuple(args), dict(kwargs)
        self.nfev = self.njev = 0
        f0 = self._call_fun(x0.copy(), "the residuals fun returned")
        # The start's residuals go to the solver as the only reference to
        # them, so that it may keep them without a copy; these two remain.
        self.largest_f0 = largest_magnitude(f0)  # max |fun(x0)|, not finite when one is not
        if not math.isfinite(self.largest_f0):
            raise ValueError("Residuals are not finite in the initial point.")
        self.initial_cost = 0.5 * float(f0 @ f0)
        self.m, self.n = f0.size, x0.size
        shape = (self.m, self.n)
        if jac is None:
            self.pattern = (JacobianPattern.dense(shape, "the dense default") if jac_sparsity is None
                            else JacobianPattern.of_sparsity(jac_sparsity, shape))
            J0 = None
        else:
            J0 = self._call_jac(x0.copy())
            if jac_sparsity is None:
                self.pattern, j0 = JacobianPattern.of_jacobian(J0, shape)
            else:
                self.pattern = JacobianPattern.of_sparsity(jac_sparsity, shape)
                j0 = self.pattern.values(J0)
        self._start(x0, f0, None if J0 is None else j0)

    def _start(self, x: np.ndarray, f: np.ndarray, j: Optional[np.ndarray]) -> None:
        """The solver's next run starts at x (an array of the package's own,
        which the solver then overwrites), where f and j were evaluated."""
        self.x0 = x
        self._f0: Optional[np.ndarray] = f  # the residuals at x0, until the solver takes them
        self._j0: Optional[np.ndarray] = j  # the Jacobian's values there; None with differences

    def take_start(self) -> list:
        """[x0, f0, j0] for the solver's run, which serves its first
        evaluations there from them (in the extension module, without a
        call into Python); the list's items become its only references."""
        start = [self.x0, self._f0, self._j0]
        self._f0 = self._j0 = None
        return start

    def restart(self, x: np.ndarray, J: Any) -> None:
        """The pattern grown by J's nonzeros, for a new run from x."""
        self.pattern = self.pattern.union(J)
        f = self._call_fun(x.copy(), "the residuals fun returned")
        self._start(x.copy(), f, self.pattern.values(self._call_jac(x.copy())))

    @property
    def analytic(self) -> bool:
        """Whether the Jacobian comes from the user's function."""
        return self._jac is not None

    def _call_fun(self, x: np.ndarray, what: str) -> np.ndarray:
        self.nfev += 1
        return _vector(self._fun(x, *self._args, **self._kwargs), what)

    def _call_jac(self, x: np.ndarray) -> Any:
        self.njev += 1
        return self._jac(x, *self._args, **self._kwargs)

    def residuals(self, x: np.ndarray) -> np.ndarray:
        f = self._call_fun(x, "the residuals fun returned")
        if f.size != self.m:
            raise ValueError(f"fun returned {f.size} residuals; at the start it returned {self.m}")
        return f

    def jacobian(self, x: np.ndarray) -> np.ndarray:
        J = self._call_jac(x)
        try:
            return self.pattern.values(J)
        except OutsidePattern as outside:
            if self.pattern.inferred:
                raise PatternGrew(J) from None
            raise ValueError(str(outside)) from None


class PatternGrew(Exception):
    """Ends a solver's run: the Jacobian has nonzeros outside a pattern
    inferred from an earlier one."""

    def __init__(self, J: Any) -> None:
        super().__init__("the Jacobian's pattern grew")
        self.jacobian = J


class _Monitor:
    """The iteration table of `verbose` and the user's callback, once per
    step the solver tries.

    SciPy's termination tests (those of its 'lm': `ftol`, `xtol`, `gtol`)
    are made in the extension module, after each step, by the
    `_core.TerminationTests` this monitor holds: a handful of passes over
    the residuals and the Jacobian's values, which as NumPy calls would cost
    as much as a step where the step is cheap. It keeps the count of steps
    and the status a test met over every run of the solver. Without a table
    or a callback, no Python runs between the evaluations at all.
    """

    def __init__(self, problem: _Problem, ftol: float, xtol: float, gtol: float,
                 verbose: int, callback: Optional[Callable]) -> None:
        self.problem, self.verbose, self.callback = problem, verbose, callback
        self._by_result = callback is not None and _takes_intermediate_result(callback)
        self.tests = _core.TerminationTests(ftol, xtol, gtol, gradient=bool(verbose))

    @property
    def steps(self) -> int:
        """Steps tried, over every run of the solver."""
        return self.tests.steps

    @property
    def status(self) -> Optional[int]:
        """SciPy's status when a test, or the callback, ended the solve."""
        return self.tests.status

    @property
    def hook(self) -> Optional[Callable]:
        """What the solver calls after each step, when anything is to be done there."""
        return self if self.verbose or self.callback is not None else None

    def start(self) -> None:
        """The table's head and its row for the start point."""
        if not self.verbose:
            return
        p = self.problem
        optimality = None
        if p._j0 is not None:
            g = p.pattern.gradient(p._j0, p._f0)
            optimality = float(np.max(np.abs(g))) if g.size else 0.0
        print(f"{'Iteration':^15}{'Total nfev':^15}{'Cost':^15}{'Cost reduction':^15}"
              f"{'Step norm':^15}{'Optimality':^15}{'Marquardt':^15}")
        self._row(0, 1, 0.5 * float(p._f0 @ p._f0), None, None, optimality, None)

    def __call__(self, iteration: int, cost: float, reduction: float, step: float,
                 optimality: Optional[float], lam: float, x: np.ndarray,
                 status: Optional[int]) -> bool:
        """One step tried: its row, then the callback unless a test ended the
        solve; True when the callback raised StopIteration."""
        if self.verbose:
            self._row(iteration, self.problem.nfev, cost, reduction, step, optimality, lam)
        return status is None and self.callback is not None and \
            self._callback(iteration, self.problem.nfev, cost, x)

    def _callback(self, iteration: int, evaluations: int, cost: float, x: np.ndarray) -> bool:
        """Calls the user's callback; True when it raised StopIteration."""
        try:
            if self._by_result:
                self.callback(intermediate_result=OptimizeResult(
                    x=x.copy(), cost=cost, nit=iteration, nfev=evaluations))
            else:
                self.callback(x.copy())
        except StopIteration:
            return True
        return False

    @staticmethod
    def _row(iteration: int, nfev: int, cost: float, reduction: Optional[float],
             step: Optional[float], optimality: Optional[float], lam: Optional[float]) -> None:
        def cell(v: Optional[float], spec: str) -> str:
            return f"{'':^15}" if v is None else f"{v:^15{spec}}"
        print(f"{iteration:^15}{nfev:^15}{cost:^15.4e}" + cell(reduction, ".2e") + cell(step, ".2e")
              + cell(optimality, ".2e") + cell(lam, ".2e"))


def _takes_intermediate_result(callback: Callable) -> bool:
    try:
        return list(inspect.signature(callback).parameters) == ["intermediate_result"]
    except (TypeError, ValueError):
        return False


def _default_max_nfev(n: int, difference: bool) -> int:
    return min(100 * n * (n + 1) if difference else 100 * n, _INT32_MAX)


def _check_unsupported(bounds: Any, method: str, x_scale: Any, loss: Any, diff_step: Any,
                       tr_solver: Any, tr_options: Mapping) -> None:
    if method != "lm":
        raise NotImplementedError(
            f"method={method!r} is not available: dalvex.least_squares has one method, a sparse "
            "Levenberg-Marquardt; omit method (or pass method='lm'), or call "
            "scipy.optimize.least_squares for 'trf' and 'dogbox'")
    lb, ub = (bounds.lb, bounds.ub) if isinstance(bounds, Bounds) else bounds
    if np.any(np.isfinite(np.asarray(lb, dtype=float))) or \
       np.any(np.isfinite(np.asarray(ub, dtype=float))):
        raise NotImplementedError(
            "bounds are not supported: the method is unconstrained. Transform the variables "
            "instead (for x > 0, solve for z with x = exp(z)), or call "
            "scipy.optimize.least_squares(method='trf') for bounds")
    if not (isinstance(loss, str) and loss == "linear"):
        raise NotImplementedError(
            f"loss={loss!r} is not supported: only the plain sum of squares (loss='linear') is "
            "minimised; for a robust loss, call scipy.optimize.least_squares(method='trf', "
            "loss=...), or weight the residuals in fun yourself")
    if isinstance(x_scale, str) or np.any(np.asarray(x_scale, dtype=float) != 1.0):
        raise NotImplementedError(
            "x_scale is not supported: to scale the variables, solve for z = x / x_scale "
            "(fun then takes z and computes x = z * x_scale)")
    if diff_step is not None:
        raise NotImplementedError(
            "diff_step is not supported: the difference Jacobian chooses and refines each "
            "variable's step itself; omit diff_step")
    if tr_solver not in (None, "exact") or tr_options:
        raise NotImplementedError(
            "tr_solver and tr_options are not supported: every step is solved exactly with a "
            "sparse LDLᵀ factorization; omit them")


def least_squares(fun: Callable, x0: Any, jac: Any = "2-point",
                  bounds: Any = (-np.inf, np.inf), method: str = "lm",
                  ftol: Optional[float] = 1e-8, xtol: Optional[float] = 1e-8,
                  gtol: Optional[float] = 1e-8, x_scale: Any = 1.0, loss: Any = "linear",
                  f_scale: float = 1.0, diff_step: Any = None, tr_solver: Any = None,
                  tr_options: Mapping = {}, jac_sparsity: Any = None,
                  max_nfev: Optional[int] = None, verbose: int = 0, args: Sequence = (),
                  kwargs: Mapping = {}, callback: Optional[Callable] = None) -> OptimizeResult:
    """Solve a nonlinear least-squares problem with a sparse Jacobian.

    Minimises ``0.5 * sum(fun(x)**2)`` by a Levenberg-Marquardt method whose
    steps come from a sparse LDLᵀ factorization of the shifted normal
    equations, so large sparse problems are solved exactly, step by step.
    The calling convention and the result are SciPy's
    (:func:`scipy.optimize.least_squares`); unlike SciPy's ``method='lm'``,
    sparse Jacobians and `jac_sparsity` are welcome.

    Parameters
    ----------
    fun : callable
        ``fun(x, *args, **kwargs)`` returns the m residuals (array_like, at
        most one dimension) at the n variables x, m >= n.
    x0 : array_like, shape (n,) or float
        The starting point, finite.
    jac : {'2-point', '3-point', callable}, optional
        A callable ``jac(x, *args, **kwargs)`` returns the m-by-n Jacobian as
        a SciPy sparse matrix (any format) or a dense array. ``'2-point'``
        (default) or ``'3-point'``: a Jacobian by differences, grouping the
        columns that share no row (one evaluation per group), one-sided and
        two-sided as the progress asks, with steps refined per variable.
    bounds, x_scale, loss, f_scale, diff_step, tr_solver, tr_options
        SciPy's; only their defaults are supported (`f_scale` only matters
        with another loss): other values raise NotImplementedError saying
        what to do instead.
    method : {'lm'}, optional
        The one method; others raise NotImplementedError.
    ftol, xtol, gtol : float or None, optional
        Termination tolerances (default 1e-8; None or 0 disables a test),
        tested after each step: ``ftol`` on the relative reduction of the
        cost by an accepted step, when the linear model predicted no more
        (with differences: two accepted steps in a row); ``xtol`` on the
        step, ``‖dx‖ <= xtol * (xtol + ‖x‖)`` (with differences, accepted
        steps only); ``gtol`` on the largest cosine of the angle between the
        residuals and a column of the Jacobian, when the Jacobian there is
        known (with a callable `jac`). The method also ends by itself when
        the next step falls to the rounding level of x, or the largest
        residual to that of the start's, ``eps * max|fun(x0)|``.
    jac_sparsity : {None, array_like, sparse matrix}, optional
        The m-by-n pattern of the Jacobian: its zero entries are zero at
        every x. With differences it sets which columns are perturbed
        together (None: a dense Jacobian); with a callable `jac` it fixes the
        pattern, which otherwise is that of the first Jacobian returned (the
        entries a sparse one stores; every entry of a dense one).
    max_nfev : int, optional
        Budget of residual evaluations, the differences' included. Default
        ``100 * n`` with a callable `jac`, else ``100 * n * (n + 1)`` (at most
        2**31 - 1).
    verbose : {0, 1, 2}, optional
        0 (default) silent; 1 a table with one row per step tried (rejected
        steps show a negative cost reduction) and a final report; 2 also the
        solver's own line per step.
    args, kwargs : tuple and dict, optional
        Extra arguments of `fun` and `jac`.
    callback : callable, optional
        Called after each step tried, as ``callback(intermediate_result)``
        with an OptimizeResult (``x``, ``cost``, ``nit``, ``nfev``) when its
        one parameter is named ``intermediate_result``, else as
        ``callback(x)``. Raising StopIteration ends the solve (status -2).

    Returns
    -------
    OptimizeResult
        SciPy's fields: ``x``, ``cost`` (0.5 * sum of squares), ``fun``,
        ``jac`` (a SciPy sparse matrix: the estimate with differences),
        ``grad``, ``optimality`` (max-norm of the gradient),
        ``active_mask`` (zeros), ``nfev``, ``njev`` (None with
        differences), ``status``, ``message``, ``success``; and ours:
        ``nit`` (steps tried), ``marquardt_parameter``, ``termination``
        (the solver's own reason) and ``timings`` (wall-clock seconds: the
        ``setup`` of the solver, the Jacobian's pattern checked and
        analysed; the ``total`` of the solve after it, of which in
        ``evaluations`` of fun and jac, in the ``solver`` routine, and in
        the termination ``tests``; of the last run when the pattern taken
        from the first Jacobian had to grow).

        ``status``: -2 the callback stopped it; -1 the method failed (see
        ``message``); 0 `max_nfev` spent; 1 `gtol` met, or the residuals
        vanished; 2 `ftol` met; 3 `xtol` met, or the step fell to the
        rounding level of x; 4 `ftol` and `xtol` met.

    Raises
    ------
    ValueError
        Bad arguments: x0 not finite or with more than one dimension,
        residuals not finite at x0, fewer residuals than variables, a
        Jacobian of the wrong shape or with nonzeros outside the pattern.
    TypeError
        Complex or non-numeric values.
    NotImplementedError
        Arguments of SciPy's that the method does not support.
    MemoryError
        When the factorization does not fit in memory.

    Any exception raised by `fun`, `jac` or `callback` ends the solve and
    reaches the caller unchanged; so does KeyboardInterrupt (Ctrl-C), which
    is noticed between two steps.

    Notes
    -----
    The GIL is released while the solver works and taken back to call
    `fun`, `jac` and `callback`.

    Examples
    --------
    Rosenbrock's function as residuals:

    >>> import numpy as np, scipy.sparse as sp, dalvex
    >>> def f(x):
    ...     return np.array([10 * (x[1] - x[0] ** 2), 1 - x[0]])
    >>> def J(x):
    ...     return sp.csr_matrix(np.array([[-20 * x[0], 10.0], [-1.0, 0.0]]))
    >>> res = dalvex.least_squares(f, [-1.2, 1.0], jac=J)
    >>> res.success, np.round(res.x, 6)
    (True, array([1., 1.]))
    """
    _check_unsupported(bounds, method, x_scale, loss, diff_step, tr_solver, tr_options)
    if verbose not in (0, 1, 2):
        raise ValueError("`verbose` must be in [0, 1, 2].")
    if not (isinstance(f_scale, (int, float)) and f_scale > 0):
        raise ValueError("`f_scale` must be positive.")
    if jac in ("2-point", "3-point"):
        jac_function = None
    elif jac == "cs":
        raise NotImplementedError("jac='cs' (complex-step differences) is not supported: pass "
                                  "jac='2-point' (the default) or a callable")
    elif callable(jac):
        jac_function = jac
    else:
        raise ValueError(f"jac must be '2-point', '3-point' or a callable; got {jac!r}")
    if callback is not None and not callable(callback):
        raise TypeError("callback must be callable")
    problem, x0 = _start(fun, x0, jac_function, args, kwargs, jac_sparsity)
    tolerances = dict(ftol=_tolerance(ftol, "ftol"), xtol=_tolerance(xtol, "xtol"),
                      gtol=_tolerance(gtol, "gtol"))
    budget = _budget(max_nfev, "max_nfev", problem.n, jac_function is None)
    eps_f0 = np.finfo(float).eps * problem.largest_f0
    result, _ = _solve(problem, budget, residual_tolerance=eps_f0, verbose=verbose,
                       callback=callback, **tolerances)
    return result


def _start(fun: Callable, x0: Any, jac: Optional[Callable], args: Sequence,
           kwargs: Mapping, jac_sparsity: Any) -> Tuple[_Problem, np.ndarray]:
    """Checks the start and evaluates fun (and jac) there."""
    if not callable(fun):
        raise TypeError("fun must be callable")
    if not isinstance(args, (tuple, list)):
        raise TypeError("args must be a tuple")
    if not isinstance(kwargs, Mapping):
        raise TypeError("kwargs must be a dict")
    x0 = _vector(x0, "x0").copy()
    if x0.size == 0:
        raise ValueError("`x0` must have at least one element")
    if not math.isfinite(largest_magnitude(x0)):  # one pass, no array of flags
        raise ValueError("`x0` must be finite")
    problem = _Problem(fun, jac, x0, args, kwargs, jac_sparsity)
    if problem.m < problem.n:
        raise ValueError(f"the method needs at least as many residuals as variables; fun returned "
                         f"{problem.m} residuals for {problem.n} variables")
    return problem, x0


def _budget(value: Optional[int], name: str, n: int, difference: bool) -> int:
    if value is None:
        return _default_max_nfev(n, difference)
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)) or value < 1:
        raise ValueError(f"`{name}` must be None or a positive integer; got {value!r}")
    return int(min(value, _INT32_MAX))


def _solve(problem: _Problem, budget: int, *, residual_tolerance: float, ftol: float,
           xtol: float, gtol: float, verbose: int, callback: Optional[Callable],
           gradient: bool = True) -> Tuple[OptimizeResult, Dict[str, Any]]:
    """One solve; the result in SciPy's form (without `grad` and
    `optimality` unless `gradient`), and the solver's summary."""
    monitor = _Monitor(problem, ftol, xtol, gtol, verbose, callback)
    monitor.start()
    # The solver's point: the start itself (the package's own array, which
    # nothing reads after the solver's first evaluation), overwritten by the
    # best point.
    x = problem.x0
    while True:
        options = dict(residual_tolerance=residual_tolerance,
                       max_evaluations=max(1, budget - problem.nfev + 1))
        try:
            summary, f, values, grad = _core.least_squares(
                problem.m, problem.n, problem.pattern.rows, problem.pattern.cols,
                problem.residuals, problem.jacobian if problem.analytic else None,
                x, problem.take_start(), options, monitor.tests, monitor.hook,
                print if verbose == 2 else None)
            break
        except PatternGrew as grew:
            # x is the best point so far, where the next run starts.
            problem.restart(x, grew.jacobian)
            x = problem.x0
    J = problem.pattern.matrix(values)
    if grad is None and gradient:
        grad = np.asarray(J.T @ f).reshape(-1)
    status, message = _outcome(summary, monitor, xtol)
    result = OptimizeResult(
        x=x, cost=0.5 * float(f @ f), fun=f, jac=J, grad=grad,
        optimality=None if grad is None else largest_magnitude(grad) if grad.size else 0.0,
        active_mask=np.zeros(problem.n, dtype=int), nfev=problem.nfev,
        njev=problem.njev if problem.analytic else None,
        status=status, message=message, success=status > 0, nit=monitor.steps,
        marquardt_parameter=summary["marquardt_parameter"], termination=summary["termination"],
        timings=dict(setup=summary["setup_seconds"], total=summary["total_seconds"],
                     evaluations=summary["evaluation_seconds"], solver=summary["solver_seconds"],
                     tests=monitor.tests.seconds))
    if verbose:
        print(f"{message}\nFunction evaluations {result.nfev}, initial cost "
              f"{problem.initial_cost:.4e}, final cost {result.cost:.4e}, "
              f"first-order optimality {result.optimality:.2e}.")
    return result, summary


def _outcome(summary: Dict[str, Any], monitor: _Monitor, xtol: float) -> Tuple[int, str]:
    """SciPy's status and message for how the solve ended."""
    reason = summary["reason"]
    if reason == "user_stop" and monitor.status is not None:
        return monitor.status, _MESSAGES[monitor.status]
    if reason in ("residual_tolerance", "sum_of_squares_tolerance"):
        return 1, "The residuals vanished: `gtol` termination condition is satisfied."
    if reason == "small_step":
        if xtol > 0:
            return 3, _MESSAGES[3]
        return 3, "The step fell to the rounding level of x."
    if reason == "max_evaluations":
        return 0, _MESSAGES[0]
    if reason in _FAILURES:
        return -1, _FAILURES[reason]
    return -1, f"The least-squares routine failed with status {summary['routine_status']}."
