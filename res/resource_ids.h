#pragma once
// Every resource and command identifier of the program, in one place. The
// resource scripts (res/*.rc), the language-file tool and the C++ code all
// use these names; no identifier is written as a number anywhere else.
// Only #define lines: the resource compiler reads this file too. The
// commands that the framework handles itself are named from its own list.
//
// One number may name resources of several types at once, the framework's
// way: a document template's id is also its icon and its description string,
// a command's id is also the id of its prompt string, and the main frame's id
// names its title string, icon and accelerator table.

#include "framework/command_ids.h"

// ---------------------------------------------------------------------------
// Frame, document templates (strings and icons of the engine versions)
#define IDR_MAINFRAME                  128
#define IDR_IE4                        312
#define IDR_IE5                        313
#define IDR_IE6                        314
#define IDR_IE55                       315
#define IDR_IE_DEFAULT                 316
#define IDR_IE7                        317
#define IDR_IE8                        319
#define IDR_IE9                        334

// Taskbar overlay icon while the notice of a lost tab shows
#define IDI_TASKBAR_OVERLAY            333

// Accelerator table of the application (128, IDR_MAINFRAME, is the frame's)
#define IDR_APP_ACCELERATORS           129

// Context menus
#define IDR_CONTEXT_EDIT               119
#define IDR_CONTEXT_EXPLORER           174

// Drop-down menus of the ribbon
#define IDR_MENU_STYLE                 200
#define IDR_MENU_BACK                  314
#define IDR_MENU_FORWARD               315
#define IDR_MENU_REFRESH               320
#define IDR_MENU_TEXT_SIZE             328
#define IDR_MENU_MEDIAS                331
#define IDR_MENU_ENGINES               332

// Toolbar resource whose images the menus show, and its high-colour image
#define IDR_MENU_IMAGES                179
#define IDB_MENU_IMAGES_HC             180

// Windows of the main frame
#define IDW_STATUS_BAR                 0xE801
#define IDW_RIBBON                     0xE806

// Ribbon artwork: image strips of the categories (16 x 16 and 32 x 32), the
// application button, the panel icons, the main category's images
#define IDB_RIBBON_SMALL               110
#define IDB_RIBBON_LARGE               111
#define IDB_APP_BUTTON                 112
#define IDB_PANEL_ICONS                113
#define IDB_MAIN_LARGE                 114
#define IDB_MAIN_SMALL                 115
// Taskbar thumbnail of a tab whose page cannot be pictured (103 x 103)
#define IDB_NO_PREVIEW                 329

// ---------------------------------------------------------------------------
// Dialogs and their controls
#define IDD_ABOUTBOX                   100
#define IDD_TAB_CONTENT                310
#define IDD_OPTIONS_LANGUAGE           319
#define IDD_OPTIONS_GENERAL            320
#define IDD_OPEN_ALL                   322
#define IDD_OPTIONS_ADVANCED           323
#define IDD_WINDOWS_LIST               401
#define IDD_SCRIPT_ERRORS              402

#define IDC_PANEL_SPLITTER             219
#define IDC_WEB_BROWSER                1000
#define IDC_ADDRESS_BOX                1001
#define IDC_VERSION_LINK               1014
#define IDC_PANEL_CLOSE                1018
#define IDC_PANEL_TITLE                1019
#define IDC_WINDOWS_LIST               1030
#define IDC_WINDOWS_ACTIVATE           1031
#define IDC_WINDOWS_CLOSE              1032
// The script errors of a tab (402): the list and its Copy button
#define IDC_SCRIPT_ERROR_LIST          1033
#define IDC_SCRIPT_ERROR_COPY          1034

// Open in all versions (322): one icon check box per version, the address
#define IDC_BROWSE                     3
#define IDC_OPEN_ALL_URL               1015
#define IDC_OPEN_ALL_PROMPT            1016
#define IDC_OPEN_ALL_IE55              1017
#define IDC_OPEN_ALL_IE6               1018
#define IDC_OPEN_ALL_IE7               1019
#define IDC_OPEN_ALL_IE8               1020
#define IDC_OPEN_ALL_IE_DEFAULT        1021
#define IDC_OPEN_ALL_IE9               1022

// Options pages: General (320), Language (319), Advanced (323)
#define IDC_LANGUAGE_PROMPT            1004
#define IDC_LANGUAGE_LIST              1005
#define IDC_LANGUAGE_NOTICE            1006
#define IDC_HOME_PAGE                  1008
#define IDC_BLANK_PAGE                 1009
#define IDC_DEFAULT_HOME               1010
#define IDC_GROUP_HOME_PAGE            1011
#define IDC_GROUP_WEB_SEARCH           1012
#define IDC_SEARCH_BEHAVIOUR           1013
#define IDC_DISABLE_WINDOW_EXTERNAL    1020
#define IDC_GROUP_EXPERIMENTAL         1021
#define IDC_DISABLE_FILTERS            1022
#define IDC_MULTI_PROCESS              1023
#define IDC_DISABLE_TASKBAR            1024

// ---------------------------------------------------------------------------
// Commands (each also the id of its prompt string, where it has one)
#define ID_BACK                        109
#define ID_FORWARD                     110
#define ID_REFRESH                     111
#define ID_STOP                        112
#define ID_HOME                        113
#define ID_STATUS_PANE                 120
#define ID_WINDOWS_DIALOG              131
#define ID_LOOK_BASE                   210
#define ID_LOOK_OFFICE_XP              211
#define ID_LOOK_WINDOWS                212
#define ID_LOOK_OFFICE2003             213
#define ID_LOOK_VS2005                 214
#define ID_LOOK_OFFICE2007_BLUE        215
#define ID_LOOK_OFFICE2007_BLACK       216
#define ID_LOOK_OFFICE2007_SILVER      217
#define ID_LOOK_OFFICE2007_AQUA        218
#define ID_REOPEN_TAB                  220
#define ID_CAPTION_BAR                 221
// The notice of a tab whose page does not respond: its two buttons.
#define ID_TAB_BUSY_WAIT               222
#define ID_TAB_BUSY_END                223
// The status bar's sign of the active tab's script errors; a click lists them.
#define ID_SCRIPT_ERRORS               230
#define ID_FAVORITES                   311
#define ID_IE_OPTIONS                  318
#define ID_ZOOM_LABEL                  323
#define ID_ZOOM_SLIDER                 325
#define ID_PROGRESS_BAR                327
#define ID_CLOSE_ALL_TABS              320
#define ID_CLOSE_OTHER_TABS            322
#define ID_TEXT_SIZE                   326
#define ID_VIEW_SOURCE                 328
#define ID_DISABLE_CACHE               329
#define ID_DISABLE_MEDIAS              330
// The same number travels between a tab's content and its view when the tab
// is activated (view to content: mark its taskbar thumbnail active; content to
// view: the thumbnail was clicked, activate the tab).
#define ID_TASKBAR_TAB_ACTIVE          ID_DISABLE_MEDIAS
#define ID_DISABLE_ENGINES             331
#define ID_CHECK_VERSION               2000
#define ID_OPTIONS                     2001
#define ID_TOGGLE_FENNICK              2002
#define ID_REFRESH_FAVORITES           2003
#define ID_NEW_IE4                     32777
#define ID_NEW_IE5                     32778
#define ID_NEW_IE55                    32779
#define ID_NEW_IE7                     32780
#define ID_NEW_IE6                     32781
#define ID_NEW_IE_DEFAULT              32793
#define ID_NEW_IE8                     32796
#define ID_FORWARD_PLACEHOLDER         32786
#define ID_BACK_PLACEHOLDER            32790
#define ID_FOCUS_SEARCH                32797
#define ID_MENU_REFRESH                32810
#define ID_REFRESH_NO_CACHE            32811
#define ID_REFRESH_ALL                 32813
#define ID_REFRESH_ALL_NO_CACHE        32815
#define ID_CLOSE_ACTIVE_TAB            32825
#define ID_OPEN_ALL_VERSIONS           32827
#define ID_ZOOM_100                    32832
#define ID_ZOOM_OUT                    32835
#define ID_ZOOM_IN                     32838
#define ID_TEXT_SIZE_LARGER            32852
#define ID_TEXT_SIZE_LARGE             32854
#define ID_TEXT_SIZE_MEDIUM            32856
#define ID_TEXT_SIZE_SMALL             32858
#define ID_TEXT_SIZE_SMALLER           32860
#define ID_FOCUS_ADDRESS               32861
#define ID_DISABLE_IMAGES              32865
#define ID_DISABLE_VIDEOS              32866
#define ID_DISABLE_BACKGROUND_SOUNDS   32867
#define ID_DISABLE_JAVASCRIPT          32868
#define ID_DISABLE_JAVA                32869
#define ID_DISABLE_ACTIVEX             32870
#define ID_DISABLE_BEHAVIORS           32871
#define ID_NEW_IE9                     32873
#define ID_COMPARE_SIDE_BY_SIDE        32880
#define ID_LINK_TABS                   32881
#define ID_FILE_OPEN                   57601
#define ID_CLOSE_TAB                   FW_ID_CLOSE_DOCUMENT
#define ID_PRINT                       57607
#define ID_QUICK_PRINT                 57608
#define ID_PRINT_PREVIEW               57609
#define ID_EDIT_COPY                   57634
#define ID_EDIT_CUT                    57635
#define ID_EDIT_PASTE                  57637
#define ID_ABOUT                       57664
#define ID_EXIT                        FW_ID_APP_EXIT
#define ID_NEXT_PANE                   FW_ID_NEXT_PANE
#define ID_PREV_PANE                   FW_ID_PREV_PANE
#define ID_PROPERTIES                  57860
#define ID_NEW_HORZ_TAB_GROUP          FW_ID_NEW_HORZ_TAB_GROUP
#define ID_NEW_VERT_TAB_GROUP          FW_ID_NEW_VERT_TAB_GROUP
#define ID_MOVE_TO_NEXT_GROUP          FW_ID_MOVE_TO_NEXT_GROUP
#define ID_MOVE_TO_PREV_GROUP          FW_ID_MOVE_TO_PREV_GROUP

// ---------------------------------------------------------------------------
// Strings
#define IDS_OLE_INIT_FAILED            100
#define IDS_PANEL_NEW                  101
#define IDS_PANEL_NAVIGATE             103
#define IDS_LABEL_PREVIOUS             104
#define IDS_LABEL_NEXT                 105
#define IDS_LABEL_REFRESH              106
#define IDS_LABEL_STOP                 107
#define IDS_LABEL_HOME                 108
#define IDS_FAVORITES                  114
#define IDS_ABOUT                      115
#define IDS_CHECK_VERSION              116
#define IDS_CATEGORY_OPTIONS           117
#define IDS_IE_OPTIONS                 118
#define IDS_CHOOSE_LANGUAGE            119
#define IDS_LANGUAGE_NEXT_START        120
#define IDS_PAGE_LANGUAGE              121
#define IDS_LANGUAGE_NAME              124
#define IDS_CONFIGURE_APP              125
#define IDS_LATEST_VERSION             126
#define IDS_NEW_VERSION_AVAILABLE      127
#define IDS_VERSION_INFO_UNAVAILABLE   129
#define IDS_ABOUT_TITLE                131
#define IDS_WINDOWS_DIALOG             132
#define IDS_PANEL_APP_OPTIONS          133
#define IDS_PAGE_GENERAL               134
#define IDS_HOMEPAGE_CUE               135
#define IDS_GROUP_HOMEPAGE             136
#define IDS_BLANK_PAGE                 137
#define IDS_DEFAULT_HOME               138
#define IDS_GROUP_WEB_SEARCH           139
#define IDS_WEB_SEARCH                 140
#define IDS_OPTIONS_TITLE              141
#define IDS_CLOSE_BUTTON               142
#define IDS_SEARCH_NEW_DEFAULT_TAB     143
#define IDS_SEARCH_ACTIVE_TAB          144
#define IDS_SEARCH_FIRST_DEFAULT_TAB   145
#define IDS_PANEL_PRINT                146
#define IDS_OPEN_ALL_TITLE             147
#define IDS_OPEN_ALL_PROMPT            148
#define IDS_OK_BUTTON                  149
#define IDS_CANCEL_BUTTON              150
#define IDS_BROWSE_BUTTON              151
#define IDS_SHOW_RIBBON                152
#define IDS_MINIMIZE_RIBBON            153
#define IDS_STATUS_INFO                154
#define IDS_CATEGORY_DEV_TOOLS         159
#define IDS_FENNICK_PANEL_ERROR        160
#define IDS_PAGE_ADVANCED              161
#define IDS_DISABLE_WINDOW_EXTERNAL    162
#define IDS_GROUP_EXPERIMENTAL         163
#define IDS_DISABLE_FILTERS            164
#define IDS_MULTI_PROCESS_OPTION       165
#define IDS_CANNOT_LOAD_VERSION        166
#define IDS_MULTI_PROCESS_MODE         167
#define IDS_MULTI_THREAD_MODE          168
#define IDS_ADMINISTRATOR              169
#define IDS_PANEL_DISABLE_FEATURES     170
#define IDS_ISOLATION_FAILED           180
#define IDS_SYSTEM_CALL_FAILED         181
#define IDS_NO_PARENT_PROCESS_ID       182
#define IDS_NO_PARENT_PROCESS_HANDLE   183
#define IDS_LAUNCH_FAILED_PATH         184
#define IDS_LAUNCH_FAILED_CREATE       185
#define IDS_BIND_FAILED                186
#define IDS_OPEN_ALL_FILE_FILTER       187
// Lines of a capture from the command line (app/capture.h)
#define IDS_CAPTURE_ERROR              420
#define IDS_CAPTURE_NOT_AVAILABLE      421
#define IDS_CAPTURE_LOAD_FAILED        422
#define IDS_CAPTURE_TIMED_OUT          423
#define IDS_CAPTURE_NO_ANSWER          424
#define IDS_CAPTURE_DRAW_FAILED        425
#define IDS_CAPTURE_FOLDER_FAILED      426
#define IDS_CAPTURE_ENGINE_LOST        427
#define IDS_CAPTURE_START_FAILED       428
#define IDS_CAPTURE_BAD_VALUE          429
#define IDS_CAPTURE_NO_ADDRESS         430
// Why a check of a capture's picture failed (app/capture_checks.h)
#define IDS_CHECK_UNREADABLE           431
#define IDS_CHECK_OTHER_UNREADABLE     432
#define IDS_CHECK_DIFFERS              433
#define IDS_CHECK_SIZES_DIFFER         434
#define IDS_CHECK_DIFF_NOT_WRITTEN     435
#define IDS_CHECK_NO_REFERENCE         436
#define IDS_CHECK_BASELINE_FOLDER      437
#define IDS_CHECK_BASELINE_COPY        438
#define IDS_CHECK_NO_BASELINE          439
#define IDS_CHECK_OUT_OF_MEMORY        470
#define IDS_CHECK_NOT_TAKEN            471
#define IDS_CHECK_SCRIPT_ERRORS        472
#define IDS_WINDOWS_TITLE              192
#define IDS_WINDOWS_ACTIVATE           193
#define IDS_WINDOWS_CLOSE              194
#define IDS_REOPEN_TAB                 231
#define IDS_REOPEN_TAB_TIP             232
#define IDS_TAB_CRASHED                233
#define IDS_IMPORTANT                  234
#define IDS_TAB_NOT_RESPONDING         440
#define IDS_TAB_BUSY_WAIT              441
#define IDS_TAB_BUSY_WAIT_TIP          442
#define IDS_TAB_BUSY_END               443
#define IDS_TAB_BUSY_END_TIP           444
#define IDS_SCRIPT_ERRORS_TITLE        460
#define IDS_SCRIPT_ERROR_ONE           461
#define IDS_SCRIPT_ERROR_MANY          462
#define IDS_SCRIPT_ERROR_MESSAGE       463
#define IDS_SCRIPT_ERROR_LINE          464
#define IDS_SCRIPT_ERROR_CHARACTER     465
#define IDS_SCRIPT_ERROR_ADDRESS       466
#define IDS_SCRIPT_ERROR_COPY          467
#define IDS_PANEL_COMPARE              450
#define IDS_FILE                       260
#define IDS_MAIN_CLOSE                 271
#define IDS_MAIN_EXIT                  273
#define IDS_CATEGORY_HOME              274
#define IDS_STYLE                      286
#define IDS_STYLE_TIP                  287
#define IDS_STYLE_DESCRIPTION          288
#define IDS_CONTEXT_EXPLORER           305
#define IDS_CONTEXT_EDIT               306
#define IDS_DOWNLOAD_PROGRESS          321
#define IDS_FENNICK_TOO_OLD            327
#define IDS_DISABLE_TASKBAR_THUMBNAILS 332
#define IDS_STATUSBAR_CONFIG           17087
#define IDS_APP_TITLE                  57344
#define IDS_FENNICK_NOT_FOUND          61445
