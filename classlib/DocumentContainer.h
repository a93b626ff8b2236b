// The form's OLE container, as far as the program uses one: it holds a
// package, a program file carried inside this program. Its primary verb
// writes the program into the current directory (the application folder),
// made executable, and starts it there, detached, through the process-start
// hook.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "classlib/Classes.h"

class EOleError : public Exception {
public:
    using Exception::Exception;
};

constexpr int ovPrimary = 0;

// Makes bytes (which must outlive the program, such as data built into it)
// the package of that name.
void RegisterPackage(const std::string& name, std::string_view bytes);
// The package's bytes; false when no package of that name is built in.
bool FindPackage(const std::string& name, std::string_view& bytes);

class TOleContainer : public TComponent {
public:
    explicit TOleContainer(TComponent* AOwner);
    ~TOleContainer() override;

    CodePageString PackageName;               // the package it holds, also the program's file name
    std::vector<CodePageString> Parameters;   // given to the program when it starts

    // ovPrimary writes and starts the package's program. Throws EOleError
    // when there is no such package, when the file cannot be written, or
    // when the program does not start.
    void DoVerb(int verb);
};
