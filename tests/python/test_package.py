"""The package as a Python user meets it: import, help, stubs and docstring
examples (docs/python.md's examples are the test docs.python)."""

import doctest
import pathlib
import re

import dalvex
from dalvex import _core


def test_help_names_every_function():
    text = dalvex.__doc__
    for name in ("ldl", "least_squares", "root"):
        assert name in text
        assert getattr(dalvex, name).__doc__.count("Parameters\n    ----------") == 1
    assert re.fullmatch(r"\d+\.\d+\.\d+", dalvex.__version__)


def test_docstring_examples_run():
    result = doctest.testmod(dalvex, optionflags=doctest.ELLIPSIS)
    assert result.failed == 0 and result.attempted >= 12  # the examples of ldl, least_squares, root


def test_stubs_declare_what_the_module_has():
    stub = (pathlib.Path(_core.__file__).parent / "_core.pyi").read_text()
    declared = set(re.findall(r"^(?:def|class) (\w+)|^    def (\w+)", stub, re.M))
    declared = {a or b for a, b in declared} - {"__init__"}
    present = {n for n in dir(_core) if not n.startswith("_")}
    present |= {n for n in dir(_core.LDLT) if not n.startswith("_")}
    assert declared <= present
    assert {n for n in dir(_core) if not n.startswith("_")} <= declared

