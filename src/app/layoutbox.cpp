// Page 2's plate layout: read a layout for the open file, set what the ticked wells hold, save it
// for the next run of the same plate.

#include "app/controls.h"
#include "app/tform1.h"
#include "layout/platelayout.h"

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

// A list of codes whose first item leaves the field of the ticked wells as it is.
template <std::size_t N>
QComboBox* codeList(const char* name, const QString& keep, const std::string_view (&codes)[N], const QString& tip)
{
    auto* list = named(new QComboBox, name);
    list->addItem(keep);
    for (std::string_view code : codes)
        list->addItem(QString::fromUtf8(code.data(), qsizetype(code.size())));
    list->setToolTip(tip);
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
                                  QStringLiteral("unkn unknown, ntc no template, nac no amplification, std standard, "
                                                 "ntp no target present, nrt no RT, pos positive, opt optical "
                                                 "calibrator"));
    LayoutTargetEdit = edit("LayoutTargetEdit", QString(), kNameEditWidth);
    LayoutTargetEdit->setPlaceholderText(QStringLiteral("target"));
    LayoutTargetTypeCB = codeList("LayoutTargetTypeCB", QStringLiteral("target type"), morvane::kTargetTypes,
                                  QStringLiteral("toi target of interest, ref reference"));
    LayoutQuantityEdit = edit("LayoutQuantityEdit", QString(), kQuantityEditWidth);
    LayoutQuantityEdit->setPlaceholderText(QStringLiteral("quantity"));
    LayoutUnitCB =
        codeList("LayoutUnitCB", QStringLiteral("unit"), morvane::kQuantityUnits,
                 QStringLiteral("cop copies, fold, dil dilution, ng, nMol, other (cop when none is chosen)"));
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
