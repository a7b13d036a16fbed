"""Prints every non-empty cell of the given .xls files as read by xlrd, one per line:
file, sheet, row, column (0-based), kind (n number, t text, b boolean, e error) and value,
tab-separated; tabs, newlines and backslashes in texts are escaped."""
import os
import sys

import xlrd


def escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


def main():
    out = sys.stdout
    for path in sys.argv[1:]:
        book = xlrd.open_workbook(path, formatting_info=False)
        name = os.path.basename(path)
        for sheet in book.sheets():
            out.write("%s\t%s\t-1\t-1\tsheet\t\n" % (name, escape(sheet.name)))
            for r in range(sheet.nrows):
                for c in range(sheet.ncols):
                    cell = sheet.cell(r, c)
                    if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                        continue
                    if cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                        kind, value = "n", repr(float(cell.value))
                    elif cell.ctype == xlrd.XL_CELL_TEXT:
                        kind, value = "t", escape(cell.value)
                    elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                        kind, value = "b", str(int(cell.value))
                    else:
                        kind, value = "e", str(cell.value)
                    out.write("%s\t%s\t%d\t%d\t%s\t%s\n" % (name, escape(sheet.name), r, c, kind, value))


if __name__ == "__main__":
    main()
