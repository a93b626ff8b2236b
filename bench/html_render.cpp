// A 1 MB page of headings, text, tables and lists, read, laid out 780
// pixels wide and painted whole (page after page of 800 x 1000 pixels into
// an image), by the HTML viewer's document model and by Qt's QTextDocument
// (setHtml, a text width, the full layout forced by asking for the size,
// drawContents), both with the same default font. Each side is its own
// process:
//
//   bench_html_render generate FILE     writes the page
//   bench_html_render viewer FILE       the viewer's side
//   bench_html_render qt FILE           QTextDocument's side
//
// Each side prints "figure render_s" for the region from the bytes in memory
// to the last page painted. The comparison runs through bench_rounds, with
// QT_QPA_PLATFORM=offscreen on both sides:
//   bench_rounds --names viewer,qt 'bench_html_render viewer page.htm' 'bench_html_render qt page.htm'
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTextDocument>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "classlib/Graphics.h"
#include "htmlview/HtmlParse.h"
#include "htmlview/HtmlSubs.h"

namespace {

constexpr int PageWidth = 800;
constexpr int PageHeight = 1000;
constexpr int Margin = 10;
constexpr std::size_t TargetBytes = 1024 * 1024;

std::string MakePage()
{
    static const char* const words[] = {"garden", "spade", "rake", "hoe", "seed", "tray", "water", "soil",
                                        "summer", "autumn", "plant", "grow", "the", "and", "of", "for"};
    std::string html = "<html><head><title>Garden almanac</title></head><body>\n";
    unsigned n = 1;
    const auto word = [&] {
        n = n * 1103515245u + 12345u;
        return words[(n >> 16) % 16];
    };
    for (int section = 1; html.size() < TargetBytes; ++section) {
        html += "<h2>Section " + std::to_string(section) + "</h2>\n<p>";
        for (int w = 0; w < 70; ++w) {
            html += w % 11 == 3 ? std::string("<b>") + word() + "</b> " : w % 13 == 5 ? std::string("<a href=\"x.htm\">") + word() + "</a> " : std::string(word()) + " ";
        }
        html += "</p>\n<table border=1 cellpadding=2 width=90%>\n";
        for (int r = 0; r < 5; ++r) {
            html += "<tr>";
            for (int c = 0; c < 4; ++c)
                html += std::string("<td>") + word() + " " + word() + "</td>";
            html += "</tr>\n";
        }
        html += "</table>\n<ul>";
        for (int i = 0; i < 4; ++i)
            html += std::string("<li>") + word() + " " + word() + " " + word() + "</li>";
        html += "</ul>\n";
    }
    return html + "</body></html>\n";
}

std::string ReadFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int Viewer(const std::string& html)
{
    TBitmap page(PageWidth, PageHeight);
    TCanvas* canvas = page.Canvas();
    const auto start = std::chrono::steady_clock::now();
    TSectionList root(nullptr, nullptr);
    TStringList anchors;
    THtmlParseInfo info;
    ParseHtmlBuffer(root, anchors, html, {}, info);
    int maxWidth = 0;
    int curs = 0;
    const int height = root.LayOutAll(canvas, Margin, PageWidth - 2 * Margin, maxWidth, curs) + 2 * Margin;
    int pages = 0;
    for (int y = 0; y < height; y += PageHeight, ++pages) {
        canvas->Brush()->SetColor(clWhite);
        canvas->FillRect(Rect(0, 0, PageWidth, PageHeight));
        root.SetScrollTop(y);
        root.Draw(canvas, Rect(0, 0, PageWidth, PageHeight), 2000, Margin, Margin);
    }
    std::printf("figure render_s %.6f\n", Seconds(start));
    std::printf("height %d pages %d\n", height, pages);
    return 0;
}

int TextDocument(const std::string& html)
{
    // The same kind of image as the viewer's bitmap.
    QImage page(PageWidth, PageHeight, QImage::Format_ARGB32);
    const auto start = std::chrono::steady_clock::now();
    QTextDocument doc;
    // The viewer's default font: Times New Roman at 12 points, which the
    // class library draws as Liberation Serif at 16 pixels. Left to itself the
    // document would set the page in the application's smaller font, on
    // fewer pages.
    QFont font("Liberation Serif");
    font.setPixelSize(16);
    doc.setDefaultFont(font);
    doc.setHtml(QString::fromLatin1(html.data(), qsizetype(html.size())));
    doc.setTextWidth(PageWidth - 2 * Margin);
    const int height = int(doc.size().height());
    int pages = 0;
    for (int y = 0; y < height; y += PageHeight, ++pages) {
        // The page is cleared the way the viewer's canvas clears it.
        QPainter painter(&page);
        painter.fillRect(QRect(0, 0, PageWidth, PageHeight), Qt::white);
        painter.translate(Margin, -y);
        doc.drawContents(&painter, QRectF(0, y, PageWidth, PageHeight));
    }
    std::printf("figure render_s %.6f\n", Seconds(start));
    std::printf("height %d pages %d\n", height, pages);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_html_render generate|viewer|qt FILE\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "generate") {
        std::ofstream(argv[2], std::ios::binary) << MakePage();
        return 0;
    }
    QApplication app(argc, argv);
    const std::string html = ReadFile(argv[2]);
    if (mode == "viewer")
        return Viewer(html);
    if (mode == "qt")
        return TextDocument(html);
    return 2;
}
