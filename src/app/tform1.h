#pragma once
// The main window: every control, the dialogs it opens and the few values that outlive a
// command. The handlers of each subsystem are defined in that subsystem's folder
// (conversion_handlers.cpp, plate_handlers.cpp, export_handlers.cpp), except the version check:
// it is in version_handlers.cpp here, as dialogs/ never includes app/. Each page is built in its
// own file (inputpage.cpp, platepage.cpp, exportpage.cpp), navigation and the menu's commands
// are in navigation.cpp, and tform1.cpp puts the window together and wires the handlers.

#include "app/dialogservice.h"
#include "app/errorreport.h"
#include "common/expected.h"
#include "common/grid.h"
#include "conversion/datachecks.h"
#include "conversion/meltpeaks.h"
#include "dialogs/urlopener.h"
#include "plate/curves.h"

#include <QMainWindow>
#include <QRect>
#include <QSettings>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace morvane {
struct PlateLayout;
class RawText;
struct ProgramList;
struct ExportOutcome;
class TExcelcom;
} // namespace morvane

// Page 3's texts before an export: the note over its commands, the workbook line.
inline constexpr const char* kExportNoteText = "NOTE: the sheet is added to the workbook you choose";
inline constexpr const char* kNoWorkbookText = "workbook: chosen at the first export";

// The window's caption; the loaded file's name goes in front of it.
inline constexpr const char* kWindowTitle = "Convert LightCycler 480 Raw Data Text File into Input Format for Quantivo";

// Where the window opens: `wanted` moved, and cut where it must, to lie within `available`.
QRect fittedPlace(const QRect& wanted, const QRect& available);

class ElidedLabel;
class QDragEnterEvent;
class QDropEvent;
class QAction;
class QUrl;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QWidget;
class MemoView;
class PageControl;
class CurvePlot;
class StringGrid;
class WellCheckList;

class TForm1 final : public QMainWindow {
    Q_OBJECT
public:
    // What tests replace. Anything left empty gets the real implementation.
    struct Seams {
        std::unique_ptr<DialogService> dialogs;
        // The per-user store of the version check; empty: QSettings("Fennwick", "Morvane").
        std::unique_ptr<QSettings> settings;
        // Opens the download page; empty: the system's browser.
        std::unique_ptr<UrlOpener> urlOpener;
    };

    explicit TForm1(Seams seams = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // Application shell
    void FormActivate(QObject* Sender);
    void NextButton1Click(QObject* Sender);
    void NextButton2Click(QObject* Sender);
    void CloseButtonClick(QObject* Sender);
    void eXit1Click(QObject* Sender);
    void About1Click(QObject* Sender);
    void PageControl1Changing(QObject* Sender, bool& AllowChange);

    // Version tracking
    void CheckVersion(QObject* Sender);
    void SaveVersionToRegistry(QObject* Sender);

    // Raw data import and conversion
    void OpenButtonClick(QObject* Sender);
    // File > Open...: "Open text File" from any page.
    void Open1Click(QObject* Sender);
    // Opens `path` (or, empty, the file loaded) as "Open text File" does after its dialog.
    void openRawFile(const QString& path);
    // One raw export dropped onto the window: opened, and page 1 shown. False when refused.
    bool FilesDropped(const QList<QUrl>& urls);
    // The file named when the program starts: opened as a dropped file, once the window's first
    // activation (with the version check) is over.
    void openAtStart(const QString& path);
    void DetermineProgsButtonClick(QObject* Sender);
    void ProgsListBoxClick(QObject* Sender);
    void ChannelsListBoxClick(QObject* Sender);
    void ConvertButtonClick(QObject* Sender);
    void clearstringgrid(StringGrid* grid);
    void pumpmessages();

    // Well selection and extraction
    void PlateSizeRGClick(QObject* Sender);
    void col_rowinChange(QObject* Sender);
    void SelectRangeButtonClick(QObject* Sender);
    void SelectAllButtonClick(QObject* Sender);
    void SelectNoneButtonClick(QObject* Sender);
    void ExtractButtonClick(QObject* Sender);
    // A new well table: the maps show which wells it holds, the plot its curves.
    void wellTableChanged();
    // The plot shows the ticked wells of the map in view (every well of the table when none is).
    void updateCurves();
    // A curve clicked: its well becomes the map's current one.
    void CurvePlot1WellClick(const QString& well);
    void LogScaleCBClick(QObject* Sender);
    // Page 2's plot switched between the amplification curves and the melt peaks.
    void CurveKindCBClick(QObject* Sender);
    // Page 3's plot: the curves of the export table's rows, of the kind its switch shows.
    void updateExportCurves();
    // Asks for a file and writes the plot into it: PNG, PDF or SVG by the extension (PNG when
    // there is none), at the size PlotSizeCB shows.
    void SavePlotButtonClick(QObject* Sender);
    void FormResize(QObject* Sender);

    // Export
    void ExportButtonClick(QObject* Sender);
    // The export command for any grid into the chosen workbook, named from sheetnameOutEdit.
    morvane::ExportOutcome exportstringgrid(StringGrid* grid);
    void sheetnameOutEditChange(QObject* Sender);
    // Asks for the workbook that the exports add their sheets to (kept for the rest of the run).
    void WorkbookButtonClick(QObject* Sender);
    // Saves the ticked wells of the converted run, every channel, as RDML (or an RDES table).
    void SaveRdmlButtonClick(QObject* Sender);

    // Plate layout (page 2): read one for the open file, set fields of the ticked wells, save it.
    void LayoutButtonClick(QObject* Sender);
    void SaveLayoutButtonClick(QObject* Sender);
    void ApplyLayoutButtonClick(QObject* Sender);
    const morvane::PlateLayout* plateLayout() const { return m_layout.get(); }

    // The plate size index of PlateSizeRG: 0 = 96 wells, 1 = 384 wells, -1 = none.
    int plateSizeIndex() const;
    // Selecting 0 or 1 runs PlateSizeRGClick when the index changes, as a click would; -1 does not.
    void setPlateSizeIndex(int index);

    int SelectedProg = 0;
    std::optional<int> SelectedSeg; // the segment of SelectedProg, for a program that reads in several
    int selectedChannel() const;    // index of the channel chosen for the conversion
    // What belongs to the file shown before a new one: tables, names, counts, lists, ticks.
    void forgetPreviousFile();
    // What the last conversion made, gone when another program or channel is chosen.
    void forgetConversion();
    void clearProgramLists();
    // The folder the file dialogs start in: the one of the file last opened or chosen, kept in
    // the per-user store.
    QString lastFolder() const;
    void rememberFolder(const QString& file);
    int ProgColFromEnd = 0;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // A raw export dropped onto the window opens as "Open text File" opens it.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenu();
    QWidget* buildInputPage();
    void buildTableStrip();
    QWidget* buildPlatePage();
    void buildWideMapStrip();
    void buildPlateCommands();
    void buildPlotPanel();
    QWidget* buildExportPage();
    QWidget* buildLayoutBox();
    void setTabOrders();
    void connectHandlers();

    // Runs a handler; an error that escapes it is shown by the general error report and the
    // window goes on with the next event.
    void run(const std::function<void()>& handler);
    void reportError(const QString& text);
    void warning(const QString& text, DialogService::Buttons buttons = DialogService::Buttons::OkCancel);
    // A confirmation with Yes and No; true for Yes.
    bool confirm(const QString& text, DialogService::Buttons buttons = DialogService::Buttons::YesNo);
    // Asks for a file to write under one of `filters`; a name without one of their extensions
    // gets the chosen one's. With `askBeforeReplacing`, an existing file is taken only when the
    // user says Yes (No offers the dialog again). Empty: the user cancelled.
    QString askSavePath(const QString& caption, const QString& filters, bool askBeforeReplacing);
    // "... already exists. Do you want to replace it?"; true for Yes.
    bool replaceConfirmed(const QString& path);
    // The user's decimal separator; a separator that is not a single ASCII character counts as
    // the point.
    char decimalSeparator() const;
    // The value, or a HandlerError with the message ("line 57: ..." when it concerns a line).
    template <typename T> T unwrap(morvane::Expected<T> result);

    void loadRawFile(const QString& path);
    // openRawFile under the general error report, then page 1; false while a conversion runs.
    bool openFile(const QString& path);
    // The melt peaks of the converted channel, or why there are none; the switches follow.
    void readMeltPeaks(const morvane::RawText& text, const morvane::ProgramList& programs, int channel);
    void updateMeltSwitches();
    // Marks the negative controls of the layout that have a melt peak, on both maps.
    void showControlPeaks();
    void setConversionCommandsEnabled(bool enabled);
    WellCheckList* currentWellList() const;

    std::unique_ptr<DialogService> m_dialogs;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<UrlOpener> m_urlOpener;
    // Stands in for the running Excel: the workbook file chosen for the exports of this run.
    std::unique_ptr<morvane::TExcelcom> Excel1;
    QString m_workbookPath;
    bool chooseWorkbook();
    // The next export asks for its workbook again.
    void forgetWorkbook();
    // Page 3's note as it stands before an export.
    void resetExportNote();
    // The range's start and the layout fields as the window opens.
    void resetPlateFields();
    // False, after saying what to do, when page 3's table holds no well to write.
    bool exportTableHoldsWells();
    // True when the export table has no reading that would go in as text, or the user, told how
    // many do, still wants to export.
    bool textReadingsAccepted(const morvane::Grid& table);
    std::shared_ptr<const morvane::RawText> m_rawText;
    std::shared_ptr<const morvane::ProgramList> m_programs; // of the last detection
    std::vector<morvane::Finding> m_findings;               // of the last conversion, on ResultSG's rows
    std::vector<morvane::WellMelt> m_meltPeaks;             // of the last conversion's channel
    std::string m_meltChannel;                              // that channel's name
    QString m_noMeltPeaks;                                  // why there are none, when there are none
    QString m_plotTitle;                                    // the experiment and channel converted, over a saved plot
    morvane::SampleColours m_sampleColours;                 // of the well table, for every plot and map
    // Marks the findings on the wells ExportSelectSG holds.
    void markExportFindings();
    // The plate layout of the open file, fitted to its plate and channels; null: none.
    std::shared_ptr<morvane::PlateLayout> m_layout;
    int m_layoutNamesChanged = 0; // of the well table, the last time the layout was given to it
    // Gives the layout's sample names to the well and export tables and shows the layout on the
    // maps and in LayoutLabel.
    void showLayout();
    bool m_activated = false;
    QString m_fileAtStart; // opened at the first activation
    bool m_placed = false;
    bool m_converting = false;

    // Menu
    QAction* Open1 = nullptr; // does what "Open text File" does, from any page
    QAction* eXit1 = nullptr;
    QAction* About1 = nullptr;

    PageControl* PageControl1 = nullptr;
    QWidget* TabSheetInput = nullptr;
    QWidget* TabSheetPlateDesign = nullptr;
    QWidget* TabSheetExport = nullptr;

    // Page 1
    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QFrame* Panel3 = nullptr;
    QFrame* Panel4 = nullptr;
    QPushButton* OpenButton = nullptr;
    QGroupBox* PlateSizeRG = nullptr;
    QButtonGroup* m_plateSizeButtons = nullptr;
    QLabel* MoreProgsLabel = nullptr;
    QListWidget* ProgsListBox = nullptr;
    QListWidget* ChannelsListBox = nullptr; // the channels of an export of several
    QLabel* ChannelsLabel = nullptr;        // its caption, shown with it
    ElidedLabel* ChannelLabel = nullptr;    // the channel converted, page 1
    ElidedLabel* ChannelOutLabel = nullptr; // and page 3
    QPushButton* ConvertButton = nullptr;
    QPushButton* NextButton1 = nullptr;
    QPushButton* DetermineProgsButton = nullptr;
    MemoView* InputMemo = nullptr;
    QLineEdit* SheetNameEdit = nullptr;
    QLineEdit* NoCyclesEdit = nullptr;
    QProgressBar* ProgressBar = nullptr;
    StringGrid* ResultSG = nullptr;

    // Page 2
    QFrame* Panel5 = nullptr;
    QFrame* Panel6 = nullptr;
    QFrame* Panel8 = nullptr;
    QFrame* Panel9 = nullptr;
    QFrame* Panel10 = nullptr;
    WellCheckList* Wells384CB = nullptr;
    WellCheckList* Wells96CB = nullptr;
    QPushButton* SelectAllButton = nullptr;
    QPushButton* SelectNoneButton = nullptr;
    QPushButton* ExtractButton = nullptr;
    QPushButton* NextButton2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* startrow = nullptr;
    QLineEdit* startcol = nullptr;
    QLineEdit* stoprow = nullptr;
    QLineEdit* stopcol = nullptr;
    QPushButton* SelectRangeButton = nullptr;
    QPushButton* RemoveRangeButton = nullptr;
    QLabel* GridSizeWarninglabel = nullptr;
    CurvePlot* CurvePlot1 = nullptr;
    QCheckBox* LogScaleCB = nullptr;
    QComboBox* CurveKindCB = nullptr; // "Amplification" or "Melt peaks"
    QPushButton* AutoscaleButton = nullptr;
    QPushButton* SavePlotButton = nullptr;
    QComboBox* PlotSizeCB = nullptr;
    QPushButton* LayoutButton = nullptr;
    QPushButton* SaveLayoutButton = nullptr;
    QLabel* LayoutLabel = nullptr;
    QLineEdit* LayoutSampleEdit = nullptr;
    QComboBox* LayoutSampleTypeCB = nullptr;
    QLineEdit* LayoutTargetEdit = nullptr;
    QComboBox* LayoutTargetTypeCB = nullptr;
    QLineEdit* LayoutQuantityEdit = nullptr;
    QComboBox* LayoutUnitCB = nullptr;
    QPushButton* ApplyLayoutButton = nullptr;

    // Page 3
    QFrame* Panel7 = nullptr;
    QLabel* InfoLabel = nullptr;
    QPushButton* ExportButton = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* sheetnameOutEdit = nullptr;
    QLabel* NumCharLabel = nullptr;
    QLabel* NowLabel = nullptr;
    QLineEdit* NumCharsEdit = nullptr;
    QComboBox* sheetsCB = nullptr;
    QPushButton* CloseButton = nullptr;
    QPushButton* WorkbookButton = nullptr;
    ElidedLabel* WorkbookLabel = nullptr;
    ElidedLabel* ExportedLabel = nullptr; // names the sheet just written and its workbook
    QPushButton* SaveRdmlButton = nullptr;
    QComboBox* RdmlVersionCB = nullptr; // RDML 1.3 or 1.4
    StringGrid* ExportSelectSG = nullptr;
    CurvePlot* ExportPlot = nullptr; // the export table's curves, to look at only
    QComboBox* ExportCurveKindCB = nullptr;
};

template <typename T> T TForm1::unwrap(morvane::Expected<T> result)
{
    if (!result.ok())
        throw HandlerError(morvane::describe(result.error()));
    return std::move(result).value();
}
