// The program's start, shared by the program entry and the tests that start
// the real windows.
#pragma once

// Creates the six windows through the application object, in the order the
// program starts them: the main window, the spider, the live submission
// window, the custom engine wizard, the proxy window and the update window.
// The main window's create handler reads the installation in the current
// directory.
void CreateProgramForms();
