// What a negative control's melt peak means beside its target's product.

#include "layout/controlmelt.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

WellMelt well(const std::string& name, std::vector<double> tms)
{
    WellMelt w{name, {}};
    for (double tm : tms)
        w.analysis.peaks.push_back({tm, 1.0});
    return w;
}

TEST(ControlMelt, SaysWhatAControlsPeakMeans)
{
    auto layout = parseLayoutText("Well\tSample Type\tTarget\n"
                                  "A1\tstd\tT\nA2\tunkn\tT\nA3\tstd\tT\n"
                                  "A4\tntc\tT\nA5\tnrt\tT\nA6\tntc\tT\nA7\tntc\tT\nA8\tnac\tT\nA9\tpos\tT\n"
                                  "A10\tntc\tT\nA11\tntp\tT\n"
                                  "B1\tntc\tU\nB2\tnrt\tU\n",
                                  "plan.tsv");
    ASSERT_TRUE(layout.ok());
    // T's product: the median main peak of A1..A3 and A9, 80.2 °C; U has none.
    const std::vector<WellMelt> melt = {
        well("A1", {80.0, 72.0}),  well("A2", {80.2}), well("A3", {80.6}),
        well("A4", {70.94, 80.1}), // primer dimers first: the main peak counts
        well("A5", {80.3}),        well("a6", {79.0}), well("A7", {78.0}),
        well("A8", {84.0}),        well("A9", {80.2}), well("A10", {}),
        well("A11", {76.5}),       well("B1", {70.0}), well("B2", {}),
        well("C1", {75.0}),
    };
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"A4", "NTC: peak at 70.9 °C, likely primer dimers"},
        {"A5", "-RT: product at 80.3 °C, likely genomic DNA"},
        {"a6", "NTC: product at 79.0 °C, likely contamination"},
        {"A7", "NTC: peak at 78.0 °C"}, // neither the product nor well below it
        {"A8", "NAC: peak at 84.0 °C"},
        {"A11", "NTP: peak at 76.5 °C, likely primer dimers"},
        {"B1", "NTC: peak at 70.0 °C"}, // no product to compare with
    };
    std::vector<std::pair<std::string, std::string>> notes;
    for (const ControlMelt& control : controlMeltPeaks(*layout, "465-510", melt))
        notes.emplace_back(control.well, control.note);
    EXPECT_EQ(notes, expected);
}

} // namespace
} // namespace morvane
