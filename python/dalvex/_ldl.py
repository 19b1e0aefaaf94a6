"""Sparse symmetric indefinite LDLᵀ factorization: :func:`ldl` and :class:`Factor`."""

from __future__ import annotations

import warnings
from dataclasses import dataclass
from typing import Any, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np
import scipy.sparse as sp
from scipy.sparse.linalg import MatrixRankWarning

from . import _core

__all__ = ["ldl", "Factor", "Inertia", "FactorStats"]

_ORDERINGS = ("auto", "amd", "metis", "natural")
_TRIANGLES = {None: "both", "lower": "lower", "upper": "upper"}


class Inertia(NamedTuple):
    """Numbers of positive, negative and zero eigenvalues of a symmetric matrix."""

    positive: int
    negative: int
    zero: int


@dataclass(frozen=True)
class FactorStats:
    """What the analysis and the last factorization of a :class:`Factor` did.

    Attributes
    ----------
    ordering : str
        The fill-reducing ordering used: ``"amd"``, ``"metis"``, ``"natural"``
        or ``"given"`` (``"auto"`` resolved to the one it chose).
    matrix_entries : int
        Entries of the lower triangle given to the analysis.
    factor_entries : int
        Entries of L and D.
    fill : float
        ``factor_entries / matrix_entries``.
    flops : float
        Floating-point operations of the eliminations.
    forecast_flops : float
        Operations the analysis forecast, assuming no delayed pivots.
    largest_front : int
        Order of the largest frontal matrix.
    two_by_two_pivots : int
        2×2 pivot blocks chosen.
    delayed_pivots : int
        Pivots delayed to a later front for stability.
    rank : int
        Number of nonzero pivots.
    memory : int
        Largest workspace held, in bytes, the factors included.
    analyse_seconds, ordering_seconds, factorize_seconds, solve_seconds : float
        Wall-clock seconds of the analysis (ordering included), of the
        ordering alone (METIS, and the order ``"auto"`` did not keep), of
        the last factorization and of the last solve (NaN before one).
    """

    ordering: str
    matrix_entries: int
    factor_entries: int
    fill: float
    flops: float
    forecast_flops: float
    largest_front: int
    two_by_two_pivots: int
    delayed_pivots: int
    rank: int
    memory: int
    analyse_seconds: float
    ordering_seconds: float
    factorize_seconds: float
    solve_seconds: float


def _real_float64(values: np.ndarray, what: str) -> np.ndarray:
    """`values` as float64, copied only when it is not float64 already."""
    if values.dtype.kind == "c":
        raise TypeError(f"{what} is complex; only real matrices are supported "
                        "(factorize the real and imaginary parts' 2n-by-2n real form instead)")
    if values.dtype.kind not in "biuf":
        raise TypeError(f"{what} has dtype {values.dtype}; a real numeric dtype is needed")
    return np.ascontiguousarray(values, dtype=np.float64)


def _indices(*arrays: np.ndarray) -> Tuple[np.ndarray, ...]:
    """Index arrays of one dtype, int32 or int64, as SciPy's are: kept as they are."""
    dtype = np.result_type(*arrays)
    if dtype not in (np.int32, np.int64):
        dtype = np.int64
    return tuple(np.ascontiguousarray(a, dtype=dtype) for a in arrays)


class _Arrays(NamedTuple):
    """A matrix as the arrays the factorization takes."""

    n: int
    layout: str  # "csc", "csr" or "coo"
    first: np.ndarray
    second: np.ndarray
    values: np.ndarray


def _square_order(shape: Tuple[int, ...]) -> int:
    if len(shape) != 2:
        raise ValueError(f"A must be two-dimensional; got {len(shape)} dimension(s)")
    if shape[0] != shape[1]:
        raise ValueError(f"A must be square; got shape {tuple(shape)}")
    if shape[0] == 0:
        raise ValueError("A is empty (shape (0, 0)); the order must be at least 1")
    return int(shape[0])


def _sparse_arrays(A: Any) -> _Arrays:
    """The arrays of a SciPy sparse matrix, viewed as they lie when they can be."""
    n = _square_order(A.shape)
    if A.format not in ("csc", "csr", "coo"):
        A = A.tocsr()
    values = _real_float64(A.data, "A")
    if A.format == "coo":
        first, second = _indices(A.row, A.col)
    else:
        first, second = _indices(A.indptr, A.indices)
    return _with_entries(_Arrays(n, A.format, first, second, values))


def _dense_pattern(a: np.ndarray, triangle: str) -> Tuple[np.ndarray, np.ndarray]:
    """Positions of the nonzero entries a dense matrix gives for `triangle`
    (the diagonal for a zero matrix, see _with_entries).

    For one triangle, the other is not read, as LAPACK's ``uplo`` does."""
    if triangle == "lower":
        a = np.tril(a)
    elif triangle == "upper":
        a = np.triu(a)
    rows, cols = np.nonzero(a)
    if rows.size == 0:
        rows = cols = np.arange(a.shape[0])
    return rows.astype(np.int64), cols.astype(np.int64)


def _with_entries(arrays: _Arrays) -> _Arrays:
    """A matrix without entries as its zero diagonal: the factorization takes
    a matrix without values for a pattern only, so the zero matrix needs
    entries to be factorized (as singular, every pivot zero)."""
    if arrays.values.size:
        return arrays
    diagonal = np.arange(arrays.n, dtype=np.int64)
    return _Arrays(arrays.n, "coo", diagonal, diagonal, np.zeros(arrays.n))


def _dense(A: Any) -> np.ndarray:
    a = np.asarray(A)
    if a.dtype.kind == "O":
        raise TypeError("A must be a SciPy sparse matrix or a numeric array; got an array of objects")
    _square_order(a.shape)
    return _real_float64(a, "A").reshape(a.shape)


class Factor:
    """The LDLᵀ factorization ``A = P L D Lᵀ Pᵀ`` of a sparse symmetric matrix.

    Made by :func:`ldl`; not constructed directly. ``D`` is block diagonal
    with 1×1 and 2×2 blocks, ``L`` unit lower triangular and ``P`` the
    fill-reducing permutation.

    Attributes
    ----------
    shape : tuple of int
        ``(n, n)``.
    inertia : Inertia
        Numbers of positive, negative and zero eigenvalues of ``A``.
    rank : int
        Number of nonzero pivots.
    stats : FactorStats
        Ordering, fill, operations, pivots, memory and phase times.

    Notes
    -----
    A factor may be used from several threads at once: solves share it,
    while :meth:`refactor` waits for them and they wait for it. The GIL is
    released while factorizing and solving.
    """

    def __init__(self, core: "_core.LDLT", arrays: _Arrays, triangle: str,
                 dense_pattern: Optional[Tuple[np.ndarray, np.ndarray]]) -> None:
        self._core = core
        self._layout = arrays.layout
        self._n = arrays.n
        self._triangle = triangle
        self._dense_pattern = dense_pattern  # (rows, cols) for a matrix given dense
        self._solve_seconds = float("nan")

    @property
    def shape(self) -> Tuple[int, int]:
        return (self._n, self._n)

    @property
    def inertia(self) -> Inertia:
        return Inertia(*self._core.inertia)

    @property
    def rank(self) -> int:
        return self._core.rank

    @property
    def stats(self) -> FactorStats:
        s = self._core.statistics()
        return FactorStats(
            ordering=s["ordering"], matrix_entries=s["matrix_entries"],
            factor_entries=s["factor_entries"], fill=s["fill"], flops=s["flops"],
            forecast_flops=s["forecast_flops"], largest_front=s["largest_front"],
            two_by_two_pivots=s["two_by_two_pivots"], delayed_pivots=s["delayed_pivots"],
            rank=s["rank"], memory=s["peak_bytes"], analyse_seconds=s["analyse_seconds"],
            ordering_seconds=s["ordering_seconds"], factorize_seconds=s["factorize_seconds"],
            solve_seconds=self._solve_seconds)

    def solve(self, b: Any, *, refine: int = 0) -> np.ndarray:
        """Solve ``A x = b``.

        Parameters
        ----------
        b : array_like, shape (n,) or (n, k)
            One right-hand side or k of them, of any real dtype.
        refine : int, optional
            At most this many steps of iterative refinement
            (``x += A⁻¹ (b - A x)``), stopping once the residual no longer
            halves. Default 0.

        Returns
        -------
        x : ndarray of float64, the shape of `b`
            The solution. `b` is not modified.

        Warns
        -----
        MatrixRankWarning
            When ``A`` is singular: the solution then treats the zero pivots
            as ones, which solves consistent systems and is meaningless for
            the others.

        Raises
        ------
        ValueError
            When `b` has not ``n`` rows or more than two dimensions.
        TypeError
            When `b` is complex, not numeric, or a sparse matrix.
        """
        if sp.issparse(b):
            raise TypeError("b must be a dense array; convert a sparse right-hand side "
                            "with b.toarray()")
        b = np.asarray(b)
        if b.dtype.kind == "c":
            raise TypeError("b is complex; solve its real and imaginary parts apart: "
                            "F(b.real) + 1j * F(b.imag)")
        if b.dtype.kind not in "biuf":
            raise TypeError(f"b has dtype {b.dtype}; a real numeric dtype is needed")
        if b.ndim not in (1, 2):
            raise ValueError(f"b must have one or two dimensions; got {b.ndim}")
        if b.shape[0] != self._n:
            raise ValueError(f"b has {b.shape[0]} rows; the factor's order is {self._n}")
        if refine < 0:
            raise ValueError(f"refine must be at least 0; got {refine}")
        # The one copy: b as float64 in Fortran order becomes the solution.
        x = np.array(b, dtype=np.float64, order="F", copy=True)
        if x.size == 0:
            return x
        if self._core.status == "singular":
            warnings.warn(f"A is singular (rank {self.rank} of {self._n}); the solution is "
                          "one of many if b is consistent, else meaningless",
                          MatrixRankWarning, stacklevel=2)
        _, _, self._solve_seconds = self._core.solve(x.reshape(self._n, -1, order="F"),
                                                     int(refine), False)
        return x

    __call__ = solve

    def slogdet(self) -> Tuple[float, float]:
        """Sign and natural logarithm of the absolute value of ``det(A)``.

        As :func:`numpy.linalg.slogdet`: ``det(A) = sign * exp(logabsdet)``,
        with ``(0.0, -inf)`` for a singular matrix.
        """
        return self._core.log_determinant()

    def refactor(self, A: Any) -> None:
        """Factorize new values on the same pattern, reusing the analysis.

        Parameters
        ----------
        A : sparse matrix or array_like
            A matrix of the pattern (and, when sparse, the layout) first
            factorized, in the same form: the same `triangle` applies.

        Raises
        ------
        ValueError
            When the pattern differs from the one first factorized; call
            :func:`ldl` for a matrix of another pattern.
        """
        arrays = self._arrays_on_pattern(A)
        self._core.factorize(arrays.n, arrays.layout, arrays.first, arrays.second,
                             arrays.values, self._triangle)

    def _arrays_on_pattern(self, A: Any) -> _Arrays:
        if self._dense_pattern is None:
            if not sp.issparse(A):
                raise TypeError("A was sparse when first factorized; refactor takes a sparse matrix too")
            if A.format != self._layout:
                A = A.asformat(self._layout)
            arrays = _sparse_arrays(A)
        else:
            if sp.issparse(A):
                A = A.toarray()
            a = _dense(A)
            if a.shape[0] != self._n:
                raise ValueError(f"A has order {a.shape[0]}; the factor's order is {self._n}")
            rows, cols = self._dense_pattern
            values = np.ascontiguousarray(a[rows, cols])
            chosen = _dense_pattern(a, self._triangle)
            if chosen[0].size != np.count_nonzero(values):
                raise ValueError("A has nonzero entries outside the pattern first factorized; "
                                 "call dalvex.ldl for a matrix of another pattern")
            arrays = _Arrays(a.shape[0], "coo", rows, cols, values)
        if arrays.n != self._n:
            raise ValueError(f"A has order {arrays.n}; the factor's order is {self._n}")
        return arrays

    def __repr__(self) -> str:
        p, n, z = self.inertia
        return (f"<dalvex.Factor of order {self._n}: {self.stats.factor_entries} factor entries, "
                f"inertia (positive {p}, negative {n}, zero {z})>")


def ldl(A: Any, *, ordering: Union[str, Sequence[int], np.ndarray] = "auto",
        triangle: Optional[str] = None, pivot_threshold: float = 0.01,
        zero_pivot_tolerance: float = 0.0) -> Factor:
    """Sparse symmetric indefinite LDLᵀ factorization.

    Factorizes ``A = P L D Lᵀ Pᵀ`` by a multifrontal method with 1×1 and 2×2
    pivots after a fill-reducing ordering. Unlike a Cholesky factorization
    it needs no definiteness: saddle-point and other indefinite matrices
    are factorized as they are, and the inertia comes with the factors.

    Parameters
    ----------
    A : sparse matrix or array_like, shape (n, n)
        A symmetric matrix: any SciPy sparse matrix or array (CSC, CSR and
        COO with float64 values are read where they lie, without a copy), or
        a dense array. Real dtypes only.
    ordering : {"auto", "amd", "metis", "natural"} or array_like of int, optional
        The fill-reducing ordering. ``"amd"`` is approximate minimum degree;
        ``"metis"`` nested dissection (better on large 2D and 3D grids, when
        the build has METIS); ``"auto"`` (default) analyses with both and
        keeps the one that forecasts fewer operations; ``"natural"`` keeps
        the variables' order. An array gives the elimination order itself: a
        permutation of ``0..n-1``, variable ``ordering[k]`` eliminated k-th.
    triangle : {None, "lower", "upper"}, optional
        None (default): `A` is the whole matrix, checked for symmetry (the
        first mismatch is named). ``"lower"`` or ``"upper"``: `A` gives that
        triangle (the diagonal included). A sparse `A` must then hold no
        entries outside it; of a dense `A` the other triangle is not read.
    pivot_threshold : float, optional
        Relative pivot threshold in [0, 0.5] (default 0.01): a pivot must be
        at least this fraction of the largest entry of its column. Larger is
        more stable, smaller keeps the fill of the analysis.
    zero_pivot_tolerance : float, optional
        Pivots of absolute value at most this count as zero (default 0: only
        exact zeros), making the matrix singular.

    Returns
    -------
    Factor
        With :meth:`~Factor.solve` (also by calling it), :attr:`~Factor.inertia`,
        :meth:`~Factor.slogdet`, :meth:`~Factor.refactor` and :attr:`~Factor.stats`.

    Raises
    ------
    ValueError
        `A` not square, empty, not symmetric, with non-finite values, or an
        argument out of range.
    TypeError
        `A` complex or not numeric.
    MemoryError
        When the factors do not fit in memory.

    Notes
    -----
    The GIL is released while factorizing, so factorizations on several
    threads run at the same time. A singular matrix is factorized all the
    same; its zero pivots show in the inertia and the rank.

    Examples
    --------
    >>> import numpy as np, scipy.sparse as sp, dalvex
    >>> A = sp.csc_matrix(np.array([[4.0, 1.0, 2.0],
    ...                             [1.0, 0.0, 3.0],
    ...                             [2.0, 3.0, -1.0]]))
    >>> F = dalvex.ldl(A)
    >>> F.inertia
    Inertia(positive=2, negative=1, zero=0)
    >>> x = F.solve(np.array([1.0, 2.0, 3.0]))
    >>> bool(np.allclose(A @ x, [1.0, 2.0, 3.0]))
    True
    """
    if triangle not in _TRIANGLES:
        raise ValueError(f"triangle must be None, 'lower' or 'upper'; got {triangle!r}")
    tri = _TRIANGLES[triangle]
    if not 0.0 <= pivot_threshold <= 0.5:
        raise ValueError(f"pivot_threshold must be in [0, 0.5]; got {pivot_threshold}")
    if not (np.isfinite(zero_pivot_tolerance) and zero_pivot_tolerance >= 0.0):
        raise ValueError(f"zero_pivot_tolerance must be finite and at least 0; got {zero_pivot_tolerance}")

    if sp.issparse(A):
        arrays = _sparse_arrays(A)
        dense_pattern = None
    else:
        a = _dense(A)
        dense_pattern = _dense_pattern(a, tri)
        rows, cols = dense_pattern
        arrays = _Arrays(a.shape[0], "coo", rows, cols, np.ascontiguousarray(a[rows, cols]))

    order = _elimination_order(ordering, arrays.n)
    name = "given" if order is not None else ordering
    core = _core.LDLT(name, [] if order is None else order, float(pivot_threshold),
                      float(zero_pivot_tolerance))
    core.factorize(arrays.n, arrays.layout, arrays.first, arrays.second, arrays.values, tri)
    return Factor(core, arrays, tri, dense_pattern)


def _elimination_order(ordering: Any, n: int) -> Optional[list]:
    """None for a named ordering (checked), else the given permutation, checked."""
    if isinstance(ordering, str):
        if ordering not in _ORDERINGS:
            raise ValueError(f"ordering must be one of {', '.join(map(repr, _ORDERINGS))} "
                             f"or a permutation; got {ordering!r}")
        if ordering == "metis" and not _core.metis_available():
            raise ValueError("ordering 'metis' is not available: this build has no METIS; "
                             "use 'amd' or 'auto'")
        return None
    order = np.asarray(ordering)
    if order.dtype.kind not in "iu" or order.shape != (n,):
        raise ValueError(f"ordering must be a permutation of 0..{n - 1} (an integer array of "
                         f"length {n}); got shape {order.shape} of dtype {order.dtype}")
    if not np.array_equal(np.sort(order), np.arange(n)):
        raise ValueError(f"ordering must be a permutation of 0..{n - 1}: every variable once")
    return order.astype(np.int32).tolist()
