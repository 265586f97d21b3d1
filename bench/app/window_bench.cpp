// The window's own cost: "Open text File" and "Convert to Grid" on the real 384-well export,
// driven through TForm1 on the offscreen platform, until the well table has been painted.

#include "app/dialogservice.h"
#include "app/tform1.h"

#include <QApplication>
#include <QPushButton>

#include <benchmark/benchmark.h>

namespace {

// Answers every file dialog with one file and every message box with OK.
class FixedDialogs final : public DialogService {
public:
    explicit FixedDialogs(QString file) : m_file(std::move(file)) {}
    Answer message(QWidget*, Icon, const QString& caption, const QString& text, Buttons) override
    {
        qFatal("unexpected message box: %s: %s", qPrintable(caption), qPrintable(text));
        return Answer::Ok;
    }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override { return m_file; }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&, QString*) override { return m_file; }
    int exec(QDialog&) override { return 0; }

private:
    QString m_file;
};

void openAndConvert(benchmark::State& state, const char* file)
{
    TForm1::Seams seams;
    seams.dialogs = std::make_unique<FixedDialogs>(QStringLiteral(MORVANE_TESTDATA_DIR "/") + QLatin1String(file));
    TForm1 form(std::move(seams));
    form.show();
    QApplication::processEvents();
    auto* open = form.findChild<QPushButton*>(QStringLiteral("OpenButton"));
    auto* convert = form.findChild<QPushButton*>(QStringLiteral("ConvertButton"));
    for (auto _ : state) {
        open->click();
        convert->click();
        form.repaint();
    }
}

void BM_OpenAndConvert384(benchmark::State& state)
{
    openAndConvert(state, "lc480_384_nrd1_calibration.txt");
}
BENCHMARK(BM_OpenAndConvert384)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_OpenAndConvert96(benchmark::State& state)
{
    openAndConvert(state, "lc480_96_example_excel_damaged.txt");
}
BENCHMARK(BM_OpenAndConvert96)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
