// Entry point of vantrell.exe (and of ie9\vantrell.ie9.exe).
#include "vantrell_app.h"

// The one application object, built before the entry point runs.
CVantrellApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
    return theApp.Main(instance, showCommand);
}
