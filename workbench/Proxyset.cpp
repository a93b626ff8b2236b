#include "workbench/Proxyset.h"

#include "classlib/BasicControls.h"
#include "classlib/Files.h"
#include "classlib/IniFiles.h"
#include "classlib/Skin.h"
#include "controls/ImgBtn.h"
#include "controls/Tranpanl.h"
#include "transport/HttpProt.h"
#include "workbench/FormBuild.h"
#include "workbench/Glyphs.h"
#include "workbench/SubmitMain.h"

TProxyset* Proxyset = nullptr;

TProxyset::TProxyset(TComponent* AOwner) : TForm(AOwner)
{
    MakeToolWindow(*this, "Proxyset", "Proxy Settings", 330, 200);

    TranPanel1 = PlaceClient<TTranPanel>(this, this, "TranPanel1", 330, 200);

    RadioButton2 = Place<TRadioButton>(this, TranPanel1, "RadioButton2", 12, 10, 300, 18);
    RadioButton2->SetCaption("I am behind a firewall or proxy");
    RadioButton3 = Place<TRadioButton>(this, TranPanel1, "RadioButton3", 12, 30, 300, 18);
    RadioButton3->SetCaption("I am not behind a firewall or proxy");
    RadioButton3->SetChecked(true);

    HttpProxy = Place<TEdit>(this, TranPanel1, "HttpProxy", 90, 58, 226, 21);
    Label1 = PlaceLabel(this, TranPanel1, "Label1", "Proxy:", 12, 61, HttpProxy);
    HttpPort = Place<TEdit>(this, TranPanel1, "HttpPort", 90, 84, 70, 21);
    Label2 = PlaceLabel(this, TranPanel1, "Label2", "Port:", 12, 87, HttpPort);
    HttpUsername = Place<TEdit>(this, TranPanel1, "HttpUsername", 90, 110, 226, 21);
    Label3 = PlaceLabel(this, TranPanel1, "Label3", "Username:", 12, 113, HttpUsername);
    HttpPass = Place<TEdit>(this, TranPanel1, "HttpPass", 90, 136, 226, 21);
    HttpPass->SetPasswordChar('*');
    Label4 = PlaceLabel(this, TranPanel1, "Label4", "Password:", 12, 139, HttpPass);

    Button1 = PlaceButton(this, TranPanel1, "Button1", "Save", 148, 168);
    Button1->OnClick = [this](TObject* sender) { Button1Click(sender); };
    Button2 = PlaceButton(this, TranPanel1, "Button2", "Close", 236, 168);
    Button2->OnClick = [this](TObject*) { Close(); };
    CloseOnEscape(*this);

    SkinForm1 = NewComponent<TSkinForm>(this, "SkinForm1");
    OnShow = [this](TObject* sender) { FormShow(sender); };
}

TProxyset::~TProxyset()
{
    DestroyComponents();
    if (Proxyset == this)
        Proxyset = nullptr;
}

void TProxyset::FormShow(TObject*)
{
    ApplyDefaultSkin(*SkinForm1, MainAppFolder());
}

ProxySettings TProxyset::Settings() const
{
    ProxySettings s;
    s.host = HttpProxy->Text();
    s.port = HttpPort->Text();
    s.userName = HttpUsername->Text();
    s.password = HttpPass->Text();
    s.on = RadioButton2->Checked();
    return s;
}

void TProxyset::ShowSettings(const ProxySettings& s)
{
    HttpProxy->SetText(s.host);
    HttpPort->SetText(s.port);
    HttpUsername->SetText(s.userName);
    HttpPass->SetText(s.password);
    // Unchecking one radio button checks no other; the pair always shows one.
    (s.on ? RadioButton2 : RadioButton3)->SetChecked(true);
}

std::optional<CodePageString> CheckProxyPort(const CodePageString& text)
{
    // Empty is the clients' default port; anything else is a port number as
    // a socket takes it: digits only, from 1 to 65535.
    const CodePageString port = Trim(text);
    if (port.empty())
        return std::nullopt;
    long number = 0;
    for (char c : port) {
        if (c < '0' || c > '9' || number > 65535)
            break;
        number = number * 10 + (c - '0');
    }
    if (number >= 1 && number <= 65535 && port.find_first_not_of("0123456789") == CodePageString::npos)
        return std::nullopt;
    return "Port must be a whole number from 1 to 65535, not \"" + text + "\".";
}

void TProxyset::Button1Click(TObject*)
{
    // A port that no connection could use is refused before anything is
    // stored: it would only show later, in another window, as a socket error.
    if (const auto refusal = CheckProxyPort(HttpPort->Text())) {
        Application->MessageBox(*refusal, "Proxy Settings", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const CodePageString folder = MainAppFolder();
    {
        TIniFile settings(AppPath(folder, SettingsFileName));
        WriteProxySettings(settings, Settings());
    }
    if (SubmitMain)
        SubmitMain->LoadProxySettings();
}

void HandProxyTo(TCustomHttpCli& client, const ProxySettings& settings)
{
    client.Proxy = settings.on ? settings.host : CodePageString();
    client.ProxyPort = settings.on && !settings.port.empty() ? settings.port : CodePageString("80");
    client.ProxyUsername = settings.on ? settings.userName : CodePageString();
    client.ProxyPassword = settings.on ? settings.password : CodePageString();
}
