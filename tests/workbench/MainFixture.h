// Shared by the main window's tests: a temporary installation folder made of
// the build's installation data, the program's windows started in it, and
// the message and error boxes recorded.
#pragma once

#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Hooks.h"
#include "support/ShopProject.h"
#include "support/TempDir.h"

// The installation as `cmake --install` lays it out, in a temporary folder.
class TInstallFolder {
public:
    TInstallFolder();
    const std::string& Path() const { return FDir.Path(); }
    std::string File(const std::string& relative) const { return FDir.File(relative); }
    std::string Read(const std::string& relative) const;
    void Write(const std::string& relative, const std::string& bytes) const { FDir.Write(relative, bytes); }
    void Remove(const std::string& relative) const;

private:
    TempDir FDir;
};

// Every message box and error box while it lives; message boxes answer from
// Answers, first to last, and with `answer` once it is empty.
class TBoxRecorder {
public:
    explicit TBoxRecorder(int answer = IDOK);
    ~TBoxRecorder();
    std::vector<MessageBoxCall> Boxes;
    std::vector<std::string> Errors;
    std::deque<int> Answers;
};

// Message boxes compare and print by text, caption and flags (found by
// argument lookup beside MessageBoxCall).
bool operator==(const MessageBoxCall& a, const MessageBoxCall& b);
void PrintTo(const MessageBoxCall& box, std::ostream* os);

// Starts the six windows with the folder as the current directory, the way
// the program entry does; the destructor frees them and puts the current
// directory back.
class TRunningProgram {
public:
    explicit TRunningProgram(const TInstallFolder& folder);
    ~TRunningProgram();
    TRunningProgram(const TRunningProgram&) = delete;
    TRunningProgram& operator=(const TRunningProgram&) = delete;

private:
    std::string FOldDir;
};

// The engine records of an engine file, unscrambled.
std::vector<std::string> EngineFileLines(const std::string& path);
// The scrambled image of records, each ended by CR LF.
std::string ScrambledEngineFile(const std::vector<std::string>& records);

// The row of the main window's engine list with this caption; nullptr when there is none.
class TListItem;
TListItem* RowOf(const std::string& caption);

// The head of a submission report's engine table, one line a string.
const std::vector<std::string>& ReportTableHead();

// The main window's actions and readings, named by what they do. A Press... is
// the button's click (its handler runs whatever the button's state); a
// UserPress... is a person's press through the toolkit, which a disabled
// button ignores. The ...Enabled() readings say whether the button can be
// pressed; the counts are what the LEDs show.
//
// The Projects page:
void PressNewProject();   // New
void PressSaveProject();  // Save
std::string ProjectCount();
// The Import Wizard sheet:
void UserPressImport();       // Import
void UserPressAbortImport();  // Abort
void UserPressApplyImport();  // Apply
bool ImportEnabled();
bool AbortImportEnabled();
// The Submit page:
void PressSubmit();
void PressStopSubmission();
bool SubmitEnabled();
bool StopSubmissionEnabled();
std::string SucceededCount();
std::string FailedCount();
std::string TimedOutCount();
// The Ranking page:
void StartRankingCheck();
void StopRankingCheck();
bool StartRankingEnabled();
bool StopRankingEnabled();
// The MetaTags page:
void PressGenerateTags();
void PressApplyTags();
