#pragma once

#include "import/GenerationContext.h"
#include "import/StatementError.h"
#include "import/StatementLayout.h"

#include <optional>
#include <string>

// What decides whether a statement becomes certificates, apart from the walk that fills the
// deductee sheet: its form, its layout and its structure.
namespace cw::import {

// The message that refuses a statement of another form than Form 26Q (batch header field 5 of
// "Textdata"), or nothing for Form 26Q. Form 140, which takes these payments from the tax year
// 2026-27 on, gets a message of its own.
std::optional<std::string> otherFormRefusal(const GenerationContext& ctx);

// Chooses the layout of a Form 26Q statement in "Textdata" by its financial year, keeps it in
// the context and returns it. Throws StatementError when the year is not one of a known layout.
const StatementLayout& checkStatement(GenerationContext& ctx);

} // namespace cw::import
