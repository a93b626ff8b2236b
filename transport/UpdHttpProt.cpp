#include "transport/UpdHttpProt.h"

namespace UpdHttp {

THttpCli::THttpCli(TComponent* AOwner) : TCustomHttpCli(AOwner, HttpBuildUpdater) {}

void THttpCli::GetAsync()
{
    StartRequest(httpGET);
}

void THttpCli::Get()
{
    RequestAndWait(httpGET);
}

}  // namespace UpdHttp
