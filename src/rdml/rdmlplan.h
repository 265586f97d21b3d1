#pragma once
// What the RDML and the RDES writers share: the reactions of a file worked out once from the
// tables, and the checks and number formatting both apply. Internal to the rdml library.

#include "common/expected.h"
#include "rdml/rdml.h"

#include <string>
#include <string_view>
#include <vector>

namespace morvane::rdml {

// A decimal number with a point or a comma, in the notation appendNumber takes.
bool isDecimalNumber(std::string_view cell);
// Appends a number with a point for its decimal separator; false when the cell is no decimal
// number (an xs:float without INF and NaN). Blanks around it are dropped.
bool appendNumber(std::string& out, std::string_view cell);
void appendInt(std::string& out, long long value);
// A name XML 1.0 can hold and a reader gets back unchanged.
Status checkName(std::string_view name, const std::string& what);

struct React {
    int id = 0;
    std::string well;                 // as the plate names it: "B12"
    std::string sample;               // the sample's id
    std::vector<int> rows;            // per channel: the row of its table, or -1
    std::vector<std::string> targets; // per channel: the target read there
    int temperatureRow = -1;          // its row in the run's temperatures, or -1
    const MeltWell* melt = nullptr;
};

struct PlanRun {
    std::string id;
    std::vector<const Grid*> tables; // per channel
    const Grid* temperatures = nullptr;
    std::vector<React> reacts; // by react id
};

struct Quantity {
    std::string target; // empty: for every target
    std::string value;  // with a point
    std::string unit;
};

struct PlanSample {
    std::string id;
    std::string type = "unkn";
    std::vector<Quantity> quantities;
};

struct PlanTarget {
    std::string id;
    std::string type = "toi";
    std::string dye;
};

struct Plan {
    std::vector<PlanRun> runs;       // the first holds the melt points
    std::vector<std::string> dyes;   // distinct, in the order of the targets naming them
    std::vector<PlanSample> samples; // distinct, in the order of the first react holding each
    std::vector<PlanTarget> targets; // distinct, in the order of first use
    std::vector<int> meltChannel;    // per channel: its index among the melt's channels, or -1
    std::size_t meltChannels = 0;
};

Expected<Plan> makePlan(const RdmlContent& content, RdmlSummary& summary);
Error notANumber(const React& react, const std::string& channel, const std::string& what, std::string_view cell);

} // namespace morvane::rdml
