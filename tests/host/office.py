#!/usr/bin/python3
"""Drives LibreOffice (through its UNO bridge) and Gnumeric (ssconvert) for the drawing tests.
  office.py restyle-lo TEMPLATE LOGO SEAL OUT.xls      a logo on "Form 16A" (A1:C3), a seal on
  office.py restyle-gnumeric TEMPLATE LOGO SEAL OUT.xls  "Annex" (A1:B2), a comment on Form 16A!I10
  office.py objects FILE.xls       per sheet, as Gnumeric reads it: "SHEET image", "SHEET comment CELL"
  office.py pdf FILE.xls OUT.pdf   LibreOffice's PDF of the workbook"""
import base64, gzip, os, re, shutil, subprocess, sys, tempfile, time

COMMENT = 'Checked by the deductor'


def soffice(tmp, *args):
    profile = 'file://' + os.path.join(tmp, 'profile')  # never the user's profile
    return ['soffice', '-env:UserInstallation=' + profile, '--headless', '--norestore', '--nolockcheck', *args]


def restyle_lo(template, logo, seal, out):
    import uno
    from com.sun.star.beans import PropertyValue
    from com.sun.star.table import CellAddress

    def props(**kw):
        return tuple(PropertyValue(Name=k, Value=v) for k, v in kw.items())
    tmp = tempfile.mkdtemp()
    pipe = 'certwright%d' % os.getpid()
    office = subprocess.Popen(soffice(tmp, '--accept=pipe,name=%s;urp;' % pipe), start_new_session=True)
    try:
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext('com.sun.star.bridge.UnoUrlResolver', local)
        for _ in range(240):
            try:
                ctx = resolver.resolve('uno:pipe,name=%s;urp;StarOffice.ComponentContext' % pipe)
                break
            except Exception:
                time.sleep(0.5)
        smgr = ctx.ServiceManager
        desktop = smgr.createInstanceWithContext('com.sun.star.frame.Desktop', ctx)
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(template)), '_blank', 0, props(Hidden=True))
        graphics = smgr.createInstanceWithContext('com.sun.star.graphic.GraphicProvider', ctx)
        for sheet_name, picture, cells in (('Form 16A', logo, 'A1:C3'), ('Annex', seal, 'A1:B2')):
            sheet = doc.Sheets.getByName(sheet_name)
            area = sheet.getCellRangeByName(cells)
            shape = doc.createInstance('com.sun.star.drawing.GraphicObjectShape')
            shape.Graphic = graphics.queryGraphic(props(URL=uno.systemPathToFileUrl(os.path.abspath(picture))))
            sheet.DrawPage.add(shape)
            shape.setPosition(area.Position)
            shape.setSize(area.Size)
            shape.Anchor = sheet.getCellRangeByName(cells.split(':')[0])  # moves with its cell
        form = doc.Sheets.getByName('Form 16A')
        form.Annotations.insertNew(CellAddress(Sheet=0, Column=8, Row=9), COMMENT)
        doc.storeToURL(uno.systemPathToFileUrl(os.path.abspath(out)), props(FilterName='MS Excel 97'))
        doc.close(True)
        try:
            desktop.terminate()
        except Exception:
            pass
        office.wait(60)
    finally:
        if office.poll() is None:
            office.kill()
        shutil.rmtree(tmp, ignore_errors=True)


def gnumeric_xml(xls, tmp):
    xml = os.path.join(tmp, 'book.gnumeric')
    subprocess.run(['ssconvert', '-T', 'Gnumeric_XmlIO:sax', xls, xml], check=True, capture_output=True)
    with gzip.open(xml, 'rt', encoding='utf-8') as f:
        return f.read()


def restyle_gnumeric(template, logo, seal, out):
    tmp = tempfile.mkdtemp()
    try:
        text = gnumeric_xml(template, tmp)
        for sheet_name, picture, bound in (('Form 16A', logo, 'A1:C3'), ('Annex', seal, 'A1:B2')):
            with open(picture, 'rb') as f:
                data = base64.b64encode(f.read()).decode()
            kind = 'png' if picture.endswith('.png') else 'jpeg'
            objects = ('<gnm:SheetObjectImage ObjectBound="%s" ObjectOffset="0 0 0 0" Direction="17" Print="1">'
                       '<Content image-type="%s" size-bytes="%d">%s</Content></gnm:SheetObjectImage>'
                       % (bound, kind, len(base64.b64decode(data)), data))
            if sheet_name == 'Form 16A':
                objects += '<gnm:CellComment ObjectBound="I10" Text="%s"/>' % COMMENT
            at = text.index('<gnm:Name>%s</gnm:Name>' % sheet_name)
            end = text.index('</gnm:Sheet>', at)
            if '<gnm:Objects>' in text[at:end]:
                end = text.index('</gnm:Objects>', at)
            else:
                objects = '<gnm:Objects>' + objects + '</gnm:Objects>'
            text = text[:end] + objects + text[end:]
        xml = os.path.join(tmp, 'restyled.gnumeric')
        with open(xml, 'w', encoding='utf-8') as f:
            f.write(text)
        subprocess.run(['ssconvert', '-T', 'Gnumeric_Excel:excel_biff8', xml, out], check=True, capture_output=True)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def objects(xls):
    tmp = tempfile.mkdtemp()
    try:
        text = gnumeric_xml(xls, tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    for sheet in re.findall(r'<gnm:Sheet .*?</gnm:Sheet>', text, re.S):
        name = re.search(r'<gnm:Name>(.*?)</gnm:Name>', sheet).group(1)
        for _ in re.findall(r'<gnm:SheetObjectImage', sheet):
            print('%s image' % name)
        for bound, comment in re.findall(r'<gnm:CellComment ObjectBound="([A-Z]+\d+)"[^>]*Text="([^"]*)"', sheet):
            print('%s comment %s %s' % (name, bound, comment))


def pdf(xls, out):
    tmp = tempfile.mkdtemp()
    try:
        subprocess.run(soffice(tmp, '--convert-to', 'pdf', '--outdir', tmp, xls), check=True, capture_output=True, timeout=300)
        shutil.move(os.path.join(tmp, os.path.splitext(os.path.basename(xls))[0] + '.pdf'), out)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == '__main__':
    commands = {'restyle-lo': restyle_lo, 'restyle-gnumeric': restyle_gnumeric, 'objects': objects, 'pdf': pdf}
    if len(sys.argv) < 2 or sys.argv[1] not in commands:
        sys.exit(__doc__)
    commands[sys.argv[1]](*sys.argv[2:])
