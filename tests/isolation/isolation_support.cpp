#include "isolation_support.h"

#include "tests/support/process.h"

#include <algorithm>
#include <cwctype>

namespace isolation_test {

const CLSID kHtmlDocument = {0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};
const CLSID kWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
const CLSID kFilterClass = {0x4CB26C03, 0xFF93, 0x11D0, {0x81, 0x7E, 0x00, 0x00, 0xF8, 0x75, 0x57, 0xDB}};
const CLSID kVbscriptClass = {0xB54F3741, 0x5B07, 0x11CF, {0xA4, 0xB0, 0x00, 0xAA, 0x00, 0x4A, 0x55, 0xE8}};
const CLSID kJscriptSecond = {0xF414C261, 0x6AC0, 0x11CF, {0xB6, 0xD1, 0x00, 0xAA, 0x00, 0xBB, 0xBB, 0x58}};

namespace {
struct ThreadArgs {
    int version;
    const std::function<void()>* body;
};

DWORD WINAPI ThreadMain(void* p) {
    auto args = static_cast<ThreadArgs*>(p);
    if (args->version >= 0) BindThreadToVersion(0, static_cast<IEVERSION>(args->version));
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (*args->body)();
    CoUninitialize();
    if (args->version >= 0) UnbindCurrentThread();
    return 0;
}

std::wstring Lower(std::wstring s) {
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return s;
}
} // namespace

void OnThread(int version, const std::function<void()>& body) {
    ThreadArgs args{version, &body};
    // RealCreateThread, when attached, bypasses the binding rule of the
    // detour; otherwise the plain function does the same.
    auto create = RealCreateThread ? RealCreateThread : &CreateThread;
    HANDLE h = create(nullptr, 0, ThreadMain, &args, 0, nullptr);
    if (!h) return;
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
}

std::wstring ModuleName(HMODULE module) {
    if (!module) return L"";
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring p = path;
    return Lower(p.substr(p.find_last_of(L"\\/") + 1));
}

std::wstring ModuleNameOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return L"";
    return ModuleName(module);
}

std::wstring OriginOf(IUnknown* object) {
    if (!object) return L"";
    IStandInObject* probe = nullptr;
    if (FAILED(object->QueryInterface(IID_IStandInObject, reinterpret_cast<void**>(&probe)))) return L"";
    BSTR origin = nullptr;
    probe->GetOrigin(&origin);
    probe->Release();
    std::wstring path = origin ? origin : L"";
    SysFreeString(origin);
    return Lower(path.substr(path.find_last_of(L"\\/") + 1));
}

bool CopyStageFiles(const std::wstring& folder, std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* name : names) {
        if (!CopyFileW((testing_support::StageFolder() + name).c_str(), (folder + name).c_str(), FALSE)) return false;
    }
    return true;
}

} // namespace isolation_test
