#!/usr/bin/python3
# Certificate PDFs as another program lays them out: labels and values in separate table cells,
# the deductor's PAN and TAN beside the deductee's. All names and numbers are made up.
#   make_portal_pdfs.py DIR          the files `certwright sign` is tried on
#   make_portal_pdfs.py DIR --mail   a folder for `certwright mail --pdfs`: a PAN each, one with two files
import sys
from reportlab.lib.pagesizes import A4
from reportlab.lib.styles import getSampleStyleSheet
from reportlab.platypus import SimpleDocTemplate, Table, Paragraph, Spacer, PageBreak

out = sys.argv[1]
body = getSampleStyleSheet()["BodyText"]
CAPTION = "Signature of person responsible for deduction of tax"


def cell(text):
    return Paragraph(text, body)


def certificate(deductee_label="PAN of the Deductee", pans=("ABCPE1234F",), caption=True, width=None):
    head = Table([[cell("Certificate No."), cell("QWERTYU"), cell("Assessment Year"), cell("2025-26")],
                  [cell("Quarter"), cell("Q2"), cell("Period"), cell("01/07/2024 to 30/09/2024")]],
                 style=[("GRID", (0, 0), (-1, -1), 0.5, "black")])
    story = [Paragraph("FORM NO. 16A", body), head, Spacer(1, 12)]
    for pan in pans:
        widths = width or [150, 150, 150]
        story.append(Table([[cell("PAN of the Deductor"), cell("TAN of the Deductor"), cell(deductee_label)],
                            [cell("AAACD9876K"), cell("MUMD12345E"), cell(pan)]], colWidths=widths,
                           style=[("GRID", (0, 0), (-1, -1), 0.5, "black")]))
        story.append(Spacer(1, 12))
    return story, caption


def verification(caption=True):
    rows = [[cell("Place"), cell("MUMBAI"), cell("")], [cell("Date"), cell("15/11/2024"), cell("")]]
    if caption:
        rows.append([cell(""), cell(""), cell(CAPTION)])
    return [Spacer(1, 40), Paragraph("Verification: I, A. Sample, certify that the information given above is true.", body),
            Table(rows, colWidths=[60, 150, 240])]


def write(name, story):
    SimpleDocTemplate(f"{out}/{name}", pagesize=A4).build(story)


def plain(name, **kw):
    story, caption = certificate(**kw)
    write(name, story + verification(caption))


def letter(name):
    write(name, [Paragraph("Dear Sir, please find the invoice for October attached.", body)])


def two_pages(name, pans=("ABCPE1234F",)):
    story, _ = certificate(pans=pans)
    write(name, story + [PageBreak(), Paragraph("Annexure: details of tax deducted", body)] + verification())


if sys.argv[2:] == ["--mail"]:
    plain("asha.pdf", pans=("AAAPA1234A",))
    two_pages("asha-annexure.pdf", pans=("AAAPA1234A",))
    plain("balaji.pdf", deductee_label="PAN OF THE DEDUCTEE", pans=("AAAPB1234B",))
    plain("chetan.pdf", deductee_label="PAN of the<br/>Deductee", width=[150, 150, 90], pans=("AAAPC1234C",))
    plain("notavbl.pdf", pans=("PANNOTAVBL",))
    plain("stranger.pdf", pans=("AAAPZ1234Z",))
    plain("twopans.pdf", pans=("AAAPA1234A", "AAAPB1234B"))
    plain("nopan.pdf", pans=("",))
    letter("letter.pdf")
    sys.exit(0)

plain("basic.pdf")
plain("capitals.pdf", deductee_label="PAN OF THE DEDUCTEE")
plain("notavbl.pdf", pans=("PANNOTAVBL",))
plain("wrapped.pdf", deductee_label="PAN of the<br/>Deductee", width=[150, 150, 90])
plain("twopans.pdf", pans=("ABCPE1234F", "ZYXPW9876Q"))
plain("nopan.pdf", pans=("",))
plain("nocaption.pdf", caption=False)
two_pages("twopages.pdf")
letter("letter.pdf")
