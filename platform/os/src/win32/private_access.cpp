#include "private_access.h"

#include <aclapi.h>
#include <sddl.h>

#include "win32_util.h"

namespace os::win32 {

std::wstring CurrentUserSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    Handle held(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    if (!::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
        return {};
    std::wstring sid = text;
    ::LocalFree(text);
    return sid;
}

bool CreateOwnerOnlyFolder(const std::wstring& path) {
    const std::wstring sid = CurrentUserSid();
    if (sid.empty()) return false;
    // Protected (no inherited entries), full access for the user, inherited by what it holds.
    const std::wstring sddl = L"O:" + sid + L"D:P(A;OICI;FA;;;" + sid + L")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                 &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const bool made = ::CreateDirectoryW(path.c_str(), &attributes) != 0;
    ::LocalFree(descriptor);
    return made;
}

bool IsOwnerOnlyFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    bool ours = false;
    wchar_t* ownerText = nullptr;
    if (owner && ::ConvertSidToStringSidW(owner, &ownerText)) {
        ours = CurrentUserSid() == ownerText;
        ::LocalFree(ownerText);
    }
    // No access list at all lets everyone in.
    bool othersWrite = dacl == nullptr;
    const ACCESS_MASK writing = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | WRITE_DAC |
                                WRITE_OWNER | DELETE | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; dacl && i < dacl->AceCount && !othersWrite; ++i) {
        ACE_HEADER* header = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        if (!(ace->Mask & writing)) continue;
        if (!owner || !::EqualSid(reinterpret_cast<PSID>(&ace->SidStart), owner)) othersWrite = true;
    }
    ::LocalFree(descriptor);
    return ours && !othersWrite;
}

}  // namespace os::win32
