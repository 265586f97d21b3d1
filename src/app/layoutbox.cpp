// Page 2's plate layout: read a layout for the open file, set what the ticked wells hold, save it
// for the next run of the same plate.

#include "app/controls.h"
#include "app/tform1.h"
#include "layout/platelayout.h"

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace controls;

namespace {

constexpr QSize kLayoutButtonSize = buttonSize(100);
constexpr QSize kApplyButtonSize = buttonSize(160);
constexpr int kNameEditWidth = 120;
constexpr int kQuantityEditWidth = 70;
constexpr int kCodeListViewMargin = 24;

// What RDML's codes stand for, shown beside them in the lists.
struct Code {
    const char* code;
    const char* meaning;
};
constexpr Code kSampleTypeNames[] = {{"unkn", "unknown sample"},          {"ntc", "no template control"},
                                     {"nac", "no amplification control"}, {"std", "standard"},
                                     {"ntp", "no target present"},        {"nrt", "no reverse transcription"},
                                     {"pos", "positive control"},         {"opt", "optical calibrator"}};
constexpr Code kTargetTypeNames[] = {{"toi", "target of interest"}, {"ref", "reference"}};
constexpr Code kUnitNames[] = {{"cop", "copies"},   {"fold", "fold"},      {"dil", "dilution"},
                               {"ng", "nanograms"}, {"nMol", "nanomoles"}, {"other", "other"}};

// A list of codes whose first item leaves the field of the ticked wells as it is; each item
// holds its code as data and shows what it means.
template <std::size_t N, std::size_t M>
QComboBox* codeList(const char* name, const QString& keep, const std::string_view (&codes)[N], const Code (&names)[M],
                    const QString& tip)
{
    static_assert(N == M, "every code has its meaning");
    auto* list = named(new QComboBox, name);
    list->addItem(keep);
    for (std::size_t i = 0; i < N; ++i) {
        const QString code = QString::fromUtf8(codes[i].data(), qsizetype(codes[i].size()));
        list->addItem(QStringLiteral("%1 - %2").arg(code, QString::fromLatin1(names[i].meaning)), code);
    }
    list->setToolTip(tip);
    // As narrow in the line of fields as its first item; the open list is as wide as its meanings.
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(int(keep.size()));
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0) + kCodeListViewMargin);
    return list;
}

} // namespace

QWidget* TForm1::buildLayoutBox()
{
    auto* box = named(new QFrame, "LayoutPanel");
    LayoutButton = button("LayoutButton", QStringLiteral("Layout..."), kLayoutButtonSize);
    LayoutButton->setToolTip(QStringLiteral(
        "Read the plate layout of this run: a table (text or .xlsx, or an RDES file) with the columns Well, Sample, "
        "Sample Type, Target, Target Type, Dye, Quantity, Quantity Unit, Channel"));
    SaveLayoutButton = button("SaveLayoutButton", QStringLiteral("Save layout..."), kLayoutButtonSize);
    SaveLayoutButton->setToolTip(QStringLiteral("Save the layout as a table for the next run of the same plate"));
    LayoutLabel = label("LayoutLabel", QStringLiteral("no layout: every well is an unknown sample"));
    LayoutSampleEdit = edit("LayoutSampleEdit", QString(), kNameEditWidth);
    LayoutSampleEdit->setPlaceholderText(QStringLiteral("sample"));
    LayoutSampleTypeCB = codeList("LayoutSampleTypeCB", QStringLiteral("sample type"), morvane::kSampleTypes,
                                  kSampleTypeNames, QStringLiteral("The RDML sample type of the ticked wells"));
    LayoutTargetEdit = edit("LayoutTargetEdit", QString(), kNameEditWidth);
    LayoutTargetEdit->setPlaceholderText(QStringLiteral("target"));
    LayoutTargetTypeCB = codeList("LayoutTargetTypeCB", QStringLiteral("target type"), morvane::kTargetTypes,
                                  kTargetTypeNames, QStringLiteral("The RDML target type of the ticked wells"));
    LayoutQuantityEdit = edit("LayoutQuantityEdit", QString(), kQuantityEditWidth);
    LayoutQuantityEdit->setPlaceholderText(QStringLiteral("quantity"));
    LayoutUnitCB = codeList("LayoutUnitCB", QStringLiteral("unit"), morvane::kQuantityUnits, kUnitNames,
                            QStringLiteral("The unit of the quantity; left at \"unit\", a well keeps its own (cop "
                                           "for a well without one)"));
    ApplyLayoutButton = button("ApplyLayoutButton", QStringLiteral("Set for ticked wells"), kApplyButtonSize);
    ApplyLayoutButton->setToolTip(
        QStringLiteral("Give the ticked wells what the fields say; an empty field or list leaves them as they are"));

    auto* lines = new QVBoxLayout(box);
    lines->setContentsMargins(0, 0, 0, 0);
    auto* files = new QHBoxLayout;
    files->addWidget(LayoutButton);
    files->addWidget(SaveLayoutButton);
    files->addWidget(LayoutLabel, 1);
    auto* fields = new QHBoxLayout;
    for (QWidget* field :
         std::initializer_list<QWidget*>{LayoutSampleEdit, LayoutSampleTypeCB, LayoutTargetEdit, LayoutTargetTypeCB,
                                         LayoutQuantityEdit, LayoutUnitCB, ApplyLayoutButton})
        fields->addWidget(field);
    fields->addStretch(1);
    lines->addLayout(files);
    lines->addLayout(fields);
    return box;
}
