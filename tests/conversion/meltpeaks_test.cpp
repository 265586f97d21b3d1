// The melt peak finder on curves built with known peaks, and on a real plate against the RDML
// consortium's melt curve analysis of the same readings.

#include "conversion/meltpeaks.h"
#include "conversion/programs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>

using namespace morvane;

namespace {

struct Product {
    double tm;     // °C
    double amount; // the fall of the reading when it melts
};

struct BuiltCurve {
    std::vector<double> temperatures;
    std::vector<double> readings;
};

// Readings every 0.2 °C from 60 to 95 °C, as a LightCycler melt takes them: a dye signal that
// falls slowly with temperature, and a sigmoid fall (width about 2 °C) for each product. `noise`
// is the standard deviation of a reproducible Gaussian scatter; `decimals` rounds as the file does.
BuiltCurve meltCurve(std::vector<Product> products, double noise = 0, int decimals = -1)
{
    BuiltCurve curve;
    unsigned state = 12345;
    const auto uniform = [&] {
        state = state * 1103515245u + 12345u;
        return ((state >> 8) + 0.5) / 16777216.0;
    };
    for (int k = 0; k <= 175; ++k) {
        const double t = 60 + 0.2 * k;
        double f = 2.0 - 0.02 * (t - 60);
        for (const Product& p : products)
            f += p.amount / (1 + std::exp((t - p.tm) / 0.5));
        if (noise > 0)
            f += noise * std::sqrt(-2 * std::log(uniform())) * std::cos(2 * std::numbers::pi * uniform());
        if (decimals >= 0)
            f = std::round(f * std::pow(10, decimals)) / std::pow(10, decimals);
        curve.temperatures.push_back(t);
        curve.readings.push_back(f);
    }
    return curve;
}

std::vector<double> peakTemperatures(const BuiltCurve& curve)
{
    std::vector<double> tms;
    for (const MeltPeak& p : analyseMelt(curve.temperatures, curve.readings).peaks)
        tms.push_back(p.temperature);
    return tms;
}

BuiltCurve reversed(BuiltCurve c)
{
    std::reverse(c.temperatures.begin(), c.temperatures.end());
    std::reverse(c.readings.begin(), c.readings.end());
    return c;
}

} // namespace

TEST(MeltPeaks, FindsTheKnownPeaksOfBuiltCurves)
{
    BuiltCurve wobble = meltCurve({{81.3, 4}});
    std::swap(wobble.temperatures[30], wobble.temperatures[31]); // the temperature goes back once
    std::swap(wobble.readings[30], wobble.readings[31]);
    BuiltCurve repeated = meltCurve({{81.3, 4}});
    // A second reading at 70.0 °C far off the curve: the first reading there is the one kept.
    repeated.temperatures.insert(repeated.temperatures.begin() + 60, repeated.temperatures[50]);
    repeated.readings.insert(repeated.readings.begin() + 60, 9.0);
    BuiltCurve settling = meltCurve({{81.3, 4}});
    for (std::size_t k = 0; k < 4; ++k)
        settling.readings[k] += 1.5; // the block settles: a step inside the first degree
    // A no-template well: little dye, and its fall slowing as it warms, at two decimals.
    const auto faint = [](std::vector<Product> products) {
        BuiltCurve c = meltCurve({});
        for (std::size_t k = 0; k < c.temperatures.size(); ++k) {
            double f = 0.3 + 0.3 * std::exp(-(c.temperatures[k] - 60) / 12);
            for (const Product& p : products)
                f += p.amount / (1 + std::exp((c.temperatures[k] - p.tm) / 0.8));
            c.readings[k] = std::round(f * 100) / 100;
        }
        return c;
    };
    BuiltCurve few = meltCurve({{81.3, 4}});
    few.temperatures = {80, 80.4, 80.8, 81.2, 81.6, 82, 82.4, 82.8, 83.2, 83.6};
    few.readings = {3, 3, 2.9, 2, 1, 0.5, 0.5, 0.4, 0.4, 0.4};

    struct Case {
        const char* what;
        BuiltCurve curve;
        std::vector<double> tms; // highest first
        double within = 0.1;
    };
    const std::vector<Case> cases = {
        {"one product", meltCurve({{81.3, 4}}), {81.3}},
        {"one product, two decimals", meltCurve({{77.85, 5}}, 0, 2), {77.85}},
        {"product and primer dimers", meltCurve({{84.5, 4}, {74.0, 1.5}}), {84.5, 74.0}},
        {"two products", meltCurve({{79.0, 3}, {86.2, 2.5}}), {79.0, 86.2}},
        {"a trace below the share is left out", meltCurve({{84.5, 4}, {72.0, 0.1}}), {84.5}},
        {"noisy", meltCurve({{80.0, 3}}, 0.02, 2), {80.0}},
        {"readings in falling order", reversed(meltCurve({{81.3, 4}})), {81.3}},
        {"temperature going back", wobble, {81.3}},
        {"repeated temperature", repeated, {81.3}},
        {"settling block", settling, {81.3}},
        // The dye's fall tilts a small peak and pulls its top down a little.
        {"primer dimers in a no-template well", faint({{71.0, 0.04}}), {71.0}, 0.3},
        {"no product", meltCurve({}), {}},
        {"no product, a slowing fall", faint({}), {}},
        {"no product, noisy", meltCurve({}, 0.02, 2), {}},
        {"no product, two decimals", meltCurve({}, 0, 2), {}},
        {"flat", {std::vector<double>(50, 70.0), std::vector<double>(50, 1.0)}, {}},
        {"too few readings", few, {}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases) {
        const std::vector<double> found = peakTemperatures(c.curve);
        ASSERT_EQ(found.size(), c.tms.size())
            << c.what << (found.empty() ? "" : ", first at " + std::to_string(found[0]));
        for (std::size_t k = 0; k < found.size(); ++k)
            EXPECT_NEAR(found[k], c.tms[k], c.within) << c.what << ", peak " << k;
    }
}

TEST(MeltPeaks, KeepsTheCurveItAnalysed)
{
    const BuiltCurve curve = meltCurve({{81.3, 4}});
    const MeltAnalysis a = analyseMelt(curve.temperatures, curve.readings);
    ASSERT_EQ(a.temperatures.size(), a.derivative.size());
    EXPECT_GE(a.temperatures.front(), 61.0); // without the first and last degree
    EXPECT_LE(a.temperatures.back(), 94.0);
    EXPECT_TRUE(std::is_sorted(a.temperatures.begin(), a.temperatures.end()));
    const auto top = std::max_element(a.derivative.begin(), a.derivative.end()) - a.derivative.begin();
    EXPECT_NEAR(a.temperatures[static_cast<std::size_t>(top)], 81.3, 0.2);
    // The sigmoid falls by at most 4 / (4 x 0.5) per degree, plus the dye's 0.02; the fitted slope
    // flattens the top a little but no more than that.
    EXPECT_GT(a.derivative[static_cast<std::size_t>(top)], 0.75 * 2.02);
    EXPECT_LT(a.derivative[static_cast<std::size_t>(top)], 2.02);
}

namespace {

// The tab-separated fields of each line of a file of tests/data.
std::vector<std::vector<std::string>> tableRows(const std::string& name)
{
    std::ifstream in(std::string(MORVANE_TESTDATA_DIR) + "/" + name);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        rows.emplace_back();
        for (std::string field; std::getline(fields, field, '\t');)
            rows.back().push_back(field);
    }
    return rows;
}

} // namespace

// The consortium's analysis (rdmlpython 3.0.1, Run.meltCurveAnalysis with its defaults) of the
// RDML that this program writes from the real 384-well export and its layout: each well's main
// peak and its share of the normalised curve's fall (tests/data/PROVENANCE.md). Wells with a clear
// peak: a share at least a fifth of the plate's 90th percentile, which takes in the small peaks
// of the no-template and no-RT controls. Flat wells: no peak, or a share below a twentieth of it.
TEST(MeltPeaks, AgreeWithTheConsortiumsAnalysisOfARealPlate)
{
    auto text = loadRawFile(std::string(MORVANE_TESTDATA_DIR) + "/lc480_384_nrd1_calibration.txt");
    ASSERT_TRUE(text.ok());
    auto programs = detectPrograms(*text);
    ASSERT_TRUE(programs.ok());
    auto melt = readMeltProgram(*text, *programs);
    ASSERT_TRUE(melt.ok() && *melt);
    std::map<std::string, std::vector<MeltPeak>> mine;
    for (WellMelt& w : analyseMeltCurves(**melt, 0))
        mine[w.well] = std::move(w.analysis.peaks);
    std::map<std::string, bool> controls; // no template or no RT, by the layout
    for (const auto& row : tableRows("layout/lc480_384_nrd1_calibration_layout.tsv"))
        controls[row.at(0)] = row.at(2) == "ntc" || row.at(2) == "nrt";
    const auto theirs = tableRows("melt/lc480_384_nrd1_calibration_rdmlpython.tsv");
    ASSERT_EQ(theirs.size(), 384u);
    std::vector<double> shares;
    for (const auto& row : theirs)
        shares.push_back(std::stod(row.at(2)));
    std::sort(shares.begin(), shares.end());
    const double clear = shares[shares.size() * 9 / 10] / 5;

    struct Count {
        int clear = 0, found = 0, foundNear = 0, both = 0, near = 0;
    } all, control;
    std::vector<std::string> flatWithPeak;
    for (const auto& row : theirs) {
        const std::vector<MeltPeak>& found = mine[row[0]];
        const double share = std::stod(row[2]);
        const bool near =
            !found.empty() && !row[1].empty() && std::abs(found.front().temperature - std::stod(row[1])) <= 0.5;
        for (Count* count : {&all, controls[row[0]] ? &control : nullptr}) {
            if (!count)
                continue;
            count->both += !found.empty() && !row[1].empty();
            count->near += near;
            count->clear += share >= clear;
            count->found += share >= clear && !found.empty();
            count->foundNear += share >= clear && near;
        }
        // A18's primer dimers melt from 64 to 70 °C, where the consortium's background fit starts.
        if (share < clear / 4 && !found.empty() && row[0] != "A18")
            flatWithPeak.push_back(row[0]);
    }
    EXPECT_GT(all.clear, 300);
    EXPECT_GE(all.found, 0.95 * all.clear) << all.found << " of " << all.clear;
    EXPECT_GE(all.near, 0.95 * all.both) << all.near << " of " << all.both;
    EXPECT_GT(control.clear, 50);
    EXPECT_GE(control.found, 0.75 * control.clear) << control.found << " of " << control.clear;
    EXPECT_GE(control.foundNear, 0.9 * control.found) << control.foundNear << " of " << control.found;
    EXPECT_EQ(flatWithPeak, std::vector<std::string>());
}
