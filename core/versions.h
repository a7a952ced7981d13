#pragma once
// Engine versions: the enumeration every per-version table is indexed by,
// the one-character version codes, what the program knows of each version
// and the "-pcode=" argument that names a version to a child process.
#include <windows.h>
#include <array>
#include <string>

enum IEVERSION : int {
    IE4 = 0,
    IE5 = 1,
    IE55 = 2,
    IE6 = 3,
    IE7 = 4,
    IE8 = 5,
    IE9 = 6,
    IEDefault = 7,
};

constexpr int kVersionCount = 8;

// Library file-name prefix, child-argument code and setting-name suffix.
extern const wchar_t* const g_versionCodes[kVersionCount];

// What the program knows of each version.
struct VersionInfo {
    IEVERSION version;
    const char* flag;           // command-line flag after "-" or "/"
    UINT templateId;            // document template and icon resource id
    bool templateRegistered;    // IE4 and IE5 have ids but no template
    UINT newTabCommand;         // ribbon command that opens a tab of the version
    const wchar_t* name;        // name shown to the user
};
extern const std::array<VersionInfo, kVersionCount> g_versionInfo;

inline bool IsValidVersion(int v) { return v >= 0 && v < kVersionCount; }

// The version's template id (also its icon id), IDR_IE4 to IDR_IE_DEFAULT.
UINT TemplateIdOfVersion(IEVERSION v);
// The version's icon in crash notices and taskbar thumbnails: its template id
// up to IE8, the default engine's icon (IDR_IE_DEFAULT) for every other value.
UINT IconIdOfVersion(IEVERSION v);
// The version whose template id is `id`; false when none has it.
bool VersionOfTemplateId(UINT id, IEVERSION& version);

// The "-pcode=" argument a parent writes for a child of `version`:
// "-pcode=<pipe>_ie<code>_<parent window in hexadecimal>", where the code is
// "55" for 5.5 and the version code otherwise.
std::wstring BuildPcodeArgument(const std::wstring& pipeName, IEVERSION version, DWORD parentWindow);

// What a child shows first, written after its "-pcode=" argument so that it
// creates its tab content at the right size on the right page at once:
// "-psize=<width>,<height>" and "-purl=<address>", the address as four
// hexadecimal digits per UTF-16 code unit (no quoting can break it). Empty
// for an address too long for a command line; the parent then sends it over
// the pipe as before.
std::wstring BuildChildStartArguments(const std::wstring& url, int width, int height);
// The value of "-psize=" ("800,600"); false for anything but two numbers
// from 0 to 32767.
bool ParseChildSize(const std::wstring& text, int& width, int& height);
// The value of "-purl="; false for anything but whole groups of four
// hexadecimal digits.
bool DecodeChildAddress(const std::wstring& hex, std::wstring& url);
