// The updater's window. Started by the main program in the application
// folder, it downloads the software archive from the update server, tests
// and extracts it, puts the new program in place of the old one in one
// rename, records the new version and starts the program again. Whatever
// fails before the rename, the old program is started again as it was.
#pragma once

#include "classlib/Forms.h"
#include "platform/Messages.h"

class TButton;
class TGroupBox;
class TLabel;
class TProgressBar;
class TRAR;
struct RARHeaderData;
namespace UpdHttp {
class THttpCli;
}

class TForm1 : public TForm {
public:
    explicit TForm1(TComponent* AOwner);
    ~TForm1() override;

    TGroupBox* GroupBox1;
    TLabel* Label1;  // status
    TLabel* Label2;  // the announced length
    TProgressBar* UpdateBar1;
    TButton* UpdateAbort;  // "Cancel Update"
    UpdHttp::THttpCli* HttpCli2;
    TRAR* RAR1;

    // The version the main program announced (its argument): written to
    // [rur] version once the new program is in place, so that an update that
    // fails is offered again. Nothing is recorded when it is empty.
    CodePageString NewVersion;

    void FormCreate(TObject* Sender);
    // Runs the update on the first activation only.
    void FormActivate(TObject* Sender);
    void FormShow(TObject* Sender);
    void UpdateAbortClick(TObject* Sender);
    void HttpCli2HeaderEnd(TObject* Sender);
    void HttpCli2DocData(TObject* Sender, const char* Buffer, int Len);
    void RAR1Extracting(TObject* Sender, const RARHeaderData& eFile);
    int RAR1ProcessData(TObject* Sender, char* Addr, int BlockSize, int Position);

    const CodePageString& WorkFolder() const { return FWorkFolder; }
    bool Started() const { return FStarted; }

private:
    void RunUpdate();
    // Extracts the new program and puts it in place; false, with the reason
    // shown, when the archive does not hold a good one.
    bool InstallNewProgram(const CodePageString& archive, const CodePageString& staging, const CodePageString& program);
    CodePageString AppName() const;
    // [rur] appname when it names a file of the working folder; empty otherwise.
    CodePageString ProgramName() const;
    void StartProgram();

    CodePageString FWorkFolder;
    bool FStarted = false;  // the update has begun and was not cancelled
    bool FBegun = false;    // the update ran (or runs): later activations do nothing
    bool FLengthKnown = false;
    HWND FStartWindow = 0;
};

extern TForm1* Form1;
