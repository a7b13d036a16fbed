#pragma once

#include "host/Drawing.h"
#include "host/Format.h"
#include "host/SafeWrite.h"
#include "host/Sheet.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cw::host {

// A defined name other than a sheet's print area and print titles (those live on the Sheet),
// kept as read: a NAME record ([MS-XLS] 2.4.150) whose formula is written back verbatim while
// the link table it may refer to is unchanged.
struct DefinedName {
    std::string name;                   // the builtin code as one character when builtin
    bool builtin = false;
    std::uint16_t flags = 0;            // grbit
    std::uint16_t sheetIndex = 0;       // itab: 0 = workbook scope, else sheet index + 1
    std::vector<std::uint8_t> formula;  // rgce
    std::vector<std::uint8_t> rest;     // anything after the formula, kept verbatim
    std::uint8_t keyboardShortcut = 0;
};

// How a save writes. Durable replaces the file atomically (replaceFile): a temporary file beside
// it, synced to the disk, then a rename; a link is saved through to its target, and the file
// keeps its mode and owner. NewFile (writeNewFile) writes straight under a name that must be
// free, without a sync: for the thousands of certificates of a run, which go into a folder of
// the run's own that is discarded when anything fails, so a temporary name and a sync per file
// would only cost time.
enum class SaveMode { Durable, NewFile };

// A workbook: sheets in order, the formatting tables and the defined names.
class Workbook {
public:
    // A new, empty workbook with the standard formatting tables (fonts, 15 style XFs and the
    // default cell XF, the builtin styles) and no sheets.
    Workbook();
    ~Workbook();
    Workbook(Workbook&&) noexcept;
    Workbook& operator=(Workbook&&) noexcept;
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    // Reads a .xls (BIFF8) workbook. Throws Error naming the file and the reason.
    static Workbook open(const std::filesystem::path& path);
    // Writes the workbook as .xls (see SafeWrite.h), its bytes put into the file by `writer`.
    // A failed save throws Error (message: the reason alone) and leaves any old file at `path`
    // as it was, and no partial file under its name. A read-only file is refused, not replaced.
    void save(const std::filesystem::path& path, SaveMode mode = SaveMode::Durable,
              const ByteWriter& writer = {}) const;
    // Saves bytes made by toBytes() as save() does: for callers that make the bytes of many
    // workbooks at once and create their files one at a time.
    static void saveBytes(const std::vector<std::uint8_t>& bytes, const std::filesystem::path& path,
                          SaveMode mode = SaveMode::Durable, const ByteWriter& writer = {});
    // The .xls bytes, without touching the file system.
    std::vector<std::uint8_t> toBytes() const;
    static Workbook fromBytes(const std::vector<std::uint8_t>& bytes, const std::string& nameForErrors);

    // ---- sheets --------------------------------------------------------------------------
    int sheetCount() const { return static_cast<int>(m_sheets.size()); }
    Sheet& sheet(int index);
    const Sheet& sheet(int index) const;
    // -1 when absent. Exact, case-sensitive match.
    int indexOf(std::string_view name) const;
    Sheet* findSheet(std::string_view name);
    const Sheet* findSheet(std::string_view name) const;
    // Throws Error(NoSuchSheet) naming the sheet.
    Sheet& sheet(std::string_view name);
    const Sheet& sheet(std::string_view name) const;
    std::vector<std::string> sheetNames() const;

    int activeSheet() const { return m_active; }
    void setActiveSheet(int index);

    // Adds a new worksheet in front of the active sheet; it becomes active. With no name the
    // engine picks "SheetN" as a spreadsheet program does.
    Sheet& addSheet(std::string name = {});
    // Throws BadName for an invalid name (empty, over 31 characters, any of []:*?/\, or the
    // name of another sheet ignoring case).
    void renameSheet(int index, const std::string& newName);
    void deleteSheet(int index);
    void deleteSheets(const std::vector<std::string>& names);
    // Copies sheet `index` to stand before (or after) sheet `target`; the copy is named
    // "NAME (2)" (3, ...) and becomes the active sheet. Returns the copy's index. The copy
    // carries the sheet's pictures, comments and drawn shapes; what it can't carry (charts,
    // form controls, embedded objects) it leaves out, and warnings() says so.
    int copySheet(int index, int target, bool after = false);
    // Moves the sheets (in workbook order) out of this workbook into a new one, carrying their
    // cells, formats, column widths, row heights, merged ranges, page setup, print area and
    // drawings, as a copy does. The first moved sheet is active in the new workbook.
    Workbook moveSheetsToNewWorkbook(const std::vector<int>& indices);

    // ---- drawings -------------------------------------------------------------------------
    // The top-level objects of a sheet's drawing layer: pictures with their bytes, comments
    // with their cells, shapes, charts, controls. Empty when it has none (or none we can read).
    std::vector<DrawingObject> drawingObjects(int sheet) const;
    // What is wrong with the drawing records the workbook carries as they were read (its
    // pictures' store, a sheet's drawing, a picture reference past the store), named for the
    // user; nothing when they hold together as the format requires. Such records would be
    // copied unread into every saved copy.
    std::optional<std::string> drawingDamage() const;
    // What the sheet operations could not carry, each said once, as sentences for the user
    // (without a capital or a full stop, to go inside a message).
    const std::vector<std::string>& warnings() const { return m_warnings; }

    // ---- formatting tables ------------------------------------------------------------------
    std::vector<Font>& fonts() { return m_fonts; }
    const std::vector<Font>& fonts() const { return m_fonts; }
    // The font an XF font index names (index 4 is skipped); nullptr when out of range.
    const Font* font(std::uint16_t xfFontIndex) const;
    // Adds a font (or finds an identical one); returns its XF font index.
    std::uint16_t addFont(const Font& f);
    // Custom number formats by id (164 and up, or overrides of builtin ids as read).
    std::map<std::uint16_t, std::string>& numberFormats() { return m_numFmts; }
    const std::map<std::uint16_t, std::string>& numberFormats() const { return m_numFmts; }
    // The format string of an id: custom, else builtin, else "General".
    std::string numberFormat(std::uint16_t id) const;
    // Adds a custom format (or finds it, custom or builtin); returns its id.
    std::uint16_t addNumberFormat(const std::string& format);
    std::vector<Xf>& xfs() { return m_xfs; }
    const std::vector<Xf>& xfs() const { return m_xfs; }
    // Adds a cell XF (or finds an identical one); returns its index.
    std::uint16_t addXf(const Xf& xf);
    // True when the cell's format shows a date.
    bool isDateXf(std::uint16_t xf) const;
    // STYLE / STYLEEXT records, kept as read (their XF indices stay valid: XFs are never removed).
    std::vector<RawRecord>& styleRecords() { return m_styles; }
    const std::vector<RawRecord>& styleRecords() const { return m_styles; }
    // The custom palette (indices 8..63) when the file has a PALETTE record.
    std::optional<std::array<Rgb, 56>>& palette() { return m_palette; }
    const std::optional<std::array<Rgb, 56>>& palette() const { return m_palette; }
    // The colour of a palette index (custom palette, else the default one).
    Rgb color(std::uint16_t index) const;

    bool date1904() const { return m_date1904; }
    void setDate1904(bool on) { m_date1904 = on; }

    std::vector<DefinedName>& names() { return m_names; }
    const std::vector<DefinedName>& names() const { return m_names; }

    // Globals records the model does not interpret (e.g. MSODRAWINGGROUP, the link table as
    // read), in file order, with whether the sheet structure has changed since they were read.
    std::vector<RawRecord>& rawGlobals() { return m_rawGlobals; }
    const std::vector<RawRecord>& rawGlobals() const { return m_rawGlobals; }
    bool structureChanged() const { return m_structureChanged; }
    void setStructureChanged(bool c) { m_structureChanged = c; }

    // ---- sheet-level operations that need the workbook -----------------------------------
    // Values only from a block of `src` to `dst` with the block's top-left at `dstTopLeft`:
    // the target cells keep their formats; an empty source cell empties its target.
    static void copyValues(const Sheet& src, const Range& block, Sheet& dst, CellRef dstTopLeft);

private:
    std::vector<std::unique_ptr<Sheet>> m_sheets;
    int m_active = 0;
    std::vector<Font> m_fonts;
    std::map<std::uint16_t, std::string> m_numFmts;
    std::vector<Xf> m_xfs;
    std::vector<RawRecord> m_styles;
    std::optional<std::array<Rgb, 56>> m_palette;
    bool m_date1904 = false;
    std::vector<DefinedName> m_names;
    std::vector<RawRecord> m_rawGlobals;
    bool m_structureChanged = false;
    std::vector<std::string> m_warnings;

    void addWarning(std::string text);

    friend class XlsReader;
    friend class XlsWriter;
};

} // namespace cw::host
