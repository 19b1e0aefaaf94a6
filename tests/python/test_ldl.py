"""dalvex.ldl against independent references: numpy.linalg's eigenvalues and
determinant, scipy.sparse.linalg.spsolve, and the residual of the solution."""

import os
import threading

import numpy as np
import pytest
import scipy.sparse as sp
import scipy.sparse.linalg as spla
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import dalvex

EPS = np.finfo(float).eps


def assert_near(x, y, tolerance):
    """Fails on NaN as well: the error must be at most the tolerance."""
    error = np.max(np.abs(np.asarray(x) - np.asarray(y)), initial=0.0)
    assert error <= tolerance, f"error {error} above {tolerance}"


def scaled_residual(A, x, b):
    r = b - A @ x
    norm_a = abs(A).sum(axis=1).max()
    return np.max(np.abs(r)) / (norm_a * np.max(np.abs(x)) + np.max(np.abs(b)))


def saddle_point(n, m, seed):
    """[[H, Bᵀ], [B, -δI]]: H sparse positive definite, B sparse of full rank."""
    rng = np.random.default_rng(seed)
    H = sp.random(n, n, density=0.05, random_state=rng)
    H = H @ H.T + sp.identity(n) * n * 0.1
    B = sp.random(m, n, density=0.1, random_state=rng) + sp.eye(m, n)
    return sp.bmat([[H, B.T], [B, -1e-3 * sp.identity(m)]]).tocsc()


@st.composite
def symmetric_matrices(draw):
    """Random sparse symmetric indefinite matrices, zero eigenvalues included
    (a rank-deficient part made exactly of integers)."""
    n = draw(st.integers(1, 25))
    seed = draw(st.integers(0, 2**32 - 1))
    rng = np.random.default_rng(seed)
    rank = draw(st.integers(0, n))
    # Integer factors keep a singular matrix exactly singular.
    V = rng.integers(-2, 3, size=(n, rank)).astype(float)
    V[rng.random(V.shape) < 0.6] = 0.0
    signs = rng.choice([-1.0, 1.0], size=rank)
    return (V * signs) @ V.T


@settings(max_examples=200, deadline=None, derandomize=True, database=None,
          suppress_health_check=[HealthCheck.too_slow])
@given(symmetric_matrices())
def test_inertia_is_numpy_eigenvalues_signs(a):
    eigenvalues = np.linalg.eigvalsh(a)
    scale = max(1.0, np.max(np.abs(eigenvalues)))
    tol = 1e3 * EPS * scale * a.shape[0]
    expected = (int(np.sum(eigenvalues > tol)), int(np.sum(eigenvalues < -tol)),
                int(np.sum(np.abs(eigenvalues) <= tol)))
    if np.any((np.abs(eigenvalues) > tol) & (np.abs(eigenvalues) < 1e-6 * scale)):
        return  # eigenvalues this close to zero have no reliable sign in either method
    F = dalvex.ldl(sp.csc_matrix(a), zero_pivot_tolerance=1e-9 * scale)
    assert tuple(F.inertia) == expected
    assert F.rank == expected[0] + expected[1]


FORMS = {
    "csc": lambda A: sp.csc_matrix(A),
    "csr": lambda A: sp.csr_matrix(A),
    "coo": lambda A: sp.coo_matrix(A),
    "csr_array": lambda A: sp.csr_array(A),
    "lil": lambda A: sp.lil_matrix(A),
    "dia": lambda A: sp.dia_matrix(A),
    "dense": lambda A: A.toarray(),
    "matrix": lambda A: np.asmatrix(A.toarray()),
    "csc_int64": lambda A: _with_int64(sp.csc_matrix(A)),
    "csr_float32": lambda A: sp.csr_matrix(A).astype(np.float32),
}


def _with_int64(A):
    A.indptr = A.indptr.astype(np.int64)
    A.indices = A.indices.astype(np.int64)
    return A


@pytest.mark.filterwarnings("ignore::scipy.sparse.SparseEfficiencyWarning")
@pytest.mark.filterwarnings("ignore::PendingDeprecationWarning")
@pytest.mark.parametrize("form", FORMS)
@pytest.mark.parametrize("triangle", [None, "lower", "upper"])
def test_solution_matches_spsolve(form, triangle):
    A = saddle_point(60, 20, seed=1)
    A.data = A.data.astype(np.float32).astype(float)  # the same matrix in every dtype
    part = {None: A, "lower": sp.tril(A), "upper": sp.triu(A)}[triangle]
    b = np.arange(A.shape[0], dtype=float)
    x = dalvex.ldl(FORMS[form](part), triangle=triangle).solve(b)
    reference = spla.spsolve(A, b)
    assert_near(x, reference, 1e-9 * np.max(np.abs(reference)))


@pytest.mark.parametrize("ordering", ["auto", "amd", "natural", "reversed"])
def test_orderings_solve_and_report_themselves(ordering):
    A = saddle_point(80, 30, seed=2)
    n = A.shape[0]
    given_order = np.arange(n)[::-1] if ordering == "reversed" else ordering
    F = dalvex.ldl(A, ordering=given_order)
    b = np.ones(n)
    assert scaled_residual(A, F(b), b) <= 100 * EPS
    assert F.stats.ordering == ("given" if ordering == "reversed" else
                                F.stats.ordering if ordering == "auto" else ordering)


def test_many_right_hand_sides_any_dtype_and_b_untouched():
    A = saddle_point(50, 10, seed=3)
    F = dalvex.ldl(A)
    B = np.arange(3 * A.shape[0], dtype=np.int32).reshape(A.shape[0], 3)
    kept = B.copy()
    X = F(B)
    assert X.shape == B.shape and X.dtype == np.float64
    assert np.array_equal(B, kept)
    for k in range(3):
        assert_near(X[:, k], spla.spsolve(A, B[:, k].astype(float)), 1e-9 * np.max(np.abs(X)))
    # A C-ordered float64 right-hand side, and a strided one.
    Bc = np.ascontiguousarray(B, dtype=float)
    assert_near(F.solve(Bc), X, 0.0)
    assert_near(F.solve(Bc[:, 1]), X[:, 1], 0.0)


@pytest.mark.parametrize("seed", range(3))
def test_slogdet_matches_numpy(seed):
    A = saddle_point(30, 10, seed=seed)
    sign, logdet = dalvex.ldl(A).slogdet()
    ref_sign, ref_logdet = np.linalg.slogdet(A.toarray())
    assert sign == ref_sign
    assert abs(logdet - ref_logdet) <= 1e-10 * max(1.0, abs(ref_logdet))


def test_singular_matrix_factorizes_and_warns_on_solve():
    a = np.array([[1.0, 2.0, 0.0], [2.0, 4.0, 0.0], [0.0, 0.0, -1.0]])
    F = dalvex.ldl(a)
    assert tuple(F.inertia) == (1, 1, 1) and F.rank == 2
    assert F.slogdet() == (0.0, -np.inf)
    with pytest.warns(spla.MatrixRankWarning):
        x = F.solve([1.0, 2.0, 3.0])  # consistent: a solution
    assert_near(a @ x, [1.0, 2.0, 3.0], 1e-12)


@pytest.mark.parametrize("form", ["csc", "csr", "coo", "dense"])
def test_refactor_new_values_same_pattern(form):
    A = saddle_point(40, 10, seed=4)
    F = dalvex.ldl(FORMS[form](A))
    analysed = F.stats.analyse_seconds
    A2 = A.copy()
    A2.data = A2.data * 2.0 + (A2.data != 0)  # new values, the same pattern
    A2 = (A2 + A2.T) / 2
    F.refactor(FORMS[form](A2))
    b = np.ones(A.shape[0])
    assert_near(F(b), spla.spsolve(sp.csc_matrix(A2), b), 1e-9 * np.max(np.abs(F(b))))
    assert F.stats.analyse_seconds == analysed  # the analysis was kept


def test_stats_describe_the_factorization():
    A = saddle_point(200, 80, seed=5)
    F = dalvex.ldl(A, ordering="amd")
    s = F.stats
    assert s.ordering == "amd" and s.rank == A.shape[0]
    assert s.matrix_entries == sp.tril(A).nnz
    assert s.factor_entries >= s.matrix_entries and s.fill == pytest.approx(
        s.factor_entries / s.matrix_entries)
    assert s.flops > 0 and s.memory > 0 and s.factorize_seconds >= 0
    assert s.two_by_two_pivots >= 0 and s.delayed_pivots >= 0
    assert np.isnan(s.solve_seconds)
    F(np.ones(A.shape[0]))
    assert F.stats.solve_seconds >= 0
    assert F.shape == A.shape
    assert "inertia" in repr(F)


def test_refinement_keeps_the_residual_small():
    A = saddle_point(100, 40, seed=6)
    b = np.ones(A.shape[0])
    x = dalvex.ldl(A, pivot_threshold=0.0).solve(b, refine=3)
    assert scaled_residual(A, x, b) <= 10 * EPS


def test_threads_factorize_and_solve_at_once():
    matrices = [saddle_point(300, 100, seed=s) for s in range(4)]
    factors = [None] * len(matrices)

    def work(k):
        factors[k] = dalvex.ldl(matrices[k])

    threads = [threading.Thread(target=work, args=(k,)) for k in range(len(matrices))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    # One factor solved from several threads at once, and refactorized meanwhile.
    F, A = factors[0], matrices[0]
    b = np.ones(A.shape[0])
    results = []
    solvers = [threading.Thread(target=lambda: results.append(F(b))) for _ in range(4)]
    refactor = threading.Thread(target=F.refactor, args=(A,))
    for t in solvers + [refactor]:
        t.start()
    for t in solvers + [refactor]:
        t.join()
    for k, M in enumerate(matrices):
        assert scaled_residual(M, factors[k](b), b) <= 100 * EPS
    for x in results:
        assert scaled_residual(A, x, b) <= 100 * EPS


A3 = np.array([[2.0, 1.0], [1.0, -3.0]])
ERRORS = [
    ("not square", lambda: dalvex.ldl(np.ones((2, 3))), ValueError, "square"),
    ("empty", lambda: dalvex.ldl(np.zeros((0, 0))), ValueError, "empty"),
    ("three dimensions", lambda: dalvex.ldl(np.ones((2, 2, 2))), ValueError, "two-dimensional"),
    ("complex", lambda: dalvex.ldl(A3 * 1j), TypeError, "complex"),
    ("objects", lambda: dalvex.ldl(np.array([[1, "a"], ["a", 1]], dtype=object)), TypeError,
     "objects"),
    ("not symmetric", lambda: dalvex.ldl(sp.csr_matrix([[1.0, 2.0], [3.0, 1.0]])), ValueError,
     "triangle='lower'"),
    ("one triangle, undeclared", lambda: dalvex.ldl(sp.tril(A3, format="csc")), ValueError,
     "triangle"),
    ("entry outside the triangle",
     lambda: dalvex.ldl(sp.csc_matrix(A3), triangle="lower"), ValueError, ""),
    ("nan", lambda: dalvex.ldl(sp.csc_matrix([[np.nan, 0.0], [0.0, 1.0]])), ValueError, ""),
    ("bad triangle", lambda: dalvex.ldl(A3, triangle="both"), ValueError, "triangle"),
    ("bad ordering", lambda: dalvex.ldl(A3, ordering="colamd"), ValueError, "'amd'"),
    ("not a permutation", lambda: dalvex.ldl(A3, ordering=[0, 0]), ValueError, "permutation"),
    ("pivot threshold", lambda: dalvex.ldl(A3, pivot_threshold=0.7), ValueError, "[0, 0.5]"),
    ("zero pivot tolerance", lambda: dalvex.ldl(A3, zero_pivot_tolerance=-1), ValueError,
     "zero_pivot_tolerance"),
    ("b rows", lambda: dalvex.ldl(A3).solve(np.ones(3)), ValueError, "3 rows"),
    ("b complex", lambda: dalvex.ldl(A3).solve(np.ones(2) * 1j), TypeError, "complex"),
    ("b sparse", lambda: dalvex.ldl(A3).solve(sp.csc_matrix(np.ones((2, 1)))), TypeError,
     "toarray"),
    ("b three dimensions", lambda: dalvex.ldl(A3).solve(np.ones((2, 1, 1))), ValueError,
     "dimensions"),
    ("refactor another pattern",
     lambda: dalvex.ldl(sp.csc_matrix(A3)).refactor(sp.csc_matrix(np.eye(2))), ValueError,
     "dalvex.ldl"),
    ("refactor dense outside the pattern",
     lambda: dalvex.ldl(np.eye(2)).refactor(A3), ValueError, "outside the pattern"),
    ("refactor another order",
     lambda: dalvex.ldl(np.eye(2)).refactor(np.eye(3)), ValueError, "order"),
]


@pytest.mark.parametrize("call, error, words", [e[1:] for e in ERRORS], ids=[e[0] for e in ERRORS])
def test_bad_input_raises_a_clear_error(call, error, words):
    with pytest.raises(error) as raised:
        call()
    assert words in str(raised.value)


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="AddressSanitizer's allocator ends the process when memory runs out")
def test_out_of_memory_raises_memory_error():
    """In a child process whose address space is capped below what the factors need."""
    import subprocess
    import sys
    import textwrap
    code = textwrap.dedent("""
        import resource, numpy as np, scipy.sparse as sp, dalvex
        n = 2500
        A = sp.csc_matrix(np.ones((n, n)) + n * np.eye(n))  # dense factors: 25 MB of values
        used = int(open('/proc/self/statm').read().split()[0]) * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (used + 8 * 2**20, resource.RLIM_INFINITY))
        try:
            dalvex.ldl(A, ordering='amd')
        except MemoryError:
            print('MemoryError')
    """)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=300)
    assert out.stdout.strip() == "MemoryError", out.stderr


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="AddressSanitizer reserves the address space the cap would leave")
def test_two_threads_with_no_address_space_left_for_more_kernel_buffers():
    """The factors fit under the cap but no new BLAS work buffer does: the
    threads share the buffers there are (a buffer OpenBLAS cannot get ends
    the process)."""
    import subprocess
    import sys
    import textwrap
    code = textwrap.dedent("""
        import resource, numpy as np, scipy.sparse as sp, dalvex
        k = 22
        T = sp.diags([-np.ones(k - 1), 2 * np.ones(k), -np.ones(k - 1)], [-1, 0, 1])
        I = sp.identity(k)
        A = sp.csc_matrix(sp.kron(sp.kron(T, I), I) + sp.kron(sp.kron(I, T), I) + sp.kron(sp.kron(I, I), T))
        used = int(open('/proc/self/statm').read().split()[0]) * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (used + 160 * 2**20, resource.RLIM_INFINITY))
        b = A @ np.ones(A.shape[0])
        x = dalvex.ldl(A, ordering='amd').solve(b)
        print(abs(x - 1).max() < 1e-8)
    """)
    env = dict(os.environ, DALVEX_NUM_THREADS="2")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=300, env=env)
    assert out.returncode == 0 and out.stdout.strip() == "True", out.stderr
