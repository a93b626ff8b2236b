// The submission client: the live submission window creates one per request,
// puts the form data in Stream and starts it with PostAsync or GetAsync. It is
// the older build of the HTTP client engine (see HttpProt.h for the engine and
// HttpBuildSubmission for how this build differs).
#pragma once

#include "transport/HttpProt.h"

class TSTHttpCli : public TCustomHttpCli {
public:
    explicit TSTHttpCli(TComponent* AOwner);

    // The form data that PostAsync sends.
    CodePageString Stream;

    // Starts a GET; the end arrives as OnRequestDone(httpGET, Error).
    void GetAsync();
    // Writes Stream into PostStream at its position, moves PostStream back to
    // its start and starts a POST. PostStream must be assigned ("HTTP component
    // has nothing to post", 2).
    void PostAsync();
};
