#include "favorites.h"

#include <algorithm>
#include <cwchar>

namespace {
constexpr const wchar_t* kShellFoldersKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const wchar_t* kFavoritesValue = L"Favorites";
constexpr const wchar_t* kShortcutSection = L"InternetShortcut";
constexpr const wchar_t* kShortcutUrlKey = L"URL";
constexpr size_t kExtensionLength = 4;  // ".url"

bool EndsWithUrlExtension(const std::wstring& name) {
    if (name.size() < kExtensionLength) return false;
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str() + name.size() - kExtensionLength,
                          static_cast<int>(kExtensionLength), L".url", static_cast<int>(kExtensionLength)) ==
           CSTR_EQUAL;
}

// A menu shows "&" as the mark of the next letter; a name shows it as it is.
std::wstring MenuText(const std::wstring& name) {
    std::wstring text;
    text.reserve(name.size());
    for (wchar_t c : name) {
        if (c == L'&') text += L'&';
        text += c;
    }
    return text;
}

// The name order of a listing, the one NTFS gives: by the upper-cased
// characters, whatever order the file system in use returns.
std::wstring SortKey(const std::wstring& name) {
    std::wstring key = name;
    if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    return key;
}

struct Entry {
    std::wstring name;
    std::wstring key;
    bool directory;
    ULONGLONG size;
};

// The entries of `folder` (ending with a backslash) but "." and "..",
// sorted by name; empty when it cannot be listed.
std::vector<Entry> ListFolder(const std::wstring& folder) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW data;
    fw::FindHandle find(FindFirstFileW((folder + L"*.*").c_str(), &data));
    if (!find) return entries;
    do {
        if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) continue;
        const bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // A linked folder may lead back up the tree; only real folders are walked.
        if (directory && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        const ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entries.push_back({data.cFileName, SortKey(data.cFileName), directory, size});
    } while (FindNextFileW(find.get(), &data));
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    return entries;
}

// The "URL" value of a shortcut file; empty when it has none or when it
// does not fit the buffer.
std::wstring ReadShortcutAddress(const std::wstring& path) {
    std::vector<wchar_t> buffer(CFavoritesManager::kUrlBufferChars, L'\0');
    const DWORD length = GetPrivateProfileStringW(kShortcutSection, kShortcutUrlKey, L"", buffer.data(),
                                                  CFavoritesManager::kUrlBufferChars, path.c_str());
    if (length == 0 || length >= CFavoritesManager::kUrlBufferChars - 1) return {};
    return std::wstring(buffer.data(), length);
}
} // namespace

bool CFavorit::BuildMenu(fw::Menu& menu) const {
    menu.reset(CreatePopupMenu());
    if (!menu) return false;
    for (const auto& child : m_children) {
        const std::wstring text = MenuText(child->m_strName);
        if (!child->IsFolder()) {
            AppendMenuW(menu.get(), MF_STRING, child->m_nCommandID, text.c_str());
            continue;
        }
        fw::Menu sub;
        if (!child->BuildMenu(sub)) {
            menu.reset();
            return false;
        }
        // The parent menu owns a sub-menu once it is appended.
        if (AppendMenuW(menu.get(), MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub.get()), text.c_str()))
            (void)sub.release();
    }
    return true;
}

bool ReadFavoritesFolder(std::wstring& folder) {
    folder.clear();
    fw::RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    wchar_t raw[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH * sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.get(), kFavoritesValue, nullptr, &type, reinterpret_cast<BYTE*>(raw), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return true;
    raw[std::min<size_t>(size / sizeof(wchar_t), MAX_PATH)] = L'\0';
    wchar_t expanded[MAX_PATH + 1] = {};
    const DWORD n = ExpandEnvironmentStringsW(raw, expanded, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH + 1) return true;
    folder = expanded;
    return true;
}

bool CFavoritesManager::LoadFavorites() {
    std::wstring folder;
    const bool keyOpened = ReadFavoritesFolder(folder);
    LoadFolder(folder);
    return keyOpened;
}

void CFavoritesManager::LoadFolder(const std::wstring& folder) {
    m_root = CFavorit{};
    m_byCommand.clear();
    m_nFolders = 0;
    if (!folder.empty()) ScanFolder(m_root, folder, 0);
}

void CFavoritesManager::ScanFolder(CFavorit& node, const std::wstring& path, int depth) {
    std::wstring folder = path;
    if (folder.back() != L'\\') folder += L'\\';
    for (const Entry& entry : ListFolder(folder)) {
        if (entry.directory) {
            if (depth >= kMaxFolderDepth || m_nFolders >= kMaxFolders) continue;
            ++m_nFolders;
            auto sub = std::make_unique<CFavorit>();
            sub->m_strName = entry.name;
            // Its shortcuts take their commands before the entries after it.
            ScanFolder(*sub, folder + entry.name, depth + 1);
            // Sub-folders stay together in one block, where the first one
            // came: right after the last folder so far, or at the end.
            auto lastFolder = std::find_if(node.m_children.rbegin(), node.m_children.rend(),
                                           [](const auto& child) { return child->IsFolder(); });
            auto at = lastFolder == node.m_children.rend() ? node.m_children.end() : lastFolder.base();
            node.m_children.insert(at, std::move(sub));
            continue;
        }
        if (!EndsWithUrlExtension(entry.name) || entry.size > kMaxShortcutFileBytes) continue;
        if (m_byCommand.size() > kLastCommand - kFirstCommand) continue;
        std::wstring url = ReadShortcutAddress(folder + entry.name);
        if (url.empty()) continue;
        auto shortcut = std::make_unique<CFavorit>();
        shortcut->m_strName = entry.name.substr(0, entry.name.size() - kExtensionLength);
        if (shortcut->m_strName.empty()) shortcut->m_strName = entry.name;
        shortcut->m_strURL = std::move(url);
        shortcut->m_nCommandID = kFirstCommand + static_cast<UINT>(m_byCommand.size());
        m_byCommand.push_back(shortcut.get());
        node.m_children.push_back(std::move(shortcut));
    }
}

std::wstring CFavoritesManager::GetURL(UINT commandId) const {
    if (commandId < kFirstCommand || commandId - kFirstCommand >= m_byCommand.size()) return {};
    return m_byCommand[commandId - kFirstCommand]->m_strURL;
}
