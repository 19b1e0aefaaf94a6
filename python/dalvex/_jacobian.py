"""The Jacobian's fixed sparsity pattern, and Jacobians of any form turned into its values."""

from __future__ import annotations

from typing import Any, Optional, Tuple

import numpy as np
import scipy.sparse as sp

from . import _core


class OutsidePattern(ValueError):
    """A Jacobian with a nonzero entry outside the pattern."""

    def __init__(self, message: str, J: Any) -> None:
        super().__init__(message)
        self.jacobian = J


class JacobianPattern:
    """The positions of an m-by-n Jacobian that may be nonzero, fixed for a solve.

    Held in compressed rows (or compressed columns when the first Jacobian
    came so), sorted and without repeats. The solver takes the entries in
    that storage order, as (rows, cols); :meth:`values` puts the entries of
    any Jacobian the user's function returns into that order.

    Example: the 2-by-3 pattern [[x . x], [. x .]] in compressed rows has
    indptr [0 2 3] and indices [0 2 1], so rows [0 0 1], cols [0 2 1], and
    the Jacobian [[1 0 2], [0 3 0]] gives the values [1 2 3].
    """

    def __init__(self, shape: Tuple[int, int], layout: str, indptr: np.ndarray,
                 indices: np.ndarray, source: str, inferred: bool = False,
                 majors: Optional[np.ndarray] = None) -> None:
        self.shape = shape
        self.layout = layout  # "csr" or "csc"
        self.indptr = indptr
        self.indices = indices
        self.source = source  # where the pattern came from, for messages
        self.inferred = inferred  # taken from the Jacobians returned, not given
        m, n = shape
        major = _majors(indptr) if majors is None else majors
        minor = indices.astype(np.int32, copy=False)
        self.rows, self.cols = (major, minor) if layout == "csr" else (minor, major)
        self.nnz = int(indptr[-1])
        self.full = self.nnz == m * n
        self._keys: Optional[np.ndarray] = None
        self._cols: Optional[np.ndarray] = None

    @classmethod
    def dense(cls, shape: Tuple[int, int], source: str) -> "JacobianPattern":
        """Every entry, row after row."""
        m, n = shape
        indptr = np.arange(0, m * n + 1, n, dtype=np.int64)
        indices = np.tile(np.arange(n, dtype=np.int32), m)
        return cls(shape, "csr", indptr, indices, source)

    @classmethod
    def of_sparsity(cls, sparsity: Any, shape: Tuple[int, int]) -> "JacobianPattern":
        """From `jac_sparsity`: its nonzero entries (zeros mean identically zero)."""
        if sp.issparse(sparsity):
            S = sp.csr_matrix(sparsity, copy=True)
        else:
            a = np.atleast_2d(np.asarray(sparsity))
            if a.dtype.kind not in "biuf":
                raise TypeError(f"jac_sparsity must be a sparse matrix or a real array; got dtype {a.dtype}")
            S = sp.csr_matrix(a)
        if S.shape != shape:
            raise ValueError(f"jac_sparsity has shape {S.shape}; the Jacobian is {shape[0]} by "
                             f"{shape[1]} ({shape[0]} residuals, {shape[1]} variables)")
        S.eliminate_zeros()
        S.sum_duplicates()
        return cls(shape, "csr", S.indptr, S.indices, "jac_sparsity")

    @classmethod
    def of_jacobian(cls, J: Any, shape: Tuple[int, int]) -> Tuple["JacobianPattern", np.ndarray]:
        """From the first Jacobian: the entries a sparse one stores (explicit
        zeros too), or every entry of a dense one; with J's values in the
        pattern's order (those of a sparse one as they lie in its canonical
        form, which the pattern is: no comparison needed)."""
        if not sp.issparse(J):
            pattern = cls.dense(shape, "the first (dense) Jacobian")
            return pattern, pattern.values(J)
        _check_shape(J.shape, shape)
        _check_real(J.dtype)
        layout = "csc" if J.format == "csc" else "csr"
        S = J.asformat(layout)
        taken = _core.canonical_pattern(S.indptr, S.indices)
        if taken is None:
            if not S.has_canonical_format:
                S = S.copy()
                S.sum_duplicates()
            pattern = cls(shape, layout, S.indptr.copy(), S.indices.copy(), "the first Jacobian",
                          inferred=True)
        else:
            indptr, indices, majors = taken
            pattern = cls(shape, layout, indptr, indices, "the first Jacobian", inferred=True,
                          majors=majors)
        return pattern, np.ascontiguousarray(S.data, dtype=np.float64)

    def union(self, J: Any) -> "JacobianPattern":
        """This pattern with the nonzero entries of J added."""
        kind = sp.csr_matrix if self.layout == "csr" else sp.csc_matrix
        ones = kind((np.ones(self.nnz), self.indices, self.indptr), shape=self.shape)
        extra = abs(sp.csr_matrix(J) if sp.issparse(J) else sp.csr_matrix(np.asarray(J, dtype=float)))
        S = (ones + extra.asformat(self.layout)).asformat(self.layout)
        S.sum_duplicates()
        return JacobianPattern(self.shape, self.layout, S.indptr.copy(), S.indices.copy(),
                               "the Jacobians returned", inferred=True)

    def values(self, J: Any) -> np.ndarray:
        """The entries of `J`, a sparse matrix or dense array, in the pattern's order."""
        if sp.issparse(J):
            return self._sparse_values(J)
        a = np.asarray(J)
        _check_real(a.dtype)
        if a.ndim != 2:
            a = np.atleast_2d(a)
        _check_shape(a.shape, self.shape)
        if self.full and self.layout == "csr":
            return np.ascontiguousarray(a, dtype=np.float64).reshape(-1)
        values = np.ascontiguousarray(a[self.rows, self.cols], dtype=np.float64)
        if np.count_nonzero(a) != np.count_nonzero(values):
            mask = np.ones(a.shape, dtype=bool)
            mask[self.rows, self.cols] = False
            i, j = np.argwhere(mask & (a != 0))[0]
            self._outside(i, j, J)
        return values

    def matrix(self, values: np.ndarray) -> Any:
        """The Jacobian of these values as a SciPy sparse matrix."""
        kind = sp.csr_matrix if self.layout == "csr" else sp.csc_matrix
        return kind((values, self.indices, self.indptr), shape=self.shape)

    def product(self, values: np.ndarray, s: np.ndarray) -> np.ndarray:
        """J s for the Jacobian of these values."""
        return self.matrix(values) @ s

    def gradient(self, values: np.ndarray, f: np.ndarray) -> np.ndarray:
        """Jᵀf for the Jacobian of these values."""
        return self.matrix(values).T @ f

    def column_norms(self, values: np.ndarray) -> np.ndarray:
        if self._cols is None:
            self._cols = self.cols.astype(np.intp)  # bincount is slow on other types
        return np.sqrt(np.bincount(self._cols, weights=values * values, minlength=self.shape[1]))

    def _sparse_values(self, J: Any) -> np.ndarray:
        _check_shape(J.shape, self.shape)
        _check_real(J.dtype)
        if J.format != self.layout:
            J = J.asformat(self.layout)
        if not self._same_pattern(J):
            if not J.has_canonical_format:
                J = J.copy()
                J.sum_duplicates()
            if not self._same_pattern(J):
                return self._mapped_values(J)
        return np.ascontiguousarray(J.data, dtype=np.float64)

    def _same_pattern(self, J: Any) -> bool:
        return _same_indices(J.indptr, self.indptr) and _same_indices(J.indices, self.indices)

    def _mapped_values(self, J: Any) -> np.ndarray:
        """Values of a canonical J whose stored entries are not the pattern's:
        each is found in the pattern by its key major * minor_size + minor,
        sorted in a canonical pattern."""
        minor_size = self.shape[1] if self.layout == "csr" else self.shape[0]
        if self._keys is None:
            major = np.repeat(np.arange(len(self.indptr) - 1, dtype=np.int64), np.diff(self.indptr))
            self._keys = major * minor_size + self.indices
        major = np.repeat(np.arange(len(J.indptr) - 1, dtype=np.int64), np.diff(J.indptr))
        keys = major * minor_size + J.indices
        where = np.minimum(np.searchsorted(self._keys, keys), max(self.nnz - 1, 0))
        found = (self._keys[where] == keys) if self.nnz else np.zeros(keys.shape, dtype=bool)
        data = np.asarray(J.data, dtype=np.float64)
        outside = np.flatnonzero(~found & (data != 0))
        if outside.size:
            k = outside[0]
            a, b = divmod(int(keys[k]), minor_size)
            self._outside(*((a, b) if self.layout == "csr" else (b, a)), J)
        values = np.zeros(self.nnz)
        values[where[found]] = data[found]
        return values

    def _outside(self, i: int, j: int, J: Any) -> None:
        raise OutsidePattern(f"jac returned a nonzero at row {i}, column {j}, outside the "
                             f"Jacobian's sparsity pattern (taken from {self.source}); pass "
                             "jac_sparsity with every entry that can be nonzero", J)


def _majors(indptr: np.ndarray) -> np.ndarray:
    """The row (or column) of each entry of a compressed pattern, as int32
    (in the extension module: NumPy's ways, a running count of the row ends
    or np.repeat, take several times as long)."""
    if indptr.dtype != np.int32:
        indptr = np.ascontiguousarray(indptr, dtype=np.int64)
    return _core.compressed_majors(np.ascontiguousarray(indptr))


def _same_indices(a: np.ndarray, b: np.ndarray) -> bool:
    """Whether two index vectors hold the same values."""
    return a is b or equal(a, b)


def equal(a: np.ndarray, b: np.ndarray) -> bool:
    """numpy.array_equal for vectors, in one pass where they are contiguous
    and of one integer dtype or float64 (NumPy's makes and reads an array
    of flags)."""
    if a.dtype == b.dtype and a.ndim == b.ndim == 1 and a.flags.c_contiguous and \
       b.flags.c_contiguous and (a.dtype.kind in "iu" or a.dtype == np.float64):
        return _core.equal(a, b)
    return np.array_equal(a, b)


def largest_magnitude(v: np.ndarray) -> float:
    """float(np.max(np.abs(v))) for a vector, in one pass where it is a
    nonempty contiguous float64 one (NumPy's makes the array of
    magnitudes)."""
    if v.size and v.dtype == np.float64 and v.ndim == 1 and v.flags.c_contiguous:
        return _core.largest_magnitude(v)
    return float(np.max(np.abs(v)))


def _check_shape(got: Tuple[int, ...], shape: Tuple[int, int]) -> None:
    if tuple(got) != tuple(shape):
        raise ValueError(f"jac returned shape {tuple(got)}; the Jacobian is {shape[0]} by {shape[1]} "
                         f"({shape[0]} residuals, {shape[1]} variables)")


def _check_real(dtype: np.dtype) -> None:
    if dtype.kind == "c":
        raise TypeError("jac returned complex values; only real Jacobians are supported")
    if dtype.kind not in "biuf":
        raise TypeError(f"jac returned dtype {dtype}; a real numeric dtype is needed")
