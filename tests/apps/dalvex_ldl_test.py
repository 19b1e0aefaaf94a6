"""dalvex-ldl on files written by SciPy's scipy.io.mmwrite, against NumPy's
dense references, and on malformed and refused files.

Run by CTest as: /usr/bin/python3 -m pytest dalvex_ldl_test.py --tool=PATH
"""
import io
import json
import os
import subprocess

import numpy as np
import pytest
import scipy.io
import scipy.sparse as sp


@pytest.fixture
def tool(request):
    return request.config.getoption("--tool")


def run(tool, *args):
    return subprocess.run([tool, *map(str, args)], capture_output=True, text=True)


def random_symmetric(n, seed, integer=False):
    """A sparse symmetric indefinite matrix with a diagonal that keeps it
    well conditioned; integer values when asked."""
    rng = np.random.default_rng(seed)
    a = sp.random(n, n, density=0.05, random_state=rng, format="coo")
    if integer:
        a.data = np.round(a.data * 10.0) - 5.0
    a = (a + a.T).tolil()
    signs = rng.choice([-1.0, 1.0], n)
    for i in range(n):
        a[i, i] = signs[i] * (abs(a[i]).sum() + 3.0)
    return a.tocsr()


@pytest.mark.parametrize("field", ["real", "integer"])
@pytest.mark.parametrize("symmetry", ["symmetric", "general"])
def test_scipy_files_give_the_inertia_and_solution_of_numpy(tool, tmp_path, field, symmetry):
    a = random_symmetric(60, seed=len(field) + len(symmetry), integer=field == "integer")
    matrix = tmp_path / "a.mtx"
    scipy.io.mmwrite(str(matrix), a, field=field, symmetry=symmetry)
    rhs = np.arange(120, dtype=float).reshape(60, 2) - 50.0
    scipy.io.mmwrite(str(tmp_path / "b.mtx"), rhs if field == "real" else rhs.astype(int),
                     field=field)
    result = run(tool, matrix, "--rhs", tmp_path / "b.mtx", "--out", tmp_path / "x.mtx",
                 "--json", tmp_path / "r.json")
    assert result.returncode == 0, result.stderr
    report = json.loads((tmp_path / "r.json").read_text())
    eigenvalues = np.linalg.eigvalsh(a.toarray())
    assert report["inertia"] == {"positive": int((eigenvalues > 0).sum()),
                                 "negative": int((eigenvalues < 0).sum()), "zero": 0}
    assert report["scaled_residual"] < 1e-12
    sign, log_abs = np.linalg.slogdet(a.toarray())
    assert report["determinant"]["sign"] == sign
    assert report["determinant"]["log_abs"] == pytest.approx(log_abs, rel=1e-10)
    x = scipy.io.mmread(str(tmp_path / "x.mtx"))
    assert np.allclose(x, np.linalg.solve(a.toarray(), rhs), rtol=1e-10, atol=1e-12)
    assert report["files_written"] == [str(tmp_path / "x.mtx")]


@pytest.mark.parametrize("ordering", ["amd", "metis", "natural", "auto"])
def test_every_ordering_solves_a_saddle_point_matrix(tool, tmp_path, ordering):
    h = sp.diags([-1.0, 4.0, -1.0], [-1, 0, 1], shape=(40, 40))
    b = sp.random(10, 40, density=0.2, random_state=np.random.default_rng(3))
    b = b + sp.eye(10, 40)
    k = sp.bmat([[h, b.T], [b, None]]).tocsr()
    scipy.io.mmwrite(str(tmp_path / "k.mtx"), k, symmetry="symmetric")
    result = run(tool, tmp_path / "k.mtx", "--ordering", ordering, "--json", "-")
    if ordering == "metis" and result.returncode == 2 and "has no METIS" in result.stderr:
        pytest.skip("a build without METIS")
    assert result.returncode == 0, result.stderr
    report = json.loads(result.stdout)
    assert report["inertia"] == {"positive": 40, "negative": 10, "zero": 0}
    assert report["scaled_residual"] < 1e-12
    assert "Inertia        40 positive, 10 negative, 0 zero" in result.stderr


@pytest.mark.parametrize("kind,reason", [
    ("skew-symmetric", "line 1: a skew-symmetric matrix is not taken"),
    ("hermitian", "line 1: a hermitian matrix is not taken"),
    ("complex", "line 1: a complex matrix is not taken"),
    ("pattern", "line 1: a pattern matrix is not taken"),
])
def test_refused_kinds_name_the_reason_and_write_nothing(tool, tmp_path, kind, reason):
    a = sp.csr_matrix(np.array([[0.0, 1.0], [-1.0, 0.0]]))
    if kind in ("complex", "hermitian"):
        a = sp.csr_matrix(np.array([[2.0, 1j], [-1j, 2.0]]))
    symmetry = kind if kind in ("skew-symmetric", "hermitian") else "general"
    field = kind if kind in ("complex", "pattern") else None
    scipy.io.mmwrite(str(tmp_path / "a.mtx"), a, field=field, symmetry=symmetry)
    (tmp_path / "x.mtx").write_text("old\n")
    result = run(tool, tmp_path / "a.mtx", "--out", tmp_path / "x.mtx", "--json", tmp_path / "r.json")
    assert result.returncode == 2
    assert reason in result.stderr
    assert (tmp_path / "x.mtx").read_text() == "old\n"
    assert not (tmp_path / "r.json").exists()


HEADER = "%%MatrixMarket matrix coordinate real symmetric\n"


@pytest.mark.parametrize("text,message", [
    ("", "line 0: the file is empty"),
    ("%%MatrixMarket matrix coordinate real\n2 2 1\n1 1 1\n", "line 1: the header must be"),
    ("%MatrixMarket matrix coordinate real symmetric\n", "line 1: the header must start with"),
    (HEADER + "2 3 1\n1 1 1\n", "line 2: the matrix is 2 x 3: it must be square"),
    (HEADER + "% c\n\n2 2\n", "line 4: the size line must hold rows, columns and entries"),
    (HEADER + "2 2 2\n1 1 1\n", "line 3: the file ends after 1 of the 2 entries"),
    (HEADER + "2 2 1\n1 1 1\n2 2 1\n", "line 4: an entry beyond the 1 the size line declares"),
    (HEADER + "2 2 1\n3 1 1\n", "line 3: the entry (3, 1) lies outside 1..2"),
    (HEADER + "2 2 1\n1 2 1\n", "line 3: the entry (1, 2) lies above the diagonal"),
    (HEADER + "2 2 1\n1 1 1.5x\n", "line 3: the value '1.5x' is not a real number"),
    (HEADER + "2 2 1\n1 1 nan\n", "line 3: the value 'nan' is not a finite double"),
    (HEADER + "2 2 1\n1 1 1e999\n", "line 3: the value '1e999' is not a finite double"),
    (HEADER + "2 2 1\n1 1 1 7\n", "line 3: an entry must hold a row, a column and a value"),
    (HEADER + "2 2 1\n1.0 1 1\n", "line 3: the row '1.0' is not an integer"),
    (HEADER + "2 2 99999999999999999999\n", "line 2: the size '99999999999999999999' exceeds 64 bits"),
    ("%%MatrixMarket matrix coordinate integer symmetric\n1 1 1\n1 1 2.5\n",
     "line 3: the value '2.5' is not an integer"),
    ("%%MatrixMarket matrix coordinate real general\n2 2 1\n2 1 1\n",
     "not symmetric: (row 1, column 0) is 1 but (row 0, column 1) is absent"),
])
def test_malformed_files_exit_2_naming_the_line(tool, tmp_path, text, message):
    (tmp_path / "a.mtx").write_text(text)
    result = run(tool, tmp_path / "a.mtx", "--json", tmp_path / "r.json")
    assert result.returncode == 2
    assert message in result.stderr
    assert not (tmp_path / "r.json").exists()


def test_comments_blank_lines_crlf_and_keyword_case_are_taken(tool, tmp_path):
    text = ("%%MatrixMarket Matrix Coordinate Real Symmetric\r\n% a comment\r\n\r\n"
            "  2 2 3 \r\n1 1 4\r\n% between entries\r\n2 1 +1\r\n\r\n2 2 -3.5e0\r\n")
    (tmp_path / "a.mtx").write_bytes(text.encode())
    result = run(tool, tmp_path / "a.mtx")
    assert result.returncode == 0, result.stderr
    assert "Inertia        1 positive, 1 negative, 0 zero" in result.stdout


def test_singular_matrix_exits_1_missing_file_3_usage_2(tool, tmp_path):
    (tmp_path / "s.mtx").write_text(HEADER + "2 2 2\n1 1 1\n2 2 0\n")
    singular = run(tool, tmp_path / "s.mtx")
    assert singular.returncode == 1
    assert "numerically singular: rank 1 < 2" in singular.stdout
    missing = run(tool, tmp_path / "none.mtx")
    assert missing.returncode == 3
    assert "cannot open" in missing.stderr
    assert run(tool, tmp_path / "s.mtx", "--ordering", "rcm").returncode == 2
    assert run(tool).returncode == 2
    assert run(tool, "--help").returncode == 0
