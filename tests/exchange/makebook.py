"""Writes an Excel 97-2003 workbook for the import tests.

usage: makebook.py <output.xls> <description.json>

The description is {"sheets": [{"name": ..., "rows": [[cell, ...], ...]}]}.
A cell is a string, an integer, a float, null (left empty), or an object:
{"date": "yyyy-mm-dd"}, {"datetime": "yyyy-mm-dd hh:mm:ss"} or
{"number": 1001.0} (a whole number written as a floating point value).
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


def main():
    out, description = sys.argv[1], sys.argv[2]
    with open(description, encoding="utf-8") as f:
        contents = json.load(f)
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
