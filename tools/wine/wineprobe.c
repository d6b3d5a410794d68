/* Run first by scripts/test.sh: proves that this build's programs start
 * under its Wine at all (a kernel without 32-bit support, or no 32-bit Wine,
 * stops the i686 build here) and prints the facts its tests depend on. */
#include <windows.h>
#include <stdio.h>

int main(void) {
  BOOL wow64 = FALSE;
  SYSTEM_INFO native;
  if (!IsWow64Process(GetCurrentProcess(), &wow64)) wow64 = FALSE;
  GetNativeSystemInfo(&native);
  printf("pointer=%u wow64=%d native=%s\n", (unsigned)sizeof(void*), wow64 ? 1 : 0,
         native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? "x86_64"
         : native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL ? "i686"
                                                                          : "other");
  return 0;
}
