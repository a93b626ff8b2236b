// Meta tags as data: the head block built from the MetaTags page, and its
// splice into the head of an HTML page.
#pragma once

#include <optional>
#include <vector>

#include "classlib/Strings.h"
#include "workbench/ProjectData.h"

// What the MetaTags page holds; a tag whose box is unchecked is left out.
struct MetaTagFields {
    CodePageString title;
    CodePageString keywords;
    CodePageString description;
    CodePageString author;
    CodePageString copyright;
    CodePageString creator;  // the program's name
    CodePageString distribution;
    CodePageString rating;
    CodePageString robots;
    bool keywordsOn = true;
    bool descriptionOn = true;
    bool authorOn = true;
    bool copyrightOn = true;
    bool distributionOn = false;
    bool ratingOn = false;
    bool robotsOn = false;
};

// The block, one tag a line, from "<HEAD>" to "</HEAD>". Texts go in as
// typed (imported ones came in escaped: ImportedText).
std::vector<CodePageString> BuildMetaBlock(const MetaTagFields& fields);

// The length counters of the MetaTags page.
inline constexpr LengthCounter MetaCounters[] = {
    {"TitleMet", "CLED1Met", false, 60, nullptr},
    {"DescriptionMet", "CLED2Met", false, 250, nullptr},
    {"Key1Met", "CLED3Met", true, 250, nullptr},
};

// The page with the block in place of its head: from the head's start tag
// through its end tag ("</HEAD>", or "</HEAD" and blanks before its ">") and
// the line break after it, or, when the head holds a script, up to the first
// script (the scripts and the page's own end tag stay, and the block goes
// without its "</HEAD>" line). The block's lines end with CR LF; every byte
// outside the replaced span is kept. Tags are found in any case, "<head" only
// as a tag of its own ("<header" is none), and never inside a comment.
// Nothing when the head cannot be found in order: no start tag, no end tag,
// or an end tag before the start tag.
struct MetaSplice {
    CodePageString page;
    bool beforeScript = false;  // the block went in before a script of the head
};
std::optional<MetaSplice> SpliceMetaBlock(const CodePageString& page, const std::vector<CodePageString>& block);

// Injects the block into the page file: keeps the file's bytes as they are in
// fileName + ".bac" unless that copy exists already (the first one holds the
// page before any injection), then writes the spliced page through a
// temporary file and a rename; a link is followed, so the page it leads to
// gets the block and the link stays. Nothing is written when the head cannot
// be found, nor for a page the user made read-only (EFCreateError). Throws
// the class library's file errors.
enum class MetaInjection { NoHead, Injected, InjectedBeforeScript };
struct TMetaInjected {
    MetaInjection how = MetaInjection::NoHead;
    bool backupSaved = false;  // this injection wrote the ".bac" copy
};
TMetaInjected InjectMetaBlockIntoFile(const CodePageString& fileName, const std::vector<CodePageString>& block);
