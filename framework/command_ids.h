#pragma once
// Command identifiers that the framework itself handles or sends. The
// application's resource identifiers (res/resource_ids.h) name them from
// here, so each number is written once. Only #define lines: the resource
// compiler reads this file too.

#define FW_ID_CLOSE_DOCUMENT        57602  // close the active tab's frame (through its document)
#define FW_ID_APP_EXIT              57665  // close the main window
#define FW_ID_NEXT_PANE             57680  // activate the next tab
#define FW_ID_PREV_PANE             57681  // activate the previous tab

// Tab groups of the tabbed window.
#define FW_ID_NEW_HORZ_TAB_GROUP    58016  // move the active tab into a new group below its group
#define FW_ID_NEW_VERT_TAB_GROUP    58017  // move the active tab into a new group beside its group
#define FW_ID_MOVE_TO_NEXT_GROUP    58018  // move the active tab to the next group
#define FW_ID_MOVE_TO_PREV_GROUP    58019  // move the active tab to the previous group
