#!/usr/bin/python3
"""Drives LibreOffice (through its UNO bridge) and Gnumeric (ssconvert) for the drawing tests.
  office.py restyle-lo|restyle-gnumeric TEMPLATE LOGO SEAL OUT.xls
      the logo on "Form 16A" over A1:C3, the seal on "Annex" over A1:B2, a comment on Form 16A!I10
  office.py objects FILE.xls       Gnumeric's view, per sheet: "SHEET image", "SHEET comment CELL TEXT"
  office.py pdf FILE.xls OUT.pdf   LibreOffice's PDF of the workbook"""
import base64, gzip, os, re, shutil, signal, subprocess, sys, tempfile, time

COMMENT = 'Checked by the deductor'
PLACES = (('Form 16A', 'A1:C3'), ('Annex', 'A1:B2'))


def soffice(tmp, *args):  # a throw-away profile, never the user's
    return ['soffice', '-env:UserInstallation=file://' + os.path.join(tmp, 'profile'), '--headless', '--norestore',
            '--nolockcheck', *args]


def restyle_lo(tmp, template, logo, seal, out):
    import uno
    from com.sun.star.beans import PropertyValue
    from com.sun.star.table import CellAddress
    props = lambda **kw: tuple(PropertyValue(Name=k, Value=v) for k, v in kw.items())
    url = lambda path: uno.systemPathToFileUrl(os.path.abspath(path))
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
        desktop = ctx.ServiceManager.createInstanceWithContext('com.sun.star.frame.Desktop', ctx)
        graphics = ctx.ServiceManager.createInstanceWithContext('com.sun.star.graphic.GraphicProvider', ctx)
        doc = desktop.loadComponentFromURL(url(template), '_blank', 0, props(Hidden=True))
        for (sheet_name, cells), picture in zip(PLACES, (logo, seal)):
            sheet = doc.Sheets.getByName(sheet_name)
            shape = doc.createInstance('com.sun.star.drawing.GraphicObjectShape')
            shape.Graphic = graphics.queryGraphic(props(URL=url(picture)))
            sheet.DrawPage.add(shape)
            shape.setPosition(sheet.getCellRangeByName(cells).Position)
            shape.setSize(sheet.getCellRangeByName(cells).Size)
            shape.Anchor = sheet.getCellRangeByName(cells.split(':')[0])  # moves with its cell
        doc.Sheets.getByName('Form 16A').Annotations.insertNew(CellAddress(Sheet=0, Column=8, Row=9), COMMENT)
        doc.storeToURL(url(out), props(FilterName='MS Excel 97'))
        doc.close(True)
    finally:
        os.killpg(office.pid, signal.SIGKILL)  # the office we started, and only it


def gnumeric_xml(tmp, xls):
    xml = os.path.join(tmp, 'book.gnumeric')
    subprocess.run(['ssconvert', '-T', 'Gnumeric_XmlIO:sax', xls, xml], check=True, capture_output=True)
    with gzip.open(xml, 'rt', encoding='utf-8') as f:
        return f.read()


def restyle_gnumeric(tmp, template, logo, seal, out):
    text = gnumeric_xml(tmp, template)
    for (sheet_name, cells), picture in zip(PLACES, (logo, seal)):
        with open(picture, 'rb') as f:
            data = f.read()
        objects = ('<gnm:SheetObjectImage ObjectBound="%s" ObjectOffset="0 0 0 0" Direction="17" Print="1"><Content '
                   'image-type="%s" size-bytes="%d">%s</Content></gnm:SheetObjectImage>'
                   % (cells, 'png' if picture.endswith('.png') else 'jpeg', len(data), base64.b64encode(data).decode()))
        if sheet_name == 'Form 16A':
            objects += '<gnm:CellComment ObjectBound="I10" Text="%s"/>' % COMMENT
        at = text.index('<gnm:Name>%s</gnm:Name>' % sheet_name)
        end = text.index('</gnm:Sheet>', at)
        if '<gnm:Objects>' in text[at:end]:
            end = text.index('</gnm:Objects>', at)
        else:
            objects = '<gnm:Objects>%s</gnm:Objects>' % objects
        text = text[:end] + objects + text[end:]
    xml = os.path.join(tmp, 'restyled.gnumeric')
    with open(xml, 'w', encoding='utf-8') as f:
        f.write(text)
    subprocess.run(['ssconvert', '-T', 'Gnumeric_Excel:excel_biff8', xml, out], check=True, capture_output=True)


def objects(tmp, xls):
    for sheet in re.findall(r'<gnm:Sheet .*?</gnm:Sheet>', gnumeric_xml(tmp, xls), re.S):
        name = re.search(r'<gnm:Name>(.*?)</gnm:Name>', sheet).group(1)
        print(''.join('%s image\n' % name for _ in re.findall(r'<gnm:SheetObjectImage', sheet)), end='')
        for bound, text in re.findall(r'<gnm:CellComment ObjectBound="([A-Z]+\d+)"[^>]*Text="([^"]*)"', sheet):
            print('%s comment %s %s' % (name, bound, text))


def pdf(tmp, xls, out):
    subprocess.run(soffice(tmp, '--convert-to', 'pdf', '--outdir', tmp, xls), check=True, capture_output=True, timeout=300)
    shutil.move(os.path.join(tmp, os.path.splitext(os.path.basename(xls))[0] + '.pdf'), out)


if __name__ == '__main__':
    commands = {'restyle-lo': restyle_lo, 'restyle-gnumeric': restyle_gnumeric, 'objects': objects, 'pdf': pdf}
    if len(sys.argv) < 2 or sys.argv[1] not in commands:
        sys.exit(__doc__)
    tmp = tempfile.mkdtemp()
    try:
        commands[sys.argv[1]](tmp, *sys.argv[2:])
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
