// The enhanced list view against a plain Qt item view, on the same 100,000
// rows of four columns (an engine name, a number as text, an address, a
// type): fill, sort by the address (text), sort by the number, paint one
// screen.
//
//   bench_list_view              runs seven rounds, each side in its own
//                                process, A B A B, and prints each time, the
//                                ratios (ours / Qt) and the peak memories
//   bench_list_view ours | qt    one side once: "fill text number paint peak"
//
// The Qt side is a QStandardItemModel in a QTableView, sorted by the model's
// own sort; its number column sorts by a role that holds the numbers read
// from the same texts (read while filling, so the fill pays for them, as our
// sort pays for reading them). Our side is TExListView with owner-drawn rows
// as the main window has them, its number column sorted by style 2.
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QTableView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "classlib/Forms.h"
#include "controls/ExListV.h"

namespace {

constexpr int Rows = 100000;
constexpr int Rounds = 7;
constexpr int ScreenWidth = 800;
constexpr int ScreenHeight = 600;
constexpr int NumberRole = Qt::UserRole + 1;

struct TRow {
    std::string Name, Number, Address, Type;
};

std::vector<TRow> Data()
{
    static const char* const types[] = {"Engine", "Classified", "FFA", "Batch->5", "Custom->Engine"};
    std::mt19937 random(2026);
    std::vector<TRow> rows(Rows);
    for (int i = 0; i < Rows; ++i) {
        char name[32], number[32];
        std::snprintf(name, sizeof name, "Engine %06d", int(random() % 1000000));
        if (i % 4 == 0)
            std::snprintf(number, sizeof number, "%u.%02u", unsigned(random() % 100000), unsigned(random() % 100));
        else
            std::snprintf(number, sizeof number, "%u", unsigned(random() % 10000000));
        rows[size_t(i)] = {name, number, "http://e" + std::to_string(random() % 1000000) + ".example.com/add.html",
                           types[random() % 5]};
    }
    return rows;
}

double PeakMegabytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// Prints the figures and ends the process at once: taking 400,000 toolkit
// items apart one by one costs half a minute and is no part of the work.
[[noreturn]] void Report(double fill, double text, double number, double paint)
{
    std::printf("%.2f %.2f %.2f %.2f %.1f\n", fill, text, number, paint, PeakMegabytes());
    std::fflush(stdout);
    std::_Exit(0);
}

template <class F>
double Milliseconds(F&& f)
{
    const auto begin = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
}

// One full paint of the visible rows, into an image of the screen's size.
double PaintScreen(QWidget* widget)
{
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    return Milliseconds([&] {
        QPainter painter(&image);
        widget->render(&painter);
    });
}

int RunOurs()
{
    const std::vector<TRow> data = Data();
    TForm form(nullptr);
    form.SetBounds(0, 0, ScreenWidth + 20, ScreenHeight + 20);
    auto* list = new TExListView(&form);
    list->SetParent(&form);
    list->SetBounds(0, 0, ScreenWidth, ScreenHeight);
    list->SetOwnerDraw(true);
    list->SetURLShow(true);
    list->SetGridLines(true);
    list->SetRowSelect(true);
    list->SetItemHeight(17);
    for (const auto& [caption, width] : {std::pair{"Engines", 150}, {"Hits", 100}, {"URL", 300}, {"Type", 120}}) {
        TListColumn* column = list->Columns()->Add();
        column->SetCaption(caption);
        column->SetWidth(width);
    }
    list->OnGetFormat = [](TObject*, int column, TSortStyle& style, AnsiString&, AnsiString&) {
        if (column == 0)
            style = ssNumber;
    };
    form.Show();
    QApplication::processEvents();

    const double fill = Milliseconds([&] {
        TListItems* items = list->Items();
        items->BeginUpdate();
        for (const TRow& row : data) {
            TListItem* item = items->Add();
            item->SetCaption(row.Name);
            TStrings* cells = item->SubItems();
            cells->Add(row.Number);
            cells->Add(row.Address);
            cells->Add(row.Type);
        }
        items->EndUpdate();
    });
    const double text = Milliseconds([&] { list->SetSortColumn(2); });
    const double number = Milliseconds([&] { list->SetSortColumn(1); });
    for (int i = 1; i < list->Items()->Count(); i += 997)
        if (StrToIntDef(list->CellText(1, i - 1), 0) > StrToIntDef(list->CellText(1, i), 1 << 30) &&
            list->CellText(1, i).find('.') == AnsiString::npos && list->CellText(1, i - 1).find('.') == AnsiString::npos) {
            std::fprintf(stderr, "not sorted at row %d\n", i);
            return 1;
        }
    QApplication::processEvents();
    PaintScreen(list->Widget());  // the fonts and glyphs are cached by the first paint
    double paint = 0;
    for (int i = 0; i < 5; ++i)
        paint += PaintScreen(list->Widget()) / 5;
    Report(fill, text, number, paint);
}

int RunQt()
{
    const std::vector<TRow> data = Data();
    QTableView view;
    view.resize(ScreenWidth, ScreenHeight);
    view.verticalHeader()->hide();
    view.verticalHeader()->setDefaultSectionSize(17);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setShowGrid(true);
    view.show();
    QApplication::processEvents();

    auto* model = new QStandardItemModel(&view);
    const double fill = Milliseconds([&] {
        model->setColumnCount(4);
        model->setHorizontalHeaderLabels({"Engines", "Hits", "URL", "Type"});
        model->setRowCount(Rows);
        for (int r = 0; r < Rows; ++r) {
            const TRow& row = data[size_t(r)];
            model->setItem(r, 0, new QStandardItem(QString::fromLatin1(row.Name.c_str())));
            auto* number = new QStandardItem(QString::fromLatin1(row.Number.c_str()));
            number->setData(number->text().toDouble(), NumberRole);
            model->setItem(r, 1, number);
            model->setItem(r, 2, new QStandardItem(QString::fromLatin1(row.Address.c_str())));
            model->setItem(r, 3, new QStandardItem(QString::fromLatin1(row.Type.c_str())));
        }
        view.setModel(model);
        for (const auto& [column, width] : {std::pair{0, 150}, {1, 100}, {2, 300}, {3, 120}})
            view.setColumnWidth(column, width);
    });
    const double text = Milliseconds([&] {
        model->setSortRole(Qt::DisplayRole);
        view.sortByColumn(2, Qt::AscendingOrder);
    });
    const double number = Milliseconds([&] {
        model->setSortRole(NumberRole);
        view.sortByColumn(1, Qt::AscendingOrder);
    });
    QApplication::processEvents();
    PaintScreen(&view);
    double paint = 0;
    for (int i = 0; i < 5; ++i)
        paint += PaintScreen(&view) / 5;
    Report(fill, text, number, paint);
}

struct TFigures {
    double Value[5] = {};  // fill, text sort, number sort, paint, peak
};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

int Drive(const char* self)
{
    std::vector<TFigures> ours, qt;
    for (int round = 0; round < Rounds; ++round) {
        for (const char* side : {"ours", "qt"}) {
            double wall = 0;
            const std::string out = bench::RunProgram({self, side}, wall, true);
            TFigures f;
            std::istringstream in(out);
            for (double& v : f.Value)
                in >> v;
            if (!in) {
                std::fprintf(stderr, "the %s side printed no figures: %s\n", side, out.c_str());
                return 1;
            }
            (side[0] == 'o' ? ours : qt).push_back(f);
        }
    }
    const char* names[] = {"fill (ms)", "sort by text (ms)", "sort by number (ms)", "paint one screen (ms)",
                           "peak memory (MB)"};
    std::printf("%d rows of 4 columns, %d rounds, each side in its own process, interleaved\n", Rows, Rounds);
    std::printf("%-24s %22s %22s %26s\n", "", "TExListView median [range]", "Qt view median [range]",
                "ratio ours/Qt median [range]");
    for (int k = 0; k < 5; ++k) {
        std::vector<double> a, b, r;
        for (int i = 0; i < Rounds; ++i) {
            a.push_back(ours[size_t(i)].Value[k]);
            b.push_back(qt[size_t(i)].Value[k]);
            r.push_back(b.back() > 0 ? a.back() / b.back() : 0);
        }
        std::printf("%-24s %9.1f [%6.1f-%6.1f] %9.1f [%6.1f-%6.1f] %10.2f [%5.2f-%5.2f]\n", names[k], Median(a),
                    *std::min_element(a.begin(), a.end()), *std::max_element(a.begin(), a.end()), Median(b),
                    *std::min_element(b.begin(), b.end()), *std::max_element(b.begin(), b.end()), Median(r),
                    *std::min_element(r.begin(), r.end()), *std::max_element(r.begin(), r.end()));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string role = argc > 1 ? argv[1] : "";
    if (role != "ours" && role != "qt")
        return Drive(bench::SelfPath(argv[0]).c_str());
    QApplication app(argc, argv);
    return role == "ours" ? RunOurs() : RunQt();
}
