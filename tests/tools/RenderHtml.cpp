// Renders one HTML page through the viewer control, offscreen, the way a
// user would see it in a window of the given width, with its pictures:
//
//   render_html [--width N] [--text OUT.txt] PAGE.html OUT.png
//
// OUT.png shows the whole document's height. One line goes to standard
// output: load_ms (reading, building and the first layout), layout_ms (the
// layout again, as a resize does it), paint_ms (painting the whole
// document, band after band) and height (the document's height in pixels).
// With --text, the document's text as laid out goes to OUT.txt, one line
// per laid-out line, the cells of a table row separated by a TAB.
//
// The picture is written as it is painted, a band at a time, so that a
// page of any height takes the memory of one band.
#include <QApplication>
#include <QImage>

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "classlib/Files.h"
#include "classlib/Forms.h"
#include "htmlview/HtmlImages.h"
#include "htmlview/HtmlPane.h"
#include "support/ControlWindows.h"
#include "support/LaidOutText.h"

namespace {

constexpr int BandHeight = 2000;

// A PNG of 8-bit RGB rows, written row by row.
class PngStream {
public:
    PngStream(const std::string& path, int width, int height) : FOut(path, std::ios::binary), FWidth(width)
    {
        FOut.write("\x89PNG\r\n\x1a\n", 8);
        std::string header;
        Put32(header, std::uint32_t(width));
        Put32(header, std::uint32_t(height));
        header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter set, no interlace
        Chunk("IHDR", header);
        FZ.zalloc = nullptr;
        FZ.zfree = nullptr;
        FZ.opaque = nullptr;
        deflateInit(&FZ, 6);
    }
    ~PngStream() { deflateEnd(&FZ); }
    PngStream(const PngStream&) = delete;
    PngStream& operator=(const PngStream&) = delete;

    bool Good() const { return bool(FOut); }

    void Row(const QImage& image, int y)
    {
        std::string row(1, '\0');  // filter: none
        row.reserve(std::size_t(FWidth) * 3 + 1);
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < FWidth; ++x) {
            const QRgb p = x < image.width() ? pixels[x] : qRgb(255, 255, 255);
            row += char(qRed(p));
            row += char(qGreen(p));
            row += char(qBlue(p));
        }
        Deflate(row, Z_NO_FLUSH);
    }

    bool Finish()
    {
        Deflate(std::string(), Z_FINISH);
        Chunk("IEND", std::string());
        FOut.flush();
        return bool(FOut);
    }

private:
    static void Put32(std::string& s, std::uint32_t v)
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            s += char((v >> shift) & 0xFF);
    }
    void Chunk(const char* type, const std::string& data)
    {
        std::string length;
        Put32(length, std::uint32_t(data.size()));
        FOut.write(length.data(), 4);
        std::string body = std::string(type, 4) + data;
        FOut.write(body.data(), std::streamsize(body.size()));
        std::string crc;
        Put32(crc, std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
        FOut.write(crc.data(), 4);
    }
    void Deflate(const std::string& input, int flush)
    {
        FZ.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
        FZ.avail_in = uInt(input.size());
        unsigned char buffer[1 << 16];
        do {
            FZ.next_out = buffer;
            FZ.avail_out = sizeof buffer;
            deflate(&FZ, flush);
            FPending.append(reinterpret_cast<char*>(buffer), sizeof buffer - FZ.avail_out);
        } while (FZ.avail_out == 0);
        if (FPending.size() >= (1u << 20) || flush == Z_FINISH) {
            if (!FPending.empty())
                Chunk("IDAT", FPending);
            FPending.clear();
        }
    }

    std::ofstream FOut;
    int FWidth;
    z_stream FZ{};
    std::string FPending;
};

double MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

int Usage()
{
    std::fprintf(stderr, "usage: render_html [--width N] [--text OUT.txt] PAGE.html OUT.png\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    int width = 800;
    std::string textPath;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--width" && i + 1 < argc) {
            width = std::atoi(argv[++i]);
        } else if (arg == "--text" && i + 1 < argc) {
            textPath = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage();
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2 || width < 50 || width > 10000)
        return Usage();

    auto* form = new TForm(Application);
    auto* viewer = new THtmlPane(form);
    viewer->Name = "Viewer";
    viewer->SetParent(form);
    // The document fills the picture: no border and no scroll bars, so the
    // whole width is the page's.
    viewer->SetBorderStyle(htNone);
    viewer->SetScrollBars(ssNone);
    viewer->SetDefBackground(clWhite);
    viewer->SetDefFontColor(clBlack);
    viewer->SetViewImages(true);
    // One pixel wider at first, so that setting the width lays it out again.
    viewer->SetBounds(0, 0, width + 1, BandHeight);
    form->SetBounds(0, 0, width + 1, BandHeight);
    form->Show();

    auto start = std::chrono::steady_clock::now();
    try {
        viewer->LoadHtmlFile(files[0]);
    } catch (const EInOutError& e) {
        std::fprintf(stderr, "render_html: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        // The document read up to the error is shown.
        std::fprintf(stderr, "render_html: %s\n", e.what());
    }
    const double loadMs = MillisecondsSince(start);

    start = std::chrono::steady_clock::now();
    try {
        form->SetWidth(width);
        viewer->SetWidth(width);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "render_html: %s\n", e.what());
    }
    const double layoutMs = MillisecondsSince(start);

    const int height = std::max(1, viewer->DocHeight());
    const int band = std::min(height, BandHeight);
    viewer->SetHeight(band);
    form->SetHeight(band);

    PngStream png(files[1], width, height);
    if (!png.Good()) {
        std::fprintf(stderr, "render_html: cannot write %s\n", files[1].c_str());
        return 1;
    }
    QImage blank(width, 1, QImage::Format_RGB32);
    blank.fill(Qt::white);
    double paintMs = 0;
    TWinControl* panel = viewer->PaintPanel();
    for (int top = 0; top < height; top += band) {
        viewer->SetPosition(top);
        // The last band is scrolled only as far as the document goes.
        const int shown = viewer->Position();
        start = std::chrono::steady_clock::now();
        const QImage image = PictureOf(panel).convertToFormat(QImage::Format_RGB32);
        paintMs += MillisecondsSince(start);
        for (int y = top; y < std::min(height, top + band); ++y) {
            const int row = y - shown;
            if (row >= 0 && row < image.height())
                png.Row(image, row);
            else
                png.Row(blank, 0);
        }
    }
    if (!png.Finish()) {
        std::fprintf(stderr, "render_html: cannot write %s\n", files[1].c_str());
        return 1;
    }

    if (!textPath.empty()) {
        std::ofstream text(textPath, std::ios::binary);
        for (const std::string& line : LaidOutLines(*viewer->Document()))
            text << line << '\n';
        if (!text) {
            std::fprintf(stderr, "render_html: cannot write %s\n", textPath.c_str());
            return 1;
        }
    }

    std::printf("load_ms=%.1f layout_ms=%.1f paint_ms=%.1f height=%d\n", loadMs, layoutMs, paintMs, height);
    delete form;
    return 0;
}
