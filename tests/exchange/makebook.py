"""Writes a workbook or CSV file for the import tests, by the output's
extension: .xls with xlwt, .xlsx with openpyxl, .csv with Python's csv
module as a spreadsheet program saves it.

usage: makebook.py <output.xls|.xlsx|.csv> <description.json>

The description is {"sheets": [{"name": ..., "rows": [[cell, ...], ...]}]}.
A cell is a string, an integer, a float, null (left empty), or an object:
{"date": "yyyy-mm-dd"}, {"datetime": "yyyy-mm-dd hh:mm:ss"} or
{"number": 1001.0} (a whole number written as a floating point value).
Options: "date1904": true (.xlsx in the 1904 date system); for .csv
"bom": true, "delimiter": ";" and "newline": "\r\n" (the first sheet is
written; dates as d/mm/yyyy text).
"""
import datetime
import json
import sys

import xlwt
from struct import pack
from xlwt.Cell import NumberCell


class DoubleCell(NumberCell):
    """A number kept as a floating point NUMBER record, never packed as an
    integer, the way some writers store whole numbers (1001.0)."""

    def get_encoded_data(self):
        return 0, pack('<5Hd', 0x0203, 14, self.rowx, self.colx, self.xf_idx, self.number)


def write_xlsx(out, contents):
    import openpyxl
    from openpyxl.utils.datetime import CALENDAR_MAC_1904
    book = openpyxl.Workbook()
    book.remove(book.active)
    if contents.get("date1904"):
        book.epoch = CALENDAR_MAC_1904
    for sheet_data in contents["sheets"]:
        sheet = book.create_sheet(sheet_data["name"])
        for r, row in enumerate(sheet_data["rows"]):
            for c, cell in enumerate(row):
                if cell is None:
                    continue
                target = sheet.cell(row=r + 1, column=c + 1)
                if isinstance(cell, dict):
                    if "date" in cell:
                        target.value = datetime.datetime.strptime(cell["date"], "%Y-%m-%d")
                        target.number_format = "YYYY-MM-DD"
                    elif "datetime" in cell:
                        target.value = datetime.datetime.strptime(cell["datetime"], "%Y-%m-%d %H:%M:%S")
                        target.number_format = "YYYY-MM-DD HH:MM:SS"
                    elif "number" in cell:
                        target.value = float(cell["number"])
                    continue
                target.value = cell
    book.save(out)


def csv_text(cell):
    if cell is None:
        return ""
    if isinstance(cell, dict):
        if "date" in cell:
            d = datetime.datetime.strptime(cell["date"], "%Y-%m-%d")
            return "%d/%02d/%d" % (d.day, d.month, d.year)
        if "datetime" in cell:
            d = datetime.datetime.strptime(cell["datetime"], "%Y-%m-%d %H:%M:%S")
            return "%d/%02d/%d %s" % (d.day, d.month, d.year, d.strftime("%H:%M:%S"))
        cell = cell["number"]
    if isinstance(cell, float) and cell.is_integer():
        return str(int(cell))
    return str(cell)


def write_csv(out, contents):
    import csv
    encoding = "utf-8-sig" if contents.get("bom") else "utf-8"
    with open(out, "w", encoding=encoding, newline="") as f:
        writer = csv.writer(f, delimiter=contents.get("delimiter", ","),
                            lineterminator=contents.get("newline", "\r\n"))
        for row in contents["sheets"][0]["rows"]:
            writer.writerow([csv_text(cell) for cell in row])


def main():
    out, description = sys.argv[1], sys.argv[2]
    with open(description, encoding="utf-8") as f:
        contents = json.load(f)
    if out.endswith(".xlsx"):
        return write_xlsx(out, contents)
    if out.endswith(".csv"):
        return write_csv(out, contents)
    book = xlwt.Workbook(encoding="utf-8")
    date_style = xlwt.easyxf(num_format_str="YYYY-MM-DD")
    datetime_style = xlwt.easyxf(num_format_str="YYYY-MM-DD HH:MM:SS")
    for sheet_data in contents["sheets"]:
        sheet = book.add_sheet(sheet_data["name"])
        for r, row in enumerate(sheet_data["rows"]):
            for c, cell in enumerate(row):
                if cell is None:
                    continue
                if isinstance(cell, dict):
                    if "date" in cell:
                        value = datetime.datetime.strptime(cell["date"], "%Y-%m-%d")
                        sheet.write(r, c, value, date_style)
                    elif "datetime" in cell:
                        value = datetime.datetime.strptime(cell["datetime"], "%Y-%m-%d %H:%M:%S")
                        sheet.write(r, c, value, datetime_style)
                    elif "number" in cell:
                        xf = book.add_style(xlwt.Style.default_style)
                        sheet.row(r).insert_cell(c, DoubleCell(r, c, xf, cell["number"]))
                    continue
                sheet.write(r, c, cell)
    book.save(out)


if __name__ == "__main__":
    main()
