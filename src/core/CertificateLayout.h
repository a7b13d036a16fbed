#pragma once

#include <string_view>

// Where the template workbook keeps what Certwright reads and fills: its sheets, the cells of
// a certificate and its annexure, the acknowledgement register. The template builder, the
// certificate generator, the PDF code and the acknowledgement register all take the layout
// from here, so that a cell moved in the template is moved everywhere at once.
namespace cw::core::layout {

// A cell by its A1 address, with its 0-based row and column worked out at compile time.
struct CellAt {
    std::string_view a1;
    int row;
    int col;

    explicit consteval CellAt(std::string_view address) : a1(address), row(0), col(0)
    {
        std::size_t i = 0;
        int c = 0;
        while (i < address.size() && address[i] >= 'A' && address[i] <= 'Z')
            c = c * 26 + (address[i++] - 'A' + 1);
        int r = 0;
        while (i < address.size() && address[i] >= '0' && address[i] <= '9')
            r = r * 10 + (address[i++] - '0');
        if (c == 0 || r == 0 || i != address.size())
            throw "not an A1 cell address"; // stops the build
        row = r - 1;
        col = c - 1;
    }
};

// The sheets of the template workbook, in their order.
inline constexpr std::string_view kFormSheet = "Form 16A";
inline constexpr std::string_view kAnnexSheet = "Annex";
inline constexpr std::string_view kAcknSheet = "AcknDetails";

// The certificate page, sheet "Form 16A".
namespace form {
inline constexpr CellAt kNumber{"K1"};            // "007/2024-25"
inline constexpr CellAt kDeductorName{"B10"};
inline constexpr CellAt kDeductorAddress{"B11"};
inline constexpr CellAt kDeductorTan{"B16"};
inline constexpr CellAt kDeductorPan{"B18"};
inline constexpr CellAt kDeducteeName{"I10"};
inline constexpr CellAt kSection{"E16"};          // "Nature of Payment"
inline constexpr CellAt kDeducteePan{"I16"};      // "PAN No. of the Payee"; opens a protected PDF
inline constexpr CellAt kPeriod{"I18"};           // "F.Y. 2024-25 / Asst. Yr. 2025-26"
inline constexpr CellAt kFirstAcknNumber{"G11"};  // quarters 1 to 4 in G11 to G14
inline constexpr CellAt kFirstPayment{"B24"};     // the payment table: rows 24 to 39
inline constexpr int kPaymentRows = 16;
inline constexpr CellAt kTotals{"B40"};           // the totals row
inline constexpr CellAt kContinued{"B39"};        // "Continued to Page 2......" over the 16th row
inline constexpr CellAt kCertifiedSum{"B42"};     // the sentence with the amount in words
inline constexpr CellAt kPlaceOfIssue{"C47"};
inline constexpr CellAt kCertificateDate{"C48"};
inline constexpr CellAt kPersonResponsible{"J48"};
inline constexpr CellAt kDesignation{"J49"};
// The caption under the signature line; a signature goes in the row above it.
inline constexpr std::string_view kSignatureCaption = "Signature of the person responsible for deduction of tax";
// The label over the deductee's PAN, as a reader of the PDF finds it.
inline constexpr std::string_view kDeducteePanLabel = "PAN No. of the Payee";
} // namespace form

// The continuation page, sheet "Annex", which takes a certificate's payments from its 16th on.
namespace annex {
inline constexpr CellAt kNumber{"K1"};
inline constexpr CellAt kDeducteePan{"C1"};
inline constexpr CellAt kFirstPayment{"B5"};
} // namespace annex

// A certificate of this many payments or more continues on an annexure; its page then keeps
// the first kPaymentsOnPageWithAnnexure of them.
inline constexpr int kAnnexureFrom = 17;
inline constexpr int kPaymentsOnPageWithAnnexure = 15;

// The acknowledgement register, sheet "AcknDetails".
namespace ackn {
inline constexpr CellAt kFirstSerial{"B2"};       // the first certificate's serial number
inline constexpr CellAt kFirstPrn{"B5"};          // quarters 1 to 4 in B5 to B8
inline constexpr CellAt kFirstFiledOn{"C5"};      // their dates of filing in C5 to C8
inline constexpr int kQuarters = 4;
} // namespace ackn

} // namespace cw::core::layout
