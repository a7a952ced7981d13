#pragma once
// The options sheet: General, Language and Advanced pages. There is nothing
// to apply or undo: every control stores its setting in the "Options"
// section the moment it changes, and the home page, the search behaviour,
// the taskbar switch, the "window.external" switch and the filters switch
// take effect at once in the running program. The language and the
// multi-process mode are only stored; they count from the next start.
//
// The options command builds the sheet and its three pages on the stack of
// the user-interface thread and runs it modally:
//
//   CCustomizePropSheet sheet(TranslatedString(IDS_OPTIONS_TITLE));
//   COptionsGeneralPageDlg general;
//   COptionsLanguagePageDlg language;
//   COptionsAdvancedPageDlg advanced;
//   sheet.AddPage(general); sheet.AddPage(language); sheet.AddPage(advanced);
//   sheet.DoModal(mainWindow);
//
// The pages reach the running program through GetShellApp() and the
// framework's profile; without an application (a test host) they only
// show. A failed registry write is not reported.
#include "framework/property_sheet.h"

#include <string>

// The sheet: its only button, "Close", sits where Apply would be.
class CCustomizePropSheet : public fw::PropertySheetDialog {
public:
    using fw::PropertySheetDialog::PropertySheetDialog;

protected:
    void OnInitDialog() override;
};

class COptionsGeneralPageDlg : public fw::PropertyPage {
public:
    COptionsGeneralPageDlg();

    // The search behaviours of the combo box, in list order.
    struct SearchChoice {
        int value;
        UINT stringId;
    };
    static const SearchChoice kSearchChoices[3];

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;

private:
    void OnHomePageChanged() const;
    void OnSearchBehaviourChanged() const;
    void OnTaskbarClicked() const;
    // Set while the page fills its controls, whose change notices are then
    // not the user's.
    bool m_bFilling = false;
};

class COptionsLanguagePageDlg : public fw::PropertyPage {
public:
    COptionsLanguagePageDlg();

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
};

class COptionsAdvancedPageDlg : public fw::PropertyPage {
public:
    COptionsAdvancedPageDlg();

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
};

// Runs the options sheet modally over `owner` (the options command).
void ShowOptionsSheet(HWND owner);
