// A DLL of our own under a name that programs commonly probe: the DLL-search test places it as
// dwmapi.dll beside its program and tells it from the system's dwmapi.dll by this export.
extern "C" __declspec(dllexport) const char* PlantedMarker()
{
    return "planted";
}
