#!/usr/bin/python3
"""Regenerates the workbook fixtures of the export tests.

Run once with Debian's python3 (python3-openpyxl, python3-xlsxwriter) and LibreOffice
(libreoffice-calc-nogui) installed:  /usr/bin/python3 make_fixtures.py
The generated files are committed; the tests never run this script.
"""
import io
import os
import shutil
import struct
import subprocess
import tempfile
import zipfile

import openpyxl
import xlsxwriter
from openpyxl.chart import BarChart, Reference
from openpyxl.workbook.defined_name import DefinedName
from openpyxl.workbook.protection import WorkbookProtection

HERE = os.path.dirname(os.path.abspath(__file__))


def out(name):
    return os.path.join(HERE, name)


def openpyxl_three():
    wb = openpyxl.Workbook()
    data = wb.active
    data.title = "Data"
    data.append(["well", "sample", 1, 2])
    data.append(["A1", "S1", 0.5, 1.25])
    run = wb.create_sheet("Run12")
    run["A1"] = "kept"
    run["B2"] = 42
    notes = wb.create_sheet("Notes")
    notes["A1"] = "  padded  "
    wb.active = 1
    wb.save(out("openpyxl_three.xlsx"))


def openpyxl_printarea():
    wb = openpyxl.Workbook()
    data = wb.active
    data.title = "Data"
    for r in range(1, 6):
        data.append([r, r * 2])
    data.print_area = "A1:B5"
    other = wb.create_sheet("Other")
    other["A1"] = 1
    other.print_title_rows = "1:1"
    wb.defined_names.append(DefinedName("GlobalName", attr_text="Data!$A$1"))
    wb.active = 0
    wb.save(out("openpyxl_printarea.xlsx"))


def openpyxl_chartsheet():
    wb = openpyxl.Workbook()
    data = wb.active
    data.title = "Data"
    for r in range(1, 5):
        data.append([r, r * r])
    chart = BarChart()
    chart.add_data(Reference(data, min_col=2, min_row=1, max_row=4))
    cs = wb.create_chartsheet("Chart1")
    cs.add_chart(chart)
    cs.sheetViews.sheetView[0].tabSelected = True  # the active chart sheet is the selected tab
    summary = wb.create_sheet("Summary")
    summary["A1"] = "sum"
    wb.active = 1
    wb.save(out("openpyxl_chartsheet.xlsx"))


def openpyxl_protected():
    wb = openpyxl.Workbook()
    wb.active.title = "Data"
    wb.security = WorkbookProtection(lockStructure=True)
    wb.save(out("protected_structure.xlsx"))


def xlsxwriter_excel_like():
    wb = xlsxwriter.Workbook(out("xlsxwriter_excel_like.xlsx"))
    three = wb.add_format({"num_format": "0.000"})
    summary = wb.add_worksheet("Summary")
    summary.write_string(0, 0, "well")
    summary.write_number(1, 0, 1.5, three)
    run = wb.add_worksheet("Run12")
    run.write_string(0, 0, "well")
    run.write_string(0, 1, "sample")
    run.write_number(1, 2, 3)
    run.print_area("A1:C2")
    hidden = wb.add_worksheet("Hidden")
    hidden.write_string(0, 0, "secret")
    hidden.hide()
    chart_data = wb.add_worksheet("Chart Data")
    for r in range(4):
        chart_data.write_number(r, 0, r + 1)
    chart = wb.add_chart({"type": "column"})
    chart.add_series({"values": "='Chart Data'!$A$1:$A$4"})
    chart_data.insert_chart("C2", chart)
    wb.define_name("Run12!LocalName", "=Run12!$A$1")
    run.activate()
    summary.select()  # two selected tabs: Excel opens them grouped
    wb.close()


def libreoffice(source, target):
    soffice = shutil.which("soffice")
    if not soffice:
        print("LibreOffice missing: %s not made" % target)
        return
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([soffice, "-env:UserInstallation=file://%s/profile" % tmp, "--headless", "--convert-to",
                        target.rsplit(".", 1)[1], "--outdir", tmp, out(source)], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        made = os.path.join(tmp, source.rsplit(".", 1)[0] + "." + target.rsplit(".", 1)[1])
        shutil.copyfile(made, out(target))


def rewrite(source, target, edit, extra=()):
    """Copies a package entry by entry; edit(name, bytes) returns new bytes or None to drop."""
    with zipfile.ZipFile(out(source)) as src, zipfile.ZipFile(out(target), "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            data = edit(info.filename, src.read(info.filename))
            if data is not None:
                dst.writestr(info.filename, data)
        for name, data in extra:
            dst.writestr(name, data)


def no_bookviews():
    import re

    def edit(name, data):
        if name == "xl/workbook.xml":
            return re.sub(rb"<bookViews>.*?</bookViews>", b"", data, flags=re.S)
        return data

    rewrite("openpyxl_three.xlsx", "no_bookviews.xlsx", edit)


def prefixed():
    """The workbook part with an x: prefix for the main namespace, as the Open XML SDK writes."""
    def edit(name, data):
        if name == "xl/workbook.xml":
            text = data.decode()
            text = text.replace('xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"',
                                'xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main"')
            import re
            text = re.sub(r"<(/?)(?!\?)([A-Za-z]+)", r"<\1x:\2", text)
            return text.encode()
        return data

    rewrite("openpyxl_three.xlsx", "sdk_prefixed.xlsx", edit)


def macro_enabled():
    def edit(name, data):
        if name == "[Content_Types].xml":
            return data.replace(b"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
                                b"application/vnd.ms-excel.sheet.macroEnabled.main+xml").replace(
                b"</Types>", b'<Default Extension="bin" ContentType="application/vnd.ms-office.vbaProject"/></Types>')
        if name == "xl/_rels/workbook.xml.rels":
            return data.replace(b"</Relationships>",
                                b'<Relationship Id="rId99" Type="http://schemas.microsoft.com/office/2006/'
                                b'relationships/vbaProject" Target="/xl/vbaProject.bin"/></Relationships>')
        return data

    rewrite("openpyxl_three.xlsx", "macro_enabled.xlsm", edit, [("xl/vbaProject.bin", bytes(range(256)) * 8)])


def strict():
    def edit(name, data):
        return (data.replace(b"http://schemas.openxmlformats.org/spreadsheetml/2006/main",
                             b"http://purl.oclc.org/ooxml/spreadsheetml/main")
                .replace(b"http://schemas.openxmlformats.org/officeDocument/2006/relationships",
                         b"http://purl.oclc.org/ooxml/officeDocument/relationships"))

    rewrite("openpyxl_three.xlsx", "strict.xlsx", edit)


def doctype():
    def edit_workbook(name, data):
        if name == "xl/workbook.xml":
            return data.replace(b"<workbook", b'<!DOCTYPE workbook [<!ENTITY x "y">]><workbook', 1)
        return data

    def edit_sheet(name, data):
        if name == "xl/worksheets/sheet2.xml":
            return data.replace(b"<worksheet", b"<!DOCTYPE worksheet><worksheet", 1)
        return data

    rewrite("openpyxl_three.xlsx", "doctype_workbook.xlsx", edit_workbook)
    rewrite("openpyxl_three.xlsx", "doctype_sheet.xlsx", edit_sheet)


def xlsb():
    types = (b'<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/'
             b'content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.'
             b'relationships+xml"/><Override PartName="/xl/workbook.bin" ContentType="application/vnd.ms-excel.'
             b'sheet.binary.macroEnabled.main"/></Types>')
    rels = (b'<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/'
            b'2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/'
            b'2006/relationships/officeDocument" Target="xl/workbook.bin"/></Relationships>')
    with zipfile.ZipFile(out("binary.xlsb"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", types)
        z.writestr("_rels/.rels", rels)
        z.writestr("xl/workbook.bin", b"\x83\x01\x00")


def encrypted():
    """A compound file laid out as Office writes a password-protected .xlsx: EncryptionInfo and
    EncryptedPackage streams (content random; nobody decrypts it)."""
    sector = 512
    end, free, fatsect = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD
    stream = 4096  # 8 sectors each, no mini stream
    fat = [fatsect, end] + list(range(3, 10)) + [end] + list(range(11, 18)) + [end]
    fat += [free] * (128 - len(fat))
    header = struct.pack("<8s16sHHHHH6sIIIIIIIII", bytes.fromhex("D0CF11E0A1B11AE1"), b"\0" * 16, 0x3E, 3,
                         0xFFFE, 9, 6, b"\0" * 6, 0, 1, 1, 0, 4096, end, 0, end, 0)
    header += struct.pack("<I", 0) + struct.pack("<I", free) * 108

    def entry(name, kind, child, right, start, size):
        encoded = (name + "\0").encode("utf-16-le")
        return struct.pack("<64sHBBIII16sIQQIQ", encoded, len(encoded), kind, 1, free, right, child, b"\0" * 16,
                           0, 0, 0, start, size)

    directory = (entry("Root Entry", 5, 1, free, end, 0) + entry("EncryptionInfo", 2, free, 2, 2, stream) +
                 entry("EncryptedPackage", 2, free, free, 10, stream) + b"\0" * 128)
    body = struct.pack("<128I", *fat) + directory + os.urandom(stream) + os.urandom(stream)
    assert len(header) == sector and len(body) == 18 * sector
    with open(out("encrypted.xlsx"), "wb") as f:
        f.write(header + body)


def three_d_span():
    """Summary!B1 adds up C2 of Jan to Mar, with Mar active: Excel's place for a new sheet (before
    the active one) lies inside the span. A second formula refers to another workbook's span."""
    wb = openpyxl.Workbook()
    summary = wb.active
    summary.title = "Summary"
    summary["A1"] = "total"
    summary["B1"] = "=SUM(Jan:Mar!C2)"
    summary["B2"] = "=SUM([1]Jan:Feb!C2)"
    for name, value in (("Jan", 1), ("Feb", 2), ("Mar", 4)):
        wb.create_sheet(name)["C2"] = value
    wb.active = 3
    wb.save(out("three_d_span.xlsx"))


def unrelated_shared_strings():
    """The shared strings keep their content type but lose their relationship from the workbook."""
    import re

    def edit(name, data):
        if name == "xl/_rels/workbook.xml.rels":
            return re.sub(rb'<Relationship [^>]*sharedStrings"[^>]*/>', b"", data)
        return data

    rewrite("xlsxwriter_excel_like.xlsx", "unrelated_shared_strings.xlsx", edit)


def alternate_content_styles():
    """Two cell formats wrapped in mc:AlternateContent between plain ones, counted as Excel counts
    them (one each)."""
    wrapped = (b'<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006" '
               b'xmlns:x14ac="http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac">'
               b'<mc:Choice Requires="x14ac"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0" '
               b'applyAlignment="1" x14ac:applyAlignment="1"><alignment horizontal="%s"/></xf></mc:Choice>'
               b'<mc:Fallback><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0" applyAlignment="1">'
               b'<alignment horizontal="%s"/></xf></mc:Fallback></mc:AlternateContent>')

    def edit(name, data):
        if name == "xl/styles.xml":
            import re
            body = re.search(rb"<cellXfs[^>]*>(.*?)</cellXfs>", data, re.S).group(1)
            plain = re.findall(rb"<xf .*?(?:/>|</xf>)", body, re.S)
            extra = b'<xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0" applyProtection="1"/>'
            entries = plain[:1] + [wrapped % (b"center", b"center"), wrapped % (b"left", b"left")] + plain[1:]
            entries.append(extra)
            cell_xfs = b'<cellXfs count="%d">' % len(entries) + b"".join(entries) + b"</cellXfs>"
            return re.sub(rb"<cellXfs[^>]*>.*?</cellXfs>", cell_xfs, data, flags=re.S)
        return data

    rewrite("openpyxl_three.xlsx", "alternate_content_styles.xlsx", edit)


def empty_sheet_relationship():
    """A tab whose r:id is empty, as one workbook saved by Excel had, second of four."""
    def edit(name, data):
        if name == "xl/workbook.xml":
            r = b'<sheet xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" '
            run12 = r + b'name="Run12"'
            assert run12 in data
            return data.replace(run12, r + b'name="Ghost" sheetId="9" state="hidden" r:id=""/>' + run12, 1).replace(
                b'activeTab="1"', b'activeTab="2"')
        return data

    rewrite("openpyxl_three.xlsx", "empty_sheet_relationship.xlsx", edit)


def data_descriptors():
    """Entries written as a stream: sizes 0 in the local headers and a data descriptor after each
    entry. One variant gives the checksum in the local header as well, the other a higher version
    needed there than in the directory: both differ from the directory, as some writers make them."""
    class Stream(io.RawIOBase):
        def __init__(self):
            self.data = bytearray()

        def writable(self):
            return True

        def write(self, b):
            self.data += b
            return len(b)

    stream = Stream()
    with zipfile.ZipFile(out("openpyxl_three.xlsx")) as src, zipfile.ZipFile(stream, "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            streamed = zipfile.ZipInfo(info.filename, info.date_time)
            streamed.compress_type = zipfile.ZIP_DEFLATED
            with dst.open(streamed, "w") as entry:
                entry.write(src.read(info.filename))
    for variant in ("crc", "version"):
        data = bytearray(stream.data)
        at = data.find(b"PK\x01\x02")
        while at >= 0 and data[at:at + 4] == b"PK\x01\x02":
            crc, = struct.unpack_from("<I", data, at + 16)
            local, = struct.unpack_from("<I", data, at + 42)
            assert struct.unpack_from("<H", data, local + 6)[0] & 8  # a data descriptor follows
            if variant == "crc":
                struct.pack_into("<I", data, local + 14, crc)
            else:
                struct.pack_into("<H", data, local + 4, 45)
            n, m, k = struct.unpack_from("<HHH", data, at + 28)
            at += 46 + n + m + k
        with open(out("data_descriptor_%s.xlsx" % variant), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    openpyxl_three()
    openpyxl_printarea()
    openpyxl_chartsheet()
    openpyxl_protected()
    xlsxwriter_excel_like()
    libreoffice("openpyxl_three.xlsx", "libreoffice_three.xlsx")
    no_bookviews()
    prefixed()
    macro_enabled()
    strict()
    doctype()
    xlsb()
    encrypted()
    three_d_span()
    unrelated_shared_strings()
    alternate_content_styles()
    empty_sheet_relationship()
    data_descriptors()
    libreoffice("openpyxl_three.xlsx", "legacy.xls")
    os.rename(out("legacy.xls"), out("legacy_xls.xls")) if os.path.exists(out("legacy.xls")) else None
