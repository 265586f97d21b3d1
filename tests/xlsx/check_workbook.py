#!/usr/bin/python3
"""Reads a workbook with openpyxl and compares it with an expectation file.

Usage: check_workbook.py WORKBOOK EXPECTATIONS
Expectation lines, tab-separated:
  sheets  NAME...              every tab in order (chart sheets included)
  active  NAME                 the active sheet
  range   SHEET  A1:C3  FORMAT  the sheet's used range is exactly this; every cell in it has
                                number format FORMAT, and holds None unless listed by 'cell'
  cell    SHEET  REF  n VALUE  a number equal to VALUE (as a double)
  cell    SHEET  REF  s TEXT   a text (\\t \\n \\r \\\\ escapes)
  printarea SHEET AREA|-       the sheet's print area (openpyxl form) or none
  definedname NAME SCOPE VALUE a defined name scoped to sheet SCOPE ("-": the workbook)
  pandasheader SHEET NAME...   the sheet's first row as pandas.read_excel gives its columns
  readers pandas               only pandas reads it (openpyxl's full load counts cell formats
                               otherwise than Excel where they are wrapped in mc:AlternateContent)
Every XML part must be well-formed for expat, and pandas.read_excel (where it is installed)
must read every sheet.
Prints one line per difference and exits 1 if there is any.
"""
import sys
import xml.etree.ElementTree as ElementTree
import zipfile

import openpyxl
from openpyxl.utils import range_boundaries, get_column_letter


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}[text[i + 1]])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def main(path, expectations):
    problems = []
    # Expat is strict where pugixml is not (character references to control characters).
    with zipfile.ZipFile(path) as z:
        for name in z.namelist():
            if name.endswith((".xml", ".rels")):
                try:
                    ElementTree.fromstring(z.read(name))
                except ElementTree.ParseError as error:
                    problems.append("%s: %s" % (name, error))
    lines = [line for line in open(expectations, encoding="utf-8").read().split("\n") if line]
    problems += pandas_problems(path, [line.split("\t") for line in lines])
    if "readers\tpandas" in lines:
        return report(problems)
    wb = openpyxl.load_workbook(path)
    cells = {}
    ranges = []
    for line in lines:
        f = line.split("\t")
        if f[0] == "sheets":
            if wb.sheetnames != f[1:]:
                problems.append("sheets %r, expected %r" % (wb.sheetnames, f[1:]))
        elif f[0] == "active":
            if wb.active.title != f[1]:
                problems.append("active %r, expected %r" % (wb.active.title, f[1]))
        elif f[0] == "range":
            ranges.append((f[1], f[2], f[3]))
        elif f[0] == "cell":
            cells[(f[1], f[2])] = (f[3], unescape(f[4]) if len(f) > 4 else "")
        elif f[0] == "printarea":
            area = wb[f[1]].print_area
            if isinstance(area, (list, tuple)):
                area = ",".join(area)
            if (area or "-") != f[2]:
                problems.append("print area of %s %r, expected %r" % (f[1], area, f[2]))
        elif f[0] in ("pandasheader", "readers"):
            pass
        elif f[0] == "definedname":
            # NAME SCOPE VALUE: SCOPE is a sheet name or "-" for the workbook.
            sheets = wb.sheetnames
            names = {(d.name, "-" if d.localSheetId is None else sheets[d.localSheetId]): d.attr_text
                     for d in wb.defined_names.definedName}
            if names.get((f[1], f[2])) != f[3]:
                problems.append("defined name %s (%s) %r, expected %r; all: %r" %
                                (f[1], f[2], names.get((f[1], f[2])), f[3], names))
        else:
            problems.append("unknown expectation %r" % line)
    for sheet, ref, fmt in ranges:
        ws = wb[sheet]
        min_col, min_row, max_col, max_row = range_boundaries(ref)
        if (ws.max_row, ws.max_column) != (max_row, max_col):
            problems.append("%s extends to row %d, column %d; expected %d, %d" %
                            (sheet, ws.max_row, ws.max_column, max_row, max_col))
        for row in range(min_row, max_row + 1):
            for col in range(min_col, max_col + 1):
                ref = "%s%d" % (get_column_letter(col), row)
                cell = ws[ref]
                if cell.number_format != fmt:
                    problems.append("%s!%s format %r" % (sheet, ref, cell.number_format))
                kind, value = cells.pop((sheet, ref), ("e", None))
                if kind == "e":
                    ok = cell.value is None
                elif kind == "n":
                    ok = (isinstance(cell.value, (int, float)) and not isinstance(cell.value, bool)
                          and float(cell.value) == float(value))
                else:
                    ok = cell.data_type == "s" and cell.value == value
                if not ok:
                    problems.append("%s!%s holds %r (%s), expected %s %r" %
                                    (sheet, ref, cell.value, cell.data_type, kind, value))
    for (sheet, ref) in cells:
        problems.append("%s!%s is outside every checked range" % (sheet, ref))
    return report(problems)


def report(problems):
    for p in problems:
        print(p)
    return 1 if problems else 0


def pandas_problems(path, expectations):
    """What pandas, which reads through openpyxl's read-only mode, makes of the workbook."""
    try:
        import pandas
    except ImportError:
        return []
    try:
        frames = pandas.read_excel(path, sheet_name=None)
    except Exception as error:
        return ["pandas.read_excel: %s: %s" % (type(error).__name__, error)]
    problems = []
    for f in expectations:
        if f[0] == "pandasheader":
            columns = [str(c) for c in frames[f[1]].columns] if f[1] in frames else None
            if columns != f[2:]:
                problems.append("pandas header of %s %r, expected %r" % (f[1], columns, f[2:]))
    return problems


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
