// The meta block and its splice into a page's head.
#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

#include "classlib/Classes.h"
#include "classlib/Files.h"
#include "support/TempDir.h"
#include "workbench/MetaData.h"

namespace {

MetaTagFields Fields()
{
    MetaTagFields f;
    f.title = "Cats & \"Mice\"";
    f.keywords = "cats,mice,,toys";
    f.description = "All about <b>cats</b>";
    f.author = "Ann Lee";
    f.copyright = "Lee Ltd";
    f.creator = "Tenvarel";
    f.distribution = "Global";
    f.rating = "General";
    f.robots = "All";
    return f;
}

CodePageString Joined(const std::vector<CodePageString>& lines)
{
    CodePageString text;
    for (const CodePageString& line : lines)
        text += line + "\r\n";
    return text;
}

TEST(MetaBlock, TheCheckedTagsInOrderAsTyped)
{
    MetaTagFields f = Fields();
    EXPECT_EQ(Joined(BuildMetaBlock(f)),
              "<HEAD>\r\n"
              "<TITLE>Cats & \"Mice\"</TITLE>\r\n"
              "<META NAME=\"Keywords\" CONTENT=\"cats,mice,,toys\">\r\n"
              "<META NAME=\"Description\" CONTENT=\"All about <b>cats</b>\">\r\n"
              "<META NAME=\"Author\" CONTENT=\"Ann Lee\">\r\n"
              "<META NAME=\"Copyright\" CONTENT=\"Lee Ltd\">\r\n"
              "<META NAME=\"Creator\" CONTENT=\"Tenvarel\">\r\n"
              "</HEAD>\r\n");

    f.distributionOn = f.ratingOn = f.robotsOn = true;
    f.keywordsOn = f.descriptionOn = f.authorOn = f.copyrightOn = false;
    EXPECT_EQ(Joined(BuildMetaBlock(f)),
              "<HEAD>\r\n"
              "<TITLE>Cats & \"Mice\"</TITLE>\r\n"
              "<META NAME=\"Creator\" CONTENT=\"Tenvarel\">\r\n"
              "<META NAME=\"Distribution\" CONTENT=\"Global\">\r\n"
              "<META NAME=\"Rating\" CONTENT=\"General\">\r\n"
              "<META NAME=\"Robots\" CONTENT=\"All\">\r\n"
              "</HEAD>\r\n");
}

const std::vector<CodePageString> Block = {"<HEAD>", "<TITLE>New</TITLE>", "<META NAME=\"Creator\" CONTENT=\"T\">",
                                       "</HEAD>"};
const CodePageString B = "<HEAD>\r\n<TITLE>New</TITLE>\r\n<META NAME=\"Creator\" CONTENT=\"T\">\r\n</HEAD>\r\n";
// The block without its end tag, as it goes before a script.
const CodePageString Bs = "<HEAD>\r\n<TITLE>New</TITLE>\r\n<META NAME=\"Creator\" CONTENT=\"T\">\r\n";

TEST(MetaSplice, PagesAndTheirBytesAfterTheSplice)
{
    struct Case {
        const char* what;
        CodePageString page;
        CodePageString spliced;
        bool beforeScript = false;
    } cases[] = {
        {"a plain head", "<HTML>\r\n<HEAD>\r\n<TITLE>Old</TITLE>\r\n</HEAD>\r\n<BODY>x</BODY>\r\n</HTML>\r\n",
         "<HTML>\r\n" + B + "<BODY>x</BODY>\r\n</HTML>\r\n"},
        {"lower-case tags, LF line ends",
         "<html>\n<head lang=en>\n<title>Old</title>\n</head>\n<body>\xE9t\xE9</body>\n</html>\n",
         "<html>\n" + B + "<body>\xE9t\xE9</body>\n</html>\n"},
        {"head and body on one line", "<html><head><title>Old</title></head><body>x</body></html>",
         "<html>" + B + "<body>x</body></html>"},
        {"a script in the head",
         "<html>\r\n<head>\r\n<title>Old</title>\r\n<SCRIPT>var a;</SCRIPT>\r\n</head>\r\n<body></body>\r\n",
         "<html>\r\n" + Bs + "<SCRIPT>var a;</SCRIPT>\r\n</head>\r\n<body></body>\r\n", true},
        {"a script before the head",
         "<script src=a.js></script>\r\n<html><head><title>Old</title></head>\r\n<body></body>",
         "<script src=a.js></script>\r\n<html>" + B + "<body></body>"},
        {"a header before the real head",
         "<HEADER>x</HEADER>\r\n<head\t><title>Old</title></head>\r\n<body></body>",
         "<HEADER>x</HEADER>\r\n" + B + "<body></body>"},
        {"the page's last bytes", "<head></head>", B},
        {"a head commented out before the real one, with its end",
         "<!-- <head><title>Old site</title></head> -->\r\n<html><head><title>Old</title></head>\r\n<body>x</body>",
         "<!-- <head><title>Old site</title></head> -->\r\n<html>" + B + "<body>x</body>"},
        {"comments that end where they start", "<!--><!---><head></head>x", "<!--><!--->" + B + "x"},
        {"a script and an end tag commented out in the head",
         "<head><title>Old</title><!-- <script> </head> -->\r\n</head>\r\n<body>x</body>", B + "<body>x</body>"},
        {"a script whose own comment hides nothing of the head",
         "<head><script><!--\r\nvar a; // --></script></head><body></body>",
         Bs + "<script><!--\r\nvar a; // --></script></head><body></body>", true},
        {"end tags with blanks before their \">\"", "<head><title>Old</title></HEAD \r\n>\r\n<body>x</body>",
         B + "<body>x</body>"},
    };
    for (const Case& c : cases) {
        const auto spliced = SpliceMetaBlock(c.page, Block);
        ASSERT_TRUE(spliced.has_value()) << c.what;
        EXPECT_EQ(spliced->page, c.spliced) << c.what;
        EXPECT_EQ(spliced->beforeScript, c.beforeScript) << c.what;
    }
}

TEST(MetaSplice, PagesWithoutAHeadInOrder)
{
    const char* pages[] = {
        "<html><body>no head</body></html>",
        "<html><header>x</header></html>",              // no head tag, no end tag
        "<header></head><body></body>",                 // an end, but no head tag
        "<html></head><head><title>x</title></html>",   // the end before the start
        "<html><head><title>x</title><body></body>",    // no end
        "<!-- <head></head> --><body></body>",          // only a head commented out
        "<head><title>x</title><!-- </head> --><body>", // only an end commented out
        "<head><!-- open to the end </head>",           // a comment that never ends
        "<head></head",                                 // an end tag that never closes
        "",
    };
    for (const char* page : pages)
        EXPECT_FALSE(SpliceMetaBlock(page, Block).has_value()) << page;
}

TEST(MetaInjection, TheFileAndItsFirstCopy)
{
    TempDir dir;
    const std::string body = "<body>" + std::string("\0\x81", 2) + "</body>";
    const std::string original = "<html>\r\n<head><title>Old</title></head>\r\n" + body;
    const std::string page = dir.Write("site/index.html", original);
    TMetaInjected done = InjectMetaBlockIntoFile(page, Block);
    ASSERT_EQ(done.how, MetaInjection::Injected);
    EXPECT_TRUE(done.backupSaved);
    EXPECT_EQ(ReadFileBytes(page), "<html>\r\n" + B + body);
    EXPECT_EQ(ReadFileBytes(page + ".bac"), original);

    // A second injection keeps the first copy: it holds the page as it was.
    done = InjectMetaBlockIntoFile(page, {"<HEAD>", "<TITLE>Newer</TITLE>", "</HEAD>"});
    ASSERT_EQ(done.how, MetaInjection::Injected);
    EXPECT_FALSE(done.backupSaved);
    EXPECT_EQ(ReadFileBytes(page), "<html>\r\n<HEAD>\r\n<TITLE>Newer</TITLE>\r\n</HEAD>\r\n" + body);
    EXPECT_EQ(ReadFileBytes(page + ".bac"), original);
    // Nothing but the page and its copy is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("site")), {}), 2);

    // A page without a head is left alone, and gets no copy.
    const std::string headless = dir.Write("plain.html", "<p>text</p>\r\n");
    EXPECT_EQ(InjectMetaBlockIntoFile(headless, Block).how, MetaInjection::NoHead);
    EXPECT_EQ(ReadFileBytes(headless), "<p>text</p>\r\n");
    EXPECT_FALSE(FileExists(headless + ".bac"));

    EXPECT_THROW(InjectMetaBlockIntoFile(dir.File("missing.html"), Block), EFOpenError);
}

// A page picked through a link gets the block where it lies; the link stays
// a link. A pipe is refused at once instead of waiting for a writer.
TEST(MetaInjection, LinksAreFollowedAndPipesRefused)
{
    TempDir dir;
    const std::string original = "<html><head><title>Old</title></head><body></body></html>";
    const std::string page = dir.Write("www/index.html", original);
    const std::string link = dir.File("index.html");
    std::filesystem::create_symlink(page, link);
    ASSERT_EQ(InjectMetaBlockIntoFile(link, Block).how, MetaInjection::Injected);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(page), "<html>" + B + "<body></body></html>");
    EXPECT_EQ(ReadFileBytes(link + ".bac"), original);

    const std::string pipe = dir.File("pipe.html");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_THROW(InjectMetaBlockIntoFile(pipe, Block), EFOpenError);
    EXPECT_FALSE(FileExists(pipe + ".bac"));
}

}  // namespace
