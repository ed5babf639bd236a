"""Writes a small .docx with python-docx: a heading, body paragraphs, a table, a header and a
footer, each carrying its own marker word (see ../README.md).

Usage: python3 write-docx.py OUT.docx   (Debian's python3-docx)
"""
import datetime
import sys

import docx

out = sys.argv[1]
doc = docx.Document()

# Fixed document properties, so a rerun changes no XML, only the zip's own timestamps.
props = doc.core_properties
props.author = "Ada Pemberton"
props.last_modified_by = "Ada Pemberton"
props.title = "Orchard notes"
props.created = datetime.datetime(2024, 3, 15, 9, 0, 0)
props.modified = datetime.datetime(2024, 3, 15, 9, 0, 0)
props.revision = 1

doc.add_heading("Mizzlecombe orchard notes", level=1)
doc.add_paragraph("The Quibblemont trees were pruned in February.")
doc.add_paragraph("Sprocketfen sent two baskets of grafts.")

table = doc.add_table(rows=2, cols=2)
table.style = "Table Grid"
table.cell(0, 0).text = "Row"
table.cell(0, 1).text = "Variety"
table.cell(1, 0).text = "Turnipwhelm"
table.cell(1, 1).text = "Bodkinshaw"

section = doc.sections[0]
section.header.paragraphs[0].text = "Larchmottle estate"
section.footer.paragraphs[0].text = "Filed by Dunstravel"

doc.save(out)
