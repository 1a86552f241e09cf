// Shell links as the shell makes them: an IShellLinkW saved through IPersistFile.
#include "os/shortcut.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include "os/native_path.h"
#include "win32_util.h"

namespace os {

std::string ShortcutFilePath(const std::string& linkPath) { return linkPath; }

int CreateShortcut(const std::string& target, const std::string& linkPath, const std::string& description,
                   const char* arguments, const std::string& workingFolder) {
    // COM may already be set up on this thread, in either model; we undo only our own.
    const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    HRESULT result = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IShellLinkW, reinterpret_cast<void**>(&link));
    if (SUCCEEDED(result)) {
        link->SetPath(win32::WidePath(target).c_str());
        link->SetArguments(win32::Widen(arguments ? arguments : "").c_str());
        link->SetWorkingDirectory(win32::WidePath(workingFolder).c_str());
        link->SetDescription(win32::Widen(description).c_str());
        IPersistFile* file = nullptr;
        result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
        if (SUCCEEDED(result)) {
            const std::wstring path = win32::WidePath(linkPath);
            // Never through a junction or link planted at the link's own name.
            result = win32::IsReparsePoint(path) ? E_ACCESSDENIED : file->Save(path.c_str(), TRUE);
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init)) ::CoUninitialize();
    return SUCCEEDED(result) ? 0 : int(result);
}

std::string ShortcutTarget(const std::vector<uint8_t>& bytes) {
    // A shell link is no bigger than this; anything larger is not one of ours.
    if (bytes.empty() || bytes.size() > (1u << 20)) return {};
    const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::string target;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                     reinterpret_cast<void**>(&link)))) {
        IPersistStream* persist = nullptr;
        IStream* stream = ::SHCreateMemStream(bytes.data(), UINT(bytes.size()));
        if (stream && SUCCEEDED(link->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist)))) {
            wchar_t path[MAX_PATH + 1] = {};
            // The path as stored, not one the shell would search for or expand.
            if (SUCCEEDED(persist->Load(stream)) &&
                link->GetPath(path, MAX_PATH + 1, nullptr, SLGP_RAWPATH) == S_OK)
                target = win32::Narrow(path);
            persist->Release();
        }
        if (stream) stream->Release();
        link->Release();
    }
    if (SUCCEEDED(init)) ::CoUninitialize();
    return target;
}

}  // namespace os
