// Every staged stand-in engine file, loaded directly (no isolation layer):
// its identity, the classes it serves and refuses, the objects it makes,
// and its StandIn exports reaching the system.
#include "engines/standin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

struct EngineFile {
    const wchar_t* path;   // relative to the staged program's folder
    const wchar_t* code;   // version code
    const wchar_t* role;   // library role
};

// The engine files the build must stage, and nothing else.
const EngineFile kEngineFiles[] = {
    {L"5hdocvw.dll", L"5", L"shell"},
    {L"5shtml.dll", L"5", L"mshtml"},
    {L"5script.dll", L"5", L"jscript"},
    {L"5rlmon.dll", L"5", L"urlmon"},
    {L"5ininet.dll", L"5", L"wininet"},
    {L"5shtmled.dll", L"5", L"mshtmled"},
    {L"5bscript.dll", L"5", L"vbscript"},
    {L"5xtmsft.dll", L"5", L"dxtmsft"},
    {L"5xtrans.dll", L"5", L"dxtrans"},
    {L"5mgutil.dll", L"5", L"imgutil"},
    {L"5ngfilt.dll", L"5", L"pngfilt"},
    {L"5hdoclc.dll", L"5", L"shdoclc"},

    {L"6hdocvw.dll", L"6", L"shell"},
    {L"6shtml.dll", L"6", L"mshtml"},
    {L"6script.dll", L"6", L"jscript"},
    {L"6rlmon.dll", L"6", L"urlmon"},
    {L"6ininet.dll", L"6", L"wininet"},
    {L"6shtmled.dll", L"6", L"mshtmled"},
    {L"6bscript.dll", L"6", L"vbscript"},
    {L"6hdoclc.dll", L"6", L"shdoclc"},

    {L"7eframe.dll", L"7", L"shell"},
    {L"7shtml.dll", L"7", L"mshtml"},
    {L"7script.dll", L"7", L"jscript"},
    {L"7rlmon.dll", L"7", L"urlmon"},
    {L"7ininet.dll", L"7", L"wininet"},
    {L"7shtmled.dll", L"7", L"mshtmled"},
    {L"7bscript.dll", L"7", L"vbscript"},
    {L"7xtmsft.dll", L"7", L"dxtmsft"},
    {L"7xtrans.dll", L"7", L"dxtrans"},
    {L"7mgutil.dll", L"7", L"imgutil"},
    {L"7ngfilt.dll", L"7", L"pngfilt"},

    {L"8eframe.dll", L"8", L"shell"},
    {L"8shtml.dll", L"8", L"mshtml"},
    {L"8script.dll", L"8", L"jscript"},
    {L"8rlmon.dll", L"8", L"urlmon"},
    {L"8ininet.dll", L"8", L"wininet"},
    {L"8shtmled.dll", L"8", L"mshtmled"},
    {L"8bscript.dll", L"8", L"vbscript"},
    {L"8xtmsft.dll", L"8", L"dxtmsft"},
    {L"8xtrans.dll", L"8", L"dxtrans"},
    {L"8mgutil.dll", L"8", L"imgutil"},
    {L"8ngfilt.dll", L"8", L"pngfilt"},

    {L"ie9\\vantrell.ie9.exe.local\\ieframe.dll", L"9", L"shell"},
    {L"ie9\\vantrell.ie9.exe.local\\mshtml.dll", L"9", L"mshtml"},
    {L"ie9\\vantrell.ie9.exe.local\\jscript.dll", L"9", L"jscript"},
    {L"ie9\\vantrell.ie9.exe.local\\urlmon.dll", L"9", L"urlmon"},
    {L"ie9\\vantrell.ie9.exe.local\\wininet.dll", L"9", L"wininet"},
    {L"ie9\\vantrell.client.exe.local\\urlmon.dll", L"9", L"urlmon"},
};

struct RoleClasses {
    const wchar_t* role;
    std::vector<const wchar_t*> classes;
};

// The classes the isolation layer routes to each library role, object
// creation and class-object query together.
const std::vector<RoleClasses>& Routes() {
    static const std::vector<RoleClasses> routes = {
        {L"shell",
         {L"{8856F961-340A-11D0-A96B-00C04FD705A2}", L"{7057E952-BD1B-11D1-8919-00C04FC2C836}",
          L"{E569BDE7-A8DC-47F3-893F-FD2B31B3EEFD}", L"{CFBFAE00-17A6-11D0-99CB-00C04FD64497}",
          L"{3C374A40-BAE4-11CF-BF7D-00AA006946EE}", L"{871C5380-42A0-1069-A2EA-08002B30309D}",
          L"{E7E4BC40-E76A-11CE-A9BB-00AA004AE837}", L"{FF393560-C2A7-11CF-BFF4-444553540000}",
          L"{FBF23B40-E3F0-101B-8488-00AA003E56F8}", L"{B45FF030-4447-11D2-85DE-00C04FA35C89}",
          L"{AE054212-3535-4430-83ED-D501AA6680E6}", L"{06EEE834-461C-42C2-8DCF-1502B527B1F9}",
          L"{942BC614-676C-464E-B384-D3202AAA02DA}"}},
        {L"mshtml",
         {L"{25336920-03F9-11CF-8FD0-00AA00686F13}", L"{3050F406-98B5-11CF-BB82-00AA00BDCE0B}",
          L"{3050F3B2-98B5-11CF-BB82-00AA00BDCE0B}", L"{3050F3DA-98B5-11CF-BB82-00AA00BDCE0B}",
          L"{3050F3BC-98B5-11CF-BB82-00AA00BDCE0B}", L"{76E67A63-06E9-11D2-A840-006008059382}",
          L"{3050F3B4-98B5-11CF-BB82-00AA00BDCE0B}", L"{3050F499-98B5-11CF-BB82-00AA00BDCE0B}",
          L"{B196B28D-BAB4-101A-B69C-00AA00341D07}", L"{3050F4F8-98B5-11CF-BB82-00AA00BDCE0B}",
          L"{3050F667-98B5-11CF-BB82-00AA00BDCE0B}", L"{3050F67D-98B5-11CF-BB82-00AA00BDCE0B}",
          L"{3050F391-98B5-11CF-BB82-00AA00BDCE0B}", L"{3050F3B3-98B5-11CF-BB82-00AA00BDCE0B}",
          L"{3050F3BB-98B5-11CF-BB82-00AA00BDCE0B}", L"{3050F3C2-98B5-11CF-BB82-00AA00BDCE0B}"}},
        {L"jscript",
         {L"{F414C260-6AC0-11CF-B6D1-00AA00BBBB58}", L"{F414C261-6AC0-11CF-B6D1-00AA00BBBB58}"}},
        {L"vbscript", {L"{B54F3741-5B07-11CF-A4B0-00AA004A55E8}"}},
        {L"mshtmled", {L"{3050F4F5-98B5-11CF-BB82-00AA00BDCE0B}"}},
        {L"urlmon",
         {L"{8F6B0360-B80D-11D0-A9B3-006097942311}", L"{7B8A2D94-0AC9-11D1-896C-00C04FB6BFC4}",
          L"{DF2FCE13-25EC-45BB-9D4C-CECD47C2430C}", L"{7B8A2D95-0AC9-11D1-896C-00C04FB6BFC4}",
          L"{A4741943-6C4B-4CF7-BF44-A0F4207D1330}", L"{6F237DF9-9DDB-47AD-B218-400D54C286AD}",
          L"{79EAC9F2-BAF9-11CE-8C82-00AA004BA90B}", L"{79EAC9E2-BAF9-11CE-8C82-00AA004BA90B}",
          L"{79EAC9E5-BAF9-11CE-8C82-00AA004BA90B}"}},
        {L"dxtrans",
         {L"{81397204-F51A-4571-8D7B-DC030521AABD}", L"{D1FE6762-FC48-11D0-883A-3C8B00C10000}",
          L"{A7EE7F34-3BD1-427F-9231-F941E9B7E1FE}", L"{4CB26C03-FF93-11D0-817E-0000F87557DB}",
          L"{555278E2-05DB-11D1-883A-3C8B00C10000}", L"{385A91BC-1E8A-4E4A-A7A6-F4FC1E6CA1BD}",
          L"{0E890F83-5F79-11D1-9043-00C04FD9189D}"}},
        {L"dxtmsft",
         {L"{0C7EFBDE-0303-4C6F-A4F7-31FA2BE5E397}", L"{ADC6CB82-424C-11D2-952A-00C04FA34F05}",
          L"{AF279B30-86EB-11D1-81BF-0000F87557DB}"}},
        {L"imgutil",
         {L"{30C3B080-30FB-11D0-B724-00AA006C1A01}", L"{6A01FDA0-30DF-11D0-B724-00AA006C1A01}"}},
        {L"pngfilt", {L"{A3CCEDF7-2DE2-11D0-86F4-00A0C913F750}"}},
        {L"wininet", {}},
        {L"shdoclc", {}},
    };
    return routes;
}

CLSID ParseClsid(const wchar_t* text) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromString(text, &clsid), S_OK) << "cannot parse " << testing::PrintToString(std::wstring(text));
    return clsid;
}

std::vector<CLSID> ClassesOf(const std::wstring& role) {
    std::vector<CLSID> result;
    for (const RoleClasses& entry : Routes())
        if (role == entry.role)
            for (const wchar_t* text : entry.classes) result.push_back(ParseClsid(text));
    return result;
}

std::vector<CLSID> ClassesOfOtherRoles(const std::wstring& role) {
    std::vector<CLSID> result;
    for (const RoleClasses& entry : Routes())
        if (role != entry.role)
            for (const wchar_t* text : entry.classes) result.push_back(ParseClsid(text));
    return result;
}

std::wstring Text(const CLSID& clsid) {
    wchar_t buffer[64] = {};
    StringFromGUID2(clsid, buffer, 64);
    return buffer;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::string Narrow(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    return result;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    // Through void(*)() so that the function-type cast is explicit and quiet.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Writes what a thread started through a stand-in saw.
struct ThreadProbe {
    LONG ran = 0;
    DWORD threadId = 0;
};

DWORD WINAPI ProbeThread(void* param) {
    auto* probe = static_cast<ThreadProbe*>(param);
    probe->threadId = GetCurrentThreadId();
    InterlockedExchange(&probe->ran, 1);
    return 42;
}

void PrintTo(const EngineFile& file, std::ostream* os) {
    *os << Narrow(file.path) << " (version " << Narrow(file.code) << ", " << Narrow(file.role) << ")";
}

std::string TestName(const testing::TestParamInfo<EngineFile>& info) {
    std::string name = Narrow(info.param.path);
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

class StandInTest : public testing::TestWithParam<EngineFile> {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        m_comInitialized = true;
        m_path = ProgramFolder() + L"\\" + GetParam().path;
        m_module = LoadLibraryW(m_path.c_str());
        ASSERT_NE(m_module, nullptr) << "cannot load " << Narrow(m_path) << ", error " << GetLastError();
        // The loader may hand out another module of the same base name: Wine
        // maps its own urlmon.dll, mshtml.dll and so on, under the requested
        // path, unless their load order puts native files first.
        ASSERT_NE(GetProcAddress(m_module, "StandInIdentity"), nullptr)
            << Narrow(m_path) << " loaded a module that is not a stand-in";

        m_getClassObject = Export<DllGetClassObjectFn>(m_module, "DllGetClassObject");
        m_canUnloadNow = Export<DllCanUnloadNowFn>(m_module, "DllCanUnloadNow");
        m_loadLibraryA = Export<StandInLoadLibraryAFn>(m_module, "StandInLoadLibraryA");
        m_loadLibraryW = Export<StandInLoadLibraryWFn>(m_module, "StandInLoadLibraryW");
        m_freeLibrary = Export<StandInFreeLibraryFn>(m_module, "StandInFreeLibrary");
        m_getModuleHandleW = Export<StandInGetModuleHandleWFn>(m_module, "StandInGetModuleHandleW");
        m_coCreate = Export<StandInCoCreateFn>(m_module, "StandInCoCreate");
        m_coGetClassObject = Export<StandInCoGetClassObjectFn>(m_module, "StandInCoGetClassObject");
        m_createThread = Export<StandInCreateThreadFn>(m_module, "StandInCreateThread");
        m_regOpenKeyW = Export<StandInRegOpenKeyWFn>(m_module, "StandInRegOpenKeyW");
        m_regCloseKey = Export<StandInRegCloseKeyFn>(m_module, "StandInRegCloseKey");
        m_regQueryValueW = Export<StandInRegQueryValueWFn>(m_module, "StandInRegQueryValueW");
        m_identity = Export<StandInIdentityFn>(m_module, "StandInIdentity");
        ASSERT_NE(m_getClassObject, nullptr);
        ASSERT_NE(m_canUnloadNow, nullptr);
        ASSERT_NE(m_loadLibraryA, nullptr);
        ASSERT_NE(m_loadLibraryW, nullptr);
        ASSERT_NE(m_freeLibrary, nullptr);
        ASSERT_NE(m_getModuleHandleW, nullptr);
        ASSERT_NE(m_coCreate, nullptr);
        ASSERT_NE(m_coGetClassObject, nullptr);
        ASSERT_NE(m_createThread, nullptr);
        ASSERT_NE(m_regOpenKeyW, nullptr);
        ASSERT_NE(m_regCloseKey, nullptr);
        ASSERT_NE(m_regQueryValueW, nullptr);
        ASSERT_NE(m_identity, nullptr);
    }

    void TearDown() override {
        if (m_module) FreeLibrary(m_module);
        if (m_comInitialized) CoUninitialize();
    }

    // Gets the class factory of `clsid`, failing the test when refused.
    IClassFactory* Factory(const CLSID& clsid) {
        void* out = nullptr;
        const HRESULT hr = m_getClassObject(clsid, IID_IClassFactory, &out);
        EXPECT_EQ(hr, S_OK) << Narrow(Text(clsid));
        if (hr != S_OK) return nullptr;
        EXPECT_NE(out, nullptr);
        return static_cast<IClassFactory*>(out);
    }

    // Makes an object of `clsid` and checks what it says of itself.
    void ExpectProbeObject(const CLSID& clsid) {
        SCOPED_TRACE(Narrow(Text(clsid)));
        IClassFactory* factory = Factory(clsid);
        ASSERT_NE(factory, nullptr);
        IStandInObject* object = nullptr;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IStandInObject, reinterpret_cast<void**>(&object)), S_OK);
        factory->Release();
        ASSERT_NE(object, nullptr);

        BSTR origin = nullptr;
        ASSERT_EQ(object->GetOrigin(&origin), S_OK);
        ASSERT_NE(origin, nullptr);
        EXPECT_TRUE(SamePath(origin, m_path)) << Narrow(origin) << " is not " << Narrow(m_path);
        SysFreeString(origin);

        CLSID made{};
        EXPECT_EQ(object->GetClassId(&made), S_OK);
        EXPECT_TRUE(IsEqualCLSID(made, clsid)) << Narrow(Text(made));

        WCHAR code[2] = {L'?', L'?'};
        EXPECT_EQ(object->GetVersionCode(code), S_OK);
        EXPECT_EQ(std::wstring(code), GetParam().code);
        object->Release();
    }

    std::wstring m_path;
    HMODULE m_module = nullptr;
    bool m_comInitialized = false;
    DllGetClassObjectFn m_getClassObject = nullptr;
    DllCanUnloadNowFn m_canUnloadNow = nullptr;
    StandInLoadLibraryAFn m_loadLibraryA = nullptr;
    StandInLoadLibraryWFn m_loadLibraryW = nullptr;
    StandInFreeLibraryFn m_freeLibrary = nullptr;
    StandInGetModuleHandleWFn m_getModuleHandleW = nullptr;
    StandInCoCreateFn m_coCreate = nullptr;
    StandInCoGetClassObjectFn m_coGetClassObject = nullptr;
    StandInCreateThreadFn m_createThread = nullptr;
    StandInRegOpenKeyWFn m_regOpenKeyW = nullptr;
    StandInRegCloseKeyFn m_regCloseKey = nullptr;
    StandInRegQueryValueWFn m_regQueryValueW = nullptr;
    StandInIdentityFn m_identity = nullptr;
};

TEST_P(StandInTest, TellsItsVersionAndRole) {
    wchar_t code[16] = {};
    wchar_t role[16] = {};
    m_identity(code, role, ARRAYSIZE(code));
    EXPECT_EQ(std::wstring(code), GetParam().code);
    EXPECT_EQ(std::wstring(role), GetParam().role);

    // A short buffer is truncated and terminated.
    wchar_t shortRole[3] = {L'x', L'x', L'x'};
    m_identity(nullptr, shortRole, ARRAYSIZE(shortRole));
    EXPECT_EQ(std::wstring(shortRole), std::wstring(GetParam().role).substr(0, 2));
}

TEST_P(StandInTest, ServesEveryRoutedClassOfItsRole) {
    const std::vector<CLSID> classes = ClassesOf(GetParam().role);
    for (const CLSID& clsid : classes) ExpectProbeObject(clsid);

    // Asked for IUnknown, the class object is the same factory.
    for (const CLSID& clsid : classes) {
        IUnknown* unknown = nullptr;
        ASSERT_EQ(m_getClassObject(clsid, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
        IClassFactory* factory = nullptr;
        EXPECT_EQ(unknown->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        if (factory) factory->Release();
        unknown->Release();
    }
}

TEST_P(StandInTest, ServesARoutedClassWhoseLastEightBytesDiffer) {
    for (CLSID clsid : ClassesOf(GetParam().role)) {
        for (unsigned char& b : clsid.Data4) b = static_cast<unsigned char>(b ^ 0x5A);
        ExpectProbeObject(clsid);
    }
}

TEST_P(StandInTest, RefusesClassesOfOtherRoles) {
    std::vector<CLSID> refused = ClassesOfOtherRoles(GetParam().role);
    CLSID fresh{};
    ASSERT_EQ(CoCreateGuid(&fresh), S_OK);
    refused.push_back(fresh);
    for (const CLSID& clsid : refused) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(m_getClassObject(clsid, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE)
            << Narrow(Text(clsid));
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(m_canUnloadNow(), S_OK);
}

TEST_P(StandInTest, FactoryRefusesAggregationAndUnknownInterfaces) {
    const std::vector<CLSID> classes = ClassesOf(GetParam().role);
    if (classes.empty()) {
        // Nothing to create; the library is idle and may be unloaded.
        EXPECT_EQ(m_canUnloadNow(), S_OK);
        return;
    }
    const CLSID& clsid = classes.front();
    IID unknownIid{};
    ASSERT_EQ(CoCreateGuid(&unknownIid), S_OK);

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_getClassObject(clsid, unknownIid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(m_canUnloadNow(), S_OK);

    IClassFactory* factory = Factory(clsid);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(m_canUnloadNow(), S_FALSE);

    IStandInObject* outer = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IStandInObject, reinterpret_cast<void**>(&outer)), S_OK);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, unknownIid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    // IUnknown and IStandInObject are one object: each leads back to the other.
    IUnknown* unknown = nullptr;
    ASSERT_EQ(outer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    IStandInObject* back = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IStandInObject, reinterpret_cast<void**>(&back)), S_OK);
    EXPECT_EQ(back, outer);
    IUnknown* again = nullptr;
    ASSERT_EQ(back->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, unknown);
    again->Release();
    back->Release();
    unknown->Release();
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(outer->QueryInterface(unknownIid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    // Objects and server locks keep the library loaded.
    factory->Release();
    EXPECT_EQ(m_canUnloadNow(), S_FALSE);
    outer->Release();
    EXPECT_EQ(m_canUnloadNow(), S_OK);

    factory = Factory(clsid);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(m_canUnloadNow(), S_FALSE);
    factory = Factory(clsid);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(m_canUnloadNow(), S_OK);
}

TEST_P(StandInTest, CoCreateReachesTheSystem) {
    // A class nobody registered: the system's answer comes back unchanged.
    CLSID fresh{};
    ASSERT_EQ(CoCreateGuid(&fresh), S_OK);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_coCreate(fresh, IID_IUnknown, &out), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_coGetClassObject(fresh, IID_IClassFactory, &out), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);

    // A class the system provides is created.
    IUnknown* table = nullptr;
    ASSERT_EQ(m_coCreate(CLSID_StdGlobalInterfaceTable, IID_IGlobalInterfaceTable,
                         reinterpret_cast<void**>(&table)),
              S_OK);
    ASSERT_NE(table, nullptr);
    table->Release();
}

TEST_P(StandInTest, CreatesThreadsAndHonoursSuspension) {
    ThreadProbe running;
    DWORD id = 0;
    HANDLE thread = m_createThread(0, &id, ProbeThread, &running);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &exitCode));
    EXPECT_EQ(exitCode, 42u);
    EXPECT_EQ(running.ran, 1);
    EXPECT_EQ(running.threadId, id);
    EXPECT_NE(id, GetCurrentThreadId());
    CloseHandle(thread);

    ThreadProbe suspended;
    thread = m_createThread(CREATE_SUSPENDED, nullptr, ProbeThread, &suspended);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 200), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(InterlockedCompareExchange(&suspended.ran, 0, 0), 0);
    EXPECT_EQ(ResumeThread(thread), 1u);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(suspended.ran, 1);
    EXPECT_EQ(suspended.threadId, GetThreadId(thread));
    CloseHandle(thread);
}

TEST_P(StandInTest, LoadsLooksUpAndFreesLibraries) {
    EXPECT_EQ(m_getModuleHandleW(m_path.c_str()), m_module);

    HMODULE again = m_loadLibraryW(m_path.c_str());
    EXPECT_EQ(again, m_module);
    if (again) {
        EXPECT_TRUE(m_freeLibrary(again));
    }
    again = m_loadLibraryA(Narrow(m_path).c_str());
    EXPECT_EQ(again, m_module);
    if (again) {
        EXPECT_TRUE(m_freeLibrary(again));
    }
    // Still loaded: the test's own reference is left.
    EXPECT_EQ(m_getModuleHandleW(m_path.c_str()), m_module);

    HMODULE kernel = m_loadLibraryA("kernel32.dll");
    EXPECT_NE(kernel, nullptr);
    EXPECT_EQ(kernel, GetModuleHandleW(L"kernel32.dll"));
    if (kernel) {
        EXPECT_TRUE(m_freeLibrary(kernel));
    }

    EXPECT_EQ(m_loadLibraryW(L"no-such-library-anywhere.dll"), nullptr);
    EXPECT_EQ(m_getModuleHandleW(L"no-such-library-anywhere.dll"), nullptr);
}

TEST_P(StandInTest, ReadsTheRegistry) {
    // A key of this test, written by the test and read through the stand-in.
    const std::wstring subKey = L"VantrellEnginesTest-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring value = std::wstring(L"read by ") + GetParam().path;
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, (L"Software\\" + subKey).c_str(), &created), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueW(created, nullptr, REG_SZ, value.c_str(),
                           static_cast<DWORD>(value.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(created);

    HKEY software = nullptr;
    EXPECT_EQ(m_regOpenKeyW(HKEY_CURRENT_USER, L"Software", &software), ERROR_SUCCESS);
    EXPECT_NE(software, nullptr);
    if (software) {
        wchar_t data[MAX_PATH] = {};
        LONG size = sizeof(data);
        EXPECT_EQ(m_regQueryValueW(software, subKey.c_str(), data, &size), ERROR_SUCCESS);
        EXPECT_EQ(std::wstring(data), value);
        EXPECT_EQ(size, static_cast<LONG>((value.size() + 1) * sizeof(wchar_t)));

        HKEY missing = reinterpret_cast<HKEY>(1);
        EXPECT_EQ(m_regOpenKeyW(software, L"VantrellEnginesTest-no-such-key", &missing), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(m_regCloseKey(software), ERROR_SUCCESS);
    }
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, (L"Software\\" + subKey).c_str()), ERROR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(StagedFiles, StandInTest, testing::ValuesIn(kEngineFiles), TestName);

// Lists the files of `folder` (relative to the program's folder) whose names
// match `pattern`, as paths relative to the program's folder.
void ListFiles(const std::wstring& folder, const std::wstring& pattern, std::set<std::wstring>& out) {
    const std::wstring base = ProgramFolder() + (folder.empty() ? L"" : L"\\" + folder);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((base + L"\\" + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::wstring name = data.cFileName;
        std::transform(name.begin(), name.end(), name.begin(), towlower);
        out.insert(folder.empty() ? name : folder + L"\\" + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

TEST(StagedEngineFiles, AreExactlyTheExpectedSet) {
    std::set<std::wstring> expected;
    for (const EngineFile& file : kEngineFiles) expected.insert(file.path);
    ASSERT_EQ(expected.size(), ARRAYSIZE(kEngineFiles)) << "the table names a file twice";

    // Engine files of the main folder carry a version code; the version-9
    // folders hold nothing else.
    std::set<std::wstring> staged;
    for (const wchar_t* code : {L"4", L"5", L"6", L"7", L"8", L"9"})
        ListFiles(L"", std::wstring(code) + L"*.dll", staged);
    ListFiles(L"ie9\\vantrell.ie9.exe.local", L"*", staged);
    ListFiles(L"ie9\\vantrell.client.exe.local", L"*", staged);

    std::vector<std::wstring> missing, extra;
    std::set_difference(expected.begin(), expected.end(), staged.begin(), staged.end(), std::back_inserter(missing));
    std::set_difference(staged.begin(), staged.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    for (const std::wstring& path : missing) ADD_FAILURE() << "not staged: " << Narrow(path);
    for (const std::wstring& path : extra) ADD_FAILURE() << "staged but not expected: " << Narrow(path);
    EXPECT_EQ(staged.size(), expected.size());
}

}  // namespace
