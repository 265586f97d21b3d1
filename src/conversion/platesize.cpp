#include "conversion/platesize.h"

#include "conversion/splitline.h"

namespace morvane {

Expected<std::optional<PlateFormat>> recognisePlateSize(const RawText& text)
{
    if (text.empty())
        return Error{"the file is empty"};
    FieldList fields;
    splitline(' ', text.line(text.lineCount() - 1), fields);
    if (fields.empty())
        return Error{"the last line holds no field", text.lineCount()};
    if (fields[0] == "H12")
        return std::optional(PlateFormat::Wells96);
    if (fields[0] == "P24")
        return std::optional(PlateFormat::Wells384);
    return std::optional<PlateFormat>();
}

} // namespace morvane
