#pragma once

#include "core/Failure.h"

#include <string>

namespace cw::printing {

// What the PDF, printing and signing code throws: the reason as a clause ("the printer refused
// a new page"), which the caller puts after the file or certificate it concerns.
inline core::Failure printingFailure(const std::string& reason)
{
    return core::Failure(reason, core::kErrorTitle);
}

} // namespace cw::printing
