// Folders only their owner may use: a protected access list granting the current user
// everything and nobody else anything.
#pragma once

#include <windows.h>

#include <string>

namespace os::win32 {

// The current user's SID as a string ("S-1-5-21-..."); empty when the token cannot be read.
std::wstring CurrentUserSid();
// Creates the folder with that access list; false when it existed or could not be made.
bool CreateOwnerOnlyFolder(const std::wstring& path);
// True when the folder is no reparse point, is owned by the current user (or a group the
// process holds) and grants write access to nobody else but the system and administrators.
bool IsOwnerOnlyFolder(const std::wstring& path);
// The same rule on a security descriptor (its owner and access list).
bool IsOwnerOnlyDescriptor(PSECURITY_DESCRIPTOR descriptor);

}  // namespace os::win32
