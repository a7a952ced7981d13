#include "shell_app.h"

#include "framework/app.h"

IShellApp* GetShellApp() { return dynamic_cast<IShellApp*>(fw::GetApp()); }
