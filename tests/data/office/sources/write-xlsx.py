"""Writes a small .xlsx with openpyxl: two sheets named with marker words, text, numbers, a date,
a formula, a comment and a print header and footer (see ../README.md).

Usage: python3 write-xlsx.py OUT.xlsx   (Debian's python3-openpyxl)
"""
import datetime
import sys

import openpyxl
from openpyxl.comments import Comment

out = sys.argv[1]
wb = openpyxl.Workbook()
wb.properties.creator = "Ada Pemberton"
wb.properties.created = datetime.datetime(2024, 3, 15, 9, 0, 0)

ws = wb.active
ws.title = "Kettlebrisk"
ws["A1"] = "Rumbleclove"
ws["A2"] = "Weight"
ws["B2"] = 4711.5
ws["A3"] = "Crates"
ws["B3"] = 42
# openpyxl stores the formula only: no program has computed it, so the file holds no result.
ws["A4"] = "Double"
ws["B4"] = "=B2*2"
ws["A5"] = "Bottled"
ws["B5"] = datetime.date(2024, 3, 15)
ws["B5"].number_format = "yyyy-mm-dd"
ws["A6"] = "Checked"
ws["A6"].comment = Comment("Nettlegrove tasted this one.", "Ada Pemberton")

# Print header and footer; &P is the page number.
ws.oddHeader.center.text = "Saffronmere cellar book"
ws.oddFooter.center.text = "Cobblestave page &P"

ws2 = wb.create_sheet("Woolgathry")
ws2["B2"] = "Peppershank"

wb.save(out)
