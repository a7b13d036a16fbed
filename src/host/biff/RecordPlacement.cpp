#include "host/biff/RecordPlacement.h"

#include "host/biff/Bytes.h"
#include "host/biff/Records.h"

namespace cw::host::biff {

int globalsSlot(std::uint16_t type)
{
    switch (type) {
    case rt::WriteProtect: case rt::FileSharing: case rt::Template:
        return gAfterBof;
    case rt::Excel9File:
        return gAfterDsf;
    case rt::ObNoMacros: case rt::CodeName:
        return gAfterTabId;
    case rt::FnGroupName: case rt::FnGrp12:
        return gAfterFnGroupCount;
    case rt::XFCRC: case rt::XFExt: case rt::Dxf:
        return gAfterXfs;
    case rt::TableStyles: case rt::TableStyle: case rt::TableStyleElement:
        return gAfterStyles;
    case rt::ClrtClient:
        return gAfterPalette;
    case rt::UserBView:
        return gBeforeUsesElfs;
    case rt::MTRSettings: case rt::ForceFullCalculation:
        return gAfterBoundSheets;
    case rt::RecalcId: case rt::HFPicture: case rt::MsoDrawingGroup:
        return gAfterNames;
    case rt::BookExt: case rt::Theme: case rt::Compat12: case rt::WebPub: case rt::FeatHdr:
        return gAfterSst;
    // Written from the model or rebuilt here. OBPROJ announces a VBA project, whose storage a
    // saved file does not carry, so it goes too.
    case rt::Bof: case rt::Eof: case rt::InterfaceHdr: case rt::Mms: case rt::InterfaceEnd:
    case rt::WriteAccess: case rt::CodePage: case rt::DSF: case rt::TabId: case rt::BuiltInFnGroupCount:
    case rt::WinProtect: case rt::Protect: case rt::Password: case rt::Prot4Rev: case rt::Prot4RevPass:
    case rt::Window1: case rt::Backup: case rt::HideObj: case rt::Date1904: case rt::CalcPrecision:
    case rt::RefreshAll: case rt::BookBool: case rt::Font: case rt::Format: case rt::XF:
    case rt::Style: case rt::StyleExt: case rt::Palette: case rt::UsesELFs: case rt::BoundSheet8:
    case rt::Country: case rt::SupBook: case rt::ExternName: case rt::XCT: case rt::CRN:
    case rt::ExternSheet: case rt::Lbl: case rt::SST: case rt::ExtSST: case rt::FilePass: case rt::ObProj:
        return kDrop;
    default:
        return kFollow;
    }
}

int sheetSlot(std::uint16_t type)
{
    switch (type) {
    case rt::Uncalced:
        return wAfterBof;
    case rt::Sync: case rt::LPr: case rt::HorizontalPageBreaks: case rt::VerticalPageBreaks:
        return wAfterWsBool;
    case rt::Pls:
        return wAfterMargins;
    case rt::HeaderFooter: case rt::BkHim: case rt::Protect: case rt::ScenarioProtect:
    case rt::ObjProtect: case rt::Password:
        return wAfterSetup;
    case rt::Sort:
        return wAfterColInfo;
    case rt::MsoDrawing: case rt::Obj: case rt::Txo: case rt::Note: case rt::MsoDrawingSelection:
    case rt::HFPicture: case rt::SxView: case rt::Dcon: case rt::EntExU2:
        return wAfterCells;
    case rt::Plv: case rt::Scl: case rt::Pane: case rt::Selection: case rt::UsersViewBegin: case rt::DxGCol:
        return wAfterWindow2;
    case rt::Lrng: case rt::Qsi: case rt::PhoneticInfo: case rt::CondFmt: case rt::CF: case rt::CondFmt12:
    case rt::CF12: case rt::HLink: case rt::HLinkTooltip: case rt::DVal: case rt::DV: case rt::CodeName:
    case rt::WebPub: case rt::CellWatch: case rt::SheetExt: case rt::FeatHdr: case rt::Feat: case rt::FeatHdr11:
    case rt::Feat11:
        return wAfterMerged;
    case rt::Bof: case rt::Eof: case rt::Index: case rt::CalcCount: case rt::CalcMode: case rt::CalcRefMode:
    case rt::CalcIter: case rt::CalcDelta: case rt::CalcSaveRecalc: case rt::PrintRowCol: case rt::PrintGrid:
    case rt::GridSet: case rt::Guts: case rt::DefaultRowHeight: case rt::WsBool: case rt::Header:
    case rt::Footer: case rt::HCenter: case rt::VCenter: case rt::LeftMargin: case rt::RightMargin:
    case rt::TopMargin: case rt::BottomMargin: case rt::Setup: case rt::DefColWidth: case rt::ColInfo:
    case rt::Dimensions: case rt::Row: case rt::Formula: case rt::LabelSst: case rt::Number: case rt::RK:
    case rt::MulRk: case rt::MulBlank: case rt::Blank: case rt::BoolErr: case rt::Label: case rt::RString:
    case rt::String: case rt::ShrFmla: case rt::Array: case rt::Table: case rt::DBCell: case rt::Window2:
    case rt::MergeCells:
        return kDrop;
    default:
        return kFollow;
    }
}

bool isDrawingRecord(std::uint16_t type)
{
    return type == rt::MsoDrawing || type == rt::Obj || type == rt::Txo || type == rt::Note ||
           type == rt::MsoDrawingSelection;
}

std::size_t substreamEnd(const std::vector<RawRecord>& list, std::size_t i)
{
    int depth = 0;
    for (std::size_t j = i; j < list.size(); ++j) {
        if (list[j].type == rt::Bof)
            ++depth;
        else if (list[j].type == rt::Eof && --depth == 0)
            return j + 1;
    }
    return list.size();
}

const RawRecord* findRaw(const std::vector<RawRecord>& list, std::uint16_t type)
{
    for (std::size_t i = 0; i < list.size();) {
        if (list[i].type == rt::Bof) {
            i = substreamEnd(list, i);
            continue;
        }
        if (list[i].type == type)
            return &list[i];
        ++i;
    }
    return nullptr;
}

const std::uint8_t* rawBody(const std::vector<RawRecord>& list, std::uint16_t type, std::size_t size)
{
    const RawRecord* r = findRaw(list, type);
    return r && r->data.size() >= size ? r->data.data() : nullptr;
}

int drawingId(const std::vector<RawRecord>& list)
{
    const RawRecord* r = findRaw(list, rt::MsoDrawing);
    if (!r || r->data.size() < 12 || le16(&r->data[2]) != 0xF002 || le16(&r->data[10]) != 0xF008)
        return -1;
    return le16(&r->data[8]) >> 4;
}

} // namespace cw::host::biff
