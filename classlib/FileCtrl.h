// A list box of the files of one folder.
#pragma once

#include "classlib/StdCtrls.h"

class TFileListBox : public TCustomListBox {
public:
    explicit TFileListBox(TComponent* AOwner);

    // Setting the folder makes it the process's current directory (relative
    // names are taken from the current one) and lists it. EInOutError
    // "Invalid filename" when the folder cannot be entered; nothing changes then.
    AnsiString Directory() const { return FDirectory; }
    void SetDirectory(const AnsiString& directory);
    // Wildcards ('*', '?'; several separated by ';'), case ignored.
    AnsiString Mask() const { return FMask; }
    void SetMask(const AnsiString& mask);
    // The selected file with its folder, or empty.
    AnsiString FileName() const;
    // Reads the folder again.
    void Update() override;

private:
    void ReadFileNames();
    AnsiString FDirectory;
    AnsiString FMask = "*.*";
};

// Whether name matches one of the ';'-separated wildcard masks, ignoring case.
bool MatchesMask(const AnsiString& name, const AnsiString& masks);
