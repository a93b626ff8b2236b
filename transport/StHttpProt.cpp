#include "transport/StHttpProt.h"

TSTHttpCli::TSTHttpCli(TComponent* AOwner) : TCustomHttpCli(AOwner, HttpBuildSubmission) {}

void TSTHttpCli::GetAsync()
{
    StartRequest(httpGET);
}

void TSTHttpCli::PostAsync()
{
    if (!PostStream)
        throw EHttpException("HTTP component has nothing to post", 2);
    if (State() != httpReady)
        throw EHttpException("HTTP component is busy", 1);
    PostStream->WriteBuffer(Stream.data(), static_cast<std::int64_t>(Stream.size()));
    PostStream->SetPosition(0);
    StartRequest(httpPOST);
}
