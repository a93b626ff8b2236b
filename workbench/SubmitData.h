// The submission run as data: one engine's request built from its record and
// the project, the result of a request, and the options of the run.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "classlib/Strings.h"
#include "workbench/ProjectData.h"

// A form value as the engines' forms expect it: blanks as "+", the
// unreserved bytes (A-Z a-z 0-9 - . _ ~) as they are, every other byte as %XX.
CodePageString EncodeFormValue(const CodePageString& value);

// Looks up the CategoryMap: section "Sub" + the engine's category type, key
// the project's category; "" when either is missing.
using CategoryLookup = std::function<CodePageString(const CodePageString& section, const CodePageString& key)>;

struct SubmissionRequest {
    CodePageString url;      // field 3, the form's action
    CodePageString data;     // the form data
    CodePageString referer;  // field 2, the page that holds the form
    CodePageString method;   // field 21; "POST" posts, anything else is a GET
};

// The request for one engine, from the value part of its record (the text
// after "name="). The form data follows the record's field order and leaves
// out every field whose name is empty. The project's values are encoded; the
// record's fixed extra parameters and the CategoryMap value are installation
// data and go out as stored.
SubmissionRequest BuildSubmissionRequest(const CodePageString& recordValue, const ProjectRecord& project,
                                         const CategoryLookup& categories);

// --- results --------------------------------------------------------------------

struct SubmissionResult {
    int status = 0;
    CodePageString text;
};

// Results the live window gives of its own.
inline const SubmissionResult TimeoutResult{408, "Request Timeout"};
inline const SubmissionResult StoppedResult{404, "Submission Stopped"};
inline const SubmissionResult SocketErrorResult{500, "Socket Error"};

// The result taken at the end of a response's header: a redirect after the
// form post (302, 303, 307) is the engine's usual "thank you", and an empty
// reason text counts as 200 "OK" below 400. A status of 400 or more stays a
// failure, shown by its reason text or, without one, by its number.
SubmissionResult ResultOfHeader(int httpStatus, const CodePageString& statusText);

enum class ResultClass { Successful, Failed, TimedOut };
ResultClass ClassifyResult(int status);

// Row images of the engine list.
constexpr int RowImageFailed = 0;
constexpr int RowImageRunning = 1;
constexpr int RowImageSuccessful = 2;
constexpr int RowImageTimedOut = 3;
int RowImageOfResult(int status);

// --- options ---------------------------------------------------------------------

constexpr int DefaultPorts = 10;
constexpr int DefaultTimeout = 40;

// Ports or Timeout as typed: a whole number of at least 1, or the text of
// the message that refuses it.
std::optional<CodePageString> CheckSubmitOption(const CodePageString& text, const char* what, int& value);
