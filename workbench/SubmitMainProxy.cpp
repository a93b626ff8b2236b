// The main window's side of the proxy settings: [Proxy] into the proxy
// window and into every HTTP client of the program that goes out to the web.
#include "workbench/SubmitMain.h"

#include "classlib/Files.h"
#include "classlib/IniFiles.h"
#include "classlib/ListView.h"
#include "classlib/Menus.h"
#include "classlib/PageControl.h"
#include "classlib/ProgressBar.h"
#include "transport/HttpProt.h"
#include "transport/StHttpProt.h"
#include "workbench/CustomDatabase.h"
#include "workbench/LiveResult.h"
#include "workbench/Proxyset.h"
#include "workbench/ReportData.h"

void TSubmitMain::WireProxyMenu()
{
    Proxy1->OnClick = [this](TObject* sender) { Proxy1Click(sender); };
}

void TSubmitMain::Proxy1Click(TObject*)
{
    if (Proxyset)
        Proxyset->Show();
}

void TSubmitMain::LoadProxySettings()
{
    ProxySettings settings;
    {
        const TIniFile ini(AppPath(AppFolder, SettingsFileName));
        settings = ReadProxySettings(ini);
    }
    if (Proxyset)
        Proxyset->ShowSettings(settings);

    HandProxyTo(*HttpMap, settings);
    HandProxyTo(*HttpRank, settings);
    // The update's downloads too: behind a firewall the update server is
    // only reached through the proxy.
    HandProxyTo(*HttpCli2, settings);
    FRun->SetProxy(settings);  // the submission requests
    if (LiveResult)
        LiveResult->SetSubmitProxy(settings);  // HttpCli1
    // The wizard's client, by its component name.
    if (CustomDatabase)
        if (auto* wizardClient = dynamic_cast<TCustomHttpCli*>(CustomDatabase->FindComponent("Http1")))
            HandProxyTo(*wizardClient, settings);
}
