#pragma once
// Sheet names: Excel's rules for a valid name, comparison without regard to letter case, and
// the export command's own rules (length limit, numbered variant of a taken name).
//
// Lengths are counted as Excel counts them, in UTF-16 code units (what QString::size() gives),
// so a character outside the Basic Multilingual Plane counts 2.

#include "common/expected.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

inline constexpr int kMaxSheetNameLength = 31;

// The warning of the export command for a name that is too long.
inline constexpr std::string_view kSheetNameTooLongWarning =
    "Sheet name should be max. 31 positions; You can edit the name on this page.";

// Length in UTF-16 code units; an invalid UTF-8 byte counts as one.
int sheetNameLength(std::string_view name);

bool sheetNameTooLong(std::string_view name);

// Whole-name comparison without regard to letter case (simple case folding of Latin, Greek,
// Cyrillic and Armenian letters, as Excel folds them).
bool sameSheetName(std::string_view a, std::string_view b);

// Excel's rules for a sheet name: not blank, at most 31 characters, none of : \ / ? * [ ],
// no control character, no apostrophe first or last, not "History"; valid UTF-8. The error
// reads as Excel's own.
Status checkSheetName(std::string_view name);

// The name the export command uses for `wanted` when the workbook already holds `taken` (every
// tab, chart sheets included): `wanted` itself if no taken name equals it without regard to
// case; otherwise base + "_" + n for the first free n from 1, where the base is `wanted` cut so
// that the whole fits in 31 characters (29 characters for n below 10, 28 from 10 on, ...).
// An empty `wanted` stays empty.
std::string uniqueSheetName(std::string_view wanted, const std::vector<std::string>& taken);

// The sheet name proposed for one channel of an export of several: the experiment name, a blank
// and the channel ("Dual colour test 533-580"), the experiment name cut so that the whole fits
// in 31 characters.
std::string sheetNameWithChannel(std::string_view experimentName, std::string_view channel);

// The longest start of `text` of at most `units` UTF-16 code units; never splits a character.
std::string_view cutToUtf16Units(std::string_view text, std::size_t units);

} // namespace morvane
