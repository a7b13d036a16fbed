#pragma once

#include "certificates/CertificateGenerator.h"
#include "certificates/CertificateGroups.h"
#include "core/AppFiles.h"
#include "host/SafeWrite.h"
#include "import/RecordSums.h"
#include "import/Statement.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The register of a run's certificates, Form16A/Register.xls: which number went to which
// deductee, under which section, for how much, and whether the certificates add up to what the
// statement reports.
namespace cw::reg {

using core::kRegisterFile;

// What the register is made of.
struct RegisterRun {
    const import::Statement* statement = nullptr;
    const certificates::CertificatePlan* plan = nullptr;
    const certificates::CertificateCounts* made = nullptr;
    std::string statementName;       // "TDS.txt"
    std::uintmax_t statementBytes = 0;
    std::string runTime;             // "07/12/2026 14:05"
    host::ByteWriter writer;         // puts the file's bytes into it; empty: host::writeAll
};

// One challan: what the statement states of its deductee records, what those records add up
// to, and what the certificates carry of them. Amounts in paise.
struct ChallanReconciliation {
    const import::Challan* challan = nullptr;
    certificates::PaymentSums records;
    std::int64_t recordsDeducted = 0;        // the records' own totals of tax deducted (DD 17)
    certificates::PaymentSums certificates;
    // The statement's own sums that differ from its records, each named: "tax deposited (CD 29)
    // Rs. 5,000.00, its records Rs. 5,150.00". Unstated sums are not differences.
    std::vector<std::string> statedDifferences;
};

struct Reconciliation {
    std::vector<ChallanReconciliation> challans;
    certificates::PaymentSums records;       // all deductee records
    certificates::PaymentSums certificates;  // the totals rows of all certificates
    // Where the certificates do not carry what the records hold: only a fault of ours can
    // make one, and the run fails on it.
    std::vector<std::string> certificateDifferences;
};

Reconciliation reconcile(const RegisterRun& run);

// Writes the register. Throws core::Failure naming the file when it can't be saved.
void writeRegister(const std::filesystem::path& file, const RegisterRun& run, const Reconciliation& r);

// The line `certwright generate` ends its report with: what the register holds and whether the
// statement's own sums agree with its records, naming each challan that does not.
std::string summaryLine(const RegisterRun& run, const Reconciliation& r);

using import::rupees;

} // namespace cw::reg
