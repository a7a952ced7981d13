#pragma once
// The user's Internet Explorer favorites as a tree and as a popup menu.
//
// The application's start-up creates one CFavoritesManager, fills it with
// LoadFavorites and builds the Favorites menu from Root(); the refresh
// command fills it again. Everything runs on the user-interface thread; the
// tree is read-only between two loads and goes with the manager.
//
//   CFavoritesManager favorites;
//   favorites.LoadFavorites();                 // false: no Favorites folder
//   fw::Menu menu;
//   if (favorites.Root().BuildMenu(menu)) ...  // hand `menu` to the ribbon
//   std::wstring url = favorites.GetURL(3584);
//
// The files are only read, never written. What the folder holds is not
// trusted: a shortcut without an address, a file too large to be a
// shortcut, a folder that cannot be listed, nesting deeper than
// kMaxFolderDepth and shortcuts beyond the command range are left out, and
// nothing of it is reported.
#include "framework/handles.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// One node: a folder (command 0, with children) or a shortcut (a command
// from 3584 up, with an address).
class CFavorit {
public:
    // Shown name: the folder's name, or the shortcut file's name without
    // ".url". Empty for the root.
    std::wstring m_strName;
    // The shortcut's address; empty for folders.
    std::wstring m_strURL;
    // The shortcut's menu command; 0 for folders and the root.
    UINT m_nCommandID = 0;
    // The folder's entries in menu order.
    std::vector<std::unique_ptr<CFavorit>> m_children;

    bool IsFolder() const { return m_nCommandID == 0; }
    // Puts a new popup menu of this folder's entries into `menu` (whatever
    // it held is destroyed): shortcuts as items, sub-folders as sub-menus.
    // False when a menu could not be created; `menu` then holds nothing.
    [[nodiscard]] bool BuildMenu(fw::Menu& menu) const;
};

class CFavoritesManager {
public:
    // The command range of the shortcuts (512 of them at most).
    static constexpr UINT kFirstCommand = 3584;
    static constexpr UINT kLastCommand = 4095;
    // Sub-folders nested deeper than this below the Favorites folder are
    // left out.
    static constexpr int kMaxFolderDepth = 8;
    // A shortcut file larger than this is not a shortcut; it is left out.
    static constexpr DWORD kMaxShortcutFileBytes = 64 * 1024;
    // Room for an address, terminator included; a longer one is left out
    // rather than cut into another address.
    static constexpr DWORD kUrlBufferChars = 2048;
    // At most this many folders are listed, however large the tree.
    static constexpr int kMaxFolders = 1024;

    // Reads the Favorites folder that the user's shell folders name and
    // replaces the tree with it. False when the registry key that names the
    // folder cannot be opened (the tree is then empty).
    bool LoadFavorites();
    // Replaces the tree with the contents of `folder` (empty tree when it
    // cannot be listed).
    void LoadFolder(const std::wstring& folder);
    // The address of shortcut command `commandId`; empty when none has it.
    std::wstring GetURL(UINT commandId) const;
    const CFavorit& Root() const { return m_root; }
    // Number of shortcuts in the tree.
    size_t ShortcutCount() const { return m_byCommand.size(); }

private:
    void ScanFolder(CFavorit& node, const std::wstring& folder, int depth);

    CFavorit m_root;
    // Shortcut nodes by command, from kFirstCommand on.
    std::vector<const CFavorit*> m_byCommand;
    int m_nFolders = 0;
};

// The folder that "Favorites" of the user's shell folders names, with its
// environment variables expanded; false when the key cannot be opened,
// empty `folder` when the value is missing or longer than MAX_PATH.
bool ReadFavoritesFolder(std::wstring& folder);
