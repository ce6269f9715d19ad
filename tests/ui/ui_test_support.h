// What the window's tests share: a fresh program and an empty folder per test,
// killed and removed afterwards even when the test fails.
#ifndef DECRIMP_UI_TEST_SUPPORT_H
#define DECRIMP_UI_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include "driver.h"

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A file of the test's folder, and its bytes ("<missing>" when it is not there).
    std::string PathOf(const char* name) const;
    void MakeFile(const char* name, const std::string& bytes) const;
    std::string BytesOf(const char* name) const;
    // The folder's file names, sorted and joined by " | ".
    std::string Listing() const;
    // The file list's lines joined by " | ".
    std::string ListText() const;
    // Both radio buttons' marks as "overwrite=N generate=N".
    std::string Marks() const;
    // Waits for a box owned by the main window and reads it; "<none>" after the time-out.
    std::string NextBox(HWND* box) const;
    // Clicks OK on the box that NextBox found.
    void Dismiss(HWND box) const;
    // Clicks a radio or push button of the main window and waits until it is handled.
    void Click(int controlId) const;
    HWND Control(int controlId) const { return GetDlgItem(main, controlId); }

    ProgramGuard guard;
    HWND main = nullptr;
    char folder[MAX_PATH] = {};
};

// The program's open dialog or message box, if any: "<none>" or its caption.
std::string OwnedDialogCaption(HWND owner);

#endif
