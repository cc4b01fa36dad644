// Watcher thread and MessageBoxW recorder for the prompt tests.
#include "tests/prompts/box_watch.h"

#include <mutex>

#include "tests/driver/driver.h"

namespace prompts_test {
namespace {

const DWORD kBoxTimeout = 15000;
const DWORD kCloseTimeout = 3000;

typedef int(WINAPI* MessageBoxWProc)(HWND, LPCWSTR, LPCWSTR, UINT);
MessageBoxWProc g_realMessageBoxW = nullptr;
std::mutex g_callMutex;
CallRecord g_lastCall;

// The program's texts are code page 932: the record holds what the box was given in those bytes.
std::string Cp932FromWide(LPCWSTR text)
{
    if (!text)
        return std::string();
    int size = WideCharToMultiByte(932, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(932, 0, text, -1, &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(lstrlenA(bytes.c_str()));
    return bytes;
}

int WINAPI RecordMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style)
{
    {
        std::lock_guard<std::mutex> lock(g_callMutex);
        ++g_lastCall.calls;
        g_lastCall.owner = owner;
        g_lastCall.textWasNull = text == nullptr;
        g_lastCall.text = Cp932FromWide(text);
        g_lastCall.caption = Cp932FromWide(caption);
        g_lastCall.style = style;
        g_lastCall.textAddress = text;
        HGLOBAL block = text ? GlobalHandle(text) : nullptr;
        g_lastCall.textBlockSize = block ? GlobalSize(block) : 0;
    }
    return g_realMessageBoxW(owner, text, caption, style);
}

// The import address slot of dll!function in module, or null.
void** FindImportSlot(HMODULE module, const char* dll, const char* function)
{
    BYTE* base = reinterpret_cast<BYTE*>(module);
    IMAGE_DOS_HEADER* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    IMAGE_NT_HEADERS* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress)
        return nullptr;
    for (IMAGE_IMPORT_DESCRIPTOR* import =
             reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name; ++import) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + import->Name), dll) != 0 || !import->OriginalFirstThunk)
            continue;
        IMAGE_THUNK_DATA* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            IMAGE_IMPORT_BY_NAME* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

}  // namespace

bool InstallRecorder()
{
    if (g_realMessageBoxW)
        return true;
    void** slot = FindImportSlot(GetModuleHandleA(nullptr), "user32.dll", "MessageBoxW");
    if (!slot)
        return false;
    DWORD oldProtect = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtect))
        return false;
    g_realMessageBoxW = reinterpret_cast<MessageBoxWProc>(*slot);
    *slot = reinterpret_cast<void*>(&RecordMessageBoxW);
    VirtualProtect(slot, sizeof *slot, oldProtect, &oldProtect);
    return true;
}

CallRecord LastCall()
{
    std::lock_guard<std::mutex> lock(g_callMutex);
    return g_lastCall;
}

void ResetCalls()
{
    std::lock_guard<std::mutex> lock(g_callMutex);
    g_lastCall = CallRecord();
}

HICON BoxIcon(HWND box)
{
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[32] = {};
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    }
    return nullptr;
}

BoxWatcher::BoxWatcher(Answer answer) : answer_(answer), thread_(&BoxWatcher::Run, this) {}

BoxWatcher::~BoxWatcher()
{
    if (thread_.joinable())
        thread_.join();
}

SeenBox BoxWatcher::Finish()
{
    if (thread_.joinable())
        thread_.join();
    return seen_;
}

void BoxWatcher::Run()
{
    HWND box = driver::WaitForWindow(GetCurrentProcessId(), "#32770", kBoxTimeout);
    if (!box)
        return;
    seen_.found = true;
    // The box fills in its controls while it starts; wait until its buttons stand.
    for (int i = 0; i < 100 && driver::BoxButtons(box).empty(); ++i)
        Sleep(20);
    seen_.caption = driver::WindowText(box);
    seen_.text = driver::BoxText(box);
    seen_.buttons = driver::BoxButtons(box);
    seen_.owner = GetWindow(box, GW_OWNER);
    seen_.icon = BoxIcon(box);
    seen_.foreground = GetForegroundWindow() == box;

    switch (answer_) {
    case Answer::Yes:
        driver::PressBoxButton(box, IDYES);
        break;
    case Answer::No:
        driver::PressBoxButton(box, IDNO);
        break;
    case Answer::Ok:
        driver::PressBoxButton(box, IDOK);
        break;
    case Answer::Close:
        PostMessageA(box, WM_CLOSE, 0, 0);
        break;
    case Answer::Escape:
        driver::SendKey(GetDlgItem(box, IDYES) ? GetDlgItem(box, IDYES) : box, VK_ESCAPE);
        break;
    }
    DWORD start = GetTickCount();
    while (IsWindow(box) && GetTickCount() - start < kCloseTimeout)
        Sleep(20);
    seen_.closedByAnswer = !IsWindow(box);
    // A box that ignores the answer must not hang the test: No (or OK) ends it.
    if (IsWindow(box))
        driver::PressBoxButton(box, GetDlgItem(box, IDNO) ? IDNO : IDOK);
}

}  // namespace prompts_test
