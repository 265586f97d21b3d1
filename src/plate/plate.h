#pragma once
// The two plate formats, their well names and check-list order, and the range commands of the
// plate map: the filter of the four range edits and the reading of a range.
//
// A plate map is a check list whose items run column by column (A1, B1, ..., H1, A2, ...), so a
// well's place in it, its check-list index, is (column - 1) * rows + (row - 1). Ticks are kept by
// the window as one flag per check-list index.

#include "common/expected.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

enum class PlateFormat { Wells96, Wells384 };

int plateRows(PlateFormat format);      // 8 or 16
int plateCols(PlateFormat format);      // 12 or 24
int wellCount(PlateFormat format);      // 96 or 384
char lastRowLetter(PlateFormat format); // 'H' or 'P'

struct WellPos {
    int row; // 1-based, A = 1
    int col; // 1-based
    bool operator==(const WellPos&) const = default;
};

// "A1", "H12", "P24": row letter, then the column in decimal without leading zeros.
std::string wellName(int row, int col);

// The position a well name gives: one or two row letters (either case), then a column number
// of 1 or more without a sign ("B3", "p24", "AA1"); nullopt for any other text. Whether the
// well lies on a plate is the caller's question.
[[nodiscard]] std::optional<WellPos> parseWellName(std::string_view name);

int checkListIndex(PlateFormat format, int row, int col);
WellPos wellAtIndex(PlateFormat format, int index);

// The items of a plate map, in check-list order: "A1", "B1", ..., the last being "H12" or "P24".
std::vector<std::string> checkListItems(PlateFormat format);

// What a change of plate format does to the page: which map shows, whether the first page's
// Next button is shown and focused, and the new texts of the end-of-range edits (the start
// edits are left as they are).
struct PlateChange {
    bool show96;
    bool show384;
    bool showNextButton; // the well table holds more than its header row and one well
    std::string stopRow; // "H" or "P"
    std::string stopCol; // "12" or "24"
};
// Without a plate chosen neither map shows, and the edits get the 384-well plate's ends.
PlateChange plateChange(std::optional<PlateFormat> format, int wellTableRowCount);

// Row label to 1-based row number, case-insensitive: "A" = 1, "P" = 16, "AA" = 27, "AF" = 32;
// from the third character on nothing counts. An empty label gives 0. Characters other than
// letters are counted by their code all the same (the range reader refuses them beforehand).
int rowletterstonumber(std::string_view label);

// The text a range edit settles on after a change. A letter field is upper-cased; then, as long
// as the text is not empty, a last character that does not belong to the field (a row letter A
// to P, or a digit 0 to 9) is removed. Only the last character is tested, so a wrong character
// further left stays. The window writes the result back when it differs and puts the caret at
// the end of a non-empty text.
std::string filterRangeEdit(std::string_view text, bool letterField);

// A rectangle of the plate, all bounds 1-based and inclusive. A reversed range (last before
// first) is valid and holds no well.
struct WellRange {
    int firstRow;
    int lastRow;
    int firstCol;
    int lastCol;
    bool operator==(const WellRange&) const = default;
};

// Every bound on the plate; a reversed range may still be.
bool onPlate(PlateFormat format, const WellRange& range);
// "Rows must lie within A to H and columns within 1 to 12.": what onPlate asks, for messages.
std::string boundsText(PlateFormat format);

// Reads the four range edits ("from" row, "thru" row, "from" column, "thru" column) and checks
// them against the plate. A range is refused as a whole when an edit is empty or unreadable or a
// bound lies outside the plate, so the map is not touched at all; the message names the plate's
// bounds ("Rows must lie within A to H and columns within 1 to 12.").
Expected<WellRange> readRange(PlateFormat format, std::string_view startRow, std::string_view stopRow,
                              std::string_view startCol, std::string_view stopCol);

// Check-list indices of the wells of a range, row by row; empty for a reversed range.
// Precondition (MORVANE_EXPECTS): every bound lies on the plate, as readRange guarantees.
std::vector<int> rangeIndices(PlateFormat format, const WellRange& range);

// What a range command does to the wells of its range.
enum class RangeCommand { Select, Remove };
inline bool ticks(RangeCommand command)
{
    return command == RangeCommand::Select;
}

} // namespace morvane
