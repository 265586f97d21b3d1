#include "layout/layoutfields.h"

#include "common/decimal.h"
#include "common/text.h"

#include <algorithm>

namespace morvane::layout {

namespace {

// The code of `list` that `text` spells, letter case aside; empty when none.
template <std::size_t N> std::string_view codeOf(std::string_view text, const std::string_view (&list)[N])
{
    for (std::string_view code : list)
        if (equalsIgnoringAsciiCase(code, text))
            return code;
    return {};
}

template <std::size_t N> std::string listed(const std::string_view (&list)[N])
{
    std::string out;
    for (std::string_view code : list)
        out += (out.empty() ? "" : ", ") + std::string(code);
    return out;
}

// A positive number with either decimal separator, as text with a point; empty when it is none.
std::string positiveNumber(std::string_view text)
{
    const auto value = parseDecimalEitherSeparator(text);
    if (!value || *value <= 0)
        return {};
    std::string pointed(text);
    std::replace(pointed.begin(), pointed.end(), ',', '.');
    return pointed;
}

} // namespace

double numberValue(const std::string& pointed)
{
    return parseDecimal(pointed).value_or(0);
}

Error at(const std::string& place, const std::string& message)
{
    return Error{place + ": " + message};
}

Status readFields(LayoutEntry& entry, const std::string (&cells)[kColumnCount])
{
    entry.sample = cells[ColSample];
    entry.target = cells[ColTarget];
    entry.dye = cells[ColDye];
    entry.channel = cells[ColChannel];
    if (!cells[ColSampleType].empty()) {
        entry.sampleType = codeOf(cells[ColSampleType], kSampleTypes);
        if (entry.sampleType.empty())
            return at(entry.place, "the sample type " + quoteForMessage(cells[ColSampleType]) + " is none of " +
                                       listed(kSampleTypes));
    }
    if (!cells[ColTargetType].empty()) {
        entry.targetType = codeOf(cells[ColTargetType], kTargetTypes);
        if (entry.targetType.empty())
            return at(entry.place, "the target type " + quoteForMessage(cells[ColTargetType]) + " is none of " +
                                       listed(kTargetTypes));
    }
    if (!cells[ColQuantity].empty()) {
        entry.quantity = positiveNumber(cells[ColQuantity]);
        if (entry.quantity.empty())
            return at(entry.place, "the quantity " + quoteForMessage(cells[ColQuantity]) + " is not a positive number");
    }
    if (!cells[ColUnit].empty()) {
        entry.quantityUnit = codeOf(cells[ColUnit], kQuantityUnits);
        if (entry.quantityUnit.empty())
            return at(entry.place,
                      "the quantity unit " + quoteForMessage(cells[ColUnit]) + " is none of " + listed(kQuantityUnits));
    }
    if (!entry.quantity.empty() && entry.quantityUnit.empty())
        entry.quantityUnit = "cop";
    if (entry.quantity.empty())
        entry.quantityUnit.clear();
    return success();
}

} // namespace morvane::layout
