"""docs/python.md runs as written: its ```python blocks in order, in one
namespace and an empty folder, as a reader pastes them into a notebook; the
```text block after a python block holds lines that block must print."""
import contextlib
import io
import os
import re

import pytest

PAGE = os.path.join(os.path.dirname(__file__), "..", "..", "docs", "python.md")


def blocks(text):
    """(line, kind, code) of each fenced block, in order."""
    found = []
    for match in re.finditer(r"^```(\w*)[^\n]*\n(.*?)^```[ \t]*$", text, re.M | re.S):
        found.append((text.count("\n", 0, match.start()) + 1, match.group(1), match.group(2)))
    return found


def test_the_python_guide_runs_as_written(folder):
    with open(PAGE, encoding="utf-8") as page:
        found = blocks(page.read())
    namespace = {"__name__": "__docs__"}
    ran = 0
    for index, (line, kind, code) in enumerate(found):
        if kind != "python":
            continue
        printed = io.StringIO()
        with contextlib.redirect_stdout(printed):
            try:
                exec(compile(code, f"docs/python.md line {line}", "exec"), namespace)
            except Exception as error:
                pytest.fail(f"docs/python.md line {line}: {type(error).__name__}: {error}")
        ran += 1
        following = found[index + 1] if index + 1 < len(found) else None
        if following and following[1] == "text":
            output = [text.rstrip() for text in printed.getvalue().splitlines()]
            for want in following[2].splitlines():
                assert want.rstrip() in output, (f"docs/python.md line {following[0]} shows {want!r}, "
                                                 f"which the block at line {line} does not print:\n"
                                                 + printed.getvalue())
    assert ran >= 5


def test_the_stubs_and_docstrings_cover_what_the_module_offers():
    import ast
    import varnolt
    stubs = os.path.join(os.path.dirname(varnolt.__file__), "__init__.pyi")
    with open(stubs, encoding="utf-8") as file:
        tree = ast.parse(file.read())
    declared = {node.name for node in tree.body if isinstance(node, (ast.FunctionDef, ast.ClassDef))}
    declared |= {alias.asname or alias.name for node in tree.body if isinstance(node, ast.ImportFrom)
                 for alias in node.names}
    assert set(varnolt.__all__) <= declared, set(varnolt.__all__) - declared
    settings_stub = next(node for node in tree.body if isinstance(node, ast.ClassDef) and node.name == "Settings")
    fields = [node.target.id for node in settings_stub.body if isinstance(node, ast.AnnAssign)]
    assert fields == varnolt.Settings.names()
    for name in varnolt.__all__:
        assert getattr(varnolt, name).__doc__, f"varnolt.{name} has no docstring"
    for name in varnolt.Settings.names():
        assert "A run admits:" in getattr(varnolt.Settings, name).__doc__
    # The functions written in Python take the arguments their stubs declare.
    import inspect
    for node in tree.body:
        function = getattr(varnolt, node.name, None) if isinstance(node, ast.FunctionDef) else None
        if function is None or not inspect.isfunction(function):
            continue
        stub = [a.arg for a in node.args.args + node.args.kwonlyargs]
        assert stub == list(inspect.signature(function).parameters), f"the stub of varnolt.{node.name}"
        assert function.__doc__.startswith(f"{node.name}("), f"varnolt.{node.name}'s docstring starts with its call"
