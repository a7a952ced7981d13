#include "commandline.h"

#include <windows.h>
#include <shellapi.h>

namespace fw {

void ParseCommandLine(CommandLineInfo& info, const std::vector<std::wstring>& arguments) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& arg = arguments[i];
        bool flag = !info.WantsValue() && !arg.empty() && (arg[0] == L'-' || arg[0] == L'/');
        info.ParseParam(flag ? arg.c_str() + 1 : arg.c_str(), flag, i + 1 == arguments.size());
    }
}

std::vector<std::wstring> SplitCommandLine(const wchar_t* commandLine) {
    std::vector<std::wstring> out;
    if (!commandLine) return out;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(commandLine, &count);
    if (!argv) return out;
    for (int i = 1; i < count; ++i) out.emplace_back(argv[i]);
    LocalFree(argv);
    return out;
}

void ParseCommandLine(CommandLineInfo& info) { ParseCommandLine(info, SplitCommandLine(GetCommandLineW())); }

} // namespace fw
