// Loads msvfw32.dll by name the way a static import would find it (program
// folder first), to show that a planted copy is really preferred in the test
// set-up: without that, the launcher's test would prove nothing.
#include <windows.h>

int main()
{
    return LoadLibraryA("msvfw32.dll") != nullptr ? 0 : 1;
}
