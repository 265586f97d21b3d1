#!/usr/bin/env python3
"""Writes the seeds of fuzz_xlsxparts (fuzz/seeds/xlsxparts/) from the workbook fixtures in
tests/data/export: each workbook's parts as that target reads its input (see
xlsxparts_fuzzer.cpp), leaving out the parts the edit never reads (document properties, themes).
Run it again when the fixtures change: python3 fuzz/make_seeds.py
"""
import pathlib
import zipfile

FIXED = ["[Content_Types].xml", "_rels/.rels", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
         "xl/styles.xml", "xl/sharedStrings.xml", "xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml"]
UNREAD = ("docProps/", "xl/theme/")

root = pathlib.Path(__file__).resolve().parent.parent
out = root / "fuzz" / "seeds" / "xlsxparts"
out.mkdir(parents=True, exist_ok=True)
for path in sorted((root / "tests" / "data" / "export").glob("*.xls[xm]")):
    try:
        archive = zipfile.ZipFile(path)
    except zipfile.BadZipFile:
        continue  # an encrypted or binary workbook: not parts
    names = archive.namelist()
    sections = [archive.read(name) if name in names else b"" for name in FIXED]
    for name in names:
        if name in FIXED or name.startswith(UNREAD) or not name.endswith((".xml", ".rels")):
            continue
        sections.append(name.encode() + b"\n" + archive.read(name))
    if any(b"\f" in s for s in sections):
        continue
    (out / (path.stem + ".txt")).write_bytes(b"\f".join(sections))
