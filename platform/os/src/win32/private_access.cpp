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

namespace {

// The local system account and the administrators may take any file whatever its access
// list says, so their entries make a folder no less private (the system adds them itself).
bool IsPrivileged(PSID sid) {
    return ::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

// The current user, or the administrators when the process acts as one of them (the
// system gives an elevated installer's folders to that group). Never a group such as
// everyone or the users, which the token holds too.
bool IsCurrentUsers(PSID sid) {
    if (::IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) {
        BOOL member = FALSE;
        return ::CheckTokenMembership(nullptr, sid, &member) && member;
    }
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) return false;
    const bool ours = CurrentUserSid() == text;
    ::LocalFree(text);
    return ours;
}

}  // namespace

bool IsOwnerOnlyDescriptor(PSECURITY_DESCRIPTOR descriptor) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    PACL dacl = nullptr;
    if (!descriptor || !::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        return false;
    if (!owner || !IsCurrentUsers(owner)) return false;
    // No access list at all lets everyone in.
    if (!present || !dacl) return false;
    const ACCESS_MASK writing = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | WRITE_DAC |
                                WRITE_OWNER | DELETE | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&header))) return false;
        // Entries only passed on to what the folder will hold do not apply to it.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        if (!(ace->Mask & writing)) continue;
        const PSID who = reinterpret_cast<PSID>(&ace->SidStart);
        if (!::EqualSid(who, owner) && !IsPrivileged(who) && !IsCurrentUsers(who)) return false;
    }
    return true;
}

bool IsOwnerOnlyFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool ownerOnly = IsOwnerOnlyDescriptor(descriptor);
    ::LocalFree(descriptor);
    return ownerOnly;
}

}  // namespace os::win32
