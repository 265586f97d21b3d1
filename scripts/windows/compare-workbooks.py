#!/usr/bin/python3
"""Compares two workbooks cell for cell: the sheets in order, and each cell's value, type and
number format. Prints the first differences and exits 1 when there are any.
    compare-workbooks.py A.xlsx B.xlsx"""
import sys

import openpyxl


def cells(path):
    book = openpyxl.load_workbook(path)
    out = []
    for sheet in book.worksheets:
        out.append(("sheet", sheet.title))
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is not None:
                    out.append((sheet.title, cell.coordinate, cell.value, cell.data_type, cell.number_format))
    return out


def main():
    a, b = cells(sys.argv[1]), cells(sys.argv[2])
    differences = [(x, y) for x, y in zip(a, b) if x != y]
    if len(a) != len(b):
        differences.append((f"{len(a)} entries", f"{len(b)} entries"))
    for x, y in differences[:10]:
        print(f"  {x}\n  {y}")
    print(f"{len(a)} cells and sheets compared, {len(differences)} differences")
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
