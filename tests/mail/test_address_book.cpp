// The address book read as accountants keep it, and each fault named with its line.
#include "TestSupport.h"
#include "core/Failure.h"
#include "host/Workbook.h"
#include "mail/AddressBook.h"

#include <gtest/gtest.h>

namespace cw::test {
namespace {

using mail::AddressBook;

AddressBook readBook(const TempFolder& folder, const std::string& bytes)
{
    writeBytes(folder / mail::kAddressBookCsv, bytes);
    return AddressBook::read(folder / mail::kAddressBookCsv);
}

TEST(AddressBook, ReadsTheWaysAccountantsKeepIt)
{
    const struct {
        const char* what;
        std::string bytes;
        std::string name;
    } books[] = {
        {"UTF-8 with a byte-order mark, commas", "\xEF\xBB\xBFPAN,Name,E-mail,CC\r\naaapa1234a,Ren\xC3\xA9,"
                                                 "\"a@example.test; b@example.test\",c@example.test\r\n",
         "Ren\xC3\xA9"},
        {"Windows-1252, semicolons", "pan;name;Mail;cc\nAAAPA1234A;Ren\xE9;a@example.test, b@example.test;c@example.test\n",
         "Ren\xC3\xA9"},
    };
    for (const auto& b : books) {
        SCOPED_TRACE(b.what);
        TempFolder folder("addresses");
        const AddressBook book = readBook(folder, b.bytes);
        ASSERT_EQ(book.size(), 1u);
        const mail::Addressee* a = book.find("AAAPA1234A");
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->name, b.name);
        EXPECT_EQ(a->to, (std::vector<std::string>{"a@example.test", "b@example.test"}));
        EXPECT_EQ(a->cc, (std::vector<std::string>{"c@example.test"}));
        EXPECT_EQ(book.find("AAAPB1234B"), nullptr);
    }
}

// Addresses as mail writes them: dotted words, quoted local parts, bracketed domains.
TEST(AddressBook, AddressesAreAddrSpecs)
{
    for (const char* good : {"a@example.test", "first.last+tag@example.test", "\"a b\"@example.test",
                             "\"a\\\"b\"@example.test", "a@[127.0.0.1]"})
        EXPECT_TRUE(mail::isMailAddress(good)) << good;
    for (const char* bad : {"a@@example.test", ".a@example.test", "a..b@example.test", "\"a\"b\"@example.test", "\"a\\\"@example.test",
                            "\"a\x01" "b\"@example.test", "a@", "@example.test", "a b@example.test"})
        EXPECT_FALSE(mail::isMailAddress(bad)) << bad;
}

TEST(AddressBook, NamesEachFaultWithItsLine)
{
    const std::pair<std::string, std::string> faults[] = {
        {"PAN,Mail\nAAAPA1234,a@example.test\n", "line 2: \"AAAPA1234\" is not a PAN"},
        {"PAN,Mail\nAAAPA1234AZ,a@example.test\n", "line 2: \"AAAPA1234AZ\" is not a PAN"},
        {"PAN,Mail\nAAAPA1234A,a@@example.test\n", "line 2: \"a@@example.test\" is not an e-mail address"},
        {"PAN,Mail\nAAAPA1234A,a@example.test\n\nAAAPA1234A,b@example.test\n",
         "line 4: PAN AAAPA1234A is also on line 2 with other addresses"},
        {"Name,Mail\nRENU,a@example.test\n", "line 1 names no \"PAN\" column"},
        {"PAN,Phone\nAAAPA1234A,98\n", "line 1 names no \"E-mail\" column"},
        {"PAN\nAAAPA1234A\n", "line 1 names no \"E-mail\" column"}, // lines of one field each
    };
    for (const auto& [bytes, message] : faults) {
        TempFolder folder("addresses");
        try {
            readBook(folder, bytes);
            ADD_FAILURE() << "accepted: " << bytes;
        } catch (const core::Failure& f) {
            const std::string text = f.what();
            EXPECT_NE(text.find(mail::kAddressBookCsv), std::string::npos) << text;
            EXPECT_NE(text.find(message), std::string::npos) << text;
        }
    }
    // A line put right below a wrong one is no second entry of that PAN.
    {
        TempFolder folder("addresses");
        try {
            readBook(folder, "PAN,Mail\nAAAPA1234A,a@example.test; b@@example.test\nAAAPA1234A,a@example.test\n");
            ADD_FAILURE() << "a wrong address accepted";
        } catch (const core::Failure& f) {
            EXPECT_EQ(std::string(f.what()).find("also on line"), std::string::npos) << f.what();
        }
    }
    // A workbook's faults are named by its row numbers, as the spreadsheet shows them.
    {
        TempFolder folder("addresses");
        host::Workbook wb;
        host::Sheet& sheet = wb.addSheet("Addresses");
        const char* rows[][2] = {{"PAN", "E-mail"}, {"AAAPA1234A", "a@example.test"}, {"AAAPA1234", "b@example.test"}};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 2; ++c)
                sheet.setValue(r, c, std::string(rows[r][c]));
        wb.save(folder / mail::kAddressBookXls);
        try {
            AddressBook::read(folder / mail::kAddressBookXls);
            ADD_FAILURE() << "accepted a PAN of nine characters";
        } catch (const core::Failure& f) {
            EXPECT_NE(std::string(f.what()).find("line 3: \"AAAPA1234\" is not a PAN"), std::string::npos) << f.what();
        }
    }
    // The same PAN twice with the same addresses is one entry, not a fault.
    TempFolder folder("addresses");
    EXPECT_EQ(readBook(folder, "PAN,Mail\nAAAPA1234A,a@example.test\nAAAPA1234A,A@example.test\n").size(), 1u);
}

} // namespace
} // namespace cw::test
