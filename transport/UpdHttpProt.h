// The updater's build of the HTTP client: the submission client's engine
// without Stream and PostAsync, with the synchronous Get. The updater program
// names it THttpCli; it lives in its own namespace so that both programs'
// clients can be linked into one test program.
#pragma once

#include "transport/HttpProt.h"

namespace UpdHttp {

class THttpCli : public TCustomHttpCli {
public:
    explicit THttpCli(TComponent* AOwner);

    void GetAsync();
    // Runs the message loop until the request has ended; raises
    // EHttpException(StatusText, HttpStatus) for a status of 400 or more,
    // local failures and an abort included (404).
    void Get();
};

}  // namespace UpdHttp
