// Shared by the import wizard's and the spider's tests: the program started
// in a temporary installation, its window on the "Import Wizard" sheet, the
// boxes recorded, and a loopback server for the pages.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "MainFixture.h"
#include "classlib/BasicControls.h"
#include "classlib/Dialogs.h"
#include "classlib/Menus.h"
#include "controls/ImgBtn.h"
#include "support/HttpTestServer.h"
#include "support/Loop.h"
#include "support/UserClick.h"
#include "workbench/SubmitMain.h"

class ImportFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(SubmitMain, nullptr);
        SubmitMain->Show();
        SubmitMain->ImportWizard1Click(SubmitMain->ImportWizard1);
    }
    void TearDown() override { FileDialogHook() = nullptr; }

    // A press on a control, as a person makes it: a disabled one ignores it.
    static void Press(TControl* control) { ClickAt(control, 4, 4); }
    // Import from the URL with the Import button.
    static void ImportUrl(const std::string& url)
    {
        SubmitMain->UrlImp->SetText(url);
        UserPressImport();
    }
    static bool WaitUntilIdle(int timeoutMs = 10000)
    {
        return RunUntil([] { return SubmitMain->ImportState() == TSubmitMain::TImportState::Idle; }, timeoutMs);
    }
    // The file dialog answers with this file.
    static void ChooseFile(const std::string& path)
    {
        FileDialogHook() = [path](TOpenDialog& dialog) {
            dialog.FileName = path;
            return true;
        };
    }

    TInstallFolder folder;
    TBoxRecorder boxes;
    TRunningProgram program{folder};
    HttpTestServer server;
};

inline const MessageBoxCall ImportCompletedBox{"Import Completed", "Import Completed", MB_OK};
