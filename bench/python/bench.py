#!/usr/bin/env python3
"""dalvex against SciPy in the same run, each measurement in a fresh process.

  bench.py ldl [CASE ...]     dalvex.ldl + solve against splu + solve on the
                              saddle-point matrices of cases.SADDLE_SIZES
  bench.py lsq [PROBLEM ...]  dalvex.least_squares against least_squares
                              (method='trf', LSMR) on bratu-N and broyden-N
  bench.py threads            two factorizations on two threads against one
                              after the other (the GIL released)
  bench.py overhead [CASE ...] the Python layer's own time against the C++
                              interface's on problems of 10⁴ unknowns and more
                              (ldl cases and lsq problems; default: all)

Options: --repeat K (interleaved repetitions, default 3), --scipy-once
(SciPy's long runs once only), --no-scipy, --timeout S (per run), --methods
M1,M2 (a subset of the methods). Each
run's address space is capped at DALVEX_BENCH_MEMORY_GIB (default 10) GiB.
Each line: what, the medians (time, evaluations, cost or residual, peak
memory added) and the ratio SciPy/dalvex of the medians; the load average
before and after. Run with Debian's python3 and PYTHONPATH=build/python.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def child(kind: str, case: str, method: str) -> dict:
    """One measurement in this (fresh) process, after a warm-up of the same
    method on a tiny case of the same kind (libraries loaded, BLAS threads
    started), so that neither side pays its start-up in the figure."""
    import resource

    import cases

    # The machine is shared: a run that needs more address space than this
    # ends with MemoryError rather than pushing others out.
    limit = int(float(os.environ.get("DALVEX_BENCH_MEMORY_GIB", "10")) * 2**30)
    resource.setrlimit(resource.RLIMIT_AS, (limit, resource.RLIM_INFINITY))

    def peak():
        return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024

    def cpu():
        usage = resource.getrusage(resource.RUSAGE_SELF)
        return usage.ru_utime + usage.ru_stime

    # The case is made before the clock starts: its matrix or problem is the
    # same for both sides, and making it (in Python, for the 10⁶ cases in
    # seconds) is not what either side is measured on.
    make, run = (ldl_case, ldl_run) if kind == "ldl" else (lsq_case, lsq_run)
    run(make(cases, "tiny-" + case.split("-")[0]), method)
    data = make(cases, case)
    base, cpu0 = peak(), cpu()
    t = time.perf_counter()
    result = run(data, method)
    result["seconds"] = time.perf_counter() - t
    result["cpu"] = cpu() - cpu0
    result["memory"] = peak() - base
    return result


def ldl_case(cases, case):
    import numpy as np

    N, d = (8, 2 if case.endswith("2d") else 3) if case.startswith("tiny") else cases.SADDLE_SIZES[case]
    K = cases.saddle_point(N, d)
    return K, np.ones(K.shape[0])


def ldl_run(data, method):
    import numpy as np
    import scipy.sparse.linalg as spla

    import dalvex
    K, b = data
    extra = {}
    if method == "dalvex":
        F = dalvex.ldl(K)
        x = F.solve(b)
        extra = dict(factor_memory=F.stats.memory, ordering=F.stats.ordering)
    elif method == "splu-best":
        x = spla.splu(K, permc_spec="MMD_AT_PLUS_A", options=dict(SymmetricMode=True)).solve(b)
    else:
        x = spla.splu(K).solve(b)
    r = b - K @ x
    scaled = np.max(np.abs(r)) / (abs(K).sum(axis=1).max() * np.max(np.abs(x)) + 1.0)
    return dict(n=K.shape[0], residual=float(scaled), **extra)


def lsq_case(cases, case):
    return cases.problem("bratu-8" if case.startswith("tiny") else case)


def lsq_run(p, method):
    import scipy.optimize as so

    import dalvex
    if method == "dalvex":
        res = dalvex.least_squares(p.fun, p.x0, jac=p.jac)
    elif method == "dalvex-fd":
        res = dalvex.least_squares(p.fun, p.x0, jac_sparsity=p.sparsity)
    elif method == "trf":
        res = so.least_squares(p.fun, p.x0, jac=p.jac, method="trf", tr_solver="lsmr")
    else:
        res = so.least_squares(p.fun, p.x0, jac_sparsity=p.sparsity, method="trf")
    return dict(n=p.x0.size, nfev=int(res.nfev), cost=float(res.cost), status=int(res.status))


def measure(kind, case, method, timeout):
    command = [sys.executable, os.path.abspath(__file__), "--child", kind, case, method]
    try:
        out = subprocess.run(command, capture_output=True, text=True, timeout=timeout,
                             env=dict(os.environ, PYTHONPATH=os.pathsep.join(
                                 [HERE, os.environ.get("PYTHONPATH", "")])))
    except subprocess.TimeoutExpired:
        return dict(timeout=timeout)
    if out.returncode != 0:
        return dict(error=(out.stderr.strip().splitlines() or [f"exit status {out.returncode}"])[-1])
    return json.loads(out.stdout.strip().splitlines()[-1])


def median(runs, key):
    values = [r[key] for r in runs if key in r]
    return statistics.median(values) if values else float("nan")


def compare(kind, items, ours, theirs, args):
    print(f"# load average before: {os.getloadavg()}")
    for case in items:
        results = {m: [] for m in ours + theirs}
        for k in range(args.repeat):
            for m in ours + theirs:
                if m in theirs and (args.no_scipy or (args.scipy_once and k > 0)):
                    continue
                results[m].append(measure(kind, case, m, args.timeout))
        line = [case]
        for m in ours + theirs:
            runs = [r for r in results[m] if "seconds" in r]
            if not runs:
                why = results[m][0] if results[m] else "not run"
                line.append(f"{m}: {why}")
                continue
            extra = (f"residual {median(runs, 'residual'):.1e}" + (
                     f" factors {median(runs, 'factor_memory') / 2**20:.0f} MiB "
                     f"({runs[0]['ordering']})" if "ordering" in runs[0] else "")
                     if kind == "ldl" else
                     f"nfev {median(runs, 'nfev'):.0f} cost {median(runs, 'cost'):.3e} "
                     f"status {runs[0]['status']}")
            line.append(f"{m}: {median(runs, 'seconds'):.3f} s (cpu {median(runs, 'cpu'):.2f} s, "
                        f"{len(runs)} runs) {extra} "
                        f"mem {median(runs, 'memory') / 2**20:.0f} MiB")
        base = [r["seconds"] for r in results[ours[0]] if "seconds" in r] if ours else []
        for m in theirs:
            other = [r["seconds"] for r in results[m] if "seconds" in r]
            if base and other:
                line.append(f"{m}/{ours[0]} = {statistics.median(other) / statistics.median(base):.1f}")
        print(" | ".join(line), flush=True)
    print(f"# load average after: {os.getloadavg()}")


def threads(args):
    """Two factorizations on two threads at once against one after the other,
    interleaved; one BLAS thread each, so the two threads are what runs at once."""
    import threading

    import cases
    import dalvex
    N, d = cases.SADDLE_SIZES["3d-1e5"]
    K = cases.saddle_point(N, d)
    print(f"# load average before: {os.getloadavg()}; OPENBLAS_NUM_THREADS="
          f"{os.environ.get('OPENBLAS_NUM_THREADS')}")
    ratios = []
    for _ in range(args.repeat):
        t = time.perf_counter()
        dalvex.ldl(K)
        dalvex.ldl(K)
        sequential = time.perf_counter() - t
        workers = [threading.Thread(target=dalvex.ldl, args=(K,)) for _ in range(2)]
        t = time.perf_counter()
        for w in workers:
            w.start()
        for w in workers:
            w.join()
        concurrent = time.perf_counter() - t
        ratios.append(sequential / concurrent)
        print(f"sequential {sequential:.2f} s, two threads {concurrent:.2f} s, "
              f"speed-up {sequential / concurrent:.2f}", flush=True)
    print(f"median speed-up {statistics.median(ratios):.2f}; load average after: {os.getloadavg()}")


def overhead(args):
    """The layer's own time against the C++ interface's on the same solve.

    ldl: the wall time of dalvex.ldl and one solve, less the time inside
    the C++ interface's calls (the matrix made and checked, analysed,
    factorized, solved). least_squares: the wall time less the
    C++ interface's time outside the callbacks (timings setup + total -
    evaluations - tests: the problem and the solver made, the solve) and
    less the user's functions' own time, measured around them: what remains
    is the package's Python and binding code, the termination tests and
    the iteration hook included."""
    import types

    import numpy as np

    import cases
    import dalvex
    import dalvex._ldl as ldl_layer

    # The C++ interface's calls timed where the package makes them: the
    # matrix's construction (and symmetry check) is the C++ interface's too.
    inside = [0.0]
    real_core = ldl_layer._core

    class TimedLDLT:
        def __init__(self, *args):
            t0 = time.perf_counter()
            try:
                self._core = real_core.LDLT(*args)
            finally:
                inside[0] += time.perf_counter() - t0

        def __getattr__(self, name):
            member = getattr(self._core, name)
            if not callable(member):
                return member

            def timed(*args):
                t0 = time.perf_counter()
                try:
                    return member(*args)
                finally:
                    inside[0] += time.perf_counter() - t0
            return timed
    ldl_layer._core = types.SimpleNamespace(LDLT=TimedLDLT, metis_available=real_core.metis_available)
    print(f"# load average before: {os.getloadavg()}")
    chosen = args.items or ["2d-1e4", "3d-1e4", "2d-1e5", "3d-1e5", "bratu-100", "bratu-200",
                            "broyden-100000"]
    for case in [c for c in chosen if c in cases.SADDLE_SIZES]:
        K = cases.saddle_point(*cases.SADDLE_SIZES[case])
        b = np.ones(K.shape[0])
        shares, walls = [], []
        for _ in range(args.repeat):
            inside[0] = 0.0
            t = time.perf_counter()
            F = dalvex.ldl(K)
            F.solve(b)
            wall = time.perf_counter() - t
            shares.append((wall - inside[0]) / wall)
            walls.append(wall)
        print(f"ldl {case} (n = {K.shape[0]}): wall {statistics.median(walls):.3f} s, layer "
              f"{100 * statistics.median(shares):.2f} %", flush=True)
    # The iteration hook runs outside the C++ evaluations: timed apart, as the layer's.
    import dalvex._least_squares as layer
    hook = layer._Monitor.__call__
    hooked = [0.0]

    def timed_hook(self, *args):
        t0 = time.perf_counter()
        try:
            return hook(self, *args)
        finally:
            hooked[0] += time.perf_counter() - t0
    layer._Monitor.__call__ = timed_hook
    for name in [c for c in chosen if c not in cases.SADDLE_SIZES]:
        p = cases.problem(name)
        for jac in ("analytic", "differences"):
            spent = [0.0]

            def timed(f):
                def g(x):
                    t0 = time.perf_counter()
                    try:
                        return f(x)
                    finally:
                        spent[0] += time.perf_counter() - t0
                return g
            shares, walls = [], []
            for _ in range(args.repeat):
                spent[0] = hooked[0] = 0.0
                t = time.perf_counter()
                if jac == "analytic":
                    res = dalvex.least_squares(timed(p.fun), p.x0, jac=timed(p.jac))
                else:
                    res = dalvex.least_squares(timed(p.fun), p.x0, jac_sparsity=p.sparsity)
                wall = time.perf_counter() - t
                cpp = (res.timings["setup"] + res.timings["total"] - res.timings["evaluations"]
                       - res.timings["tests"] - hooked[0])
                own = wall - cpp - spent[0]
                shares.append(own / (wall - spent[0]))
                walls.append(wall)
            print(f"least_squares {name} {jac}: wall {statistics.median(walls):.3f} s, layer "
                  f"{100 * statistics.median(shares):.2f} % of the solve outside the user's "
                  "functions", flush=True)
    ldl_layer._core = real_core
    print(f"# load average after: {os.getloadavg()}")


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--child":
        sys.path.insert(0, HERE)
        print(json.dumps(child(*sys.argv[2:5])))
        return
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("what", choices=["ldl", "lsq", "threads", "overhead"])
    parser.add_argument("items", nargs="*")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--scipy-once", action="store_true")
    parser.add_argument("--no-scipy", action="store_true")
    parser.add_argument("--timeout", type=float, default=3600)
    parser.add_argument("--methods", help="comma-separated subset of the methods (ldl: dalvex, "
                        "splu-best, splu; lsq: dalvex, dalvex-fd, trf, trf-fd)")
    args = parser.parse_args()
    sys.path.insert(0, HERE)
    chosen = args.methods.split(",") if args.methods else None

    def pick(methods):
        return [m for m in methods if chosen is None or m in chosen]
    if args.what == "ldl":
        compare("ldl", args.items or list(__import__("cases").SADDLE_SIZES), pick(["dalvex"]),
                pick(["splu-best", "splu"]) if chosen else ["splu-best"], args)
    elif args.what == "lsq":
        compare("lsq", args.items or ["bratu-100", "bratu-200", "broyden-100000"],
                pick(["dalvex", "dalvex-fd"]), pick(["trf", "trf-fd"]), args)
    elif args.what == "threads":
        threads(args)
    else:
        overhead(args)


if __name__ == "__main__":
    main()
