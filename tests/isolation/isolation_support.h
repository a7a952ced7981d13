#pragma once
// Shared helpers of the isolation tests: running code on a fresh thread
// bound to a version, and telling which file an object or module came from.
#include "core/versions.h"
#include "engines/standin.h"
#include "isolation/detours.h"
#include "isolation/isolation.h"

#include <functional>
#include <string>

namespace isolation_test {

// Runs `body` on a new thread, bound to `version` unless it is -1, and
// waits for it. The thread is created with the system's thread function
// directly so that the test controls the binding.
void OnThread(int version, const std::function<void()>& body);

// File name (without folder, lower case) of the module holding `address`.
std::wstring ModuleNameOf(const void* address);
std::wstring ModuleName(HMODULE module);
// File name (lower case) of the stand-in library that made `object`, or
// "" when it is no stand-in object.
std::wstring OriginOf(IUnknown* object);

// Copies stage files into `folder` (names relative to the stage folder).
bool CopyStageFiles(const std::wstring& folder, std::initializer_list<const wchar_t*> names);

// Standard class identifiers used by the tests.
extern const CLSID kHtmlDocument;
extern const CLSID kWebBrowser;
extern const CLSID kFilterClass;     // a dxtrans class
extern const CLSID kVbscriptClass;
extern const CLSID kJscriptSecond;   // matched on all 16 bytes

} // namespace isolation_test
