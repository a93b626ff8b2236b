// A list box of the files of one folder.
#pragma once

#include "classlib/BasicControls.h"

class TFileListBox : public TCustomListBox {
public:
    explicit TFileListBox(TComponent* AOwner);

    // Setting the folder makes it the process's current directory (relative
    // names are taken from the current one) and lists it. EInOutError
    // "Invalid filename" when the folder cannot be entered; nothing changes then.
    CodePageString Directory() const { return FDirectory; }
    void SetDirectory(const CodePageString& directory);
    // Wildcards ('*', '?'; several separated by ';'), case ignored.
    CodePageString Mask() const { return FMask; }
    void SetMask(const CodePageString& mask);
    // The selected file with its folder, or empty.
    CodePageString FileName() const;
    // Reads the folder again.
    void Update() override;

private:
    void ReadFileNames();
    CodePageString FDirectory;
    CodePageString FMask = "*.*";
};

// Whether name matches one of the ';'-separated wildcard masks, ignoring case.
bool MatchesMask(const CodePageString& name, const CodePageString& masks);
