#!/usr/bin/env python3
"""Checks which functions scripts/function-length.py finds, and where each begins and ends, on a
file of the constructs that could mislead a brace counter."""

import importlib.util
import pathlib
import sys

here = pathlib.Path(__file__).resolve().parent
spec = importlib.util.spec_from_file_location("function_length", here.parents[1] / "scripts" / "function-length.py")
script = importlib.util.module_from_spec(spec)
spec.loader.exec_module(script)

expected = [
    ("twice", 13, 17),
    ("Counter", 22, 22),
    ("count", 23, 23),
    ("step", 26, 29),
    ("xml", 36, 40),
    ("operator==", 42, 45),
    ("plain", 48, 54),
]
found = script.functions(script.blank_code((here / "function_lengths.cpp.in").read_text()))
if found != expected:
    print("found:   ", found, "\nexpected:", expected)
    sys.exit(1)
print("function-length.py: every case found where it is")
