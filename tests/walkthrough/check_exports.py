#!/usr/bin/env python3
"""Reads the schedule back from exported files with readers of its own (the
workbook's XML as `unzip -p` gives it, the page through html.parser) and
compares it with what the walkthrough entered.

  check_exports.py xlsx SHEET_XML SHARED_STRINGS_XML ROW... [sum:COLUMN=VALUE...]
  check_exports.py html PAGE ROW... [sum:COLUMN=VALUE...]
  check_exports.py same-table PAGE_A PAGE_B

ROW is "Column=value|Column=value|..." for one data row, in the order the
rows must appear; numbers compare as numbers and, in the workbook, must be
number cells. Exit status 1 with a message on the first difference.
"""
import re
import sys
import xml.etree.ElementTree as ET
from html.parser import HTMLParser

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}


def fail(message):
    sys.exit(f"check_exports: {message}")


def number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return None


class Cell:
    def __init__(self, text, is_number):
        self.text = text
        self.is_number = is_number

    def __repr__(self):
        return f"{self.text!r}{' (number)' if self.is_number else ''}"


# ---------------------------------------------------------------- workbook
def column_index(ref):
    letters = re.match(r"[A-Z]+", ref).group(0)
    n = 0
    for ch in letters:
        n = n * 26 + ord(ch) - ord("A") + 1
    return n - 1


def read_xlsx(sheet_path, strings_path):
    strings = [
        "".join(t.text or "" for t in si.iter(f"{{{NS['m']}}}t"))
        for si in ET.parse(strings_path).getroot().findall("m:si", NS)
    ]
    table = []
    for row in ET.parse(sheet_path).getroot().findall("m:sheetData/m:row", NS):
        cells = {}
        for c in row.findall("m:c", NS):
            v = c.find("m:v", NS)
            kind = c.get("t", "n")
            if v is None:
                cells[column_index(c.get("r"))] = Cell("", False)
            elif kind == "s":
                cells[column_index(c.get("r"))] = Cell(strings[int(v.text)], False)
            elif kind == "n":
                cells[column_index(c.get("r"))] = Cell(v.text, True)
            else:
                cells[column_index(c.get("r"))] = Cell(v.text or "", False)
        width = max(cells) + 1 if cells else 0
        table.append([cells.get(i, Cell("", False)) for i in range(width)])
    if not table:
        fail(f"{sheet_path}: no rows")
    # The first row is the header; the footer sums follow the last task row.
    return [c.text for c in table[0]], table[1:]


# ---------------------------------------------------------------- page
class PageReader(HTMLParser):
    def __init__(self):
        super().__init__()
        self.section = None
        self.header, self.body, self.foot = [], [], []
        self.row = None
        self.cell = None

    def handle_starttag(self, tag, attrs):
        if tag in ("thead", "tbody", "tfoot"):
            self.section = tag
        elif tag == "tr":
            self.row = []
        elif tag in ("td", "th"):
            self.cell = []

    def handle_endtag(self, tag):
        if tag in ("td", "th") and self.cell is not None:
            self.row.append("".join(self.cell))
            self.cell = None
        elif tag == "tr" and self.row is not None:
            {"thead": self.header, "tbody": self.body, "tfoot": self.foot}[self.section].append(self.row)
            self.row = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell.append(data)


def read_html(path):
    reader = PageReader()
    with open(path, encoding="utf-8") as f:
        reader.feed(f.read())
    if len(reader.header) != 1:
        fail(f"{path}: expected one header row, found {len(reader.header)}")
    wrap = lambda rows: [[Cell(t, number(t) is not None) for t in r] for r in rows]
    return reader.header[0], wrap(reader.body), wrap(reader.foot)


# ---------------------------------------------------------------- comparing
def parse_expectation(expectation):
    out = {}
    for part in expectation.split("|"):
        key, _, value = part.partition("=")
        out[key] = value
    return out


def same_value(cell, wanted, need_number_cell):
    want = number(wanted)
    if want is None:
        return cell.text == wanted
    got = number(cell.text)
    if got is None or abs(got - want) > 1e-9:
        return False
    return cell.is_number or not need_number_cell


def check_row(where, header, row, expectation, need_number_cell):
    for column, wanted in expectation.items():
        if column not in header:
            fail(f"{where}: no column {column!r} in {header}")
        cell = row[header.index(column)] if header.index(column) < len(row) else Cell("", False)
        if not same_value(cell, wanted, need_number_cell):
            fail(f"{where}: column {column!r} is {cell}, expected {wanted!r}"
                 + (" as a number cell" if need_number_cell and number(wanted) is not None else ""))


def check(where, header, rows, foot, args, need_number_cell):
    row_expectations = [parse_expectation(a) for a in args if not a.startswith("sum:")]
    sum_spec = {}
    for a in args:
        if a.startswith("sum:"):
            sum_spec.update(parse_expectation(a[4:]))
    data_rows = rows[: len(row_expectations)]
    if len(rows) - len(foot) != len(row_expectations):
        fail(f"{where}: {len(rows) - len(foot)} task rows, expected {len(row_expectations)}: {rows}")
    for i, (row, expectation) in enumerate(zip(data_rows, row_expectations)):
        check_row(f"{where} row {i + 1}", header, row, expectation, need_number_cell)
    if sum_spec:
        if not foot:
            fail(f"{where}: no footer sums")
        check_row(f"{where} footer", header, foot[-1], sum_spec, need_number_cell)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    mode = sys.argv[1]
    if mode == "xlsx":
        header, rows = read_xlsx(sys.argv[2], sys.argv[3])
        args = sys.argv[4:]
        has_sums = any(a.startswith("sum:") for a in args)
        foot = rows[-1:] if has_sums else []
        check("workbook", header, rows, foot, args, True)
    elif mode == "html":
        header, body, foot = read_html(sys.argv[2])
        check("page", header, body + foot, foot, sys.argv[3:], False)
    elif mode == "same-table":
        a, b = read_html(sys.argv[2]), read_html(sys.argv[3])
        flat = lambda t: (t[0], [[c.text for c in r] for r in t[1]], [[c.text for c in r] for r in t[2]])
        if flat(a) != flat(b):
            fail(f"the schedules differ:\n  {flat(a)}\n  {flat(b)}")
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
