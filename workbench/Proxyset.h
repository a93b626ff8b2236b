// The proxy window: edits the HTTP proxy of the program's clients, kept in
// the settings file's [Proxy] section.
#pragma once

#include <optional>

#include "classlib/Forms.h"
#include "workbench/ReportData.h"

class TCustomHttpCli;
class TEdit;
class TImgBtn;
class TLabel;
class TRadioButton;
class TSkinForm;
class TTranPanel;

// Gives an HTTP client the proxy, or takes it away when the proxy is off:
// switching it off takes effect at once. An empty port is the client's
// default, 80.
void HandProxyTo(TCustomHttpCli& client, const ProxySettings& settings);

// The proxy port as typed: empty, or a whole number from 1 to 65535; else
// the text of the message that refuses it.
std::optional<CodePageString> CheckProxyPort(const CodePageString& text);

class TProxyset : public TForm {
public:
    explicit TProxyset(TComponent* AOwner);
    ~TProxyset() override;

    TTranPanel* TranPanel1;
    TLabel* Label1;
    TEdit* HttpProxy;
    TLabel* Label2;
    TEdit* HttpPort;
    TLabel* Label3;
    TEdit* HttpUsername;
    TLabel* Label4;
    TEdit* HttpPass;
    TRadioButton* RadioButton2;  // proxy on
    TRadioButton* RadioButton3;  // proxy off
    TImgBtn* Button1;            // store
    TImgBtn* Button2;            // closes the window
    TSkinForm* SkinForm1;

    // Stores the fields into [Proxy] and has the main window load them
    // again, which hands them to the clients. The window stays open. A port
    // that CheckProxyPort refuses is told, and nothing is stored.
    void Button1Click(TObject* Sender);
    void FormShow(TObject* Sender);

    // The fields as settings, and settings into the fields.
    ProxySettings Settings() const;
    void ShowSettings(const ProxySettings& settings);
};

extern TProxyset* Proxyset;
