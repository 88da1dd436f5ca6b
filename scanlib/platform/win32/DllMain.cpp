// Load and unload of tarvoscn.dll.
#include <windows.h>

#include "platform/SystemPlatform.h"
#include "platform/Process.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      tarvo::ProcessAttach(tarvo::CreateSystemPlatform(instance), instance);
      break;
    case DLL_PROCESS_DETACH:
      tarvo::ProcessDetach();
      break;
    default:  // thread attach and detach do nothing
      break;
  }
  return TRUE;
}
