#pragma once
// Command-line parsing: the framework splits the process's command line
// into arguments and hands each one after the program name to ParseParam.
#include <string>
#include <vector>

namespace fw {

class CommandLineInfo {
public:
    // What the shell asked the program to do with a file; the program sets
    // it to nothing before it opens its own addresses.
    enum class ShellCommand { FileNew, FileOpen, FileNothing };

    virtual ~CommandLineInfo() = default;
    // `param` has its leading "-" or "/" removed when `flag` is true.
    virtual void ParseParam(const wchar_t* param, bool flag, bool last) = 0;
    virtual void ParseParam(const char* param, bool flag, bool last) = 0;
    // True when the next argument is the value of the switch just parsed:
    // it is then passed whole, with `flag` false, even when it begins with
    // "-" or "/" (a value such as "/tmp/pictures" is no switch).
    virtual bool WantsValue() const { return false; }

    ShellCommand m_nShellCommand = ShellCommand::FileNew;
};

// Splits `arguments` (without the program name) and feeds them to `info`.
void ParseCommandLine(CommandLineInfo& info, const std::vector<std::wstring>& arguments);
// Parses the current process's command line.
void ParseCommandLine(CommandLineInfo& info);
// The arguments of a command line string after its program name.
std::vector<std::wstring> SplitCommandLine(const wchar_t* commandLine);

} // namespace fw
