// The driver result texts that "Driver Error: %s" carries.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "driver/SqlDriver.h"
#include "connection/ConnectionMessages.h"

namespace tolvane {

// Process-wide and constant: filled when the module is loaded, only read
// afterwards, so calls on several threads share it safely. Indexed by result
// code; entries 0 and 18 have no text.
inline constexpr std::array<std::string_view, 26> DriverErrorTexts = {
    "",
    kSDriverResult1,
    kSDriverResult2,
    kSDriverResult3,
    kSDriverResult4,
    kSDriverResult5,
    kSDriverResult6,
    kSDriverResult7,
    kSDriverResult8,
    kSDriverResult9,
    kSDriverResult10,
    kSDriverResult11,
    kSDriverResult12,
    kSDriverResult13,
    kSDriverResult14,
    kSDriverResult15,
    kSDriverResult16,
    kSDriverResult17,
    "",
    kSDriverResult19,
    kSDriverResult20,
    kSDriverResult21,
    kSDriverResult22,
    kSDriverResult23,
    kSDriverResult24,
    kSDriverResult25,
};

// The table text for a code from 1 to 100: "Driver Error: " and the code's
// text (64 and 65 have their own; a code without one says it is unknown).
// Empty for 0 and for codes above 100.
std::string DriverResultTableText(DriverResult code);

}  // namespace tolvane
